// Archives made by the writer, read back by the library through its two entry
// operations: every content, option, solid chain and password gives back the
// exact bytes, and every oddity or fault is handled as a reader must.
#include <gtest/gtest.h>

#include <cstdlib>
#include <functional>
#include <random>

#include "quorbenhal.h"
#include "rar_writer.h"
#include "sample_content.h"
#include "tests/support/temp_dir.h"

namespace rarwriter {
namespace {

// The library logs to $TMPDIR; each test process gets a folder of its own so
// that these tests never touch the log other suites look at.
class PrivateTemp : public ::testing::Environment {
public:
    void SetUp() override {
        dir_ = std::make_unique<testsupport::TempDir>();
        setenv("TMPDIR", dir_->path().c_str(), 1);
    }
    void TearDown() override { dir_.reset(); }

private:
    std::unique_ptr<testsupport::TempDir> dir_;
};
[[maybe_unused]] auto *const kPrivateTemp = ::testing::AddGlobalTestEnvironment(new PrivateTemp);

struct Extracted {
    int result = -1;
    std::string data;
    bool nullOnFailure = true;
};

Extracted Extract(const std::filesystem::path &archive, const std::string &name, const char *password = nullptr) {
    unsigned char *data = reinterpret_cast<unsigned char *>(1);
    uint32_t size = 12345;
    Extracted e;
    e.result = RarExtractToMemory(&data, &size, name.c_str(), archive.c_str(), password);
    if (e.result == 1) {
        EXPECT_NE(data, nullptr);
        e.data.assign(reinterpret_cast<char *>(data), size);
    } else {
        e.nullOnFailure = data == nullptr && size == 0;
    }
    std::free(e.result == 1 ? data : nullptr);
    return e;
}

std::vector<std::string> ListNames(const std::filesystem::path &archive, int *count = nullptr) {
    RarListEntry *list = nullptr;
    const int n = RarListFiles(archive.c_str(), &list);
    std::vector<std::string> names;
    for (RarListEntry *e = list; e; e = e->next) names.emplace_back(e->name);
    RarFreeList(list);
    if (count) *count = n;
    EXPECT_EQ(static_cast<size_t>(n), names.size());
    return names;
}

class RoundTrip : public ::testing::Test {
protected:
    std::filesystem::path Write(const ArchiveSpec &plan, const std::string &name = "t.rar") {
        built_ = BuildArchiveWithLayout(plan);
        return dir_.Write(name, built_.bytes);
    }
    std::filesystem::path WriteBytes(const std::string &bytes, const std::string &name = "raw.rar") {
        return dir_.Write(name, bytes);
    }

    // Every entry extracts to its data, and the listing names them all. An
    // entry is asked for with its own password; in a solid archive, one
    // without a password is asked for with the password of the encrypted
    // entries before it, which are decoded on the way.
    void ExpectAllEntries(const ArchiveSpec &plan) {
        const auto path = Write(plan);
        std::vector<std::string> names;
        std::string chainPassword;
        for (size_t i = 0; i < plan.entries.size(); ++i) {
            SCOPED_TRACE(plan.entries[i].name);
            names.push_back(plan.entries[i].name);
            const std::string &own = plan.entries[i].password;
            if (plan.solid && !own.empty()) chainPassword = own;
            const std::string &password = own.empty() ? chainPassword : own;
            const Extracted e = Extract(path, plan.entries[i].name, password.empty() ? nullptr : password.c_str());
            ASSERT_EQ(e.result, 1);
            ASSERT_EQ(e.data.size(), built_.entries[i].data.size());
            EXPECT_TRUE(e.data == built_.entries[i].data)
                << "first difference at "
                << std::mismatch(e.data.begin(), e.data.end(), built_.entries[i].data.begin()).first - e.data.begin();
        }
        EXPECT_EQ(ListNames(path), names);
    }

    testsupport::TempDir dir_;
    BuiltArchive built_;
};

// ---- contents ----

TEST_F(RoundTrip, ContentsStoredAndCompressed) {
    const std::vector<std::pair<std::string, std::string>> contents = {
        {"empty", ""},
        {"one.byte", "Z"},
        {"text.txt", samples::Text(120000, 1)},
        {"records.bin", samples::Records(90000, 2)},
        {"random.bin", samples::Random(50000, 3)},
        {"runs.bin", samples::Runs(80000, 4)},
        {"zeros.bin", std::string(70000, '\0')},
    };
    ArchiveSpec plan;
    for (const auto &[name, data] : contents) {
        plan.entries.push_back(Compressed("packed/" + name, data));
        plan.entries.push_back(Stored("stored/" + name, data));
    }
    ExpectAllEntries(plan);
}

TEST_F(RoundTrip, AudioInOneToFourChannels) {
    ArchiveSpec plan;
    for (int channels = 1; channels <= 4; ++channels) {
        for (int width : {1, 2}) {
            if (width == 2 && channels % 2) continue;
            CompressOptions o;
            o.segments = {{1u << 30, channels}};
            const std::string name = "pcm" + std::to_string(8 * width) + "_" + std::to_string(channels) + "ch.raw";
            plan.entries.push_back(Compressed(name, samples::Pcm(60000 + channels, channels / width, width, channels), o));
        }
    }
    ExpectAllEntries(plan);
}

TEST_F(RoundTrip, BlockSwitchesWithinOneFile) {
    const std::string data = samples::Text(7000, 10) + samples::Pcm(9001, 2, 1, 11) + samples::Pcm(8000, 4, 1, 12) +
                             samples::Pcm(3001, 1, 1, 13) + samples::Records(6000, 14) + samples::Pcm(6001, 3, 1, 15) +
                             samples::Text(5000, 16);
    CompressOptions o;
    o.segments = {{7000, 0}, {9001, 2}, {8000, 4}, {3001, 1}, {6000, 0}, {6001, 3}};
    o.blockBytes = 1500;
    ArchiveSpec plan;
    plan.entries.push_back(Compressed("switches.bin", data, o));
    ExpectAllEntries(plan);
    EXPECT_EQ(built_.stats.audioBlocks, 4u);
    EXPECT_GT(built_.stats.lzBlocks, 8u);
}

TEST_F(RoundTrip, MoreThanTheWindowWrapsAround) {
    // 2.5 MiB: the window wraps twice; far matches reach back 0x50000 and
    // the full 1 MiB.
    const std::string block = samples::Random(kWindowSize, 20);
    ArchiveSpec plan;
    plan.entries.push_back(Compressed("far.bin", samples::FarRepeats(1300000, 0x50000, 21)));
    plan.entries.push_back(Compressed("window.bin", block + block.substr(0, 300000) + samples::Text(1000000, 22)));
    ExpectAllEntries(plan);
    EXPECT_EQ(built_.stats.farthestDistance, kWindowSize);
    EXPECT_GT(built_.stats.longsFrom0x40000, 0u);
    EXPECT_GT(built_.stats.historyFrom0x40000, 0u);
    EXPECT_EQ(built_.stats.longestMatch, 260u);
}

// ---- options ----

TEST_F(RoundTrip, EveryEncoderOption) {
    const std::string data = samples::Text(30000, 30) + samples::Pcm(6000, 2, 1, 31) + samples::Records(20000, 32);
    std::vector<std::pair<std::string, std::function<void(CompressOptions &)>>> variants = {
        {"default", [](CompressOptions &) {}},
        {"no-repeat", [](CompressOptions &o) { o.repeat = false; }},
        {"no-history", [](CompressOptions &o) { o.history = false; }},
        {"no-short", [](CompressOptions &o) { o.shortMatches = false; }},
        {"no-long", [](CompressOptions &o) { o.longMatches = false; }},
        {"literals-only", [](CompressOptions &o) { o.repeat = o.history = o.shortMatches = o.longMatches = false; }},
        {"greedy", [](CompressOptions &o) { o.lazy = false; }},
        {"near-only", [](CompressOptions &o) { o.maxDistance = 300; }},
        {"absolute-tables", [](CompressOptions &o) { o.deltaTables = false; }},
        {"no-run-symbols", [](CompressOptions &o) { o.runSymbols = false; }},
        {"overlong-runs", [](CompressOptions &o) { o.overlongRuns = true; }},
        {"repeat-at-start", [](CompressOptions &o) { o.repeatAtStart = true; }},
        {"9-bit-codes", [](CompressOptions &o) { o.maxCodeLength = 9; }},
        {"tiny-blocks", [](CompressOptions &o) { o.blockBytes = 300; }},
    };
    ArchiveSpec plan;
    for (auto &[name, apply] : variants) {
        CompressOptions o;
        o.segments = {{30000, 0}, {6000, 2}};
        apply(o);
        plan.entries.push_back(Compressed(name, data, o));
    }
    // Every method byte other than stored goes to the same unpacker.
    for (uint8_t method = 0x31; method <= 0x35; ++method) {
        plan.entries.push_back(Compressed("method" + std::to_string(method), data.substr(method * 100, 5000)));
        plan.entries.back().method = method;
    }
    ExpectAllEntries(plan);
}

TEST_F(RoundTrip, LongestCodesTheFormatAllows) {
    std::string skewed;
    for (int i = 0; i < 22; ++i) skewed += std::string(size_t{1} << (i < 16 ? i : 16), static_cast<char>('a' + i)) + "!";
    CompressOptions o;
    o.longMatches = o.shortMatches = o.history = o.repeat = false;
    ArchiveSpec plan;
    plan.entries.push_back(Compressed("skewed", skewed, o));
    ExpectAllEntries(plan);
    EXPECT_EQ(built_.stats.longestCode, 15);
}

// ---- exact tokens ----

TEST_F(RoundTrip, TokensReachEveryCornerOfTheMatchRules) {
    std::vector<Token> t = {Token::Rep(),                 // first match of a file: length 0, distance 0
                            Token::LongMatch(6, 5000),    // reaches before the first byte: zeros
                            Token::Lit('a'), Token::Lit('b'), Token::Lit('c'),
                            Token::LongMatch(12, 1),      // distance shorter than the length
                            Token::ShortMatch(3), Token::LongMatch(4, 7),
                            // pushed so far: 0, 5000, 1, 3, 7
                            Token::Hist(4, 5),            // 5000
                            Token::Hist(3, 3),            // 3
                            Token::Hist(2, 4),            // 5000
                            Token::Hist(1, 3),            // 5000 again, the shortest there
                            Token::ShortMatch(256), Token::ShortMatch(1), Token::Rep()};
    for (int i = 0; i < 400; ++i) t.push_back(Token::Lit(static_cast<uint8_t>(i * 13)));
    t.push_back(Token::LongMatch(3, 300));   // no bonus for a long match at 300
    t.push_back(Token::Hist(1, 3));          // one bonus for a history match at 300
    t.push_back(Token::Hist(1, 258));        // ... and its longest length
    t.push_back(Token::Block());
    t.push_back(Token::LongMatch(259, 0x2000));
    t.push_back(Token::Hist(1, 259));        // every bonus but the far one: 255 + 2 + 2
    ArchiveSpec plan;
    EntrySpec e = Compressed("tokens.bin", "");
    e.tokens = t;
    plan.entries.push_back(e);
    // A file over 1 MiB whose last match reaches exactly the window size,
    // with the longest match there is.
    std::vector<Token> far;
    for (uint32_t i = 0; i < kWindowSize; ++i) far.push_back(Token::Lit(static_cast<uint8_t>((i * 2654435761u) >> 24)));
    far.push_back(Token::LongMatch(260, kWindowSize));
    far.push_back(Token::Hist(1, 260));
    EntrySpec f = Compressed("far-tokens.bin", "");
    f.tokens = far;
    plan.entries.push_back(f);
    ExpectAllEntries(plan);
    EXPECT_EQ(built_.entries[0].data.substr(0, 6), std::string(6, '\0'));
}

TEST_F(RoundTrip, LengthBonusesStartExactlyAtTheirDistances) {
    std::vector<Token> t;
    const std::string noise = samples::Random(0x40010, 7);
    for (char c : noise) t.push_back(Token::Lit(static_cast<uint8_t>(c)));
    // Each pair: the shortest length at the boundary and just below it.
    t.push_back(Token::LongMatch(5, 0x40000));
    t.push_back(Token::LongMatch(4, 0x3FFFF));
    t.push_back(Token::Hist(1, 4));          // 0x3FFFF: two bonuses for history use
    t.push_back(Token::LongMatch(4, 0x2000));
    t.push_back(Token::LongMatch(3, 0x1FFF));
    t.push_back(Token::LongMatch(3, 0x101));
    t.push_back(Token::Hist(1, 3));
    t.push_back(Token::LongMatch(3, 0x100));
    t.push_back(Token::Hist(1, 2));
    t.push_back(Token::LongMatch(5, 0x40000));
    t.push_back(Token::Hist(1, 5));          // three bonuses
    t.push_back(Token::Hist(1, 260));
    ArchiveSpec plan;
    EntrySpec e = Compressed("bonuses.bin", "");
    e.tokens = t;
    plan.entries.push_back(e);
    ExpectAllEntries(plan);
}

// ---- solid archives ----

TEST_F(RoundTrip, SolidChainsInEveryJoinWithStoredAndEmptyFiles) {
    for (SolidJoin join : {SolidJoin::LeadingTables, SolidJoin::TrailingTables, SolidJoin::SameBlock}) {
        SCOPED_TRACE(static_cast<int>(join));
        ArchiveSpec plan;
        plan.solid = true;
        const std::string text = samples::Text(40000, 40);
        CompressOptions audio;
        audio.segments = {{1u << 30, 3}};
        plan.entries.push_back(Compressed("a.txt", text));
        plan.entries.push_back(Compressed("b.txt", text.substr(1000, 20000) + "changed"));
        plan.entries.push_back(Stored("c.stored", "stored in the middle of a solid archive"));
        plan.entries.push_back(Compressed("d.empty", ""));
        plan.entries.push_back(Compressed("e.pcm", samples::Pcm(10001, 3, 1, 41), audio));
        plan.entries.push_back(Compressed("f.pcm", samples::Pcm(7000, 3, 1, 42), audio));
        plan.entries.push_back(Compressed("g.rec", samples::Records(30000, 43)));
        plan.entries.push_back(Compressed("h.txt", text.substr(5000, 3000)));
        for (auto &e : plan.entries) e.join = join;
        ExpectAllEntries(plan);
    }
}

TEST_F(RoundTrip, SolidChainWiderThanTheWindow) {
    ArchiveSpec plan;
    plan.solid = true;
    for (int i = 0; i < 5; ++i) plan.entries.push_back(Compressed("part" + std::to_string(i), samples::Text(400000, 50 + i % 2)));
    ExpectAllEntries(plan);
}

// ---- passwords ----

TEST_F(RoundTrip, EncryptedEntries) {
    ArchiveSpec plan;
    auto add = [&](EntrySpec e, const char *password) {
        e.password = password;
        plan.entries.push_back(std::move(e));
    };
    add(Compressed("secret.txt", samples::Text(50000, 60)), "password");
    add(Stored("secret87.txt", samples::Text(87, 61)), "password");
    add(Stored("secret16.txt", samples::Text(32, 62)), "x");
    add(Stored("empty.txt", ""), "x");
    add(Compressed("tiny.txt", "tiny"), "a long password of more than sixteen bytes");
    CompressOptions audio;
    audio.segments = {{1u << 30, 2}};
    add(Compressed("secret.pcm", samples::Pcm(30001, 2, 1, 63), audio), "pcm");
    plan.entries.push_back(Compressed("plain.txt", "not encrypted"));
    ExpectAllEntries(plan);

    const auto path = Write(plan);
    EXPECT_EQ(Extract(path, "secret.txt", "wrong").result, 0);
    EXPECT_EQ(Extract(path, "secret87.txt", nullptr).result, 0);
    EXPECT_EQ(Extract(path, "secret87.txt", "").result, 0);
    const Extracted plain = Extract(path, "plain.txt", "ignored");
    EXPECT_EQ(plain.result, 1);
    EXPECT_EQ(plain.data, "not encrypted");
}

TEST_F(RoundTrip, EncryptedSolidChain) {
    for (SolidJoin join : {SolidJoin::LeadingTables, SolidJoin::TrailingTables, SolidJoin::SameBlock}) {
        SCOPED_TRACE(static_cast<int>(join));
        ArchiveSpec plan;
        plan.solid = true;
        CompressOptions audio;
        audio.segments = {{1u << 30, 4}};
        for (int i = 0; i < 4; ++i) {
            plan.entries.push_back(Compressed("t" + std::to_string(i), samples::Text(3000 + 17 * i, 70 + i)));
            plan.entries.push_back(Compressed("p" + std::to_string(i), samples::Pcm(2001 + 5 * i, 4, 1, 75 + i), audio));
        }
        for (auto &e : plan.entries) {
            e.password = "solid secret";
            e.join = join;
        }
        ExpectAllEntries(plan);
    }
}

// Archives of random make-up from fixed seeds: contents, segment plans,
// options, solid joins and passwords mixed in ways no hand-written case
// lists.
TEST_F(RoundTrip, RandomArchivesFromFixedSeeds) {
    for (uint32_t seed = 1; seed <= 40; ++seed) {
        SCOPED_TRACE(seed);
        std::mt19937 rng(seed);
        auto pick = [&](uint32_t n) { return static_cast<uint32_t>(rng() % n); };
        ArchiveSpec plan;
        plan.solid = pick(2) == 0;
        const uint32_t count = 1 + pick(6);
        for (uint32_t i = 0; i < count; ++i) {
            std::string data;
            CompressOptions o;
            const uint32_t parts = pick(4);
            for (uint32_t p = 0; p < parts; ++p) {
                const uint32_t size = pick(3) == 0 ? pick(40) : pick(12000);
                const int channels = pick(3) == 0 ? 0 : 1 + static_cast<int>(pick(4));
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
            o.runSymbols = pick(4) != 0;
            o.overlongRuns = pick(2);
            o.maxCodeLength = 9 + static_cast<int>(pick(7));
            o.repeat = pick(5) != 0;
            o.history = pick(5) != 0;
            o.shortMatches = pick(5) != 0;
            o.longMatches = pick(5) != 0;
            EntrySpec e = Compressed("f" + std::to_string(i), data, o);
            e.stored = pick(6) == 0;
            e.join = static_cast<SolidJoin>(pick(3));
            // A solid archive is opened with one password for all.
            if (pick(4) == 0) e.password = plan.solid ? "solid" : "pw" + std::to_string(pick(100));
            plan.entries.push_back(std::move(e));
        }
        ExpectAllEntries(plan);
    }
}

// ---- oddities a reader must accept ----

TEST_F(RoundTrip, OddButValidArchives) {
    ArchiveSpec plan;
    plan.marker = Marker::Alternative;
    plan.mainComment = std::string("\x01\x02 archive comment bytes", 24);
    plan.endOfArchive = true;
    plan.entries.push_back(Compressed("commented.txt", samples::Text(5000, 80)));
    plan.entries.back().comment = "a file comment between the name and the data";
    plan.entries.push_back(Compressed("exttime.txt", samples::Text(4000, 81)));
    plan.entries.back().extraFlags = kFileExtendedTime;
    plan.entries.back().extra = std::string("\x00\xF0\x11\x22\x33\x44\x55", 7);
    plan.entries.push_back(Stored("exttime-stored.txt", "stored, with bytes after the name"));
    plan.entries.back().extra = std::string("\x00\xF0", 2);
    plan.entries.push_back(Stored("broken-check.txt", "a wrong header check is only logged"));
    plan.entries.back().badHeaderCheck = true;
    plan.entries.push_back(Stored("DOCS\\README.TXT", "found by another spelling"));
    plan.entries.push_back(Stored("docs/readme.txt", "a second entry of the same name is never reached"));
    plan.entries.push_back(Stored("dir", ""));
    plan.entries.back().extraFlags = kFileDirectory;
    plan.entries.back().attributes = 0x10;
    plan.blocks.push_back(Block(1, 0x7A, kLongBlock, "unknown with data", std::string(100, 'u')));
    plan.blocks.push_back(Block(2, 0x75, 0, "old comment block"));
    plan.blocks.push_back(Block(3, 0x78, kLongBlock, "", std::string(3000, 'r')));
    const auto path = Write(plan);
    for (size_t i = 0; i < plan.entries.size(); ++i) {
        if (plan.entries[i].name == "docs/readme.txt") continue;
        SCOPED_TRACE(plan.entries[i].name);
        const Extracted e = Extract(path, plan.entries[i].name);
        EXPECT_EQ(e.result, 1);
        EXPECT_TRUE(e.data == built_.entries[i].data);
    }
    EXPECT_EQ(ListNames(path).size(), plan.entries.size());
    EXPECT_EQ(Extract(path, "docs/readme.txt").data, "found by another spelling");
    EXPECT_EQ(Extract(path, "docs_readme.txt").data, "found by another spelling");
}

TEST_F(RoundTrip, ListingCarriesTheHeaderFields) {
    ArchiveSpec plan;
    EntrySpec e = Compressed("fields.txt", samples::Text(3000, 90));
    e.hostOs = 3;
    e.fileTime = DosDateTime(1999, 12, 31, 23, 59, 58);
    e.attributes = 0x81A4;
    e.method = 0x35;
    plan.entries.push_back(e);
    plan.entries.push_back(Stored(std::string(300, 'L'), "long name"));
    const auto path = Write(plan);
    RarListEntry *list = nullptr;
    ASSERT_EQ(RarListFiles(path.c_str(), &list), 2);
    ASSERT_NE(list, nullptr);
    EXPECT_STREQ(list->name, "fields.txt");
    EXPECT_EQ(list->nameSize, 10);
    EXPECT_EQ(list->packedSize, built_.entries[0].packedSize);
    EXPECT_EQ(list->unpackedSize, 3000u);
    EXPECT_EQ(list->hostOs, 3);
    EXPECT_EQ(list->fileCrc, Crc32(built_.entries[0].data));
    EXPECT_EQ(list->fileTime, DosDateTime(1999, 12, 31, 23, 59, 58));
    EXPECT_EQ(list->unpackVersion, 20);
    EXPECT_EQ(list->method, 0x35);
    EXPECT_EQ(list->attributes, 0x81A4u);
    ASSERT_NE(list->next, nullptr);
    EXPECT_EQ(list->next->nameSize, 259);
    EXPECT_EQ(std::string(list->next->name), std::string(259, 'L'));
    EXPECT_EQ(list->next->next, nullptr);
    RarFreeList(list);
}

TEST_F(RoundTrip, ArchiveWithoutFiles) {
    ArchiveSpec plan;
    plan.mainComment = "only a comment";
    plan.blocks.push_back(Block(0, 0x7A, kLongBlock, "", "data of an unknown block"));
    const auto path = Write(plan);
    RarListEntry *list = reinterpret_cast<RarListEntry *>(8);
    EXPECT_EQ(RarListFiles(path.c_str(), &list), 0);
    EXPECT_EQ(list, nullptr);
    EXPECT_EQ(Extract(path, "anything").result, 0);
}

// ---- faults ----

TEST_F(RoundTrip, RejectedStarts) {
    ArchiveSpec plan;
    plan.entries.push_back(Stored("a", "a"));
    for (Marker m : {Marker::Old, Marker::None}) {
        plan.marker = m;
        const auto path = Write(plan);
        EXPECT_EQ(Extract(path, "a").result, 0);
        RarListEntry *untouched = reinterpret_cast<RarListEntry *>(8);
        EXPECT_EQ(RarListFiles(path.c_str(), &untouched), 0);
        EXPECT_EQ(untouched, reinterpret_cast<RarListEntry *>(8));
    }
    plan.marker = Marker::Rar;
    plan.prefix = "MZ self-extractor stub";
    EXPECT_EQ(Extract(Write(plan), "a").result, 0);
    EXPECT_EQ(Extract(WriteBytes("Rar!\x1a"), "a").result, 0);
    EXPECT_EQ(Extract(dir_ / "missing.rar", "a").result, 0);
}

TEST_F(RoundTrip, EntriesThatMustFail) {
    ArchiveSpec plan;
    const std::string text = samples::Text(20000, 100);
    auto add = [&](EntrySpec e, const std::function<void(EntrySpec &)> &fault) {
        fault(e);
        plan.entries.push_back(std::move(e));
    };
    add(Compressed("bad-crc", text), [](EntrySpec &e) { e.fileCrc = 0xDEADBEEF; });
    add(Stored("bad-crc-stored", text), [](EntrySpec &e) { e.fileCrc = 0xDEADBEEF; });
    add(Compressed("size-grows", text), [](EntrySpec &e) { e.unpackedSize = 25000; });
    add(Compressed("size-shrinks", text), [](EntrySpec &e) { e.unpackedSize = 15000; });
    add(Stored("stored-size-grows", text), [](EntrySpec &e) { e.unpackedSize = 20001; });
    add(Compressed("version29", text), [](EntrySpec &e) { e.unpackVersion = 29; });
    add(Compressed("version12", text), [](EntrySpec &e) { e.unpackVersion = 12; });
    add(Compressed("version15", text), [](EntrySpec &e) { e.unpackVersion = 15; });
    add(Compressed("split-before", text), [](EntrySpec &e) { e.extraFlags = kFileSplitBefore; });
    add(Stored("split-after", text), [](EntrySpec &e) { e.extraFlags = kFileSplitAfter; });
    add(Compressed("garbage", text), [](EntrySpec &e) { e.packedData = samples::Random(3000, 101); });
    add(Stored("old-crypt", text), [](EntrySpec &e) {
        e.unpackVersion = 15;
        e.password = "pw";
    });
    plan.entries.push_back(Stored("version15-stored", "old version, stored: fine"));
    plan.entries.back().unpackVersion = 15;
    plan.entries.push_back(Compressed("version15-empty", ""));
    plan.entries.back().unpackVersion = 15;
    plan.entries.push_back(Compressed("good", text));
    const auto path = Write(plan);
    for (size_t i = 0; i + 3 < plan.entries.size(); ++i) {
        SCOPED_TRACE(plan.entries[i].name);
        const Extracted e = Extract(path, plan.entries[i].name, plan.entries[i].password.empty() ? nullptr : "pw");
        EXPECT_EQ(e.result, 0);
        EXPECT_TRUE(e.nullOnFailure);
    }
    EXPECT_EQ(Extract(path, "version15-stored").data, "old version, stored: fine");
    EXPECT_EQ(Extract(path, "version15-empty").result, 1);
    EXPECT_EQ(Extract(path, "good").data, text);
    EXPECT_EQ(Extract(path, "not-there").result, 0);
    EXPECT_EQ(ListNames(path).size(), plan.entries.size());
}

TEST_F(RoundTrip, BrokenWalksEndTheArchiveThere) {
    const std::string text = samples::Text(5000, 110);
    auto archiveWith = [&](const std::function<void(ArchiveSpec &)> &fault) {
        ArchiveSpec plan;
        plan.entries.push_back(Compressed("first", text));
        plan.entries.push_back(Stored("second", "second"));
        plan.entries.push_back(Compressed("third", text.substr(100)));
        fault(plan);
        return plan;
    };
    struct Case {
        const char *name;
        std::function<void(ArchiveSpec &)> fault;
        std::vector<std::string> listed;
        bool thirdExtracts;
    };
    const std::vector<Case> cases = {
        {"header size 0", [](ArchiveSpec &s) { s.entries[1].headerSize = 0; }, {"first"}, false},
        {"header size 6", [](ArchiveSpec &s) { s.entries[1].headerSize = 6; }, {"first"}, false},
        {"unknown block, size 3", [](ArchiveSpec &s) {
             s.blocks.push_back(Block(1, 0x7A));
             s.blocks.back().headerSize = 3;
         }, {"first"}, false},
        {"sub-block", [](ArchiveSpec &s) { s.blocks.push_back(Block(1, kSubBlockType, kLongBlock, "sub", "data")); },
         {"first"}, false},
        {"packed size too large", [](ArchiveSpec &s) { s.entries[0].packedSize = 1u << 30; }, {"first"}, false},
        {"packed size too small", [](ArchiveSpec &s) { s.entries[0].packedSize = 10; }, {"first"}, false},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        const auto path = Write(archiveWith(c.fault));
        EXPECT_EQ(ListNames(path), c.listed);
        EXPECT_EQ(Extract(path, "third").result, c.thirdExtracts ? 1 : 0);
    }
    // A walk that ends early still extracts what came before.
    EXPECT_EQ(Extract(Write(archiveWith(cases[3].fault)), "first").data, text);
}

TEST_F(RoundTrip, TruncatedAtEveryByte) {
    ArchiveSpec plan;
    plan.solid = true;
    plan.entries.push_back(Compressed("a.txt", samples::Text(1500, 120)));
    plan.entries.push_back(Stored("b.bin", "stored"));
    plan.entries.push_back(Compressed("c.pcm", samples::Pcm(700, 2, 1, 121)));
    plan.entries.back().options.segments = {{700, 2}};
    plan.entries.back().password = "pw";
    const BuiltArchive layout = BuildArchiveWithLayout(plan);
    const std::string &whole = layout.bytes;
    for (size_t cut = 0; cut < whole.size(); ++cut) {
        SCOPED_TRACE(cut);
        const auto path = WriteBytes(whole.substr(0, cut));
        for (size_t i = 0; i < plan.entries.size(); ++i) {
            const auto &l = layout.entries[i];
            const Extracted e = Extract(path, plan.entries[i].name, "pw");
            // Whatever comes back is the entry's true content. An entry
            // whose header is cut is not found; one whose data is whole
            // extracts. (Cutting the last bits of a stream may lose only
            // zero bits, so a cut inside the data may still extract.)
            if (cut < l.dataOffset) {
                EXPECT_EQ(e.result, 0);
            }
            if (cut >= l.dataOffset + l.packedSize) {
                EXPECT_EQ(e.result, 1);
            }
            if (e.result == 1) {
                EXPECT_TRUE(e.data == l.data);
            }
        }
        int count = 0;
        const auto names = ListNames(path, &count);
        for (size_t i = 0; i < names.size(); ++i) EXPECT_EQ(names[i], plan.entries[i].name);
    }
}

TEST_F(RoundTrip, FlippedBytesNeverBreakTheReader) {
    ArchiveSpec plan;
    plan.entries.push_back(Compressed("a.txt", samples::Text(4000, 130)));
    CompressOptions audio;
    audio.segments = {{3000, 4}};
    plan.entries.push_back(Compressed("b.pcm", samples::Pcm(3000, 4, 1, 131), audio));
    plan.entries.push_back(Compressed("c.rec", samples::Records(3000, 132)));
    const BuiltArchive layout = BuildArchiveWithLayout(plan);
    const std::string &whole = layout.bytes;
    std::mt19937 rng(133);
    for (int round = 0; round < 300; ++round) {
        std::string bytes = whole;
        const int flips = 1 + static_cast<int>(rng() % 4);
        for (int k = 0; k < flips; ++k) bytes[rng() % bytes.size()] ^= static_cast<char>(1u << (rng() % 8));
        const auto path = WriteBytes(bytes);
        for (const char *name : {"a.txt", "b.pcm", "c.rec"}) {
            const Extracted e = Extract(path, name);
            if (e.result == 1) {
                EXPECT_TRUE(e.data == layout.entries[name[0] - 'a'].data)
                    << "a damaged entry passed its check";
            }
        }
        ListNames(path);
    }
}

}  // namespace
}  // namespace rarwriter
