// The unpacker over single packed streams: every match kind and length
// bonus, the window's wrap and flush, the overrun, solid continuation, and
// the stop at the end of the packed data.
#include <gtest/gtest.h>

#include <random>

#include "library_state.h"
#include "rar_test_util.h"
#include "unpack.h"

using namespace rartest;
using rarwriter::Token;

namespace {

struct Stream {
    std::string packed, output;
};

// Files of exactly these tokens, one chain; `solid`: each file after the first continues the one before.
std::vector<Stream> Encode(const std::vector<std::vector<Token>> &files, bool solid = false) {
    rarwriter::StreamEncoder encoder;
    for (size_t i = 0; i < files.size(); ++i) encoder.AddTokens(files[i], {}, solid && i > 0);
    std::vector<std::string> packed = encoder.Finish();
    std::vector<Stream> out;
    for (size_t i = 0; i < files.size(); ++i) out.push_back({packed[i], encoder.Output(i)});
    return out;
}

std::vector<Token> Literals(size_t count, unsigned seed) {
    std::mt19937 rng(seed);
    std::vector<Token> t;
    for (size_t i = 0; i < count; ++i) t.push_back(Token::Lit(uint8_t(rng())));
    return t;
}

class Unpack : public ::testing::Test {
protected:
    void TearDown() override { EndUnpackSession(); }
};

}  // namespace

TEST_F(Unpack, MatchesOfEveryKindWithTheirLengthBonuses) {
    std::vector<Token> t = {Token::Rep(),               // the first match: length 0, distance 0
                            Token::LongMatch(6, 5000),  // reaches before the first byte: zeros
                            Token::Lit('a'), Token::Lit('b'), Token::Lit('c'),
                            Token::LongMatch(12, 1),  // distance below the length repeats
                            Token::ShortMatch(3), Token::LongMatch(4, 7),
                            // distances pushed so far: 0, 5000, 1, 3, 7
                            Token::Hist(4, 5), Token::Hist(3, 3), Token::Hist(2, 4), Token::Hist(1, 3), Token::Rep()};
    for (Token lit : Literals(0x40010, 1)) t.push_back(lit);
    for (uint32_t d : {1, 2, 4, 5, 8, 9, 16, 17, 32, 33, 64, 65, 128, 129, 192, 193, 256}) t.push_back(Token::ShortMatch(d));
    // The shortest lengths at and just below each bonus distance, for both kinds.
    const Token bonuses[] = {Token::LongMatch(5, 0x40000), Token::LongMatch(4, 0x3FFFF), Token::Hist(1, 4),
                             Token::LongMatch(4, 0x2000),  Token::LongMatch(3, 0x1FFF),  Token::Hist(1, 3),
                             Token::LongMatch(3, 0x101),   Token::Hist(1, 3),            Token::LongMatch(3, 0x100),
                             Token::Hist(1, 2),            Token::LongMatch(5, 0x40000), Token::Hist(1, 5),
                             Token::Hist(1, 260),          Token::LongMatch(260, 0x40000), Token::Rep()};
    t.insert(t.end(), std::begin(bonuses), std::end(bonuses));
    const Stream s = Encode({t})[0];
    const UnpackResult r = RunUnpack(s.packed, uint32_t(s.output.size()));
    ASSERT_EQ(r.stored, s.output.size());
    EXPECT_TRUE(r.output == s.output);
    EXPECT_EQ(r.output.substr(0, 6), std::string(6, '\0'));
}

TEST_F(Unpack, DistancesRoundTheWindowReadAheadOfTheWriter) {
    // Past one window of output, distance 0x100000 - k reads the bytes k
    // ahead of the one written, still the old ones; the flush crosses the wrap.
    std::vector<Token> t = Literals(rarwriter::kWindowSize + 5000, 2);
    for (uint32_t k : {1, 2, 3, 7, 8, 9, 100, 255, 0}) t.push_back(Token::LongMatch(200, rarwriter::kWindowSize - k));
    t.push_back(Token::LongMatch(260, rarwriter::kWindowSize));
    t.push_back(Token::Hist(1, 260));
    const Stream s = Encode({t})[0];
    const UnpackResult r = RunUnpack(s.packed, uint32_t(s.output.size()));
    ASSERT_EQ(r.stored, s.output.size());
    EXPECT_TRUE(r.output == s.output);
}

TEST_F(Unpack, LastMatchPastTheSizeOverrunsTheBufferAndStoresNothing) {
    PrivateLog log;
    const Stream s = Encode({{Token::Lit('a'), Token::LongMatch(10, 1)}})[0];
    EXPECT_EQ(RunUnpack(s.packed, 5).stored, 0u);
    EXPECT_EQ(log.Messages(), std::vector<std::string>{"Fatal! Buffer overrun during decompression!"});
    EXPECT_EQ(quorbenhal::remainingOutput, -1);
}

TEST_F(Unpack, SolidEntriesContinueAndANonSolidOneStartsFromZeros) {
    const std::vector<Stream> chain = Encode({Literals(300, 3), {Token::LongMatch(20, 250), Token::Hist(1, 5)}}, true);
    EXPECT_EQ(RunUnpack(chain[0].packed, 300).output, chain[0].output);
    EXPECT_EQ(RunUnpack(chain[1].packed, 25, true, false).output, chain[1].output);
    // In the same window, an entry without the solid flag sees zeros where the earlier one wrote.
    const Stream fresh = Encode({{Token::LongMatch(5, rarwriter::kWindowSize - 3)}})[0];
    EXPECT_EQ(RunUnpack(fresh.packed, 5, false, false).output, std::string(5, '\0'));
}

TEST_F(Unpack, TrailingTablesNeedFiveBytesOfInput) {
    // End-of-block within the last four bytes is not read: the next solid
    // entry goes on with the old tables.
    rarwriter::BitWriter first, second;
    PutLzTables(first);
    for (int symbol : {int('a'), int('b'), int('c'), 269}) first.Write(symbol, 9);
    for (char c : std::string("def")) second.Write(uint8_t(c), 9);
    ASSERT_EQ(RunUnpack(first.Bytes(), 3).output, "abc");
    EXPECT_EQ(RunUnpack(second.Bytes(), 3, true, false).output, "def");
}

TEST_F(Unpack, StopsWhenThePackedDataRunsOut) {
    // A header claiming far more output than the stream holds: decoding
    // ends at the data, not after a million stale symbols.
    rarwriter::BitWriter w;
    PutLzTables(w);
    for (char c : std::string("short")) w.Write(uint8_t(c), 9);
    const UnpackResult r = RunUnpack(w.Bytes(), 1000000);
    EXPECT_TRUE(quorbenhal::unpackState.inputExhausted);
    EXPECT_LT(r.stored, 100u);
    EXPECT_EQ(r.output.substr(0, 5), "short");
}

TEST_F(Unpack, FreshSessionForgetsWhatAnEarlierOperationLeft) {
    // A solid-flagged first entry sees a zero window and empty tables, whatever ran before.
    rarwriter::BitWriter w, again;
    PutLzTables(w);
    for (char c : std::string("earlier")) w.Write(uint8_t(c), 9);
    RunUnpack(w.Bytes(), 7);
    again.Write('x', 9);
    const UnpackResult r1 = RunUnpack(again.Bytes(), 1, true, true);
    const UnpackResult r2 = RunUnpack(again.Bytes(), 1, true, true);
    EXPECT_EQ(r1.output, r2.output);
    EXPECT_NE(r1.output, "x");
}
