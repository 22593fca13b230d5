// Whole archives that sit exactly on the decoder's boundaries: the refill
// and slide points of the packed input, the last bytes where trailing tables
// are read, a match that ends at the window's flush point, and an entry that
// decodes to fewer bytes than its header says. Each is extracted straight
// into a buffer and piece by piece through the window.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>

#include "audio.h"
#include "quorbenhal.h"

#include "rar_test_util.h"
#include "sample_content.h"

using namespace rarwriter;

namespace {

struct Result {
    RarResult code;
    std::string data;
};

// Every entry of an archive, in order: ways 0 (RarExtractToNew, straight into
// the buffer) and 1 (RarExtractToCallback, out of the window).
std::vector<Result> ExtractAll(const std::string &bytes, int way) {
    RarArchive *a = nullptr;
    EXPECT_EQ(RarOpenMemory(&a, bytes.data(), bytes.size(), nullptr), RAR_OK);
    std::vector<Result> out;
    RarEntry e;
    while (a != nullptr && RarNextEntry(a, &e) == RAR_OK) {
        Result r{RAR_OK, {}};
        if (way == 0) {
            void *p = nullptr;
            uint64_t size = 0;
            r.code = RarExtractToNew(a, &p, &size);
            if (p) r.data.assign(static_cast<char *>(p), size);
            RarFreeBuffer(p);
        } else {
            r.code = RarExtractToCallback(a, [](void *u, const void *p, size_t n) {
                return static_cast<std::string *>(u)->append(static_cast<const char *>(p), n), 0;
            }, &r.data);
        }
        out.push_back(std::move(r));
    }
    RarClose(a);
    return out;
}

// A one-entry archive of a hand-written packed stream extracts to expected,
// straight into a buffer and through the window.
void ExpectOneEntryBothWays(const std::string &packed, const std::string &expected) {
    const std::string bytes = BuildArchive({.entries = {{.name = "a", .data = expected, .packedData = packed}}});
    for (int way : {0, 1}) {
        const std::vector<Result> got = ExtractAll(bytes, way);
        ASSERT_EQ(got.size(), 1u);
        EXPECT_EQ(got[0].code, RAR_OK) << way;
        EXPECT_TRUE(got[0].data == expected) << way;
    }
}

// Tokens that produce exactly n bytes: random literals, then long runs.
void Fill(std::vector<Token> &t, uint32_t n, uint32_t seed) {
    std::mt19937 rng(seed);
    for (; n > 0 && (n % 257 != 0 || t.size() < 1000); --n) t.push_back(Token::Lit(uint8_t(rng())));
    for (; n > 0; n -= 257) t.push_back(Token::LongMatch(257, 1 + rng() % 500));
}

// Flat LZ tables (main symbols 9 bits, distances 6, lengths 5): symbol s codes as s, or s - 3 when `repeatFirst`
// starts a delta-coded block with code-length symbol 16, which must repeat 0 three times.
void FlatTables(BitWriter &w, bool repeatFirst = false) {
    w.Write(repeatFirst, 2);
    for (int i = 0; i < 19; ++i) w.Write(5, 4);
    if (repeatFirst) w.Write(16, 5), w.Write(0, 2);
    for (int i = repeatFirst ? 3 : 0; i < 374; ++i) w.Write(repeatFirst ? 0 : i < 298 ? 9 : i < 346 ? 6 : 5, 5);
}

}  // namespace

// An entry whose packed data ends right at, before or after the input
// buffer's slide points (8,160 and 16,320 bytes read), where the reader must
// still know where the data ends.
TEST(Boundary, PackedSizesAroundTheInputBuffersSlidePoints) {
    ArchiveSpec plan;
    for (uint32_t n = 8040; n < 8240; n += 3) plan.entries.push_back(Compressed(std::to_string(n), samples::Random(n, n)));
    for (uint32_t n = 16200; n < 16400; n += 5) plan.entries.push_back(Compressed(std::to_string(n), samples::Random(n, n)));
    const BuiltArchive built = BuildArchiveWithLayout(plan);
    std::vector<size_t> packed;
    for (const auto &e : built.entries) packed.push_back(e.packedSize);
    for (size_t at : {8162u, 8192u, 16322u, 16352u}) {
        EXPECT_TRUE(std::any_of(packed.begin(), packed.end(), [&](size_t p) { return p >= at - 4 && p <= at + 4; })) << at;
    }
    for (int way : {0, 1}) {
        const std::vector<Result> got = ExtractAll(built.bytes, way);
        ASSERT_EQ(got.size(), plan.entries.size());
        for (size_t i = 0; i < got.size(); ++i) {
            EXPECT_EQ(got[i].code, RAR_OK) << way << " " << packed[i];
            EXPECT_TRUE(got[i].data == plan.entries[i].data) << way << " " << packed[i];
        }
    }
}

// One-channel multimedia decodes a whole adaptation period (32 codes) at a
// time. With codes of 15 bits a period takes 60 bytes of input, more than
// the buffer holds past the point where it slides: the decoder must stop
// inside the period for the slide. The code lengths are written with a
// varying mix of literal lengths and repeats, so that the periods fall on
// the slide point at every phase.
TEST(Boundary, LongMultimediaCodesAcrossTheInputBuffersSlidePoint) {
    std::mt19937 rng(5);
    std::vector<uint32_t> symbols(4600);
    for (uint32_t &symbol : symbols) symbol = rng() % 256;
    std::string expected;
    quorbenhal::AudioChannelState channel{};
    int32_t cross = 0;
    for (uint32_t symbol : symbols) expected += char(quorbenhal::DecodeAudioByte(channel, cross, symbol));
    for (int literal = 1; literal < 64; literal += 3) {
        SCOPED_TRACE(literal);
        BitWriter w;
        w.Write(2, 2);  // multimedia, fresh lengths
        w.Write(0, 2);  // one channel
        for (int i = 0; i < 19; ++i) w.Write(5, 4);
        int written = 0;
        for (; written < literal; ++written) w.Write(15, 5);  // every symbol's code is 15 bits
        for (; written < 257; written += 6) w.Write(16, 5), w.Write(3, 2);  // repeat the last length 6 times
        for (uint32_t symbol : symbols) w.Write(symbol, 15);
        ExpectOneEntryBothWays(w.Bytes(), expected);
    }
}

// The decoder refills its 64-bit bit buffer once per group of codes. The
// most a group takes: two literals of 10-bit codes, then a long match of
// length slot 27 (10-bit code and 5 length bits) with a distance of slot 47
// (10-bit code and 16 bits), 61 bits, more than a refill guarantees (56 to
// 63, by the bit phase). Every main and distance code here is 10 bits long,
// and the pattern comes at every phase: the buffer must be refilled before
// the distance. The matches reach before the entry's start (zeros).
TEST(Boundary, TheLongestGroupOfCodesBetweenTwoRefills) {
    BitWriter w;
    w.Write(0, 2);  // LZ, fresh lengths
    for (int i = 0; i < 19; ++i) w.Write(5, 4);
    for (int i = 0; i < 374; ++i) w.Write(i < 346 ? 10 : 5, 5);  // symbol s of the main and distance tables codes as s
    std::mt19937 rng(11);
    std::string expected;
    for (int group = 0; group < 200; ++group) {
        for (int k = group % 8 + 2; k > 0; --k) {  // literals for the phase, then the group's two
            const uint8_t b = uint8_t(rng());
            w.Write(b, 10);
            expected += char(b);
        }
        const uint32_t lengthBits = rng() % 32, distanceBits = rng() % 65536;
        w.Write(297, 10), w.Write(lengthBits, 5);
        w.Write(47, 10), w.Write(distanceBits, 16);
        expected += std::string(227 + lengthBits + 2, '\0');  // distances of 0x40000 and more are two longer
    }
    ExpectOneEntryBothWays(w.Bytes(), expected);
}

// The end-of-block code after an entry's last byte is read (with the tables
// after it, here cut short) when at least 5 bytes of its packed data are
// left, and then the next solid entry starts with those tables; with 4 left
// it is not, and the next entry goes on with the old ones.
TEST(Boundary, TrailingTablesAreReadWithFiveBytesLeftNotFour) {
    BitWriter first;
    FlatTables(first);
    for (int s : {int('a'), int('b'), int('c'), 269}) first.Write(s, 9);
    FlatTables(first);  // 'c' ends in byte 246; the end-of-block follows
    BitWriter second, repeat;
    for (char c : std::string("def")) second.Write(uint8_t(c), 9);
    // And a block that opens with a repeat of the previous code length.
    repeat.Write(269, 9);
    FlatTables(repeat, true);
    repeat.Write('g' - 3, 9);
    for (size_t left : {3, 4, 5, 6}) {
        SCOPED_TRACE(left);
        const std::string bytes = BuildArchive({.solid = true, .entries = {
            {.name = "abc", .data = "abc", .packedData = first.Bytes().substr(0, 246 + left)},
            {.name = "def", .data = "def", .flags = kLongBlock | kFileSolid, .packedData = second.Bytes()},
            {.name = "g", .data = "g", .flags = kLongBlock | kFileSolid, .packedData = repeat.Bytes()}}});
        for (int way : {0, 1}) {
            const std::vector<Result> got = ExtractAll(bytes, way);
            ASSERT_EQ(got.size(), 3u);
            EXPECT_EQ(got[0].code, RAR_OK);
            EXPECT_EQ(got[1].code == RAR_OK && got[1].data == "def", left < 5);
            if (left < 5) {
                EXPECT_EQ(got[2].data, "g");
            }
        }
    }
}

// Through the window, output is handed on when the next code could reach
// bytes not yet handed on. A 260-byte match that ends exactly where the
// last hand-out stopped (the window's start, or byte 100 after a first
// entry of 100 bytes) must not be taken for a window with nothing in it.
TEST(Boundary, AMatchEndingAtTheFlushPoint) {
    std::vector<Token> single;
    Fill(single, kWindowSize - 260, 1);
    single.push_back(Token::LongMatch(260, 0x40000));
    Fill(single, 5000, 2);
    std::vector<Token> second;
    Fill(second, kWindowSize - 100 - 170, 3);  // the match ends at the window's end
    second.push_back(Token::LongMatch(170, 3000));
    Fill(second, 3000, 4);
    const CompressOptions o{.segments = {}, .blockBytes = 1u << 30};
    const ArchiveSpec plans[2] = {
        {.entries = {{.name = "one", .options = o, .tokens = single}}},
        {.solid = true, .entries = {Compressed("first", samples::Text(100, 5)), {.name = "second", .options = o, .tokens = second}}}};
    for (const ArchiveSpec &plan : plans) {
        const BuiltArchive built = BuildArchiveWithLayout(plan);
        for (int way : {0, 1}) {
            const std::vector<Result> got = ExtractAll(built.bytes, way);
            ASSERT_EQ(got.size(), plan.entries.size());
            for (size_t i = 0; i < got.size(); ++i) {
                EXPECT_EQ(got[i].code, RAR_OK) << way;
                EXPECT_TRUE(got[i].data == built.entries[i].data) << way;
            }
        }
    }
}

// An entry whose data decodes to fewer bytes than its header says, with the
// CRC of those bytes in the header: only the size check can refuse it.
TEST(Boundary, ShortOutputWithTheCrcOfWhatCame) {
    BitWriter w;
    FlatTables(w);
    for (char c : std::string("short")) w.Write(uint8_t(c), 9);
    const auto archive = [&](uint32_t size, uint32_t crc) {
        return BuildArchive({.entries = {{.name = "short", .unpackedSize = size, .fileCrc = crc, .packedData = w.Bytes()}}});
    };
    // What the data gives before it runs out (past its end the reader sees
    // zeros: the literal 0).
    std::string came;
    {
        const std::string bytes = archive(100000, 0);
        RarArchive *a = nullptr;
        RarEntry e;
        ASSERT_EQ(RarOpenMemory(&a, bytes.data(), bytes.size(), nullptr), RAR_OK);
        ASSERT_EQ(RarNextEntry(a, &e), RAR_OK);
        char buffer[64];
        for (size_t n = 1; n > 0;) {
            const RarResult r = RarRead(a, buffer, sizeof buffer, &n);
            came.append(buffer, n);
            if (r != RAR_OK) break;
        }
        RarClose(a);
    }
    // It stops where the data ends, not 100000 bytes later.
    ASSERT_EQ(came.substr(0, 5), "short");
    ASSERT_LT(came.size(), 100u);
    for (uint32_t extra : {1u, 300u}) {
        SCOPED_TRACE(extra);
        const std::string bytes = archive(uint32_t(came.size()) + extra, Crc32(came));
        for (int way : {0, 1}) EXPECT_EQ(ExtractAll(bytes, way).at(0).code, RAR_ERROR_BAD_DATA) << way;
        // A buffer that holds no earlier output.
        std::string buffer(came.size() + extra, '\x5A');
        RarArchive *a = nullptr;
        RarEntry e;
        size_t size = 0;
        ASSERT_EQ(RarOpenMemory(&a, bytes.data(), bytes.size(), nullptr), RAR_OK);
        ASSERT_EQ(RarNextEntry(a, &e), RAR_OK);
        EXPECT_EQ(RarExtractToBuffer(a, buffer.data(), buffer.size(), &size), RAR_ERROR_BAD_DATA);
        RarClose(a);
        rartest::TempDir dir;
        EXPECT_EQ(rartest::Extract(dir.Write("s.rar", bytes), "short").result, 0);
    }
}

// A non-solid entry of a solid archive starts from a window of zeros, also
// when it is decoded straight into its buffer: a solid entry after it that
// reaches behind its start reads zeros, not what the entry before it left.
TEST(Boundary, ANonSolidEntryStartsFromZerosWhateverTheWindowHeld) {
    BitWriter fresh, reach;
    FlatTables(fresh);
    for (char c : std::string("abc")) fresh.Write(uint8_t(c), 9);
    // Length slot 0 (3, and 2 for the distance) from 1048529 back: bytes 50-54 of the window.
    reach.Write(270, 9);
    reach.Write(47, 6);
    reach.Write(65488, 16);
    const std::string bytes = BuildArchive({.solid = true, .entries = {
        Compressed("first", std::string(100, 'x')),
        {.name = "abc", .data = "abc", .flags = kLongBlock, .packedData = fresh.Bytes()},
        {.name = "zeros", .data = std::string(5, '\0'), .flags = kLongBlock | kFileSolid, .packedData = reach.Bytes()}}});
    for (int way : {0, 1}) {
        const std::vector<Result> got = ExtractAll(bytes, way);
        ASSERT_EQ(got.size(), 3u);
        for (const Result &r : got) EXPECT_EQ(r.code, RAR_OK) << way;
        EXPECT_EQ(got[2].data, std::string(5, '\0')) << way;
    }
}

// The reader stops at the entry's packed size, whatever follows it in the
// source: here the rest of the entry's own stream, which would decode the
// entry in full and pass its CRC if the reader went on into it. The stream
// is longer than the input buffer, so the reader asks for more.
TEST(Boundary, TheReaderStopsAtThePackedSizeEvenWhereTheStreamGoesOn) {
    const std::string text = samples::Text(200000, 7);
    const BuiltArchive whole = BuildArchiveWithLayout({.entries = {Compressed("text", text)}});
    const std::string stream = whole.bytes.substr(whole.entries[0].dataOffset, whole.entries[0].packedSize);
    const size_t kept = stream.size() - 200;
    EntrySpec cut = Compressed("text", text);
    cut.packedData = stream.substr(0, kept);
    const BuiltArchive head = BuildArchiveWithLayout({.entries = {cut}});
    ASSERT_EQ(head.entries[0].dataOffset + kept, head.bytes.size()) << "the writer added bytes after the entry";
    const std::string bytes = head.bytes + stream.substr(kept);
    for (int way : {0, 1}) {
        const std::vector<Result> got = ExtractAll(bytes, way);
        ASSERT_FALSE(got.empty()) << way;
        EXPECT_NE(got[0].code, RAR_OK) << way;
    }
}
