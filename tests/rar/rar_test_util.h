// Helpers shared by the library's tests: the entry operations in C++ terms,
// a private debug log, the unpacker driven over one packed stream, and
// hand-made block headers.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

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

// Hand-made block headers with absolute lengths and flat codes: the 19
// code-length symbols 5 bits each; main and multimedia symbols 9 bits,
// distances 6, lengths 5. Every symbol's code is then its own value.
void PutLzTables(rarwriter::BitWriter &w);
void PutAudioTables(rarwriter::BitWriter &w, int channels);

}  // namespace rartest
