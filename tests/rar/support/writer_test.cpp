// The writer's building blocks and archive layout, checked without the
// library: CRC-32, the cipher, the bit writer, Huffman codes, slot tables and
// the bytes of every header.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <random>
#include <set>

#include "rar_writer.h"

namespace rarwriter {
namespace {

uint32_t Le32(const std::string &s, size_t at) {
    return uint32_t(uint8_t(s[at])) | uint32_t(uint8_t(s[at + 1])) << 8 | uint32_t(uint8_t(s[at + 2])) << 16 |
           uint32_t(uint8_t(s[at + 3])) << 24;
}
uint16_t Le16(const std::string &s, size_t at) {
    return static_cast<uint16_t>(uint8_t(s[at]) | uint8_t(s[at + 1]) << 8);
}

std::string RandomBytes(size_t n, uint32_t seed) {
    std::mt19937 rng(seed);
    std::string s(n, '\0');
    for (auto &c : s) c = static_cast<char>(rng());
    return s;
}

// ---- CRC-32 ----

TEST(WriterCrc, StandardCheckValue) {
    EXPECT_EQ(Crc32("123456789"), 0xCBF43926u);
    EXPECT_EQ(Crc32(""), 0u);
    EXPECT_EQ(Crc32(std::string(1, '\0')), 0xD202EF8Du);
}

TEST(WriterCrc, ContinuesAnEarlierResult) {
    const std::string a = RandomBytes(1000, 1), b = RandomBytes(777, 2);
    EXPECT_EQ(Crc32(b, Crc32(a)), Crc32(a + b));
    EXPECT_EQ(HeaderCheck("123456789"), 0x3926);
}

// ---- cipher ----

TEST(WriterCipher, EmptyPasswordKeepsTheStartingState) {
    Cipher20 c("");
    EXPECT_EQ(c.keys()[0], 0xD3A3B879u);
    EXPECT_EQ(c.keys()[1], 0x3F6D12F7u);
    EXPECT_EQ(c.keys()[2], 0x7515A235u);
    EXPECT_EQ(c.keys()[3], 0xA4E7F123u);
    EXPECT_EQ(c.substitution()[0], 0xD7);
    EXPECT_EQ(c.substitution()[0xFF], 0x54);
}

TEST(WriterCipher, PasswordsGiveAPermutationAndNewKeys) {
    for (const char *pw : {"a", "password", "0123456789abcdef", "0123456789abcdefg", "\xff\x80 long one"}) {
        Cipher20 c(pw);
        std::set<uint8_t> values(c.substitution().begin(), c.substitution().end());
        EXPECT_EQ(values.size(), 256u) << pw;
        EXPECT_NE(c.keys()[0], 0xD3A3B879u) << pw;
    }
    // One byte and the same byte followed by zeros up to a block differ
    // only in the substitution pairs, never in being accepted.
    EXPECT_NE(Cipher20("ab").keys(), Cipher20("ba").keys());
}

TEST(WriterCipher, DecipherUndoesEncipherAndBothLeaveTheSameKeys) {
    for (const char *pw : {"", "x", "password", "a much longer password of several blocks!"}) {
        Cipher20 enc(pw), dec(pw);
        std::string data = RandomBytes(16 * 37, 7);
        std::string copy = data;
        enc.Encrypt(copy);
        EXPECT_NE(copy, data) << pw;
        dec.Decrypt(copy);
        EXPECT_EQ(copy, data) << pw;
        EXPECT_EQ(enc.keys(), dec.keys()) << pw;
    }
}

TEST(WriterCipher, KeyStateCarriesFromBlockToBlock) {
    const std::string data = RandomBytes(32, 9);
    Cipher20 whole("secret"), parts("secret");
    std::string a = data;
    whole.Encrypt(a);
    std::string first = data.substr(0, 16), second = data.substr(16);
    parts.Encrypt(first);
    parts.Encrypt(second);
    EXPECT_EQ(a, first + second);
    // The same plaintext block enciphers differently the second time.
    Cipher20 c("secret");
    std::string twice(32, 'A');
    c.Encrypt(twice);
    EXPECT_NE(twice.substr(0, 16), twice.substr(16));
}

TEST(WriterCipher, RefusesPartialBlocksAndLongPasswords) {
    Cipher20 c("p");
    std::string odd(15, 'x');
    EXPECT_THROW(c.Encrypt(odd), std::invalid_argument);
    EXPECT_THROW(Cipher20(std::string(256, 'p')), std::invalid_argument);
    EXPECT_NO_THROW(Cipher20(std::string(255, 'p')));
}

// ---- bit writer ----

TEST(WriterBits, MostSignificantBitFirstAndZeroPadded) {
    BitWriter w;
    w.Write(0b101, 3);
    w.Write(0b11111, 5);
    w.Write(1, 1);
    EXPECT_EQ(w.bitCount(), 9u);
    EXPECT_EQ(w.Finish(), std::string("\xBF\x80", 2));

    BitWriter wide;
    wide.Write(0xFFFF0001u, 32);
    wide.Write(0xABCD, 16);
    wide.Write(0x7, 2);  // only the low two bits count
    EXPECT_EQ(wide.Finish(), std::string("\xFF\xFF\x00\x01\xAB\xCD\xC0", 7));
    EXPECT_THROW(wide.Write(0, 33), std::invalid_argument);
}

// ---- Huffman codes ----

// Reads a canonical code back with the left-aligned limits the decoder
// uses: this is what makes a code "canonical" for this format.
int DecodeWithLimits(const std::vector<uint8_t> &lengths, uint32_t code, int length) {
    uint32_t perLength[16] = {};
    for (uint8_t l : lengths)
        if (l) ++perLength[l];
    uint32_t limit[16] = {}, first[16] = {}, m = 0;
    for (int l = 1; l < 16; ++l) {
        m = (m + perLength[l]) * 2;
        limit[l] = std::min<uint32_t>(m << (15 - l), 0xFFFF);
        first[l] = first[l - 1] + perLength[l - 1];
    }
    std::vector<int> symbols;
    for (int l = 1; l < 16; ++l)
        for (size_t s = 0; s < lengths.size(); ++s)
            if (lengths[s] == l) symbols.push_back(static_cast<int>(s));
    const uint32_t v = (code << (16 - length)) & 0xFFFE;
    int l = 1;
    while (l < 15 && v >= limit[l]) ++l;
    if (l != length) return -1;
    const uint32_t i = first[l] + ((v - limit[l - 1]) >> (16 - l));
    return i < symbols.size() ? symbols[i] : -1;
}

void ExpectGoodCode(const std::vector<uint32_t> &freq, int maxLength) {
    const std::vector<uint8_t> lengths = BuildCodeLengths(freq, maxLength);
    ASSERT_EQ(lengths.size(), freq.size());
    uint64_t kraft = 0;
    int coded = 0;
    for (size_t s = 0; s < lengths.size(); ++s) {
        EXPECT_LE(lengths[s], maxLength);
        if (freq[s] > 0) {
            EXPECT_GT(lengths[s], 0) << "used symbol " << s << " has no code";
        }
        if (lengths[s]) {
            kraft += uint64_t(1) << (15 - lengths[s]);
            ++coded;
        }
    }
    EXPECT_GE(coded, 2);
    EXPECT_EQ(kraft, uint64_t(1) << 15) << "code is not complete";
    // A more frequent symbol never has a longer code.
    for (size_t a = 0; a < freq.size(); ++a)
        for (size_t b = 0; b < freq.size(); ++b)
            if (freq[a] > freq[b] && freq[b] > 0) {
                EXPECT_LE(lengths[a], lengths[b]) << a << " vs " << b;
            }

    const std::vector<uint16_t> codes = CanonicalCodes(lengths);
    for (size_t a = 0; a < lengths.size(); ++a) {
        if (!lengths[a]) continue;
        EXPECT_EQ(DecodeWithLimits(lengths, codes[a], lengths[a]), static_cast<int>(a));
        for (size_t b = 0; b < lengths.size(); ++b) {
            if (a == b || !lengths[b] || lengths[b] < lengths[a]) continue;
            EXPECT_NE(codes[b] >> (lengths[b] - lengths[a]), codes[a]) << a << " is a prefix of " << b;
        }
    }
}

TEST(WriterHuffman, CodesAreCompletePrefixFreeAndReadBack) {
    std::mt19937 rng(5);
    std::vector<uint32_t> random(298);
    for (auto &f : random) f = rng() % 1000 * (rng() % 3 != 0);
    ExpectGoodCode(random, 15);
    ExpectGoodCode(std::vector<uint32_t>(19, 7), 15);
    ExpectGoodCode({0, 0, 5, 0}, 15);          // one symbol: a second is added
    ExpectGoodCode({1, 1}, 1);
    std::vector<uint32_t> audio(257, 0);
    audio[3] = 100;
    audio[256] = 1;
    ExpectGoodCode(audio, 15);
}

TEST(WriterHuffman, SkewedFrequenciesAreLimited) {
    // Fibonacci counts would make a plain Huffman tree 29 levels deep.
    std::vector<uint32_t> fib(30);
    fib[0] = fib[1] = 1;
    for (size_t i = 2; i < fib.size(); ++i) fib[i] = fib[i - 1] + fib[i - 2];
    for (int limit : {15, 9, 5}) {
        SCOPED_TRACE(limit);
        ExpectGoodCode(fib, limit);
        const auto lengths = BuildCodeLengths(fib, limit);
        EXPECT_EQ(*std::max_element(lengths.begin(), lengths.end()), limit);
    }
    EXPECT_THROW(BuildCodeLengths(std::vector<uint32_t>(40, 1), 5), std::invalid_argument);
}

TEST(WriterHuffman, AddedSymbolAvoidsTheOneAskedFor) {
    std::vector<uint32_t> freq(298, 0);
    freq[269] = 3;
    const auto lengths = BuildCodeLengths(freq, 15, 269);
    EXPECT_EQ(lengths[269], 1);
    EXPECT_EQ(lengths[0], 1);
    const auto none = BuildCodeLengths(std::vector<uint32_t>(298, 0), 15, 0);
    EXPECT_EQ(none[0], 0);
    EXPECT_EQ(none[1], 1);
    EXPECT_EQ(none[2], 1);
}

TEST(WriterHuffman, CanonicalOrderFollowsLengthThenSymbol) {
    // Lengths {2, 1, 2}: symbol 1 gets 0, symbol 0 gets 10, symbol 2 gets 11.
    const auto codes = CanonicalCodes({2, 1, 2});
    EXPECT_EQ(codes[1], 0b0);
    EXPECT_EQ(codes[0], 0b10);
    EXPECT_EQ(codes[2], 0b11);
}

// ---- slot tables ----

TEST(WriterSlots, LengthDistanceAndShortSlots) {
    EXPECT_EQ(LengthSlot(7).index, 7);
    EXPECT_EQ(LengthSlot(8).index, 8);
    EXPECT_EQ(LengthSlot(8).extraBits, 1);
    EXPECT_EQ(LengthSlot(255).index, 27);
    EXPECT_EQ(LengthSlot(255).base, 224u);
    EXPECT_THROW(LengthSlot(256), std::invalid_argument);

    EXPECT_EQ(DistanceSlot(3).index, 3);
    EXPECT_EQ(DistanceSlot(4).extraBits, 1);
    EXPECT_EQ(DistanceSlot(131071).index, 33);
    EXPECT_EQ(DistanceSlot(131072).index, 34);
    EXPECT_EQ(DistanceSlot(983040).index, 47);
    EXPECT_EQ(DistanceSlot(0xFFFFF).index, 47);
    EXPECT_THROW(DistanceSlot(0x100000), std::invalid_argument);

    EXPECT_EQ(ShortDistanceSlot(0).index, 0);
    EXPECT_EQ(ShortDistanceSlot(191).index, 6);
    EXPECT_EQ(ShortDistanceSlot(255).index, 7);
    EXPECT_THROW(ShortDistanceSlot(256), std::invalid_argument);
}

// ---- archive layout ----

TEST(WriterArchive, MarkerMainHeaderAndStoredEntry) {
    ArchiveSpec plan;
    plan.solid = true;
    EntrySpec e;
    e.name = "dir\\file.txt";
    e.data = "hello, archive";
    e.stored = true;
    e.fileTime = DosDateTime(2001, 2, 3, 4, 5, 6);
    e.hostOs = 0;
    e.attributes = 0x21;
    plan.entries.push_back(e);
    const BuiltArchive built = BuildArchiveWithLayout(plan);
    const std::string &a = built.bytes;

    EXPECT_EQ(a.substr(0, 7), std::string("Rar!\x1a\x07\x00", 7));
    EXPECT_EQ(uint8_t(a[9]), 0x73);
    EXPECT_EQ(Le16(a, 10), kMainSolid);
    EXPECT_EQ(Le16(a, 12), 13);
    EXPECT_EQ(Le16(a, 7), HeaderCheck(a.substr(9, 11)));

    ASSERT_EQ(built.entries.size(), 1u);
    const size_t h = built.entries[0].headerOffset;
    EXPECT_EQ(h, 20u);
    EXPECT_EQ(uint8_t(a[h + 2]), 0x74);
    EXPECT_EQ(Le16(a, h + 3), kLongBlock);  // first entry of a solid archive: no 0x10
    EXPECT_EQ(Le16(a, h + 5), 32 + e.name.size());
    EXPECT_EQ(Le32(a, h + 7), e.data.size());
    EXPECT_EQ(Le32(a, h + 11), e.data.size());
    EXPECT_EQ(uint8_t(a[h + 15]), 0);
    EXPECT_EQ(Le32(a, h + 16), Crc32(e.data));
    EXPECT_EQ(Le32(a, h + 20), (21u << 25) | (2u << 21) | (3u << 16) | (4u << 11) | (5u << 5) | 3u);
    EXPECT_EQ(uint8_t(a[h + 24]), 20);
    EXPECT_EQ(uint8_t(a[h + 25]), 0x30);
    EXPECT_EQ(Le16(a, h + 26), e.name.size());
    EXPECT_EQ(Le32(a, h + 28), 0x21u);
    EXPECT_EQ(a.substr(h + 32, e.name.size()), e.name);
    EXPECT_EQ(Le16(a, h), HeaderCheck(a.substr(h + 2, 30 + e.name.size())));
    EXPECT_EQ(a.substr(built.entries[0].dataOffset), e.data);
}

TEST(WriterArchive, FlagsOfSolidEncryptedCommentedAndDirectoryEntries) {
    ArchiveSpec plan;
    plan.solid = true;
    plan.entries.push_back(Compressed("first", "aaaa"));
    plan.entries.push_back(Compressed("second", "bbbb"));
    plan.entries.back().password = "pw";
    plan.entries.push_back(Stored("dir", ""));
    plan.entries.back().attributes = 0x10;
    plan.entries.back().extraFlags = kFileDirectory;
    plan.entries.back().comment = "note";
    plan.entries.push_back(Stored("split", "x"));
    plan.entries.back().extraFlags = kFileSplitAfter;
    plan.entries.back().solidFlag = false;
    const BuiltArchive built = BuildArchiveWithLayout(plan);
    const std::string &a = built.bytes;
    auto flagsOf = [&](size_t i) { return Le16(a, built.entries[i].headerOffset + 3); };
    EXPECT_EQ(flagsOf(0), kLongBlock);
    EXPECT_EQ(flagsOf(1), kLongBlock | kFileSolid | kFileEncrypted);
    EXPECT_EQ(flagsOf(2), kLongBlock | kFileSolid | kFileDirectory | kFileComment);
    EXPECT_EQ(flagsOf(3), kLongBlock | kFileSplitAfter);
    // The comment sits between name and data and counts in the header size.
    const auto &dir = built.entries[2];
    EXPECT_EQ(dir.headerSize, 32u + 3 + 4);
    EXPECT_EQ(a.substr(dir.headerOffset + 35, 4), "note");
    EXPECT_EQ(Le16(a, dir.headerOffset), HeaderCheck(a.substr(dir.headerOffset + 2, 30 + 3)));
}

TEST(WriterArchive, ExtraBytesAfterTheNameAndWhatTheCheckCovers) {
    const std::string extra("\x00\xF0\x12\x34\x56", 5);
    for (CheckCover cover : {CheckCover::NameOnly, CheckCover::WholeHeader}) {
        ArchiveSpec plan;
        EntrySpec entry = Stored("t.bin", "data");
        entry.extraFlags = kFileExtendedTime;
        entry.extra = extra;
        entry.cover = cover;
        plan.entries.push_back(entry);
        const BuiltArchive built = BuildArchiveWithLayout(plan);
        const auto &e = built.entries[0];
        const std::string &a = built.bytes;
        EXPECT_EQ(e.headerSize, 32u + 5 + 5);
        EXPECT_EQ(Le16(a, e.headerOffset + 5), e.headerSize);
        const size_t covered = cover == CheckCover::NameOnly ? 30 + 5 : e.headerSize - 2;
        EXPECT_EQ(Le16(a, e.headerOffset), HeaderCheck(a.substr(e.headerOffset + 2, covered)));
        EXPECT_EQ(a.substr(e.dataOffset, 4), "data");
    }
    // Without an explicit choice, extra bytes are covered.
    ArchiveSpec plan;
    plan.entries.push_back(Stored("t", ""));
    plan.entries.back().extra = "zz";
    const BuiltArchive built = BuildArchiveWithLayout(plan);
    EXPECT_EQ(Le16(built.bytes, 20), HeaderCheck(built.bytes.substr(22, 32 + 1 + 2 - 2)));
}

TEST(WriterArchive, EncryptedStoredEntryIsPaddedAndDeciphers) {
    ArchiveSpec plan;
    const std::string content = RandomBytes(87, 3);
    plan.entries.push_back(Stored("SECRET.TXT", content));
    plan.entries.back().password = "password";
    const BuiltArchive built = BuildArchiveWithLayout(plan);
    const auto &e = built.entries[0];
    EXPECT_EQ(e.packedSize, 96u);
    EXPECT_EQ(Le32(built.bytes, e.headerOffset + 7), 96u);
    EXPECT_EQ(Le32(built.bytes, e.headerOffset + 11), 87u);
    std::string packed = built.bytes.substr(e.dataOffset, 96);
    EXPECT_NE(packed.substr(0, 87), content);
    Cipher20("password").Decrypt(packed);
    EXPECT_EQ(packed.substr(0, 87), content);
}

TEST(WriterArchive, MarkersPrefixCommentAndEndBlock) {
    ArchiveSpec plan;
    plan.marker = Marker::Alternative;
    plan.mainComment = "archive comment";
    plan.endOfArchive = true;
    plan.entries.push_back(Stored("a", "1"));
    std::string a = BuildArchive(plan);
    EXPECT_EQ(a.substr(0, 7), "Talvik!");
    EXPECT_EQ(Le16(a, 12), 13 + 15);
    EXPECT_EQ(Le16(a, 10), kMainComment);
    EXPECT_EQ(a.substr(20, 15), "archive comment");
    EXPECT_EQ(uint8_t(a[35 + 2]), 0x74);
    EXPECT_EQ(a.substr(a.size() - 5, 5), std::string("\x7B\x00\x40\x07\x00", 5));

    plan.marker = Marker::Old;
    EXPECT_EQ(BuildArchive(plan).substr(0, 4), "RE~^");
    plan.marker = Marker::Rar;
    plan.prefix = "MZ stub";
    EXPECT_EQ(BuildArchive(plan).substr(7, 7), std::string("Rar!\x1a\x07\x00", 7));
}

TEST(WriterArchive, RawBlocksWithAndWithoutData) {
    ArchiveSpec plan;
    plan.entries.push_back(Stored("a", "AAA"));
    plan.entries.push_back(Stored("b", "BBB"));
    plan.blocks.push_back(Block(1, 0x7A, kLongBlock, "xy", std::string(100, 'd')));
    plan.blocks.push_back(Block(2, 0x77, 0, "sub"));
    plan.blocks.push_back(Block(2, 0x7C));
    plan.blocks.back().headerSize = 3;
    const BuiltArchive built = BuildArchiveWithLayout(plan);
    const std::string &a = built.bytes;
    const size_t raw = built.entries[0].dataOffset + 3;
    EXPECT_EQ(uint8_t(a[raw + 2]), 0x7A);
    EXPECT_EQ(Le16(a, raw + 3), kLongBlock);
    EXPECT_EQ(Le16(a, raw + 5), 13);
    EXPECT_EQ(Le32(a, raw + 7), 100u);
    EXPECT_EQ(Le16(a, raw), HeaderCheck(a.substr(raw + 2, 11)));
    EXPECT_EQ(built.entries[1].headerOffset, raw + 13 + 100);
    const size_t sub = built.entries[1].dataOffset + 3;
    EXPECT_EQ(uint8_t(a[sub + 2]), 0x77);
    EXPECT_EQ(Le16(a, sub + 5), 10);
    EXPECT_EQ(Le16(a, sub + 10 + 5), 3);  // the lying header size is written as given
    EXPECT_EQ(a.size(), sub + 10 + 7);

    plan.blocks.push_back(Block(3, 0x7A));
    EXPECT_THROW(BuildArchive(plan), std::invalid_argument);
}

TEST(WriterArchive, FaultsReplaceExactlyTheirField) {
    ArchiveSpec good;
    good.entries.push_back(Stored("n", "payload"));
    const BuiltArchive base = BuildArchiveWithLayout(good);
    auto build = [&](auto change) {
        ArchiveSpec s = good;
        change(s.entries[0]);
        return BuildArchiveWithLayout(s).bytes;
    };
    auto diffs = [&](const std::string &a) {
        std::vector<size_t> at;
        for (size_t i = 0; i < std::min(a.size(), base.bytes.size()); ++i)
            if (a[i] != base.bytes[i]) at.push_back(i);
        return at;
    };
    const size_t h = base.entries[0].headerOffset;
    EXPECT_EQ(diffs(build([](EntrySpec &e) { e.badHeaderCheck = true; })), (std::vector<size_t>{h, h + 1}));
    const std::string crc = build([](EntrySpec &e) { e.fileCrc = 0x12345678; });
    EXPECT_EQ(Le32(crc, h + 16), 0x12345678u);
    const std::string packed = build([](EntrySpec &e) { e.packedSize = 3; });
    EXPECT_EQ(Le32(packed, h + 7), 3u);
    EXPECT_EQ(packed.size(), base.bytes.size());
    const std::string unpacked = build([](EntrySpec &e) { e.unpackedSize = 1000; });
    EXPECT_EQ(Le32(unpacked, h + 11), 1000u);
    const std::string size0 = build([](EntrySpec &e) { e.headerSize = 0; });
    EXPECT_EQ(Le16(size0, h + 5), 0);
    const std::string noLong = build([](EntrySpec &e) { e.dropLongBlockFlag = true; });
    EXPECT_EQ(Le16(noLong, h + 3), 0);
    const std::string nameSize = build([](EntrySpec &e) { e.nameSize = 300; });
    EXPECT_EQ(Le16(nameSize, h + 26), 300);
    const std::string version = build([](EntrySpec &e) { e.unpackVersion = 29; });
    EXPECT_EQ(uint8_t(version[h + 24]), 29);
}

TEST(WriterArchive, LongNamesAreWrittenWhole) {
    ArchiveSpec plan;
    const std::string name(300, 'n');
    plan.entries.push_back(Stored(name, "x"));
    const BuiltArchive built = BuildArchiveWithLayout(plan);
    EXPECT_EQ(Le16(built.bytes, built.entries[0].headerOffset + 26), 300);
    EXPECT_EQ(built.entries[0].headerSize, 332u);
}

TEST(WriterArchive, SameSpecGivesTheSameBytes) {
    ArchiveSpec plan;
    plan.solid = true;
    std::string text;
    for (int i = 0; i < 2000; ++i) text += "line " + std::to_string(i * 7 % 113) + " of text\n";
    plan.entries.push_back(Compressed("a.txt", text));
    plan.entries.push_back(Compressed("b.bin", RandomBytes(5000, 4)));
    plan.entries.back().password = "pw";
    plan.entries.push_back(Compressed("c.txt", text.substr(100, 5000)));
    plan.entries.back().join = SolidJoin::TrailingTables;
    const std::string first = BuildArchive(plan);
    EXPECT_EQ(first, BuildArchive(plan));
    EXPECT_LT(first.size(), text.size());
}

}  // namespace
}  // namespace rarwriter
