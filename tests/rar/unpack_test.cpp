// The unpacker, driven with hand-made packed streams: literals, every match
// kind, length bonuses, multimedia blocks, the window flush and its overrun,
// solid continuation, and the stop at the end of the packed data.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "audio.h"
#include "library_state.h"
#include "rar_test_util.h"
#include "unpack.h"

using namespace rartest;

namespace {

// The expected output, built the plain way: one byte at a time out of
// everything produced so far, zeros before the first byte.
class Model {
public:
    void Literal(char c) { out_ += c; }
    void Literals(const std::string &s) { out_ += s; }
    void Copy(uint32_t length, uint32_t distance) {
        uint32_t d = distance == 0 ? quorbenhal::kWindowSize : distance;
        for (uint32_t k = 0; k < length; ++k) {
            size_t i = out_.size();
            out_ += i >= d ? out_[i - d] : '\0';
        }
    }
    const std::string &out() const { return out_; }
    std::string Since(size_t from) const { return out_.substr(from); }

private:
    std::string out_;
};

void PutLiterals(BitWriter &w, const LzCodes &c, const std::string &s) {
    for (unsigned char ch : s) c.main.Put(w, ch);
}

class Unpack : public ::testing::Test {
protected:
    void TearDown() override { EndUnpackSession(); }
};

}  // namespace

TEST_F(Unpack, LiteralsOnly) {
    BitWriter w;
    LzCodes c = PutLzTables(w);
    PutLiterals(w, c, "hello, world");
    UnpackResult r = RunUnpack(w.Bytes(), 12);
    EXPECT_EQ(r.output, "hello, world");
    EXPECT_EQ(r.stored, 12u);
}

TEST_F(Unpack, EmptyFileReadsTablesAndStoresNothing) {
    BitWriter w;
    PutLzTables(w);
    UnpackResult r = RunUnpack(w.Bytes(), 0);
    EXPECT_EQ(r.stored, 0u);
}

TEST_F(Unpack, DistanceShorterThanLengthRepeatsTheLastBytes) {
    BitWriter w;
    LzCodes c = PutLzTables(w);
    PutLiterals(w, c, "a");
    PutLongMatch(w, c, 10, 1);
    PutLiterals(w, c, "xyz");
    PutLongMatch(w, c, 11, 3);
    UnpackResult r = RunUnpack(w.Bytes(), 25);
    EXPECT_EQ(r.output, "aaaaaaaaaaa" "xyz" "xyzxyzxyzxy");
}

TEST_F(Unpack, MatchBeforeTheFirstByteCopiesZeros) {
    BitWriter w;
    LzCodes c = PutLzTables(w);
    PutLongMatch(w, c, 4, 50);
    PutLiterals(w, c, "z");
    UnpackResult r = RunUnpack(w.Bytes(), 5);
    EXPECT_EQ(r.output, std::string("\0\0\0\0z", 5));
}

TEST_F(Unpack, NextNonSolidEntryStartsWithAZeroWindowAgain) {
    // In a solid archive an entry without the solid flag starts afresh in
    // the same window: what the previous entry left there reads as zeros.
    BitWriter first;
    LzCodes c = PutLzTables(first);
    PutLiterals(first, c, "previous entry's bytes");
    ASSERT_EQ(RunUnpack(first.Bytes(), 22).output, "previous entry's bytes");

    BitWriter second;
    LzCodes again = PutLzTables(second);
    PutLongMatch(second, again, 5, 0x100000 - 3);  // reaches back to window positions 3..7
    UnpackResult r = RunUnpack(second.Bytes(), 5, false, false);
    EXPECT_EQ(r.output, std::string(5, '\0'));
}

TEST_F(Unpack, RepeatAsTheFirstMatchCopiesNothingAndPushesDistanceZero) {
    BitWriter w;
    LzCodes c = PutLzTables(w);
    c.main.Put(w, 256);
    PutLiterals(w, c, "a");
    PutHistoryMatch(w, c, 1, 2);  // distance 0 from the history: the window's own (zero) bytes
    PutLiterals(w, c, "b");
    UnpackResult r = RunUnpack(w.Bytes(), 4);
    EXPECT_EQ(r.output, std::string("a\0\0b", 4));
}

TEST_F(Unpack, RepeatReusesLengthAndDistanceOfTheLastMatch) {
    BitWriter w;
    LzCodes c = PutLzTables(w);
    Model m;
    PutLiterals(w, c, "0123456789");
    m.Literals("0123456789");
    PutLongMatch(w, c, 4, 7);
    m.Copy(4, 7);
    c.main.Put(w, 256);
    m.Copy(4, 7);
    c.main.Put(w, 256);
    m.Copy(4, 7);
    UnpackResult r = RunUnpack(w.Bytes(), static_cast<uint32_t>(m.out().size()));
    EXPECT_EQ(r.output, m.out());
}

TEST_F(Unpack, HistoryMatchesReachBackOneToFourDistances) {
    BitWriter w;
    LzCodes c = PutLzTables(w);
    Model m;
    std::string text = "the quick brown fox jumps over the lazy dog";
    PutLiterals(w, c, text);
    m.Literals(text);
    const uint32_t distances[4] = {5, 17, 30, 42};  // pushed in this order
    for (uint32_t d : distances) {
        PutLongMatch(w, c, 3, d);
        m.Copy(3, d);
    }
    // 257 is the latest (42), 258 the one before (30), then 17, then 5.
    PutHistoryMatch(w, c, 1, 2);
    m.Copy(2, 42);
    PutHistoryMatch(w, c, 2, 3);  // 258: one before the latest push, which was 42 again
    m.Copy(3, 42);
    PutHistoryMatch(w, c, 4, 4);  // 260: four pushes back: 30
    m.Copy(4, 30);
    PutHistoryMatch(w, c, 3, 5);  // 259: pushes were 17, 30, 42, 42, 30: three back is 42
    m.Copy(5, 42);
    UnpackResult r = RunUnpack(w.Bytes(), static_cast<uint32_t>(m.out().size()));
    EXPECT_EQ(r.output, m.out());
}

TEST_F(Unpack, ShortMatchesCoverDistancesOneTo256) {
    BitWriter w;
    LzCodes c = PutLzTables(w);
    Model m;
    std::mt19937 rng(2);
    std::string seed;
    for (int i = 0; i < 300; ++i) seed += static_cast<char>('A' + rng() % 26);
    PutLiterals(w, c, seed);
    m.Literals(seed);
    for (uint32_t d : {1u, 2u, 4u, 5u, 8u, 9u, 16u, 17u, 32u, 33u, 64u, 65u, 128u, 129u, 192u, 193u, 256u}) {
        PutShortMatch(w, c, d);
        m.Copy(2, d);
    }
    UnpackResult r = RunUnpack(w.Bytes(), static_cast<uint32_t>(m.out().size()));
    EXPECT_EQ(r.output, m.out());
}

TEST_F(Unpack, LongMatchesGetBonusLengthFromFarDistances) {
    // The writer gives the final length; the length field holds it minus
    // one for a distance of 8192 or more and two for 262144 or more.
    BitWriter w;
    LzCodes c = PutLzTables(w);
    Model m;
    PutLiterals(w, c, "abc");
    m.Literals("abc");
    for (uint32_t d : {300u, 8191u, 8192u, 262143u, 262144u, 1048576u}) {
        PutLongMatch(w, c, 6, d);
        m.Copy(6, d);
        // Far matches copy zeros here; a marker after each shows its length.
        PutLiterals(w, c, "|");
        m.Literal('|');
    }
    UnpackResult r = RunUnpack(w.Bytes(), static_cast<uint32_t>(m.out().size()));
    EXPECT_EQ(r.output, m.out());
}

TEST_F(Unpack, HistoryMatchesGetBonusLengthFromTheirDistance) {
    // Each far long match is followed by a 257 whose length field says 2:
    // +1 from 257 on, +1 from 8192, +1 from 262144. A long match of distance
    // 300 gets no bonus.
    BitWriter w;
    LzCodes c = PutLzTables(w);
    Model m;
    PutLiterals(w, c, "abcdefgh");
    m.Literals("abcdefgh");
    const struct {
        uint32_t distance, historyLength;
    } cases[] = {{256, 2}, {257, 3}, {300, 3}, {9000, 4}, {300000, 5}};
    for (auto k : cases) {
        PutLongMatch(w, c, 5, k.distance);
        m.Copy(5, k.distance);
        PutHistoryMatch(w, c, 1, 2);
        m.Copy(k.historyLength, k.distance);
        PutLiterals(w, c, "|");
        m.Literal('|');
    }
    UnpackResult r = RunUnpack(w.Bytes(), static_cast<uint32_t>(m.out().size()));
    EXPECT_EQ(r.output, m.out());
}

TEST_F(Unpack, LongestMatchIs260Bytes) {
    BitWriter w;
    LzCodes c = PutLzTables(w);
    Model m;
    PutLiterals(w, c, "q");
    m.Literal('q');
    PutLongMatch(w, c, 260, 300000);  // slot 27 with all extra bits, plus two
    m.Copy(260, 300000);
    UnpackResult r = RunUnpack(w.Bytes(), 261);
    EXPECT_EQ(r.output, m.out());
}

TEST_F(Unpack, MoreThanAWindowOfOutputFlushesInPiecesAcrossTheWrap) {
    // 2.5 MiB of literals and matches of every distance: the window is
    // flushed while decoding, and the pieces that cross the window's end go
    // out in two copies.
    BitWriter w;
    LzCodes c = PutLzTables(w);
    Model m;
    std::mt19937 rng(99);
    while (m.out().size() < 2621440) {
        uint32_t pick = rng() % 10;
        if (pick < 3) {
            char ch = static_cast<char>(rng());
            c.main.Put(w, static_cast<uint8_t>(ch));
            m.Literal(ch);
        } else if (pick < 9) {
            uint32_t length = 3 + rng() % 255;
            uint32_t distance = 1 + rng() % (pick < 6 ? 64 : 1048576);
            if (distance >= 0x2000 && length < 4) length = 4;
            if (distance >= 0x40000 && length < 5) length = 5;
            PutLongMatch(w, c, length, distance);
            m.Copy(length, distance);
        } else {
            uint32_t distance = 1 + rng() % 256;
            PutShortMatch(w, c, distance);
            m.Copy(2, distance);
        }
    }
    UnpackResult r = RunUnpack(w.Bytes(), static_cast<uint32_t>(m.out().size()));
    ASSERT_EQ(r.stored, m.out().size());
    EXPECT_TRUE(r.output == m.out()) << "output differs from the byte-at-a-time model";
}

TEST_F(Unpack, DistancesJustBelowTheWindowSizeReadBytesAheadOfTheWriter) {
    // Past one window of output, a distance of 0x100000 - k reads the bytes
    // k positions ahead of the one being written: still the old ones.
    BitWriter w;
    LzCodes c = PutLzTables(w);
    Model m;
    std::mt19937 rng(31);
    while (m.out().size() < 0x100000 + 5000) {
        uint32_t length = 3 + rng() % 200;
        uint32_t distance = 1 + rng() % 5000;
        char ch = static_cast<char>(rng());
        c.main.Put(w, static_cast<uint8_t>(ch));
        m.Literal(ch);
        PutLongMatch(w, c, length + 2, distance + 0x40000);
        m.Copy(length + 2, distance + 0x40000);
    }
    for (uint32_t k : {1u, 2u, 3u, 7u, 8u, 9u, 100u, 255u}) {
        PutLongMatch(w, c, 200, 0x100000 - k);
        m.Copy(200, 0x100000 - k);
    }
    UnpackResult r = RunUnpack(w.Bytes(), static_cast<uint32_t>(m.out().size()));
    ASSERT_EQ(r.stored, m.out().size());
    EXPECT_TRUE(r.output == m.out());
}

TEST_F(Unpack, LastMatchPastTheSizeOverrunsTheBufferAndStoresNothing) {
    PrivateLog log;
    BitWriter w;
    LzCodes c = PutLzTables(w);
    PutLiterals(w, c, "a");
    PutLongMatch(w, c, 10, 1);
    UnpackResult r = RunUnpack(w.Bytes(), 5);
    EXPECT_EQ(r.stored, 0u);
    EXPECT_EQ(log.Messages(), std::vector<std::string>{"Fatal! Buffer overrun during decompression!"});
    EXPECT_EQ(quorbenhal::remainingOutput, -1);
}

TEST_F(Unpack, EntryThatIsNotWantedStoresNothing) {
    BitWriter w;
    LzCodes c = PutLzTables(w);
    PutLiterals(w, c, "not wanted");
    UnpackResult r = RunUnpack(w.Bytes(), 10, false, true, false);
    EXPECT_EQ(r.stored, 0u);
}

TEST_F(Unpack, SolidEntryContinuesWindowTablesAndHistory) {
    BitWriter first;
    LzCodes c = PutLzTables(first);
    Model m;
    PutLiterals(first, c, "solid archives share one stream");
    m.Literals("solid archives share one stream");
    PutLongMatch(first, c, 6, 13);
    m.Copy(6, 13);
    size_t firstSize = m.out().size();
    UnpackResult a = RunUnpack(first.Bytes(), static_cast<uint32_t>(firstSize));
    ASSERT_EQ(a.output, m.out());

    // No tables: the second entry decodes with the first one's codes, copies
    // out of its bytes and reuses its last match distance.
    BitWriter second;
    PutLongMatch(second, c, 12, 37);
    m.Copy(12, 37);
    PutHistoryMatch(second, c, 1, 4);
    m.Copy(4, 37);
    c.main.Put(second, 256);
    m.Copy(4, 37);
    UnpackResult b = RunUnpack(second.Bytes(), static_cast<uint32_t>(m.out().size() - firstSize), true, false);
    EXPECT_EQ(b.output, m.Since(firstSize));
}

TEST_F(Unpack, SolidEntryStartsWithTheTablesThatEndThePreviousOne) {
    BitWriter first;
    LzCodes c = PutLzTables(first);
    PutLiterals(first, c, "first");
    c.main.Put(first, 269);
    // New tables after the last byte: main symbols 10 bits long now.
    LzCodes next = PutLzTables(first, std::vector<uint8_t>(298, 10));
    UnpackResult a = RunUnpack(first.Bytes(), 5);
    ASSERT_EQ(a.output, "first");

    BitWriter second;
    PutLiterals(second, next, "second");
    UnpackResult b = RunUnpack(second.Bytes(), 6, true, false);
    EXPECT_EQ(b.output, "second");
}

TEST_F(Unpack, TrailingTablesNeedFiveBytesOfInput) {
    // Fewer than five bytes after the last code: the end-of-block symbol
    // there is not read, and the next solid entry keeps the old tables.
    BitWriter first;
    LzCodes c = PutLzTables(first);
    PutLiterals(first, c, "abc");
    c.main.Put(first, 269);  // 9 bits: within the last 4 bytes
    UnpackResult a = RunUnpack(first.Bytes(), 3);
    ASSERT_EQ(a.output, "abc");

    BitWriter second;
    PutLiterals(second, c, "def");
    UnpackResult b = RunUnpack(second.Bytes(), 3, true, false);
    EXPECT_EQ(b.output, "def");
}

TEST_F(Unpack, EndOfBlockMidFileSwitchesTables) {
    BitWriter w;
    LzCodes c = PutLzTables(w);
    PutLiterals(w, c, "one");
    c.main.Put(w, 269);
    // A complete code of other lengths: 254 literals of 8 bits, four 9-bit codes.
    std::vector<uint8_t> lengths(298, 0);
    for (int s = 0; s < 254; ++s) lengths[s] = 8;
    for (int s : {254, 255, 256, 269}) lengths[s] = 9;
    LzCodes next = PutLzTables(w, lengths);
    PutLiterals(w, next, "two");
    UnpackResult r = RunUnpack(w.Bytes(), 6);
    EXPECT_EQ(r.output, "onetwo");
}

TEST_F(Unpack, MultimediaBytesGoToTheChannelsInTurn) {
    BitWriter w;
    CanonicalCode code = PutAudioTables(w, 3);
    std::vector<uint32_t> symbols = {10, 200, 3, 7, 7, 7, 255, 0, 128, 1, 2, 3};
    for (uint32_t s : symbols) code.Put(w, s);

    quorbenhal::AudioChannelState channels[3] = {};
    int32_t cross = 0;
    std::string expected;
    for (size_t i = 0; i < symbols.size(); ++i) {
        expected += static_cast<char>(quorbenhal::DecodeAudioByte(channels[i % 3], cross, symbols[i]));
    }
    UnpackResult r = RunUnpack(w.Bytes(), static_cast<uint32_t>(symbols.size()));
    EXPECT_EQ(r.output, expected);
    EXPECT_EQ(quorbenhal::unpackState.tables.currentChannel, 0u);
}

TEST_F(Unpack, NewMultimediaBlockWithFewerChannelsRestartsAtChannelZero) {
    BitWriter w;
    CanonicalCode three = PutAudioTables(w, 3);
    three.Put(w, 5);   // channel 0
    three.Put(w, 9);   // channel 1; the next would be channel 2
    three.Put(w, 256); // end of block (channel 2's table)
    CanonicalCode two = PutAudioTables(w, 2);
    two.Put(w, 4);     // channel 0 again
    two.Put(w, 6);     // channel 1

    quorbenhal::AudioChannelState channels[3] = {};
    int32_t cross = 0;
    std::string expected;
    expected += static_cast<char>(quorbenhal::DecodeAudioByte(channels[0], cross, 5));
    expected += static_cast<char>(quorbenhal::DecodeAudioByte(channels[1], cross, 9));
    expected += static_cast<char>(quorbenhal::DecodeAudioByte(channels[0], cross, 4));
    expected += static_cast<char>(quorbenhal::DecodeAudioByte(channels[1], cross, 6));
    UnpackResult r = RunUnpack(w.Bytes(), 4);
    EXPECT_EQ(r.output, expected);
}

TEST_F(Unpack, LzBlockCopiesBytesOfAMultimediaBlock) {
    BitWriter w;
    CanonicalCode audio = PutAudioTables(w, 1);
    quorbenhal::AudioChannelState channel = {};
    int32_t cross = 0;
    Model m;
    for (uint32_t s : {1u, 2u, 3u, 4u, 250u}) {
        audio.Put(w, s);
        m.Literal(static_cast<char>(quorbenhal::DecodeAudioByte(channel, cross, s)));
    }
    audio.Put(w, 256);
    LzCodes c = PutLzTables(w);
    PutLongMatch(w, c, 5, 5);
    m.Copy(5, 5);
    UnpackResult r = RunUnpack(w.Bytes(), 10);
    EXPECT_EQ(r.output, m.out());
}

TEST_F(Unpack, StopsWhenThePackedDataRunsOut) {
    // The header claims far more output than the stream holds: decoding
    // ends soon after the data, not after a million stale symbols.
    BitWriter w;
    LzCodes c = PutLzTables(w);
    PutLiterals(w, c, "short");
    UnpackResult r = RunUnpack(w.Bytes(), 1000000);
    EXPECT_TRUE(quorbenhal::unpackState.inputExhausted);
    EXPECT_LT(r.stored, 100u);
    EXPECT_EQ(r.output.substr(0, 5), "short");
}

TEST_F(Unpack, LastCodeEndingRightAtTheDataEndStillDecodes) {
    // Nothing after the last code: the peek past the end is normal.
    for (int extra = 0; extra < 8; ++extra) {
        BitWriter w;
        LzCodes c = PutLzTables(w);
        std::string text = "tail" + std::string(static_cast<size_t>(extra), '!');
        PutLiterals(w, c, text);
        std::string bytes = w.Bytes();
        UnpackResult r = RunUnpack(bytes, static_cast<uint32_t>(text.size()));
        EXPECT_EQ(r.output, text);
        EXPECT_FALSE(quorbenhal::unpackState.inputExhausted);
    }
}

TEST_F(Unpack, FreshSessionForgetsWhatAnEarlierOperationLeft) {
    // A solid-flagged entry that is the first of an operation sees a zero
    // window and empty tables, whatever ran before.
    BitWriter w;
    LzCodes c = PutLzTables(w);
    PutLiterals(w, c, "earlier");
    RunUnpack(w.Bytes(), 7);

    BitWriter again;
    PutLiterals(again, c, "x");
    UnpackResult r1 = RunUnpack(again.Bytes(), 1, true, true);
    UnpackResult r2 = RunUnpack(again.Bytes(), 1, true, true);
    EXPECT_EQ(r1.output, r2.output);
    EXPECT_NE(r1.output, "x");
}
