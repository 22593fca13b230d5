#include <fstream>
#include <stdexcept>

#include "rar_writer.h"

namespace rarwriter {
namespace {

void Put16(std::string &out, uint32_t v) {
    out.push_back(static_cast<char>(v & 0xFF));
    out.push_back(static_cast<char>((v >> 8) & 0xFF));
}

void Put32(std::string &out, uint32_t v) {
    Put16(out, v & 0xFFFF);
    Put16(out, v >> 16);
}

void Set16(std::string &out, size_t at, uint32_t v) {
    out[at] = static_cast<char>(v & 0xFF);
    out[at + 1] = static_cast<char>((v >> 8) & 0xFF);
}

// Fills in the check value of the header `h`, computed over bytes 2 to
// `coverEnd`; `bad` stores a value that does not match.
void SetCheck(std::string &h, size_t coverEnd, bool bad) {
    uint16_t check = HeaderCheck(std::string_view(h).substr(2, coverEnd - 2));
    if (bad) check ^= 0x5A5A;
    Set16(h, 0, check);
}

std::string MarkerBytes(Marker m) {
    switch (m) {
    case Marker::Rar: return std::string("Rar!\x1a\x07\x00", 7);
    case Marker::Alternative: return "Talvik!";
    case Marker::Old: return std::string("RE~^", 4);
    case Marker::None: return {};
    }
    return {};
}

std::string RawBlockBytes(const RawBlock &b) {
    std::string h;
    Put16(h, 0);
    h.push_back(static_cast<char>(b.type));
    Put16(h, b.flags);
    Put16(h, 0);
    if (b.flags & kLongBlock) Put32(h, static_cast<uint32_t>(b.data.size()));
    h += b.body;
    Set16(h, 5, b.headerSize.value_or(static_cast<uint16_t>(h.size())));
    SetCheck(h, h.size(), b.badHeaderCheck);
    if (b.flags & kLongBlock) h += b.data;
    return h;
}

}  // namespace

uint32_t DosDateTime(int year, int month, int day, int hour, int minute, int second) {
    const uint32_t date = uint32_t(year - 1980) << 9 | uint32_t(month) << 5 | uint32_t(day);
    const uint32_t time = uint32_t(hour) << 11 | uint32_t(minute) << 5 | uint32_t(second / 2);
    return date << 16 | time;
}

BuiltArchive BuildArchiveWithLayout(const ArchiveSpec &plan) {
    BuiltArchive out;
    const size_t count = plan.entries.size();

    // Pass 1: the flags and packed data of every entry. Compressed entries
    // share one encoder so that solid ones continue each other's stream.
    std::vector<uint16_t> flags(count, 0);
    std::vector<std::string> data(count);
    std::vector<std::string> packed(count);
    std::vector<size_t> streamIndex(count, SIZE_MAX);
    StreamEncoder encoder;
    bool chainStarted = false;
    for (size_t i = 0; i < count; ++i) {
        const EntrySpec &e = plan.entries[i];
        // A compressed entry continues the stream only after another
        // compressed one; a stored entry carries the flag from the second
        // entry on.
        const bool solid = e.solidFlag.value_or(plan.solid && (e.stored ? i > 0 : chainStarted));
        flags[i] = static_cast<uint16_t>(kLongBlock | e.extraFlags | (solid ? kFileSolid : 0) |
                                         (e.password.empty() ? 0 : kFileEncrypted) |
                                         (e.comment.empty() ? 0 : kFileComment));
        if (e.dropLongBlockFlag) flags[i] &= static_cast<uint16_t>(~kLongBlock);
        if (e.stored) {
            if (e.tokens) throw std::invalid_argument("tokens need a compressed entry");
            data[i] = e.data;
            continue;
        }
        const bool continues = solid && chainStarted;
        const bool pad16 = !e.password.empty();
        streamIndex[i] = e.tokens ? encoder.AddTokens(*e.tokens, e.options, continues, e.join, pad16)
                                  : encoder.AddFile(e.data, e.options, continues, e.join, pad16);
        data[i] = encoder.Output(streamIndex[i]);
        chainStarted = true;
    }
    std::vector<std::string> streams = encoder.Finish();
    out.stats = encoder.stats();

    for (size_t i = 0; i < count; ++i) {
        const EntrySpec &e = plan.entries[i];
        if (e.stored) {
            packed[i] = data[i];
            // Enciphered data is a whole number of 16-byte blocks; the
            // reader keeps only the unpacked size of it.
            if (!e.password.empty()) packed[i].resize((packed[i].size() + 15) / 16 * 16, '\0');
        } else {
            packed[i] = std::move(streams[streamIndex[i]]);
        }
        if (!e.password.empty()) Cipher20(e.password).Encrypt(packed[i]);
        if (e.packedData) packed[i] = *e.packedData;
    }

    // Pass 2: the bytes.
    std::string &a = out.bytes;
    a = plan.prefix + MarkerBytes(plan.marker);

    std::string main;
    Put16(main, 0);
    main.push_back(static_cast<char>(kMainHeaderType));
    Put16(main, static_cast<uint16_t>(plan.mainFlags | (plan.solid ? kMainSolid : 0) |
                                      (plan.mainComment.empty() ? 0 : kMainComment)));
    Put16(main, 0);
    Put16(main, 0);  // reserved
    Put32(main, 0);  // reserved
    main += plan.mainComment;
    Set16(main, 5, plan.mainHeaderSize.value_or(static_cast<uint16_t>(main.size())));
    SetCheck(main, main.size(), false);
    a += main;

    auto blocksAt = [&](size_t position) {
        for (const RawBlock &b : plan.blocks)
            if (b.position == position) a += RawBlockBytes(b);
    };

    for (size_t i = 0; i < count; ++i) {
        blocksAt(i);
        const EntrySpec &e = plan.entries[i];
        if (e.name.size() > 0xFFFF) throw std::invalid_argument("name too long for its size field");
        std::string h;
        Put16(h, 0);
        h.push_back(static_cast<char>(kFileHeaderType));
        Put16(h, flags[i]);
        Put16(h, 0);
        Put32(h, e.packedSize.value_or(static_cast<uint32_t>(packed[i].size())));
        Put32(h, e.unpackedSize.value_or(static_cast<uint32_t>(data[i].size())));
        h.push_back(static_cast<char>(e.hostOs));
        const uint32_t crc = Crc32(data[i]);
        Put32(h, e.fileCrc.value_or(crc));
        Put32(h, e.fileTime);
        h.push_back(static_cast<char>(e.unpackVersion));
        h.push_back(static_cast<char>(e.stored ? kMethodStored : e.method));
        Put16(h, e.nameSize.value_or(static_cast<uint16_t>(e.name.size())));
        Put32(h, e.attributes);
        h += e.name;
        const size_t nameEnd = h.size();
        h += e.comment;
        h += e.extra;
        Set16(h, 5, e.headerSize.value_or(static_cast<uint16_t>(h.size())));
        const CheckCover cover = e.cover.value_or(e.extra.empty() ? CheckCover::NameOnly : CheckCover::WholeHeader);
        SetCheck(h, cover == CheckCover::NameOnly ? nameEnd : h.size(), e.badHeaderCheck);

        EntryLayout layout;
        layout.headerOffset = a.size();
        layout.headerSize = h.size();
        layout.dataOffset = a.size() + h.size();
        layout.packedSize = packed[i].size();
        layout.crc = crc;
        layout.data = data[i];
        out.entries.push_back(std::move(layout));
        a += h;
        a += packed[i];
    }
    blocksAt(count);
    for (const RawBlock &b : plan.blocks)
        if (b.position > count) throw std::invalid_argument("raw block placed past the last entry");

    if (plan.endOfArchive) {
        std::string end;
        Put16(end, 0);
        end.push_back(static_cast<char>(kEndOfArchiveType));
        Put16(end, 0x4000);
        Put16(end, 7);
        SetCheck(end, end.size(), false);
        a += end;
    }
    return out;
}

std::string BuildArchive(const ArchiveSpec &plan) { return BuildArchiveWithLayout(plan).bytes; }

void WriteFile(const std::filesystem::path &path, const std::string &bytes) {
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    file.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    file.close();
    if (!file) throw std::runtime_error("cannot write " + path.string());
}

}  // namespace rarwriter
