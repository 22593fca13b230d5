// The packed-stream encoder, checked against a plain model of the reading
// rules. The model itself is first checked on real archivers' streams from
// the shared corpus, so a round trip through it means the encoder writes
// what real readers read.
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <fstream>

#include "rar_writer.h"
#include "sample_content.h"
#include "stream_model.h"
#include "tests/support/shared_data.h"
#include "tests/support/temp_dir.h"

namespace rarwriter {
namespace {

using model::StreamModel;

// Decodes one non-solid file with a fresh model.
std::string ModelDecode(const std::string &packed, size_t size) {
    StreamModel m;
    const model::DecodeResult r = m.Decode(packed, static_cast<uint32_t>(size), false);
    EXPECT_FALSE(r.overrun);
    EXPECT_FALSE(r.inputEnded);
    return r.bytes;
}

void ExpectRoundTrip(const std::string &data, const CompressOptions &o, StreamStats *stats = nullptr) {
    const std::string packed = CompressStream(data, o, stats);
    const std::string back = ModelDecode(packed, data.size());
    ASSERT_EQ(back.size(), data.size());
    EXPECT_TRUE(back == data) << "first difference at "
                              << std::mismatch(back.begin(), back.end(), data.begin()).first - back.begin();
}

// ---- the model against real archives ----

TEST(StreamModelOnCorpus, DecodesEveryRealCompressedVersion20Entry) {
    REQUIRE_SHARED_PATH(manifestPath, "corpus/real/manifest.json");
    std::ifstream in(manifestPath);
    const nlohmann::json manifest = nlohmann::json::parse(in);
    int decoded = 0, encrypted = 0, solidFollowers = 0;
    for (const auto &archive : manifest["archives"]) {
        if (archive["category"] != "positive") continue;
        const std::string bytes = testsupport::ReadFile(manifestPath.parent_path() / archive["file"].get<std::string>());
        const std::string password = archive["password"].is_string() ? archive["password"].get<std::string>() : "";
        StreamModel model;
        bool chain = false;
        for (const auto &e : archive["entries"]) {
            if (e["unpack_version"] != 20 || e["method"] == 0x30 || e["is_dir"] == true) continue;
            if (e["encrypted"] == true && password.empty()) continue;
            SCOPED_TRACE(archive["file"].get<std::string>() + " / " + e["name"].get<std::string>());
            std::string packed = bytes.substr(e["data_offset"].get<size_t>(), e["packed_size"].get<size_t>());
            if (e["encrypted"] == true) {
                ASSERT_EQ(packed.size() % 16, 0u);
                Cipher20(password).Decrypt(packed);
                ++encrypted;
            }
            const bool solid = e["solid_flag"] == true && chain;
            solidFollowers += solid;
            const model::DecodeResult r = model.Decode(packed, e["unpacked_size"].get<uint32_t>(), solid);
            chain = true;
            EXPECT_EQ(r.bytes.size(), e["unpacked_size"].get<size_t>());
            EXPECT_EQ(Crc32(r.bytes), std::stoul(e["crc32"].get<std::string>(), nullptr, 16));
            ++decoded;
        }
    }
    EXPECT_GT(decoded, 20);
    EXPECT_GT(encrypted, 0);
    EXPECT_GT(solidFollowers, 0);
}

TEST(StreamModelOnCorpus, WritersCipherOpensARealEncryptedStoredEntry) {
    REQUIRE_SHARED_PATH(path, "corpus/real/junrar_rar20-password-stored.rar");
    const std::string bytes = testsupport::ReadFile(path);
    ASSERT_GE(bytes.size(), 62u + 96);
    std::string packed = bytes.substr(62, 96);  // data of SECRET.TXT: 87 bytes padded to 96
    Cipher20("password").Decrypt(packed);
    EXPECT_EQ(Crc32(packed.substr(0, 87)), 0x967E05A2u);
}

// ---- round trips through the model ----

struct Content {
    const char *name;
    std::string data;
};

std::vector<Content> Contents() {
    return {
        {"empty", ""},
        {"one byte", "x"},
        {"text", samples::Text(60000, 1)},
        {"records", samples::Records(50000, 2)},
        {"random", samples::Random(20000, 3)},
        {"runs", samples::Runs(70000, 4)},
        {"all zero", std::string(100000, '\0')},
        {"pcm8", samples::Pcm(30000, 1, 1, 5)},
    };
}

TEST(StreamRoundTrip, ContentsWithDefaultOptions) {
    for (const auto &c : Contents()) {
        SCOPED_TRACE(c.name);
        ExpectRoundTrip(c.data, {});
    }
}

TEST(StreamRoundTrip, TextUsesEveryMatchKind) {
    StreamStats s;
    std::string data = samples::Text(200000, 11) + samples::Records(100000, 12) + samples::Runs(50000, 13);
    ExpectRoundTrip(data, {}, &s);
    EXPECT_GT(s.literals, 0u);
    EXPECT_GT(s.repeats, 0u);
    for (int k = 0; k < 4; ++k) EXPECT_GT(s.history[k], 0u) << "history " << k + 1;
    EXPECT_GT(s.shorts, 0u);
    EXPECT_GT(s.longs, 0u);
    EXPECT_GT(s.longsFrom0x2000, 0u);
    EXPECT_GT(s.historyFrom0x101, 0u);
    EXPECT_GE(s.longestMatch, 258u);  // runs give the longest long match below 0x2000
    EXPECT_GE(s.lzBlocks, 2u);            // 350 KB in blocks of 256 KiB
}

TEST(StreamRoundTrip, FarMatchesReachTheWholeWindow) {
    StreamStats s;
    // A random block repeated with a few changes at a distance above
    // 0x40000: long and history matches with every length bonus.
    const std::string far = samples::FarRepeats(1200000, 0x50000, 21);
    ExpectRoundTrip(far, {}, &s);
    EXPECT_GT(s.longsFrom0x40000, 0u);
    EXPECT_GT(s.historyFrom0x40000, 0u);
    EXPECT_EQ(s.longestMatch, 260u);

    // Matches at the window's full size: 1 MiB of random bytes, then again.
    const std::string block = samples::Random(kWindowSize, 22);
    StreamStats w;
    CompressOptions o;
    o.blockBytes = 1 << 22;
    ExpectRoundTrip(block + block.substr(0, 5000), o, &w);
    EXPECT_EQ(w.farthestDistance, kWindowSize);
}

TEST(StreamRoundTrip, ForbiddenKindsAreNeverUsed) {
    const std::string data = samples::Text(40000, 31) + samples::Records(20000, 32);
    struct Case {
        const char *name;
        void (*apply)(CompressOptions &);
        uint64_t (*count)(const StreamStats &);
    };
    const Case cases[] = {
        {"repeat", [](CompressOptions &o) { o.repeat = false; }, [](const StreamStats &s) { return s.repeats; }},
        {"history", [](CompressOptions &o) { o.history = false; },
         [](const StreamStats &s) { return s.history[0] + s.history[1] + s.history[2] + s.history[3]; }},
        {"short", [](CompressOptions &o) { o.shortMatches = false; }, [](const StreamStats &s) { return s.shorts; }},
        {"long", [](CompressOptions &o) { o.longMatches = false; }, [](const StreamStats &s) { return s.longs; }},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        CompressOptions o;
        c.apply(o);
        StreamStats s;
        ExpectRoundTrip(data, o, &s);
        EXPECT_EQ(c.count(s), 0u);
    }
    CompressOptions literalsOnly;
    literalsOnly.repeat = literalsOnly.history = literalsOnly.shortMatches = literalsOnly.longMatches = false;
    StreamStats s;
    ExpectRoundTrip(data, literalsOnly, &s);
    EXPECT_EQ(s.literals, data.size());
}

TEST(StreamRoundTrip, TableCodingVariants) {
    const std::string data = samples::Text(30000, 41) + samples::Pcm(8000, 2, 1, 42) + samples::Random(3000, 43);
    struct Case {
        const char *name;
        void (*apply)(CompressOptions &);
        void (*check)(const StreamStats &);
    };
    const Case cases[] = {
        {"delta lengths", [](CompressOptions &) {}, [](const StreamStats &s) { EXPECT_GT(s.deltaHeaders, 0u); }},
        {"absolute lengths", [](CompressOptions &o) { o.deltaTables = false; },
         [](const StreamStats &s) { EXPECT_EQ(s.deltaHeaders, 0u); }},
        {"no run symbols", [](CompressOptions &o) { o.runSymbols = false; },
         [](const StreamStats &s) { EXPECT_EQ(s.runSymbols[0] + s.runSymbols[1] + s.runSymbols[2], 0u); }},
        {"overlong runs", [](CompressOptions &o) { o.overlongRuns = true; },
         [](const StreamStats &s) { EXPECT_GT(s.runSymbols[2], 0u); }},
        {"repeat at start", [](CompressOptions &o) { o.repeatAtStart = true; },
         [](const StreamStats &s) { EXPECT_GT(s.runSymbols[0], 0u); }},
        {"9-bit codes", [](CompressOptions &o) { o.maxCodeLength = 9; },
         [](const StreamStats &s) { EXPECT_LE(s.longestCode, 9); }},
        {"tiny blocks", [](CompressOptions &o) { o.blockBytes = 700; },
         [](const StreamStats &s) { EXPECT_GT(s.lzBlocks, 40u); }},
        {"greedy, short chains", [](CompressOptions &o) { o.lazy = false; o.chainDepth = 1; },
         [](const StreamStats &s) { EXPECT_GT(s.longs, 0u); }},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        CompressOptions o;
        o.segments = {{30000, 0}, {8000, 2}};
        c.apply(o);
        StreamStats s;
        ExpectRoundTrip(data, o, &s);
        EXPECT_GE(s.audioBlocks, 1u);
        c.check(s);
    }
    StreamStats deep;
    CompressOptions o;
    // Very uneven symbol counts make the longest codes the format allows.
    std::string skewed;
    for (int i = 0; i < 22; ++i) skewed += std::string(size_t{1} << (i < 16 ? i : 16), static_cast<char>('a' + i)) + samples::Random(1, i);
    o.longMatches = o.shortMatches = o.history = o.repeat = false;
    ExpectRoundTrip(skewed, o, &deep);
    EXPECT_EQ(deep.longestCode, 15);
}

TEST(StreamRoundTrip, MultimediaBlocksInEveryChannelCountAndSwitches) {
    for (int channels = 1; channels <= 4; ++channels) {
        SCOPED_TRACE(channels);
        const std::string pcm = samples::Pcm(40000, channels, 1, 50 + channels);
        CompressOptions o;
        o.segments = {{40000, channels}};
        StreamStats s;
        ExpectRoundTrip(pcm, o, &s);
        EXPECT_EQ(s.audioBlocksByChannels[channels], 1u);
        EXPECT_EQ(s.audioBytes, pcm.size());
        EXPECT_LT(CompressStream(pcm, o).size(), pcm.size() * 3 / 4) << "the predictor should help";
    }
    // LZ, 2 channels, 4 channels, 1 channel with an odd count of bytes, LZ
    // again, 3 channels: the current channel restarts when it runs past.
    const std::string data = samples::Text(5000, 60) + samples::Pcm(9999, 2, 1, 61) + samples::Pcm(8000, 4, 1, 62) +
                             samples::Pcm(3001, 1, 1, 63) + samples::Text(4000, 64) + samples::Pcm(6001, 3, 1, 65);
    CompressOptions o;
    o.segments = {{5000, 0}, {9999, 2}, {8000, 4}, {3001, 1}, {4000, 0}, {6001, 3}};
    StreamStats s;
    ExpectRoundTrip(data, o, &s);
    EXPECT_EQ(s.audioBlocks, 4u);
    EXPECT_EQ(s.lzBlocks, 2u);
    // 16-bit stereo PCM coded as four byte channels.
    const std::string pcm16 = samples::Pcm(64000, 2, 2, 66);
    o.segments = {{64000, 4}};
    ExpectRoundTrip(pcm16, o);
}

// ---- tokens ----

TEST(StreamTokens, ProduceExactlyTheirBytes) {
    StreamEncoder enc;
    // Distances pushed: 2, 3, 3; the history match three back takes 2.
    const size_t f = enc.AddTokens({Token::Lit('a'), Token::Lit('b'), Token::LongMatch(10, 2), Token::Lit('c'),
                                    Token::ShortMatch(3), Token::Rep(), Token::Hist(3, 3), Token::Block(),
                                    Token::Lit('z')},
                                   {});
    EXPECT_EQ(enc.Output(f), "ab" "ababababab" "c" "ab" "ca" "cac" "z");
    const std::string packed = enc.Finish()[f];
    EXPECT_EQ(ModelDecode(packed, 21), enc.Output(f));
}

TEST(StreamTokens, MatchesBeforeTheFirstByteReadZeros) {
    StreamEncoder enc;
    // Repeat as the very first match: length 0, distance 0, nothing copied.
    const size_t f = enc.AddTokens({Token::Rep(), Token::LongMatch(5, 1000), Token::Lit('q'), Token::Hist(1, 4)}, {});
    EXPECT_EQ(enc.Output(f), std::string(5, '\0') + "q" + std::string(4, '\0'));
    const std::string packed = enc.Finish()[f];
    EXPECT_EQ(ModelDecode(packed, 10), enc.Output(f));
}

TEST(StreamTokens, HistoryLengthBonusesAndLimits) {
    std::vector<Token> t;
    for (int i = 0; i < 300; ++i) t.push_back(Token::Lit(static_cast<uint8_t>(i * 7)));
    t.push_back(Token::LongMatch(4, 300));    // one bonus for history use (>= 0x101), none for long
    t.push_back(Token::Hist(1, 3));           // shortest history match at 300
    t.push_back(Token::Hist(1, 258));         // longest history match at 300
    StreamEncoder enc;
    const size_t f = enc.AddTokens(t, {});
    EXPECT_EQ(ModelDecode(enc.Finish()[f], 300 + 4 + 3 + 258), enc.Output(f));

    StreamEncoder bad;
    EXPECT_THROW(bad.AddTokens({Token::Lit(1), Token::LongMatch(3, 0x2000)}, {}), std::invalid_argument);
    StreamEncoder bad2;
    EXPECT_THROW(bad2.AddTokens({Token::LongMatch(259, 1)}, {}), std::invalid_argument);
    StreamEncoder bad3;
    EXPECT_THROW(bad3.AddTokens({Token::LongMatch(5, 300), Token::Hist(1, 2)}, {}), std::invalid_argument);
    StreamEncoder bad4;
    EXPECT_THROW(bad4.AddTokens({Token::ShortMatch(257)}, {}), std::invalid_argument);
    StreamEncoder bad5;
    EXPECT_THROW(bad5.AddTokens({Token::LongMatch(10, kWindowSize + 1)}, {}), std::invalid_argument);
}

// ---- solid chains ----

struct ChainFile {
    std::string data;
    CompressOptions options;
    SolidJoin join;
    bool pad16;
};

// Encodes files as one solid chain and decodes them in order with one model.
void ExpectChainRoundTrip(const std::vector<ChainFile> &files, const std::string &password, StreamStats *stats) {
    StreamEncoder enc;
    for (size_t i = 0; i < files.size(); ++i)
        enc.AddFile(files[i].data, files[i].options, i > 0, files[i].join, files[i].pad16);
    std::vector<std::string> packed = enc.Finish();
    if (stats) *stats = enc.stats();
    StreamModel m;
    for (size_t i = 0; i < files.size(); ++i) {
        SCOPED_TRACE(i);
        if (files[i].pad16) {
            EXPECT_EQ(packed[i].size() % 16, 0u);
            Cipher20(password).Encrypt(packed[i]);
            Cipher20(password).Decrypt(packed[i]);
        }
        const model::DecodeResult r = m.Decode(packed[i], static_cast<uint32_t>(files[i].data.size()), i > 0);
        EXPECT_FALSE(r.overrun);
        EXPECT_TRUE(r.bytes == files[i].data);
    }
}

TEST(StreamSolid, EveryJoinKeepsTheStreamGoing) {
    for (SolidJoin join : {SolidJoin::LeadingTables, SolidJoin::TrailingTables, SolidJoin::SameBlock}) {
        SCOPED_TRACE(static_cast<int>(join));
        const std::string text = samples::Text(20000, 70);
        std::vector<ChainFile> files;
        files.push_back({text, {}, join, false});
        files.push_back({text.substr(500, 9000) + "tail", {}, join, false});  // matches into the first file
        // Empty files start no block: the decoder reads at most one table
        // set from an empty file, which the next file may need.
        files.push_back({"", {}, join, false});
        files.push_back({"", {}, join, false});
        files.push_back({samples::Records(8000, 71), {}, join, false});
        StreamStats s;
        ExpectChainRoundTrip(files, "", &s);
        EXPECT_EQ(s.trailingTables, join == SolidJoin::TrailingTables ? 2u : 0u);
        EXPECT_EQ(s.lzBlocks, join == SolidJoin::SameBlock ? 1u : 3u);
    }
}

TEST(StreamSolid, MultimediaStateCarriesAcrossFiles) {
    for (SolidJoin join : {SolidJoin::LeadingTables, SolidJoin::TrailingTables, SolidJoin::SameBlock}) {
        SCOPED_TRACE(static_cast<int>(join));
        CompressOptions three;
        three.segments = {{1u << 30, 3}};
        CompressOptions two = three;
        two.segments[0].channels = 2;
        std::vector<ChainFile> files;
        files.push_back({samples::Pcm(10001, 3, 1, 80), three, join, false});  // ends on channel 2
        files.push_back({samples::Pcm(7000, 3, 1, 80), three, join, false});
        files.push_back({samples::Pcm(5000, 2, 1, 81), two, join, false});      // channel 2 restarts at 0
        files.push_back({samples::Text(3000, 82), {}, join, false});
        files.push_back({samples::Pcm(4000, 3, 1, 83), three, join, false});
        ExpectChainRoundTrip(files, "", nullptr);
    }
}

TEST(StreamSolid, EncryptedFilesArePaddedWithAHarmlessSymbol) {
    for (SolidJoin join : {SolidJoin::LeadingTables, SolidJoin::SameBlock}) {
        SCOPED_TRACE(static_cast<int>(join));
        CompressOptions audio;
        audio.segments = {{1u << 30, 4}};
        std::vector<ChainFile> files;
        for (int i = 0; i < 6; ++i) {
            files.push_back({samples::Text(1000 + 37 * i, 90 + i), {}, join, true});
            files.push_back({samples::Pcm(999 + 13 * i, 4, 1, 95 + i), audio, join, true});
        }
        StreamStats s;
        ExpectChainRoundTrip(files, "pw", &s);
        EXPECT_GT(s.paddedFiles, 6u);
    }
}

}  // namespace
}  // namespace rarwriter
