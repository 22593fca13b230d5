// A RAR 2.0 archive writer for tests and benchmarks: whole archives in
// memory, with stored, compressed, solid and encrypted entries, plus every
// oddity and fault the reader has to survive (odd markers, unknown blocks,
// wrong checks, lying sizes, long names, ...).
//
//   rarwriter::ArchiveSpec plan;
//   plan.entries.push_back(rarwriter::Compressed("a.txt", "hello"));
//   std::string archive = rarwriter::BuildArchive(plan);
//
// Lower-level pieces (CRC-32 and cipher, bit writer, Huffman codes, the
// packed-stream encoder) are in the headers included below.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "bit_writer.h"
#include "cipher20.h"
#include "huffman_code.h"
#include "packed_stream.h"

namespace rarwriter {

// Block header flags.
constexpr uint16_t kLongBlock = 0x8000;        // a 32-bit data size follows the 7 fixed bytes
constexpr uint16_t kMainComment = 0x0002;
constexpr uint16_t kMainSolid = 0x0008;
constexpr uint16_t kFileSplitBefore = 0x0001;  // continued from the previous volume
constexpr uint16_t kFileSplitAfter = 0x0002;   // continued in the next volume
constexpr uint16_t kFileEncrypted = 0x0004;
constexpr uint16_t kFileComment = 0x0008;
constexpr uint16_t kFileSolid = 0x0010;
constexpr uint16_t kFileDirectory = 0x00E0;
constexpr uint16_t kFileExtendedTime = 0x1000;

constexpr uint8_t kMainHeaderType = 0x73;
constexpr uint8_t kFileHeaderType = 0x74;
constexpr uint8_t kSubBlockType = 0x77;
constexpr uint8_t kEndOfArchiveType = 0x7B;

constexpr uint8_t kMethodStored = 0x30;

enum class Marker {
    Rar,          // "Rar!\x1a\x07\x00"
    Alternative,  // "Talvik!"
    Old,          // "RE~^", the older format's marker
    None,         // no marker at all
};

// What a file header's check value covers.
enum class CheckCover {
    NameOnly,     // bytes 2-31 and the name, as RAR 1.5/2.0 archivers do
    WholeHeader,  // bytes 2 to the header's end, as later archivers do
};

// MS-DOS date and time as stored in file headers.
uint32_t DosDateTime(int year, int month, int day, int hour, int minute, int second);

struct EntrySpec {
    std::string name;
    std::string data;
    bool stored = false;
    uint8_t method = 0x33;           // compressed entries (0x31-0x35); stored ones are always 0x30
    uint8_t unpackVersion = 20;
    uint8_t hostOs = 2;
    uint32_t fileTime = DosDateTime(2024, 5, 17, 13, 45, 30);
    uint32_t attributes = 0x20;
    std::string password;            // not empty: encrypted with it (flag 0x04)
    uint16_t extraFlags = 0;         // ORed into the header flags (split, directory, ...)
    std::string comment;             // file comment between the name and the data (flag 0x08)
    std::string extra;               // more header bytes after the name (and comment)
    std::optional<CheckCover> cover; // default: WholeHeader when `extra` is set, else NameOnly
    CompressOptions options;
    // Exact LZ tokens instead of `data` (compressed entries only); the data
    // is then what the tokens produce.
    std::optional<std::vector<Token>> tokens;
    SolidJoin join = SolidJoin::LeadingTables;
    // Flag 0x10. Default, in a solid archive: set on a compressed entry that
    // follows another compressed entry (the stream goes on), and on a stored
    // entry that is not the first. Set explicitly on a compressed entry with
    // no compressed entry before it, the flag is written but the entry's
    // stream starts afresh.
    std::optional<bool> solidFlag;

    // Faults: each replaces what the writer would otherwise store.
    bool badHeaderCheck = false;
    bool dropLongBlockFlag = false;          // clear 0x8000 (the data stays in place)
    std::optional<uint32_t> fileCrc;
    std::optional<uint32_t> packedSize;      // the field only; the data written stays the same
    std::optional<uint32_t> unpackedSize;
    std::optional<uint16_t> headerSize;
    std::optional<uint16_t> nameSize;
    std::optional<std::string> packedData;   // these bytes instead of the packed data
};

// Entry constructors for the common cases; set further fields afterwards.
inline EntrySpec Compressed(std::string name, std::string data, CompressOptions options = {}) {
    EntrySpec e;
    e.name = std::move(name);
    e.data = std::move(data);
    e.options = std::move(options);
    return e;
}

inline EntrySpec Stored(std::string name, std::string data) {
    EntrySpec e;
    e.name = std::move(name);
    e.data = std::move(data);
    e.stored = true;
    return e;
}

// Any other block, placed before entries[position] (or at the end).
struct RawBlock {
    size_t position = 0;
    uint8_t type = 0x7A;
    uint16_t flags = 0;
    std::string body;                // header bytes after the fixed part
    std::string data;                // with flag 0x8000: the data after the header
    std::optional<uint16_t> headerSize;
    bool badHeaderCheck = false;
};

inline RawBlock Block(size_t position, uint8_t type, uint16_t flags = 0, std::string body = {},
                      std::string data = {}) {
    RawBlock b;
    b.position = position;
    b.type = type;
    b.flags = flags;
    b.body = std::move(body);
    b.data = std::move(data);
    return b;
}

struct ArchiveSpec {
    Marker marker = Marker::Rar;
    std::string prefix;              // bytes before the marker (a self-extractor's stub)
    bool solid = false;              // main header flag 0x0008
    uint16_t mainFlags = 0;          // more main header flags
    std::string mainComment;         // bytes after the 13 main header bytes (flag 0x0002)
    std::optional<uint16_t> mainHeaderSize;
    std::vector<EntrySpec> entries;
    std::vector<RawBlock> blocks;
    bool endOfArchive = false;       // finish with an end-of-archive block
};

struct EntryLayout {
    size_t headerOffset = 0;
    size_t headerSize = 0;
    size_t dataOffset = 0;
    size_t packedSize = 0;           // bytes actually written
    uint32_t crc = 0;                // CRC-32 of the entry's data
    std::string data;                // the entry's content (what tokens produce, for token entries)
};

struct BuiltArchive {
    std::string bytes;
    std::vector<EntryLayout> entries;
    StreamStats stats;               // of all compressed entries together
};

BuiltArchive BuildArchiveWithLayout(const ArchiveSpec &plan);
std::string BuildArchive(const ArchiveSpec &plan);

// Writes bytes to a file, replacing it; throws std::runtime_error on failure.
void WriteFile(const std::filesystem::path &path, const std::string &bytes);

}  // namespace rarwriter
