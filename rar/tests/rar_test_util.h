// Helpers shared by the library's tests: the entry operations in C++ terms,
// a private debug log and the shared corpora.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "rar_writer.h"
#include "test_files.h"

namespace rartest {

std::string Sha256Hex(const std::string &data);

// The names RarListFiles returns; *count gets its result.
std::vector<std::string> ListNames(const std::filesystem::path &archive, int *count = nullptr);

struct Extracted {
    int result = 0;
    std::string data;
    bool nullOnFailure = true;  // a failure left *outData NULL and *outSize 0
};
Extracted Extract(const std::filesystem::path &archive, const std::string &name, const char *password = nullptr);

// Restarts the debug log in a file of its own; Messages() are its entries' texts in order.
class PrivateLog {
public:
    PrivateLog();
    std::vector<std::string> Messages() const;

private:
    rartest::TempDir dir_;
};

// One archive of a manifest's "archives"; no file when the corpora are absent.
struct CorpusArchive {
    std::string folder, file;
    size_t index = 0;
    std::optional<std::string> password;
    std::filesystem::path path, manifest;
    const char *Password() const { return password ? password->c_str() : nullptr; }
};
// Every archive in ../shared/corpus/<folder>/manifest.json, or one placeholder without a file when absent.
std::vector<CorpusArchive> CorpusArchives(const std::vector<std::string> &folders);
void PrintTo(const CorpusArchive &a, std::ostream *os);
std::string CorpusTestName(const ::testing::TestParamInfo<CorpusArchive> &info);

}  // namespace rartest
