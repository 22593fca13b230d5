// Archive layout, CRC-32, the cipher and the bit writer, written apart from
// the library so that a round trip checks one against the other (only the
// cipher's constant starting permutation is the library's own).
#include <cstring>
#include <fstream>
#include <stdexcept>

#include "rar_writer.h"

namespace rarwriter {
namespace {

const uint32_t *CrcTable() {
    static uint32_t table[256];
    for (uint32_t n = table[1] == 0 ? 0 : 256; n < 256; ++n) {
        uint32_t x = n;
        for (int k = 0; k < 8; ++k) x = (x & 1) ? (x >> 1) ^ 0xEDB88320u : x >> 1;
        table[n] = x;
    }
    return table;
}

// The cipher's starting permutation, typed in from the format's table (not
// taken from the library, so that a fault in the library's copy shows).
const char kInitialSubstitution[] =
    "D7139523" "49C5C0CD" "F91C1077" "30DD022A" "E801B1E9" "0E58DB19" "DFC3F45A" "57EF9989"
    "FFC79346" "5C42F60D" "D8283E1D" "D9E65606" "4718ABC4" "6571DA7B" "5D5BA3B2" "CA432CEB"
    "6BFA4BEA" "31A77DD3" "53729D90" "20C18F24" "9E7CF7BB" "59D68D2F" "79E43D82" "D5C2AEFB"
    "616E36E5" "7339985E" "69F3D437" "D1F53F0B" "A4C81F9C" "51B0E315" "4C638BBC" "7F11F833"
    "CF78BDD2" "08E22948" "B7CB87A5" "A63C6207" "7A269BAA" "45ACFCEE" "27863B80" "EC1BF050"
    "830355CE" "914F9A8E" "9FDCC985" "4A401481" "E0B98A67" "ADB62B22" "FE52C697" "E7B43A0A"
    "761A660C" "328416BF" "886FA2B3" "2D04946C" "A1384E7E" "F2DE0FAF" "921721F1" "B5BE4DE1"
    "002EA9BA" "445FED41" "35D0FDA8" "09126434" "74B8A060" "6D251E6A" "8C689605" "CC757054";

uint32_t Le32(const uint8_t *p) { return p[0] | p[1] << 8 | p[2] << 16 | uint32_t(p[3]) << 24; }
uint32_t Rotl(uint32_t v, int n) { return (v << n) | (v >> (32 - n)); }

// Four key words and a byte permutation; each block folds its ciphertext into the words.
struct Cipher {
    uint32_t key[4] = {0xD3A3B879u, 0x3F6D12F7u, 0x7515A235u, 0xA4E7F123u};
    uint8_t sub[256];

    uint32_t Sub(uint32_t v) const {
        return sub[v & 0xFF] | sub[(v >> 8) & 0xFF] << 8 | sub[(v >> 16) & 0xFF] << 16 | uint32_t(sub[v >> 24]) << 24;
    }
    void Block(uint8_t *b) {
        uint32_t u[4];
        for (int i = 0; i < 4; ++i) u[i] = Le32(b + 4 * i) ^ key[i];
        for (int r = 0; r < 32; ++r) {
            const uint32_t k = key[r & 3];
            const uint32_t u2 = u[0] ^ Sub((u[2] + Rotl(u[3], 11)) ^ k), u3 = u[1] ^ Sub((u[3] ^ Rotl(u[2], 17)) + k);
            u[0] = u[2], u[1] = u[3], u[2] = u2, u[3] = u3;
        }
        const uint32_t out[4] = {u[2] ^ key[0], u[3] ^ key[1], u[0] ^ key[2], u[1] ^ key[3]};
        for (int i = 0; i < 16; ++i) b[i] = static_cast<uint8_t>(out[i / 4] >> (8 * (i % 4)));
        for (int i = 0; i < 16; ++i) key[i % 4] ^= CrcTable()[b[i]];
    }
    explicit Cipher(std::string_view password) {
        if (password.size() > 255) throw std::invalid_argument("password longer than 255 bytes");
        for (int i = 0; i < 256; ++i) sub[i] = static_cast<uint8_t>(std::stoi(std::string(kInitialSubstitution + 2 * i, 2), nullptr, 16));
        uint8_t w[256 + 16] = {};  // the password, its zero terminator and zero padding
        std::memcpy(w, password.data(), password.size());
        for (unsigned j = 0; j < 256; ++j) {
            for (size_t i = 0; i < password.size(); i += 2) {
                unsigned m = CrcTable()[(w[i] - j) & 0xFF] & 0xFF;
                const unsigned target = CrcTable()[(w[i + 1] + j) & 0xFF] & 0xFF;
                for (unsigned s = 1; m != target; ++s, m = (m + 1) & 0xFF) std::swap(sub[m], sub[(m + i + s) & 0xFF]);
            }
        }
        for (size_t i = 0; i < password.size(); i += 16) Block(w + i);
    }
};

void Put16(std::string &out, uint32_t v) { out += char(v & 0xFF), out += char((v >> 8) & 0xFF); }
void Put32(std::string &out, uint32_t v) { Put16(out, v & 0xFFFF), Put16(out, v >> 16); }
void Set16(std::string &out, size_t at, uint32_t v) { out[at] = char(v & 0xFF), out[at + 1] = char((v >> 8) & 0xFF); }
uint16_t CheckOf(std::string_view header, size_t end) { return Crc32(header.substr(2, end - 2)) & 0xFFFF; }

std::string BlockBytes(const RawBlock &b) {
    std::string h(2, '\0');
    h += static_cast<char>(b.type);
    Put16(h, b.flags);
    Put16(h, 0);
    if (b.flags & kLongBlock) Put32(h, static_cast<uint32_t>(b.data.size()));
    h += b.body;
    Set16(h, 5, b.headerSize.value_or(static_cast<uint16_t>(h.size())));
    Set16(h, 0, CheckOf(h, h.size()));
    return (b.flags & kLongBlock) ? h + b.data : h;
}

}  // namespace

uint32_t Crc32(std::string_view bytes, uint32_t previous) {
    uint32_t crc = ~previous;
    for (unsigned char b : bytes) crc = CrcTable()[(crc ^ b) & 0xFF] ^ (crc >> 8);
    return ~crc;
}

uint32_t DosDateTime(int year, int month, int day, int hour, int minute, int second) {
    return uint32_t(year - 1980) << 25 | uint32_t(month) << 21 | uint32_t(day) << 16 | uint32_t(hour) << 11 |
           uint32_t(minute) << 5 | uint32_t(second / 2);
}

void Encipher(std::string &data, std::string_view password) {
    if (data.size() % 16 != 0) throw std::invalid_argument("cipher input not a multiple of 16 bytes");
    Cipher c(password);
    for (size_t i = 0; i < data.size(); i += 16) c.Block(reinterpret_cast<uint8_t *>(&data[i]));
}

void BitWriter::Write(uint32_t value, int count) {
    if (count < 0 || count > 32) throw std::invalid_argument("bit count out of range");
    if (count < 32) value &= (uint32_t{1} << count) - 1;
    pending_ = pending_ << count | value;  // at most 7 bits wait between calls
    for (used_ += count; used_ >= 8; used_ -= 8) bytes_ += static_cast<char>(pending_ >> (used_ - 8));
}

std::string BitWriter::Bytes() const {
    return used_ > 0 ? bytes_ + static_cast<char>(pending_ << (8 - used_)) : bytes_;
}

BuiltArchive BuildArchiveWithLayout(const ArchiveSpec &plan) {
    const size_t count = plan.entries.size();
    std::vector<uint16_t> flags(count);
    std::vector<std::string> data(count), packed(count);
    std::vector<size_t> stream(count, SIZE_MAX);
    // One encoder for all, so solid entries continue the stream; stored ones are solid from the second on.
    StreamEncoder encoder;
    bool chain = false;
    for (size_t i = 0; i < count; ++i) {
        const EntrySpec &e = plan.entries[i];
        const bool solid = plan.solid && (e.stored ? i > 0 : chain);
        flags[i] = e.flags.value_or(kLongBlock | e.extraFlags | (solid ? kFileSolid : 0) |
                                    (e.password.empty() ? 0 : kFileEncrypted));
        data[i] = e.data;
        if (e.stored || e.packedData) continue;
        const bool pad = !e.password.empty();
        stream[i] = e.tokens ? encoder.AddTokens(*e.tokens, e.options, solid, e.join, pad)
                             : encoder.AddFile(e.data, e.options, solid, e.join, pad);
        data[i] = encoder.Output(stream[i]);
        chain = true;
    }
    std::vector<std::string> streams = encoder.Finish();

    BuiltArchive out;
    std::string &a = out.bytes;
    a = std::string("Rar!\x1a\x07\x00", 7) + BlockBytes({0, 0x73, uint16_t(plan.solid ? kMainSolid : 0),
                                  std::string(6, '\0') + plan.mainExtra});  // two reserved fields, then the extra bytes
    auto blocksAt = [&](size_t position) {
        for (const RawBlock &b : plan.blocks)
            if (b.position == position) a += BlockBytes(b);
    };
    for (size_t i = 0; i < count; ++i) {
        const EntrySpec &e = plan.entries[i];
        if (e.packedData) {
            packed[i] = *e.packedData;
        } else {
            packed[i] = stream[i] == SIZE_MAX ? data[i] : streams[stream[i]];
            if (!e.password.empty()) {
                packed[i].resize((packed[i].size() + 15) / 16 * 16, '\0');
                Encipher(packed[i], e.password);
            }
        }
        blocksAt(i);
        std::string h(2, '\0');
        h += '\x74';
        Put16(h, flags[i]);
        Put16(h, 0);
        Put32(h, static_cast<uint32_t>(packed[i].size()));
        Put32(h, e.unpackedSize.value_or(static_cast<uint32_t>(data[i].size())));
        h += static_cast<char>(e.hostOs);
        Put32(h, e.fileCrc.value_or(Crc32(data[i])));
        Put32(h, e.fileTime);
        h += static_cast<char>(e.unpackVersion);
        h += static_cast<char>(e.stored ? 0x30 : e.method);
        Put16(h, static_cast<uint32_t>(e.name.size()));
        Put32(h, e.attributes);
        h += e.name;
        const size_t nameEnd = h.size();
        h += e.extra;
        Set16(h, 5, e.headerSize.value_or(static_cast<uint16_t>(h.size())));
        const uint16_t nameOnly = CheckOf(h, nameEnd), whole = CheckOf(h, h.size());
        const Check check = e.check != Check::Auto ? e.check : e.extra.empty() ? Check::NameOnly : Check::WholeHeader;
        uint16_t value = check == Check::NameOnly ? nameOnly : check == Check::WholeHeader ? whole : nameOnly ^ 0x5A5A;
        if (check == Check::Bad && value == whole) value ^= 1;  // matches neither form
        Set16(h, 0, value);
        out.entries.push_back({a.size(), a.size() + h.size(), packed[i].size(), data[i]});
        a += h + packed[i];
    }
    blocksAt(count);
    return out;
}

std::string BuildArchive(const ArchiveSpec &plan) { return BuildArchiveWithLayout(plan).bytes; }

void WriteFile(const std::filesystem::path &path, const std::string &bytes) {
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    file.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (!file.flush()) throw std::runtime_error("cannot write " + path.string());
}

}  // namespace rarwriter
