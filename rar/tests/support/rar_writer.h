// A RAR 2.0 archive writer for the library's tests and benchmark: stored,
// LZ and multimedia blocks, solid and encrypted entries, odd or broken headers.
#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace rarwriter {

constexpr uint16_t kLongBlock = 0x8000, kMainSolid = 0x0008, kFileSplitBefore = 0x0001, kFileSplitAfter = 0x0002,
                   kFileEncrypted = 0x0004, kFileSolid = 0x0010, kFileDirectory = 0x00E0;
constexpr uint32_t kWindowSize = 0x100000;

uint32_t Crc32(std::string_view bytes, uint32_t previous = 0);
uint32_t DosDateTime(int year, int month, int day, int hour, int minute, int second);
void Encipher(std::string &data, std::string_view password);  // a multiple of 16 bytes, fresh key state

// Bit fields, most significant bit first; Bytes() pads the last byte with zeros.
class BitWriter {
public:
    void Write(uint32_t value, int count);
    std::string Bytes() const;

private:
    std::string bytes_;
    uint64_t pending_ = 0;
    int used_ = 0;
};

// One LZ token. value: Literal the byte, History 1-4 back, Short/Long the distance; length includes bonuses.
struct Token {
    enum Kind : uint8_t { Literal, Repeat, History, Short, Long } kind;
    uint32_t value, length;
    static Token Lit(uint8_t b) { return {Literal, b, 1}; }
    static Token Rep() { return {Repeat, 0, 0}; }
    static Token Hist(uint32_t back, uint32_t length) { return {History, back, length}; }
    static Token ShortMatch(uint32_t distance) { return {Short, distance, 2}; }
    static Token LongMatch(uint32_t length, uint32_t distance) { return {Long, distance, length}; }
};

struct Segment {
    uint32_t bytes;
    int channels;  // 0: LZ, 1-4: multimedia
};

struct CompressOptions {
    std::vector<Segment> segments;  // block plan from the file's start; the rest is LZ
    uint32_t blockBytes = 0x40000;  // LZ output bytes per block
    bool deltaTables = true;        // code lengths as deltas to the previous block's
};

// How a solid file takes over: end-of-block and new tables at its start, at
// the previous file's end, or no new block at all.
enum class SolidJoin { LeadingTables, TrailingTables, SameBlock };

// Encodes one chain of files; pad16 pads to whole cipher blocks with harmless bits.
class StreamEncoder {
public:
    StreamEncoder();
    ~StreamEncoder();
    size_t AddFile(std::string_view data, const CompressOptions &options, bool solid = false,
                   SolidJoin join = SolidJoin::LeadingTables, bool pad16 = false);
    size_t AddTokens(const std::vector<Token> &tokens, const CompressOptions &options = {}, bool solid = false,
                     SolidJoin join = SolidJoin::LeadingTables, bool pad16 = false);
    const std::string &Output(size_t index) const;  // tokens: zeros where a match reaches before the start
    std::vector<std::string> Finish();

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

enum class Check { Auto, NameOnly, WholeHeader, Bad };  // Auto: WholeHeader when `extra` is set

struct EntrySpec {
    std::string name = {}, data = {};
    bool stored = false;
    uint8_t method = 0x33, unpackVersion = 20, hostOs = 2;
    uint32_t fileTime = DosDateTime(2024, 5, 17, 13, 45, 30), attributes = 0x20;
    std::string password = {};  // not empty: encrypted
    uint16_t extraFlags = 0;
    std::string extra = {};  // header bytes after the name
    Check check = Check::Auto;
    CompressOptions options = {};
    SolidJoin join = SolidJoin::LeadingTables;
    std::optional<std::vector<Token>> tokens = {};  // the stream, instead of compressing `data`
    // Faults: each replaces what the writer would store.
    std::optional<uint16_t> flags = {}, headerSize = {};
    std::optional<uint32_t> unpackedSize = {}, fileCrc = {};
    std::optional<std::string> packedData = {};  // unenciphered
};

inline EntrySpec Compressed(std::string name, std::string data, CompressOptions options = {}) {
    return {.name = std::move(name), .data = std::move(data), .options = std::move(options)};
}
inline EntrySpec Stored(std::string name, std::string data) {
    return {.name = std::move(name), .data = std::move(data), .stored = true};
}

// Any other block, before entries[position]; with kLongBlock `data` follows the header.
struct RawBlock {
    size_t position;
    uint8_t type;
    uint16_t flags = 0;
    std::string body = {}, data = {};
    std::optional<uint16_t> headerSize = {};
};

struct ArchiveSpec {
    bool solid = false;
    std::string mainExtra = {};
    std::vector<EntrySpec> entries = {};
    std::vector<RawBlock> blocks = {};
};

struct BuiltArchive {
    std::string bytes;
    struct Entry {
        size_t headerOffset, dataOffset, packedSize;
        std::string data;  // what decoding gives
    };
    std::vector<Entry> entries;
};

BuiltArchive BuildArchiveWithLayout(const ArchiveSpec &plan);
std::string BuildArchive(const ArchiveSpec &plan);
void WriteFile(const std::filesystem::path &path, const std::string &bytes);  // throws on failure

}  // namespace rarwriter
