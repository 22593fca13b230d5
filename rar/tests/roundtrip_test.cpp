// Archives from the writer read back through both entry operations: the exact
// bytes for every content, block, match, join and password; only truth when cut.
#include <gtest/gtest.h>

#include <random>

#include "rar_test_util.h"
#include "handle.h"
#include "sample_content.h"

using namespace rartest;
using namespace rarwriter;

namespace {

class RoundTrip : public ::testing::Test {
protected:
    // Every entry extracts (a solid archive's plain ones with the chain's password), whole through the entry
    // operation and in pieces out of the window through a handle; the listing names all.
    void ExpectAllEntries(const ArchiveSpec &plan) {
        const BuiltArchive built = BuildArchiveWithLayout(plan);
        const auto path = dir_.Write("t.rar", built.bytes);
        RarArchive *a = nullptr;
        ASSERT_EQ(RarOpenMemory(&a, built.bytes.data(), built.bytes.size(), nullptr), RAR_OK);
        std::vector<std::string> names;
        std::string chain;
        RarEntry entry;
        for (size_t i = 0; i < plan.entries.size(); ++i) {
            const EntrySpec &e = plan.entries[i];
            names.push_back(e.name);
            if (plan.solid && !e.password.empty()) chain = e.password;
            const std::string &password = e.password.empty() ? chain : e.password;
            const Extracted x = Extract(path, e.name, password.empty() ? nullptr : password.c_str());
            ASSERT_EQ(x.result, 1) << e.name;
            ASSERT_TRUE(x.data == built.entries[i].data) << e.name;
            std::string pieces;
            ASSERT_EQ(RarNextEntry(a, &entry), RAR_OK);
            RarSetPassword(a, password.c_str());
            ASSERT_EQ(RarExtractToCallback(a, [](void *u, const void *p, size_t n) {
                return static_cast<std::string *>(u)->append(static_cast<const char *>(p), n), 0;
            }, &pieces), RAR_OK) << e.name;
            ASSERT_TRUE(pieces == built.entries[i].data) << e.name;
        }
        RarClose(a);
        EXPECT_EQ(ListNames(path), names);
    }

    rartest::TempDir dir_;
};

CompressOptions Multimedia(int channels) { return {{{1u << 30, channels}}}; }

}  // namespace

TEST_F(RoundTrip, MatchesOfEveryKindAtTheBonusEdgesAndRoundTheWindow) {
    std::vector<Token> t = {Token::Rep(), Token::LongMatch(6, 5000),  // length 0, then zeros before the start
                            Token::Lit('a'), Token::Lit('b'), Token::Lit('c'), Token::LongMatch(12, 1), Token::ShortMatch(3),
                            Token::LongMatch(4, 7), Token::Hist(4, 5), Token::Hist(3, 3), Token::Hist(2, 4),
                            Token::Hist(1, 3), Token::Rep()};
    std::mt19937 rng(1);
    for (uint32_t i = 0; i < kWindowSize + 5000; ++i) t.push_back(Token::Lit(uint8_t(rng())));
    for (uint32_t d : {1, 2, 4, 5, 8, 9, 16, 17, 32, 33, 64, 65, 128, 129, 192, 193, 256}) t.push_back(Token::ShortMatch(d));
    for (Token b : {Token::LongMatch(5, 0x40000), Token::LongMatch(4, 0x3FFFF), Token::Hist(1, 4), Token::LongMatch(4, 0x2000),
                    Token::LongMatch(3, 0x1FFF), Token::Hist(1, 3), Token::LongMatch(3, 0x101), Token::Hist(1, 3),
                    Token::LongMatch(3, 0x100), Token::Hist(1, 2), Token::LongMatch(5, 0x40000), Token::Hist(1, 260), Token::LongMatch(260, 0x40000)})
        t.push_back(b);
    // A window ahead of the writer: distance 0x100000 - k reads bytes not yet overwritten.
    for (uint32_t k : {1, 2, 7, 8, 9, 255, 0}) t.push_back(Token::LongMatch(200, kWindowSize - k));
    t.push_back(Token::Hist(1, 260));
    ExpectAllEntries({.entries = {{.name = "tokens", .options = {.segments = {}, .blockBytes = 300000}, .tokens = t}}});
}

TEST_F(RoundTrip, SolidChainPastTheWindowAndPasswordsOfSeveralBlocks) {
    ArchiveSpec wide{.solid = true};  // a chain longer than the window
    for (int i = 0; i < 5; ++i) wide.entries.push_back(Compressed("part" + std::to_string(i), samples::Text(400000, 50 + i % 2)));
    ExpectAllEntries(wide);
    ArchiveSpec cipher;  // whole and partial cipher blocks, passwords of one to three blocks
    for (size_t size : {0, 32, 87, 50000})
        cipher.entries.push_back({.name = std::to_string(size), .data = samples::Text(size, 60), .stored = size < 100,
                                  .password = std::string(size % 40 + 1, 'p')});
    ExpectAllEntries(cipher);
}

// Archives of random make-up from fixed seeds: contents, methods, 1-4 channel and LZ block plans, joins and passwords.
// Multimedia blocks of 2-4 channels that end inside a frame or at the edge
// of the predictors' 32-byte adaptation period (the next block of the same
// channels goes on with the channel after the last byte), then LZ and again
// multimedia: every channel adapts after its own 32nd byte.
TEST_F(RoundTrip, MultimediaBlocksEndingInsideAFrameAndAtThePeriodsEdge) {
    ArchiveSpec plan;
    for (int n = 2; n <= 4; ++n) {
        const uint32_t period = 32u * uint32_t(n);
        for (uint32_t cut : {2 * period - uint32_t(n) + 1, 2 * period - 1, 3 * period, 3 * period + 1}) {
            CompressOptions o{.segments = {{cut, n}, {5000, n}, {700, 0}, {3000, n}}};
            plan.entries.push_back(Compressed(std::to_string(n) + "-" + std::to_string(cut),
                                              samples::Pcm(cut + 9000, n, 1, cut), o));
        }
    }
    ExpectAllEntries(plan);
}

TEST_F(RoundTrip, RandomArchivesFromFixedSeeds) {
    for (uint32_t seed = 1; seed <= 60; ++seed) {
        SCOPED_TRACE(seed);
        std::mt19937 rng(seed);
        const auto pick = [&](uint32_t n) { return uint32_t(rng() % n); };
        ArchiveSpec plan{.solid = pick(2) == 0};
        for (uint32_t i = 0, count = 1 + pick(6); i < count; ++i) {
            std::string data;
            CompressOptions o{.segments = {}, .blockBytes = 200 + pick(20000), .deltaTables = pick(2) == 1};
            for (uint32_t p = 0, parts = pick(4); p < parts; ++p) {
                const uint32_t size = pick(3) == 0 ? pick(40) : pick(12000);
                const int channels = pick(3) == 0 ? 0 : 1 + int(pick(4));
                const uint32_t kind = channels ? 4 : pick(4);
                data += kind == 0 ? samples::Text(size, rng()) : kind == 1 ? samples::Records(size, rng())
                      : kind == 2 ? samples::Random(size, rng()) : kind == 3 ? samples::Runs(size, rng())
                                  : samples::Pcm(size, channels, 1, rng());
                o.segments.push_back({size, channels});
            }
            EntrySpec e = Compressed(std::to_string(i) + ".f", data, o);
            e.stored = pick(6) == 0;
            e.method = uint8_t(0x31 + pick(5));  // every method byte but stored goes to the same unpacker
            e.join = static_cast<SolidJoin>(pick(3));
            if (pick(4) == 0) e.password = plan.solid ? "solid" : std::to_string(pick(100)) + "pw";
            plan.entries.push_back(std::move(e));
        }
        ExpectAllEntries(plan);
    }
}

TEST_F(RoundTrip, ArchiveCutAtEveryByteGivesOnlyTheTruth) {
    ArchiveSpec plan{.solid = true, .entries = {Compressed("a.txt", samples::Text(1500, 120)), Stored("b.bin", "stored"),
                                                Compressed("c.pcm", samples::Pcm(700, 2, 1, 121), Multimedia(2))}};
    plan.entries[2].password = "pw";
    const BuiltArchive whole = BuildArchiveWithLayout(plan);
    for (size_t cut = 0; cut < whole.bytes.size(); ++cut) {
        SCOPED_TRACE(cut);
        const auto path = dir_.Write("cut.rar", whole.bytes.substr(0, cut));
        for (size_t i = 0; i < plan.entries.size(); ++i) {
            // An entry whose header is cut is not found; one whose data is whole extracts.
            const auto &l = whole.entries[i];
            const Extracted e = Extract(path, plan.entries[i].name, "pw");
            if (cut < l.dataOffset || cut >= l.dataOffset + l.packedSize) {
                EXPECT_EQ(e.result, int(cut >= l.dataOffset));
            }
            EXPECT_TRUE(!e.result || e.data == l.data);
        }
        const std::vector<std::string> names = ListNames(path);
        for (size_t i = 0; i < names.size(); ++i) EXPECT_EQ(names[i], plan.entries[i].name);
    }
}

// Entry by entry through a handle, a solid archive of many entries is decoded once in all, and a password's key
// is derived once per handle, never for an entry passed over unread.
TEST_F(RoundTrip, HandleWalksASolidArchiveInOnePassAndDerivesTheKeyOnce) {
    for (bool solid : {true, false}) {
        ArchiveSpec plan{.solid = solid};
        uint64_t total = 0;
        for (int i = 0; i < 300; ++i) {
            plan.entries.push_back(Compressed(std::to_string(i), samples::Text(200 + i * 7, i)));
            if (i % 3 == 0) plan.entries.back().password = "pw";
            total += plan.entries.back().data.size();
        }
        const std::string bytes = BuildArchive(plan);
        RarArchive *a = nullptr;
        const RarOptions o = {.password = "pw", .maxEntrySize = 0, .maxMemory = 0};
        ASSERT_EQ(RarOpenMemory(&a, bytes.data(), bytes.size(), &o), RAR_OK);
        RarEntry e;
        for (size_t i = 0; RarNextEntry(a, &e) == RAR_OK; ++i) {
            // Passed over unread: in a solid archive decoded all the same (the stream goes through it), else not
            // at all, and no key is derived for it.
            if (solid ? i % 5 == 1 : i < 10) continue;
            void *data = nullptr;
            uint64_t size = 0;
            ASSERT_EQ(RarExtractToNew(a, &data, &size), RAR_OK) << i;
            EXPECT_EQ(std::string(static_cast<char *>(data), size), plan.entries[i].data);
            RarFreeBuffer(data);
        }
        EXPECT_EQ(a->decodedBytes, solid ? total : total - [&] {
            uint64_t skipped = 0;
            for (size_t i = 0; i < 10; ++i) skipped += plan.entries[i].data.size();
            return skipped;
        }());
        EXPECT_EQ(a->keyDerivations, 1u);
        RarClose(a);
    }
}
