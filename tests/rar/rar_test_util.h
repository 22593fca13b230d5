// Helpers shared by the library's tests: the entry operations in C++ terms,
// a private debug log, the unpacker driven over one packed stream, and
// hand-made block headers.
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
// Every archive listed in ../shared/corpus/<folder>/manifest.json, or one
// placeholder without a file (its tests skip) when the corpora are absent.
std::vector<CorpusArchive> CorpusArchives(const std::vector<std::string> &folders);
void PrintTo(const CorpusArchive &a, std::ostream *os);
std::string CorpusTestName(const ::testing::TestParamInfo<CorpusArchive> &info);

// Decodes `packed` as the current entry with UnpackFile. fresh: a new session
// (zeroed window, state forgotten); solid: the entry has the solid flag;
// wanted: its bytes go to an output buffer of `size` bytes.
struct UnpackResult {
    std::string output;
    uint32_t stored = 0;  // the count behind outputCount
};
UnpackResult RunUnpack(const std::string &packed, uint32_t size, bool solid = false, bool fresh = true,
                       bool wanted = true);
void EndUnpackSession();

// A hand-made block header (channels 0: LZ) whose 19 code-length codes are
// all 5 bits long, so length symbol k is k in 5 bits; `lengths` follow as such.
void PutHeader(rarwriter::BitWriter &w, int channels, bool keep, const std::vector<uint8_t> &lengths = {});
// An LZ header with flat codes (main symbols 9 bits, distances 6, lengths 5):
// every symbol's code is then its own value.
void PutLzTables(rarwriter::BitWriter &w);

}  // namespace rartest
