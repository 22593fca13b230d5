// Helpers shared by the library's tests: the entry operations in C++ terms,
// a private debug log and the shared corpora.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "rar_writer.h"
#include "tests/support/temp_dir.h"

namespace rartest {

std::string Sha256Hex(const std::string &data);

// The names RarListFiles returns (the list is freed); *count gets its result.
std::vector<std::string> ListNames(const std::filesystem::path &archive, int *count = nullptr);

struct Extracted {
    int result = 0;
    std::string data;
    bool nullOnFailure = true;  // a failure left *outData NULL and *outSize 0
};
Extracted Extract(const std::filesystem::path &archive, const std::string &name, const char *password = nullptr);

// Restarts the debug log in a file of its own, so a test sees only its own entries.
class PrivateLog {
public:
    PrivateLog();
    std::string Text() const;
    std::vector<std::string> Messages() const;  // each entry's text, in order
    const std::filesystem::path &path() const { return path_; }

private:
    testsupport::TempDir dir_;
    std::filesystem::path path_;
};

// One archive of the shared corpora, from its folder's manifest.
struct CorpusArchive {
    std::string folder, file;  // file empty: the corpora are not on this machine
    size_t index = 0;          // in the manifest's "archives"
    std::optional<std::string> password;
    std::filesystem::path path, manifest;
    const char *Password() const { return password ? password->c_str() : nullptr; }
};
// Every archive in ../shared/corpus/<folder>/manifest.json, or one placeholder without a file when absent.
std::vector<CorpusArchive> CorpusArchives(const std::vector<std::string> &folders);
void PrintTo(const CorpusArchive &a, std::ostream *os);
std::string CorpusTestName(const ::testing::TestParamInfo<CorpusArchive> &info);

}  // namespace rartest
