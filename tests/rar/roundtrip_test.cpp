// Whole archives from the writer read back through both entry operations:
// every content, block kind, solid join and password gives back the exact
// bytes, and no cut or flipped byte makes the reader return wrong ones.
#include <gtest/gtest.h>

#include <random>

#include "quorbenhal.h"
#include "rar_test_util.h"
#include "sample_content.h"

using namespace rartest;
using namespace rarwriter;

namespace {

class RoundTrip : public ::testing::Test {
protected:
    // Every entry extracts to its content and the listing names them all. In
    // a solid archive an entry without a password is asked for with the
    // password of the encrypted entries decoded on the way.
    void ExpectAllEntries(const ArchiveSpec &plan) {
        const BuiltArchive built = BuildArchiveWithLayout(plan);
        const auto path = dir_.Write("t.rar", built.bytes);
        std::vector<std::string> names;
        std::string chainPassword;
        for (size_t i = 0; i < plan.entries.size(); ++i) {
            const EntrySpec &e = plan.entries[i];
            names.push_back(e.name);
            if (plan.solid && !e.password.empty()) chainPassword = e.password;
            const std::string &password = e.password.empty() ? chainPassword : e.password;
            const Extracted x = Extract(path, e.name, password.empty() ? nullptr : password.c_str());
            ASSERT_EQ(x.result, 1) << e.name;
            ASSERT_TRUE(x.data == built.entries[i].data) << e.name;
        }
        EXPECT_EQ(ListNames(path), names);
    }

    testsupport::TempDir dir_;
};

CompressOptions Multimedia(int channels) { return {{{1u << 30, channels}}}; }

}  // namespace

TEST_F(RoundTrip, ContentsStoredAndCompressed) {
    const std::pair<std::string, std::string> contents[] = {
        {"empty", ""}, {"one.byte", "Z"}, {"text", samples::Text(120000, 1)}, {"records", samples::Records(90000, 2)},
        {"random", samples::Random(50000, 3)}, {"runs", samples::Runs(80000, 4)}, {"zeros", std::string(70000, '\0')}};
    ArchiveSpec plan;
    uint8_t method = 0x31;  // every method byte but stored goes to the same unpacker
    for (const auto &[name, data] : contents) {
        plan.entries.push_back(Compressed("packed/" + name, data));
        plan.entries.back().method = method = method == 0x35 ? 0x31 : method + 1;
        plan.entries.back().options.deltaTables = method % 2;
        plan.entries.push_back(Stored("stored/" + name, data));
    }
    ExpectAllEntries(plan);
}

TEST_F(RoundTrip, MultimediaInOneToFourChannelsWithBlockSwitches) {
    ArchiveSpec plan;
    for (int channels = 1; channels <= 4; ++channels)
        plan.entries.push_back(Compressed("pcm" + std::to_string(channels), samples::Pcm(30001, channels, 1, channels), Multimedia(channels)));
    plan.entries.push_back(Compressed("pcm16", samples::Pcm(40000, 2, 2, 5), Multimedia(4)));
    // Switches between LZ blocks and multimedia blocks of changing channel counts.
    CompressOptions o;
    o.segments = {{7000, 0}, {9001, 2}, {8000, 4}, {3001, 1}, {6000, 0}, {6001, 3}};
    o.blockBytes = 1500;
    plan.entries.push_back(Compressed("switches", samples::Text(7000, 10) + samples::Pcm(9001, 2, 1, 11) +
                                                      samples::Pcm(8000, 4, 1, 12) + samples::Pcm(3001, 1, 1, 13) +
                                                      samples::Records(6000, 14) + samples::Pcm(6001, 3, 1, 15) +
                                                      samples::Text(5000, 16), o));
    ExpectAllEntries(plan);
}

TEST_F(RoundTrip, MoreThanTheWindowWrapsAround) {
    // Matches reach back the whole 1 MiB, and the output goes on past the window's end.
    const std::string block = samples::Random(kWindowSize, 20);
    ArchiveSpec plan;
    plan.entries.push_back(Compressed("window.bin", block + block.substr(0, 200000) + samples::Text(300000, 22)));
    ExpectAllEntries(plan);
}

TEST_F(RoundTrip, SolidChainsInEveryJoinWithStoredAndEmptyFiles) {
    for (SolidJoin join : {SolidJoin::LeadingTables, SolidJoin::TrailingTables, SolidJoin::SameBlock}) {
        SCOPED_TRACE(static_cast<int>(join));
        const std::string text = samples::Text(40000, 40);
        ArchiveSpec plan;
        plan.solid = true;
        plan.entries = {Stored("first.stored", "stored before any compressed entry"),
                        Compressed("a.txt", text),
                        Compressed("b.txt", text.substr(1000, 20000) + "changed"),
                        Stored("c.stored", "stored in the middle of a solid archive"),
                        Compressed("d.empty", ""),
                        Compressed("e.pcm", samples::Pcm(10001, 3, 1, 41), Multimedia(3)),
                        Compressed("f.pcm", samples::Pcm(7000, 3, 1, 42), Multimedia(3)),
                        Compressed("g.rec", samples::Records(30000, 43)),
                        Compressed("h.txt", text.substr(5000, 3000))};
        for (EntrySpec &e : plan.entries) e.join = join;
        ExpectAllEntries(plan);
    }
    ArchiveSpec wide;  // a chain longer than the window
    wide.solid = true;
    for (int i = 0; i < 5; ++i) wide.entries.push_back(Compressed("part" + std::to_string(i), samples::Text(400000, 50 + i % 2)));
    ExpectAllEntries(wide);
}

TEST_F(RoundTrip, EncryptedEntriesAndChains) {
    ArchiveSpec plan;  // whole and partial cipher blocks, and passwords of several blocks
    for (size_t size : {0, 32, 87, 50000})
        plan.entries.push_back({.name = std::to_string(size), .data = samples::Text(size, 60), .stored = size < 100,
                                .password = std::string(size % 40 + 1, 'p')});
    ExpectAllEntries(plan);
    for (SolidJoin join : {SolidJoin::LeadingTables, SolidJoin::TrailingTables, SolidJoin::SameBlock}) {
        SCOPED_TRACE(static_cast<int>(join));
        ArchiveSpec chain;
        chain.solid = true;
        for (int i = 0; i < 4; ++i) {
            chain.entries.push_back(Compressed("t" + std::to_string(i), samples::Text(3000 + 17 * i, 70 + i)));
            chain.entries.push_back(Compressed("p" + std::to_string(i), samples::Pcm(2001 + 5 * i, 4, 1, 75 + i), Multimedia(4)));
        }
        for (EntrySpec &e : chain.entries) e.password = "solid secret", e.join = join;
        ExpectAllEntries(chain);
    }
}

// Archives of random make-up from fixed seeds: contents, block plans,
// solid joins and passwords mixed in ways no hand-written case lists.
TEST_F(RoundTrip, RandomArchivesFromFixedSeeds) {
    for (uint32_t seed = 1; seed <= 40; ++seed) {
        SCOPED_TRACE(seed);
        std::mt19937 rng(seed);
        const auto pick = [&](uint32_t n) { return uint32_t(rng() % n); };
        ArchiveSpec plan;
        plan.solid = pick(2) == 0;
        for (uint32_t i = 0, count = 1 + pick(6); i < count; ++i) {
            std::string data;
            CompressOptions o;
            for (uint32_t p = 0, parts = pick(4); p < parts; ++p) {
                const uint32_t size = pick(3) == 0 ? pick(40) : pick(12000);
                const int channels = pick(3) == 0 ? 0 : 1 + int(pick(4));
                switch (channels ? 4 : pick(4)) {
                case 0: data += samples::Text(size, rng()); break;
                case 1: data += samples::Records(size, rng()); break;
                case 2: data += samples::Random(size, rng()); break;
                case 3: data += samples::Runs(size, rng()); break;
                default: data += samples::Pcm(size, channels, 1, rng()); break;
                }
                o.segments.push_back({size, channels});
            }
            o.blockBytes = 200 + pick(20000);
            o.deltaTables = pick(2);
            EntrySpec e = Compressed("f" + std::to_string(i), data, o);
            e.stored = pick(6) == 0;
            e.join = static_cast<SolidJoin>(pick(3));
            if (pick(4) == 0) e.password = plan.solid ? "solid" : "pw" + std::to_string(pick(100));
            plan.entries.push_back(std::move(e));
        }
        ExpectAllEntries(plan);
    }
}

TEST_F(RoundTrip, TruncatedAtEveryByteGivesOnlyTheTruth) {
    ArchiveSpec plan;
    plan.solid = true;
    plan.entries = {Compressed("a.txt", samples::Text(1500, 120)), Stored("b.bin", "stored"),
                    Compressed("c.pcm", samples::Pcm(700, 2, 1, 121), Multimedia(2))};
    plan.entries[2].password = "pw";
    const BuiltArchive whole = BuildArchiveWithLayout(plan);
    for (size_t cut = 0; cut < whole.bytes.size(); ++cut) {
        SCOPED_TRACE(cut);
        const auto path = dir_.Write("cut.rar", whole.bytes.substr(0, cut));
        for (size_t i = 0; i < plan.entries.size(); ++i) {
            // An entry whose header is cut is not found; one whose data is whole extracts.
            const auto &l = whole.entries[i];
            const Extracted e = Extract(path, plan.entries[i].name, "pw");
            if (cut < l.dataOffset) {
                EXPECT_EQ(e.result, 0);
            } else if (cut >= l.dataOffset + l.packedSize) {
                EXPECT_EQ(e.result, 1);
            }
            if (e.result == 1) {
                EXPECT_TRUE(e.data == l.data);
            }
        }
        const std::vector<std::string> names = ListNames(path);
        for (size_t i = 0; i < names.size(); ++i) EXPECT_EQ(names[i], plan.entries[i].name);
    }
}

TEST_F(RoundTrip, FlippedBitsNeverPassAsContent) {
    ArchiveSpec plan;
    plan.entries = {Compressed("a.txt", samples::Text(4000, 130)), Compressed("b.pcm", samples::Pcm(3000, 4, 1, 131), Multimedia(4)),
                    Compressed("c.rec", samples::Records(3000, 132))};
    const BuiltArchive whole = BuildArchiveWithLayout(plan);
    std::mt19937 rng(133);
    for (int round = 0; round < 300; ++round) {
        std::string bytes = whole.bytes;
        for (int k = 0, flips = 1 + int(rng() % 4); k < flips; ++k) bytes[rng() % bytes.size()] ^= char(1u << (rng() % 8));
        const auto path = dir_.Write("flipped.rar", bytes);
        for (size_t i = 0; i < plan.entries.size(); ++i) {
            const Extracted e = Extract(path, plan.entries[i].name);
            if (e.result == 1) {
                EXPECT_TRUE(e.data == whole.entries[i].data) << "a damaged entry passed its check";
            } else {
                EXPECT_TRUE(e.nullOnFailure);
            }
        }
        ListNames(path);
    }
}
