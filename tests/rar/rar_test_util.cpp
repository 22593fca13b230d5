#include "rar_test_util.h"

#include <nettle/sha2.h>
#include <zlib.h>
#include <gtest/gtest.h>

#include <memory>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <numeric>
#include <stdexcept>

#include "archive.h"
#include "cipher.h"
#include "library_state.h"
#include "log.h"
#include "quorbenhal.h"
#include "unpack.h"

namespace rartest {

std::string Sha256Hex(const void *data, size_t size) {
    sha256_ctx ctx;
    sha256_init(&ctx);
    sha256_update(&ctx, size, static_cast<const uint8_t *>(data));
    uint8_t digest[SHA256_DIGEST_SIZE];
    sha256_digest(&ctx, sizeof digest, digest);
    static const char hex[] = "0123456789abcdef";
    std::string out;
    for (uint8_t b : digest) {
        out += hex[b >> 4];
        out += hex[b & 15];
    }
    return out;
}

uint32_t ZlibCrc(const std::string &data) {
    return static_cast<uint32_t>(
        crc32(0L, reinterpret_cast<const Bytef *>(data.data()), static_cast<uInt>(data.size())));
}

void BitWriter::Put(uint32_t value, unsigned bits) {
    for (unsigned i = bits; i-- > 0;) {
        if (bitCount_ % 8 == 0) bytes_.push_back('\0');
        if ((value >> i) & 1) bytes_.back() = static_cast<char>(bytes_.back() | (0x80 >> (bitCount_ % 8)));
        ++bitCount_;
    }
}

std::string BitWriter::Bytes() const { return bytes_; }

CanonicalCode MakeCanonicalCode(const std::vector<uint8_t> &lengths) {
    CanonicalCode c;
    c.length = lengths;
    c.code.assign(lengths.size(), 0);
    std::vector<size_t> order(lengths.size());
    std::iota(order.begin(), order.end(), 0);
    std::stable_sort(order.begin(), order.end(),
                     [&](size_t a, size_t b) { return lengths[a] < lengths[b]; });
    uint32_t code = 0;
    unsigned previous = 0;
    for (size_t s : order) {
        if (lengths[s] == 0) continue;
        if (previous != 0) code = (code + 1) << (lengths[s] - previous);
        else code = 0;
        previous = lengths[s];
        c.code[s] = code;
    }
    return c;
}

void CanonicalCode::Put(BitWriter &w, uint32_t symbol) const {
    if (symbol >= length.size() || length[symbol] == 0) throw std::logic_error("symbol has no code");
    w.Put(code[symbol], length[symbol]);
}

namespace {

void PutLengths(BitWriter &w, const std::vector<uint8_t> &lengths) {
    for (int i = 0; i < 19; ++i) w.Put(5, 4);
    for (uint8_t l : lengths) w.Put(l, 5);
}

std::vector<uint8_t> OrDefault(const std::vector<uint8_t> &v, size_t n, uint8_t fill) {
    if (v.empty()) return std::vector<uint8_t>(n, fill);
    if (v.size() != n) throw std::logic_error("wrong number of code lengths");
    return v;
}

// The fixed slot tables, built from their rule: each base is the previous
// base plus 2 to the power of the previous slot's extra bits.
struct Slots {
    std::vector<uint32_t> base, bits;
    explicit Slots(std::vector<uint32_t> b) : bits(std::move(b)) {
        uint32_t next = 0;
        for (uint32_t x : bits) {
            base.push_back(next);
            next += 1u << x;
        }
    }
    // The slot whose range holds value.
    uint32_t Find(uint32_t value) const {
        for (uint32_t s = 0; s < base.size(); ++s) {
            if (value >= base[s] && value < base[s] + (1u << bits[s])) return s;
        }
        throw std::logic_error("value outside every slot");
    }
};

const Slots &LengthSlots() {
    static const Slots s({0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2, 2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5});
    return s;
}
const Slots &DistanceSlots() {
    static const Slots s({0,  0,  0,  0,  1,  1,  2,  2,  3,  3,  4,  4,  5,  5,  6,  6,
                          7,  7,  8,  8,  9,  9,  10, 10, 11, 11, 12, 12, 13, 13, 14, 14,
                          15, 15, 16, 16, 16, 16, 16, 16, 16, 16, 16, 16, 16, 16, 16, 16});
    return s;
}

uint8_t *sessionWindow = nullptr;

}  // namespace

LzCodes PutLzTables(BitWriter &w, const std::vector<uint8_t> &mainLengths,
                    const std::vector<uint8_t> &distanceLengths,
                    const std::vector<uint8_t> &repeatLengths) {
    auto main = OrDefault(mainLengths, 298, 9);
    auto distance = OrDefault(distanceLengths, 48, 6);
    auto repeat = OrDefault(repeatLengths, 28, 5);
    w.Put(0, 1);  // LZ block
    w.Put(0, 1);  // absolute lengths
    std::vector<uint8_t> all = main;
    all.insert(all.end(), distance.begin(), distance.end());
    all.insert(all.end(), repeat.begin(), repeat.end());
    PutLengths(w, all);
    return {MakeCanonicalCode(main), MakeCanonicalCode(distance), MakeCanonicalCode(repeat)};
}

CanonicalCode PutAudioTables(BitWriter &w, unsigned channels) {
    w.Put(1, 1);  // multimedia block
    w.Put(0, 1);  // absolute lengths
    w.Put(channels - 1, 2);
    PutLengths(w, std::vector<uint8_t>(channels * 257, 9));
    return MakeCanonicalCode(std::vector<uint8_t>(257, 9));
}

void PutLongMatch(BitWriter &w, const LzCodes &c, uint32_t length, uint32_t distance) {
    uint32_t bonus = (distance >= 0x2000 ? 1 : 0) + (distance >= 0x40000 ? 1 : 0);
    uint32_t lengthSlot = LengthSlots().Find(length - bonus - 3);
    c.main.Put(w, 270 + lengthSlot);
    if (LengthSlots().bits[lengthSlot]) {
        w.Put(length - bonus - 3 - LengthSlots().base[lengthSlot], LengthSlots().bits[lengthSlot]);
    }
    uint32_t distanceSlot = DistanceSlots().Find(distance - 1);
    c.distance.Put(w, distanceSlot);
    if (DistanceSlots().bits[distanceSlot]) {
        w.Put(distance - 1 - DistanceSlots().base[distanceSlot], DistanceSlots().bits[distanceSlot]);
    }
}

void PutShortMatch(BitWriter &w, const LzCodes &c, uint32_t distance) {
    static const uint32_t base[8] = {0, 4, 8, 16, 32, 64, 128, 192};
    static const uint32_t bits[8] = {2, 2, 3, 4, 5, 6, 6, 6};
    for (uint32_t slot = 8; slot-- > 0;) {
        if (distance - 1 >= base[slot]) {
            c.main.Put(w, 261 + slot);
            w.Put(distance - 1 - base[slot], bits[slot]);
            return;
        }
    }
}

void PutHistoryMatch(BitWriter &w, const LzCodes &c, unsigned back, uint32_t lengthBeforeBonus) {
    c.main.Put(w, 256 + back);
    uint32_t slot = LengthSlots().Find(lengthBeforeBonus - 2);
    c.repeat.Put(w, slot);
    if (LengthSlots().bits[slot]) w.Put(lengthBeforeBonus - 2 - LengthSlots().base[slot], LengthSlots().bits[slot]);
}

PackedData::PackedData(const std::string &bytes) {
    using namespace quorbenhal;
    file_ = tmpfile();
    if (file_ == nullptr) throw std::runtime_error("tmpfile failed");
    fwrite(bytes.data(), 1, bytes.size(), file_);
    rewind(file_);
    archiveFile = file_;
    remainingPacked = static_cast<uint32_t>(bytes.size());
    cryptVersion = 0;
}

PackedData::~PackedData() {
    fclose(file_);
    quorbenhal::archiveFile = nullptr;
}

UnpackResult RunUnpack(const std::string &packed, uint32_t unpackedSize, bool solid, bool fresh,
                       bool enabled) {
    using namespace quorbenhal;
    BuildCrcTable();
    if (fresh || sessionWindow == nullptr) {
        EndUnpackSession();
        sessionWindow = static_cast<uint8_t *>(calloc(kWindowSize, 1));
        StartUnpackSession(sessionWindow);
    }
    PackedData data(packed);
    remainingOutput = unpackedSize;
    fileHeader = RarFileHeader{};
    fileHeader.flags = solid ? kFileSolid : 0;
    fileHeader.unpackedSize = unpackedSize;

    UnpackResult result;
    std::vector<uint8_t> buffer(unpackedSize + 1u, 0xEE);
    outputEnabled = enabled ? 1 : 0;
    outputBuffer = enabled ? buffer.data() : nullptr;
    outputCapacity = unpackedSize;
    outputCount = &result.stored;
    UnpackFile(sessionWindow);
    if (enabled && buffer[unpackedSize] != 0xEE) throw std::logic_error("output buffer overrun");
    result.output.assign(reinterpret_cast<const char *>(buffer.data()), enabled ? result.stored : 0);
    outputBuffer = nullptr;
    outputCount = nullptr;
    return result;
}

void EndUnpackSession() {
    free(sessionWindow);
    sessionWindow = nullptr;
}

std::string Marker() { return std::string("Rar!\x1a\x07\x00", 7); }
std::string TalvikMarker() { return "Talvik!"; }

namespace {
void Put16(std::string &s, uint32_t v) {
    s += static_cast<char>(v & 0xFF);
    s += static_cast<char>((v >> 8) & 0xFF);
}
void Put32(std::string &s, uint32_t v) {
    Put16(s, v & 0xFFFF);
    Put16(s, v >> 16);
}
uint16_t LowCheck(const std::string &bytes) { return static_cast<uint16_t>(ZlibCrc(bytes) & 0xFFFF); }
}  // namespace

std::string MainHeader(uint16_t flags, const std::string &extra) {
    std::string h;
    Put16(h, 0);
    h += static_cast<char>(0x73);
    Put16(h, flags);
    Put16(h, 13 + static_cast<uint32_t>(extra.size()));
    Put16(h, 0);
    Put32(h, 0);
    h += extra;
    uint16_t check = LowCheck(h.substr(2));
    h[0] = static_cast<char>(check & 0xFF);
    h[1] = static_cast<char>(check >> 8);
    return h;
}

std::string FileHeader(const FileFields &f) {
    std::string h;
    Put16(h, 0);
    h += static_cast<char>(0x74);
    Put16(h, f.flags);
    uint32_t size = 32 + static_cast<uint32_t>(f.name.size() + f.afterName.size());
    Put16(h, f.headerSize ? *f.headerSize : size);
    Put32(h, f.packedSize);
    Put32(h, f.unpackedSize);
    h += static_cast<char>(f.hostOs);
    Put32(h, f.fileCrc);
    Put32(h, f.fileTime);
    h += static_cast<char>(f.unpackVersion);
    h += static_cast<char>(f.method);
    Put16(h, static_cast<uint32_t>(f.name.size()));
    Put32(h, f.attributes);
    h += f.name;
    h += f.afterName;
    uint16_t check = 0;
    switch (f.check) {
        case CheckForm::kFixedAndName: check = LowCheck(h.substr(2, 30 + f.name.size())); break;
        case CheckForm::kWholeHeader: check = LowCheck(h.substr(2)); break;
        case CheckForm::kWrong: check = static_cast<uint16_t>(LowCheck(h.substr(2)) ^ 0x5A5A) ; break;
    }
    if (f.check == CheckForm::kWrong && check == LowCheck(h.substr(2, 30 + f.name.size()))) check ^= 1;
    h[0] = static_cast<char>(check & 0xFF);
    h[1] = static_cast<char>(check >> 8);
    return h;
}

std::string StoredEntry(const std::string &name, const std::string &content, uint16_t flags,
                        uint8_t version) {
    FileFields f;
    f.name = name;
    f.flags = flags;
    f.packedSize = static_cast<uint32_t>(content.size());
    f.unpackedSize = static_cast<uint32_t>(content.size());
    f.fileCrc = ZlibCrc(content);
    f.unpackVersion = version;
    f.method = 0x30;
    return FileHeader(f) + content;
}

std::string PackedEntry(const std::string &name, const std::string &packed, const std::string &content,
                        uint16_t flags, uint8_t method) {
    FileFields f;
    f.name = name;
    f.flags = flags;
    f.packedSize = static_cast<uint32_t>(packed.size());
    f.unpackedSize = static_cast<uint32_t>(content.size());
    f.fileCrc = ZlibCrc(content);
    f.method = method;
    return FileHeader(f) + packed;
}

std::string RawBlock(uint8_t type, uint16_t flags, const std::string &extra, const std::string &data) {
    std::string h;
    Put16(h, 0);
    h += static_cast<char>(type);
    Put16(h, flags);
    uint32_t size = 7 + ((flags & 0x8000) ? 4 : 0) + static_cast<uint32_t>(extra.size());
    Put16(h, size);
    if (flags & 0x8000) Put32(h, static_cast<uint32_t>(data.size()));
    h += extra;
    uint16_t check = LowCheck(h.substr(2));
    h[0] = static_cast<char>(check & 0xFF);
    h[1] = static_cast<char>(check >> 8);
    return h + data;
}

std::string Encipher(const std::string &data, const std::string &password) {
    using namespace quorbenhal;
    BuildCrcTable();
    DeriveKeyState(password.c_str());
    std::string out = data;
    out.resize((data.size() + 15) / 16 * 16, '\0');
    for (size_t i = 0; i < out.size(); i += 16) EncipherBlock(reinterpret_cast<uint8_t *>(&out[i]));
    return out;
}

std::vector<std::string> ListNames(const std::filesystem::path &archive, int *count) {
    RarListEntry *list = nullptr;
    int n = RarListFiles(archive.string().c_str(), &list);
    if (count != nullptr) *count = n;
    std::vector<std::string> names;
    for (RarListEntry *e = list; e != nullptr; e = e->next) names.push_back(e->name);
    RarFreeList(list);
    return names;
}

Extracted Extract(const std::filesystem::path &archive, const std::string &name, const char *password) {
    unsigned char *data = reinterpret_cast<unsigned char *>(1);
    uint32_t size = 12345;
    Extracted e;
    e.result = RarExtractToMemory(&data, &size, name.c_str(), archive.string().c_str(), password);
    if (e.result) {
        e.data.assign(reinterpret_cast<const char *>(data), size);
        free(data);
    } else {
        e.nullOnFailure = data == nullptr && size == 0;
    }
    return e;
}

namespace {
// Every test program of the library logs into a private folder, never into
// the shared temporary folder; tests that read the log start their own.
class PrivateLogEnvironment : public ::testing::Environment {
public:
    void SetUp() override {
        dir_ = std::make_unique<testsupport::TempDir>();
        quorbenhal::logNotStarted = 0;
        quorbenhal::RarLogStart((dir_->path() / "debug_unrar.txt").string().c_str());
    }
    void TearDown() override { dir_.reset(); }

private:
    std::unique_ptr<testsupport::TempDir> dir_;
};
::testing::Environment *const privateLogEnvironment =
    ::testing::AddGlobalTestEnvironment(new PrivateLogEnvironment);
}  // namespace

PrivateLog::PrivateLog() : path_(dir_ / "debug_unrar.txt") {
    quorbenhal::logNotStarted = 0;
    quorbenhal::RarLogStart(path_.string().c_str());
}

std::string PrivateLog::Text() const { return testsupport::ReadFile(path_); }

std::vector<std::string> PrivateLog::Messages() const {
    std::vector<std::string> out;
    std::string text = Text();
    const std::string marker = "              - ";
    size_t pos = 0;
    while ((pos = text.find("\n" + marker, pos)) != std::string::npos) {
        size_t start = pos + 1 + marker.size();
        size_t end = text.find('\n', start);
        size_t length = end == std::string::npos ? std::string::npos : end - start;
        // The log is a text file: on Windows its lines end in CR LF.
        if (length != std::string::npos && length > 0 && text[start + length - 1] == '\r') --length;
        out.push_back(text.substr(start, length));
        pos = end;
    }
    return out;
}

}  // namespace rartest
