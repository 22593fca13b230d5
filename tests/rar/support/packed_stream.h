// The RAR 2.0 packed-data encoder: turns file contents into the bit stream
// of Huffman-coded blocks that the library's unpacker decodes.
//
// A stream is one file, or a chain of files that continue each other's state
// (a solid group). Planning runs first: an LZ parser (hash chains, lazy
// evaluation) or a caller's token list becomes symbols, and multimedia
// segments run through a per-channel predictor that mirrors the decoder's.
// Every block's code lengths come from its own symbol counts, so the bits are
// written only when a whole chain is known (`Finish`), which also lets a file
// end with the tables of the next file's first block.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace rarwriter {

// Window of the format: 1 MiB, and so the farthest distance.
constexpr uint32_t kWindowSize = 0x100000;

enum class TokenKind : uint8_t {
    Literal,   // one byte (symbols 0-255)
    Repeat,    // the previous match again, same length and distance (256)
    History,   // a distance pushed 1-4 matches ago with a new length (257-260)
    Short,     // length 2, distance 1-256 (261-268)
    Long,      // length and distance coded in full (270-297)
    NewBlock,  // end the block here and start a new LZ block (269)
};

struct Token {
    TokenKind kind = TokenKind::Literal;
    uint8_t byte = 0;       // Literal
    uint32_t length = 0;    // History, Short (always 2), Long
    uint32_t distance = 0;  // Short, Long
    uint8_t back = 1;       // History: 1 = most recently pushed distance ... 4

    static Token Lit(uint8_t b) { return {TokenKind::Literal, b, 0, 0, 1}; }
    static Token Rep() { return {TokenKind::Repeat, 0, 0, 0, 1}; }
    static Token Hist(uint8_t back, uint32_t length) { return {TokenKind::History, 0, length, 0, back}; }
    static Token ShortMatch(uint32_t distance) { return {TokenKind::Short, 0, 2, distance, 1}; }
    static Token LongMatch(uint32_t length, uint32_t distance) { return {TokenKind::Long, 0, length, distance, 1}; }
    static Token Block() { return {TokenKind::NewBlock, 0, 0, 0, 1}; }
};

// A stretch of a file coded one way: `channels` 0 is LZ, 1-4 a multimedia
// block with that many interleaved channels.
struct Segment {
    uint32_t bytes = 0;
    int channels = 0;
};

struct CompressOptions {
    // Match kinds the LZ parser may use; literals are always allowed.
    bool repeat = true;
    bool history = true;
    bool shortMatches = true;
    bool longMatches = true;
    bool lazy = true;              // look one byte ahead before taking a match
    int chainDepth = 32;           // hash-chain candidates tried per position
    uint32_t maxDistance = kWindowSize;
    uint32_t blockBytes = 0x40000; // output bytes per LZ block before the next block
    // Block plan from the start of the file; whatever the plan leaves is LZ.
    std::vector<Segment> segments;
    // Header bit 14: code lengths as deltas to the previous block's lengths.
    // Off, the lengths are written as absolute values.
    bool deltaTables = true;
    bool runSymbols = true;        // use code-length symbols 16, 17 and 18
    bool overlongRuns = false;     // a final zero run may claim more entries than remain
    bool repeatAtStart = false;    // begin a table with symbol 16 (repeating nothing, read as 0)
    int maxCodeLength = 15;        // 1..15; small limits force flat codes
};

// How a solid file takes over from the previous file of its chain.
enum class SolidJoin {
    LeadingTables,   // the file starts with end-of-block in the old tables, then new tables
    TrailingTables,  // the previous file ends with end-of-block and this file's first tables
    SameBlock,       // the file goes on in the previous file's block and tables
};

struct StreamStats {
    uint64_t literals = 0;
    uint64_t repeats = 0;
    std::array<uint64_t, 4> history{};  // by how far back (1-4)
    uint64_t shorts = 0;
    uint64_t longs = 0;
    uint64_t longsFrom0x2000 = 0;       // long matches with the first length bonus
    uint64_t longsFrom0x40000 = 0;      // ... and with the second
    uint64_t historyFrom0x101 = 0;      // history matches with at least one bonus
    uint64_t historyFrom0x40000 = 0;    // history matches with all three bonuses
    uint32_t longestMatch = 0;
    uint32_t farthestDistance = 0;
    uint64_t audioBytes = 0;
    uint32_t lzBlocks = 0;
    uint32_t audioBlocks = 0;
    std::array<uint32_t, 5> audioBlocksByChannels{};  // index = channel count
    uint32_t deltaHeaders = 0;          // headers with bit 14 set
    uint32_t trailingTables = 0;        // files that end with the next file's tables
    std::array<uint64_t, 3> runSymbols{};  // code-length symbols 16, 17, 18
    int longestCode = 0;
    uint32_t paddedFiles = 0;
};

// Encodes one chain of files. Files are added in stream order; `Finish` writes
// the packed bytes of all of them.
class StreamEncoder {
public:
    StreamEncoder();
    ~StreamEncoder();
    StreamEncoder(const StreamEncoder &) = delete;
    StreamEncoder &operator=(const StreamEncoder &) = delete;

    // Adds a file compressed by the LZ parser and the segment plan. `solid`:
    // the file continues the previous file's state (flag 0x10); otherwise
    // everything is reset as for the first file of an archive. `pad16`: pad
    // the packed data to a multiple of 16 bytes (encryption) with bits that
    // the decoder's end-of-file look-ahead reads as a harmless symbol.
    // Returns the file's index.
    size_t AddFile(std::string_view data, const CompressOptions &options, bool solid = false,
                   SolidJoin join = SolidJoin::LeadingTables, bool pad16 = false);

    // Adds a file made of exactly these tokens (LZ only). Throws
    // std::invalid_argument for a token the format cannot express in the
    // current state (a history match with a length below its bonus, a
    // distance past the window, ...). The bytes the tokens produce, zeros
    // included where a match reaches before the first byte, are the file's
    // `Output`.
    size_t AddTokens(const std::vector<Token> &tokens, const CompressOptions &options, bool solid = false,
                     SolidJoin join = SolidJoin::LeadingTables, bool pad16 = false);

    // The bytes that decoding file `index` yields.
    const std::string &Output(size_t index) const;

    // The packed data of every file, in the order added.
    std::vector<std::string> Finish();

    const StreamStats &stats() const;

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

// One file, not solid: its packed data.
std::string CompressStream(std::string_view data, const CompressOptions &options = {},
                           StreamStats *stats = nullptr);

// Slot tables of the format, exposed for tests: index of the slot that holds
// `value` (a length code 0-255 or a distance − 1) and its extra-bit count.
struct Slot {
    int index;
    int extraBits;
    uint32_t base;
};
Slot LengthSlot(uint32_t lengthCode);
Slot DistanceSlot(uint32_t distanceMinusOne);
Slot ShortDistanceSlot(uint32_t distanceMinusOne);

}  // namespace rarwriter
