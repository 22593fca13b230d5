// Helpers for the library's tests: hashes, a bit writer with canonical codes
// for hand-made packed streams, hand-made archive headers with correct check
// values, a driver for the unpacker, and a private debug log per test.
#pragma once

#include <cstdint>
#include <filesystem>
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "tests/support/temp_dir.h"

namespace rartest {

std::string Sha256Hex(const void *data, size_t size);
inline std::string Sha256Hex(const std::string &s) { return Sha256Hex(s.data(), s.size()); }

// CRC-32 from zlib, independent of the library's own.
uint32_t ZlibCrc(const std::string &data);

// Writes bit fields most significant bit first, as the packed stream holds them.
class BitWriter {
public:
    void Put(uint32_t value, unsigned bits);
    // The bytes written so far, the last one padded with zero bits.
    std::string Bytes() const;
    size_t BitCount() const { return bitCount_; }

private:
    std::string bytes_;
    size_t bitCount_ = 0;
};

// A canonical Huffman code: symbols ordered by code length, then by value,
// get consecutive codes. code[s] is meaningful where length[s] != 0.
struct CanonicalCode {
    std::vector<uint8_t> length;
    std::vector<uint32_t> code;
    void Put(BitWriter &w, uint32_t symbol) const;
};
CanonicalCode MakeCanonicalCode(const std::vector<uint8_t> &lengths);

// Block headers for hand-made streams. Code lengths are sent through a
// length code in which every one of the 19 length symbols is 5 bits long,
// so that length symbol k is simply k in 5 bits.
struct LzCodes {
    CanonicalCode main;      // 298 symbols
    CanonicalCode distance;  // 48
    CanonicalCode repeat;    // 28
};
// Writes an LZ block header with absolute lengths and returns its codes.
// Default lengths: all 298 main symbols 9 bits, 48 distances 6, 28 lengths 5.
LzCodes PutLzTables(BitWriter &w, const std::vector<uint8_t> &mainLengths = {},
                    const std::vector<uint8_t> &distanceLengths = {},
                    const std::vector<uint8_t> &repeatLengths = {});
// Writes a multimedia block header for 1-4 channels, every symbol 9 bits
// long, and returns the (shared) code of its tables.
CanonicalCode PutAudioTables(BitWriter &w, unsigned channels);

// Match helpers for the default LZ codes.
void PutLongMatch(BitWriter &w, const LzCodes &c, uint32_t length, uint32_t distance);
void PutShortMatch(BitWriter &w, const LzCodes &c, uint32_t distance);  // distance 1-256
void PutHistoryMatch(BitWriter &w, const LzCodes &c, unsigned back, uint32_t lengthBeforeBonus);

// Puts bytes behind archiveFile as the current entry's packed data
// (remainingPacked = their size, no cipher) for as long as it lives.
class PackedData {
public:
    explicit PackedData(const std::string &bytes);
    ~PackedData();
    PackedData(const PackedData &) = delete;
    PackedData &operator=(const PackedData &) = delete;

private:
    FILE *file_;
};

// Drives UnpackFile over a hand-made stream as the wanted file.
struct UnpackResult {
    std::string output;   // the bytes stored in the output buffer
    uint32_t stored = 0;  // the count behind outputCount
};
// fresh: start a new session (new zeroed window, forgotten state), as the
// first entry of an operation. solid: the entry continues the previous one.
UnpackResult RunUnpack(const std::string &packed, uint32_t unpackedSize, bool solid = false,
                       bool fresh = true, bool outputEnabled = true);
// Releases the window kept between RunUnpack calls.
void EndUnpackSession();

// Hand-made archives.
std::string Marker();
std::string TalvikMarker();
std::string MainHeader(uint16_t flags = 0, const std::string &extra = "");

enum class CheckForm { kFixedAndName, kWholeHeader, kWrong };
struct FileFields {
    std::string name;
    uint16_t flags = 0x8000;
    uint32_t packedSize = 0;
    uint32_t unpackedSize = 0;
    uint8_t hostOs = 2;
    uint32_t fileCrc = 0;
    uint32_t fileTime = 0x3C8A6E2D;
    uint8_t unpackVersion = 20;
    uint8_t method = 0x30;
    uint32_t attributes = 0x20;
    std::string afterName;  // bytes between the name and the header's end
    CheckForm check = CheckForm::kFixedAndName;
    std::optional<uint16_t> headerSize;  // overrides the computed size
};
std::string FileHeader(const FileFields &f);
// A stored entry: header (sizes and CRC from content) followed by the content.
std::string StoredEntry(const std::string &name, const std::string &content, uint16_t flags = 0x8000,
                        uint8_t version = 20);
// A compressed entry: header followed by packed bytes.
std::string PackedEntry(const std::string &name, const std::string &packed, const std::string &content,
                        uint16_t flags = 0x8000, uint8_t method = 0x33);
// Any block: 7 common bytes (+ the 32-bit data size with flag 0x8000), then
// extra header bytes, then data.
std::string RawBlock(uint8_t type, uint16_t flags, const std::string &extra = "",
                     const std::string &data = "");

// Enciphers data (whole 16-byte blocks, zero-padded) with a fresh key state
// from password, using the library's cipher.
std::string Encipher(const std::string &data, const std::string &password);

// The list of RarListFiles as names; frees the list.
std::vector<std::string> ListNames(const std::filesystem::path &archive, int *count = nullptr);

struct Extracted {
    int result = 0;
    std::string data;
    bool nullOnFailure = true;  // *outData was null and *outSize 0 after a failure
};
Extracted Extract(const std::filesystem::path &archive, const std::string &name,
                  const char *password = nullptr);

// Restarts the library's debug log in a private file for one test, so the
// test sees only its own entries whatever ran before in the process.
class PrivateLog {
public:
    PrivateLog();
    std::string Text() const;
    // The texts of the entries (the part after "- "), in order.
    std::vector<std::string> Messages() const;
    const std::filesystem::path &path() const { return path_; }

private:
    testsupport::TempDir dir_;
    std::filesystem::path path_;
};

}  // namespace rartest
