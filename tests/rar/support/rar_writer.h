// A RAR 2.0 archive writer for the library's tests and benchmark: whole
// archives in memory with stored, compressed (LZ and multimedia blocks),
// solid and encrypted entries, and the odd or broken headers readers meet.
#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace rarwriter {

constexpr uint16_t kLongBlock = 0x8000;  // a 32-bit data size follows the 7 fixed bytes
constexpr uint16_t kMainSolid = 0x0008;
constexpr uint16_t kFileSplitBefore = 0x0001;
constexpr uint16_t kFileSplitAfter = 0x0002;
constexpr uint16_t kFileEncrypted = 0x0004;
constexpr uint16_t kFileSolid = 0x0010;
constexpr uint16_t kFileDirectory = 0x00E0;
constexpr uint8_t kSubBlockType = 0x77;
constexpr uint32_t kWindowSize = 0x100000;
inline const std::string kMarker("Rar!\x1a\x07\x00", 7);

// CRC-32 (start and result complemented); `previous` continues an earlier result.
uint32_t Crc32(std::string_view bytes, uint32_t previous = 0);
uint32_t DosDateTime(int year, int month, int day, int hour, int minute, int second);
// Enciphers data (a multiple of 16 bytes) with a key state fresh from password.
void Encipher(std::string &data, std::string_view password);

// Bit fields, most significant bit first, as the packed stream holds them.
class BitWriter {
public:
    void Write(uint32_t value, int count);  // the low `count` (0-32) bits of value
    std::string Bytes() const;              // the last byte padded with zero bits

private:
    std::string bytes_;
    uint64_t pending_ = 0;
    int used_ = 0;
};

// One LZ token, for streams made of exactly these.
struct Token {
    enum Kind : uint8_t { Literal, Repeat, History, Short, Long } kind;
    uint32_t value;   // Literal: the byte; History: how far back (1-4); Short, Long: the distance
    uint32_t length;  // History, Long: the final length, bonuses included
    static Token Lit(uint8_t b) { return {Literal, b, 1}; }
    static Token Rep() { return {Repeat, 0, 0}; }
    static Token Hist(uint32_t back, uint32_t length) { return {History, back, length}; }
    static Token ShortMatch(uint32_t distance) { return {Short, distance, 2}; }
    static Token LongMatch(uint32_t length, uint32_t distance) { return {Long, distance, length}; }
};

// A stretch of a file coded one way: 0 channels is LZ, 1-4 a multimedia block.
struct Segment {
    uint32_t bytes;
    int channels;
};

struct CompressOptions {
    std::vector<Segment> segments;  // block plan from the file's start; the rest is LZ
    uint32_t blockBytes = 0x40000;  // output bytes per LZ block before the next block
    bool deltaTables = true;        // code lengths as deltas to the previous block's
};

// How a solid file takes over from the previous file of its chain.
enum class SolidJoin {
    LeadingTables,   // the file starts with end-of-block in the old tables, then new tables
    TrailingTables,  // the previous file ends with end-of-block and this file's first tables
    SameBlock,       // the file goes on in the previous file's block and tables
};

// Encodes one chain of files (a solid group, or one file); `Finish` gives the
// packed data of each. `solid`: the file continues the previous one's state.
// `pad16`: pad to whole 16-byte blocks for the cipher, with bits the
// decoder's end-of-file look-ahead reads harmlessly.
class StreamEncoder {
public:
    StreamEncoder();
    ~StreamEncoder();
    size_t AddFile(std::string_view data, const CompressOptions &options, bool solid = false,
                   SolidJoin join = SolidJoin::LeadingTables, bool pad16 = false);
    // Throws std::invalid_argument for a token the format cannot express.
    size_t AddTokens(const std::vector<Token> &tokens, const CompressOptions &options = {}, bool solid = false,
                     SolidJoin join = SolidJoin::LeadingTables, bool pad16 = false);
    // What decoding file `index` yields (for tokens: zeros where a match reaches before the first byte).
    const std::string &Output(size_t index) const;
    std::vector<std::string> Finish();

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

// What a file header's check value covers.
enum class Check { Auto, NameOnly, WholeHeader, Bad };  // Auto: WholeHeader when `extra` is set

struct EntrySpec {
    std::string name = {};
    std::string data = {};
    bool stored = false;
    uint8_t method = 0x33;  // compressed entries; stored ones are 0x30
    uint8_t unpackVersion = 20;
    uint8_t hostOs = 2;
    uint32_t fileTime = DosDateTime(2024, 5, 17, 13, 45, 30);
    uint32_t attributes = 0x20;
    std::string password = {};  // not empty: encrypted (flag 0x04)
    uint16_t extraFlags = 0;  // ORed into the header flags
    std::string extra = {};   // header bytes after the name (comment, extended times)
    Check check = Check::Auto;
    CompressOptions options = {};
    SolidJoin join = SolidJoin::LeadingTables;
    std::optional<std::vector<Token>> tokens = {};  // the stream, instead of compressing `data`
    // Faults: each replaces what the writer would store.
    std::optional<uint16_t> flags = {}, headerSize = {};
    std::optional<uint32_t> packedSize = {}, unpackedSize = {}, fileCrc = {};
    std::optional<std::string> packedData = {};  // these bytes as the packed data, unenciphered
};

inline EntrySpec Compressed(std::string name, std::string data, CompressOptions options = {}) {
    EntrySpec e;
    e.name = std::move(name);
    e.data = std::move(data);
    e.options = std::move(options);
    return e;
}

inline EntrySpec Stored(std::string name, std::string data) {
    EntrySpec e = Compressed(std::move(name), std::move(data));
    e.stored = true;
    return e;
}

// Any other block, placed before entries[position] (or at the end).
struct RawBlock {
    size_t position;
    uint8_t type;
    uint16_t flags = 0;
    std::string body = {};  // header bytes after the fixed part
    std::string data = {};  // with kLongBlock: the data after the header
    std::optional<uint16_t> headerSize = {};
};

struct ArchiveSpec {
    std::string marker = kMarker;  // with anything before it (a self-extractor's code)
    bool solid = false;            // main header flag 0x08; compressed entries form one stream
    uint16_t mainFlags = 0;
    std::string mainExtra = {};  // main header bytes after the 13 fixed ones (a comment)
    std::vector<EntrySpec> entries = {};
    std::vector<RawBlock> blocks = {};
};

struct BuiltArchive {
    std::string bytes;
    struct Entry {
        size_t headerOffset, dataOffset, packedSize;
        std::string data;  // the content (what its tokens produce, for token entries)
    };
    std::vector<Entry> entries;
};

BuiltArchive BuildArchiveWithLayout(const ArchiveSpec &plan);
std::string BuildArchive(const ArchiveSpec &plan);
// Throws std::runtime_error on failure.
void WriteFile(const std::filesystem::path &path, const std::string &bytes);

}  // namespace rarwriter
