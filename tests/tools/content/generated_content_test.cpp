// What the content generators write: the same bytes on every run, a
// "data.dat" holding exactly the pictures the demo asks for as TGA files it
// accepts, and a "DemoFinal.mp3" that outlasts the demo without silent gaps.
#include "tests/support/subprocess.h"
#include "tests/support/temp_dir.h"
#include "tools/content/song.h"

#include <gtest/gtest.h>
#include <mpg123.h>
#include <unzip.h>

#include <algorithm>
#include <cmath>
#include <set>

namespace {

const std::string kContentDir = VANDREL_CONTENT_DIR;

// Runs a generator twice at once (two cores are the norm here) and compares
// both outputs with each other and with the build's copy.
void ExpectSameBytesFromTwoRuns(const std::string &program, const std::string &fileName) {
    testsupport::TempDir one, two;
    testsupport::Process first({program, (one / fileName).string()}),
        second({program, (two / fileName).string()});
    auto a = first.Wait(std::chrono::minutes(5)), b = second.Wait(std::chrono::minutes(5));
    ASSERT_EQ(a.exitCode, 0) << a.err;
    ASSERT_EQ(b.exitCode, 0) << b.err;
    const std::string bytes = testsupport::ReadFile(one / fileName);
    ASSERT_GT(bytes.size(), 100000u);
    EXPECT_TRUE(bytes == testsupport::ReadFile(two / fileName))
        << fileName << " differs between two runs";
    EXPECT_TRUE(bytes == testsupport::ReadFile(kContentDir + "/" + fileName))
        << "the build's " << fileName << " differs from a fresh run";
}

TEST(Generators, PicturePackIsByteIdenticalAcrossRuns) {
    ExpectSameBytesFromTwoRuns(VANDREL_MAKE_PICTURES, "data.dat");
}

TEST(Generators, SoundtrackIsByteIdenticalAcrossRuns) {
    ExpectSameBytesFromTwoRuns(VANDREL_MAKE_SOUNDTRACK, "DemoFinal.mp3");
}

TEST(DataPack, HoldsTheDemosPicturesAsDeflatedDistinctTgaFilesItAccepts) {
    const std::vector<std::string> expected = {
        "data/start.tga", "data/start1.tga", "data/I1.tga",  "data/I2.tga",  "data/I3.tga",
        "data/I4.tga",    "data/I5.tga",     "data/I6.tga",  "data/I7.tga",  "data/I8.tga",
        "data/I9.tga",    "data/I10.tga",    "data/I11.tga", "data/I12.tga", "data/I13.tga",
        "data/I14.tga",   "data/I15.tga",    "data/I16.tga", "data/sta.tga", "data/stab.tga",
        "data/stag.tga",  "data/I17.tga"};

    unzFile zip = unzOpen((kContentDir + "/data.dat").c_str());
    ASSERT_NE(zip, nullptr) << "the build did not write content/data.dat";
    std::vector<std::string> names;
    std::set<std::string> pictures;
    std::set<int> depths;
    for (int r = unzGoToFirstFile(zip); r == UNZ_OK; r = unzGoToNextFile(zip)) {
        char name[256];
        unz_file_info info;
        ASSERT_EQ(unzGetCurrentFileInfo(zip, &info, name, sizeof name, nullptr, 0, nullptr, 0),
                  UNZ_OK);
        names.push_back(name);
        EXPECT_EQ(info.compression_method, static_cast<uLong>(Z_DEFLATED)) << name;
        std::string bytes(info.uncompressed_size, '\0');
        ASSERT_EQ(unzOpenCurrentFile(zip), UNZ_OK);
        ASSERT_EQ(unzReadCurrentFile(zip, bytes.data(), static_cast<unsigned>(bytes.size())),
                  int(bytes.size()));
        ASSERT_EQ(unzCloseCurrentFile(zip), UNZ_OK) << name << ": CRC";

        ASSERT_GE(bytes.size(), 18u) << name;
        auto byte = [&](size_t i) { return static_cast<unsigned char>(bytes[i]); };
        EXPECT_EQ(bytes.substr(0, 12), std::string("\0\0\2\0\0\0\0\0\0\0\0\0", 12)) << name;
        const unsigned width = byte(12) + 256u * byte(13), height = byte(14) + 256u * byte(15),
                       depth = byte(16);
        EXPECT_EQ(std::tie(width, height), std::tuple(256u, 256u)) << name;
        EXPECT_TRUE(depth == 24 || depth == 32) << name << ": " << depth;
        EXPECT_EQ(bytes.size(), 18u + width * height * (depth / 8)) << name;
        depths.insert(static_cast<int>(depth));
        pictures.insert(bytes.substr(18));
        EXPECT_GT(std::set<char>(bytes.begin() + 18, bytes.end()).size(), 32u)
            << name << " is nearly flat";
    }
    unzClose(zip);
    EXPECT_EQ(names, expected);
    EXPECT_EQ(pictures.size(), expected.size()) << "two pictures are the same";
    EXPECT_EQ(depths, (std::set<int>{24, 32}));
}

TEST(Soundtrack, IsStereoAt44100HzOutlastsTheDemoAndNeverFallsSilentOnTheWay) {
#if MPG123_API_VERSION < 46
    mpg123_init();
#endif
    std::unique_ptr<mpg123_handle, void (*)(mpg123_handle *)> mp3(mpg123_new(nullptr, nullptr),
                                                                  mpg123_delete);
    ASSERT_NE(mp3, nullptr);
    mpg123_format_none(mp3.get());
    for (long rate : {32000, 44100, 48000})
        mpg123_format(mp3.get(), rate, MPG123_STEREO | MPG123_MONO, MPG123_ENC_SIGNED_16);
    ASSERT_EQ(mpg123_open(mp3.get(), (kContentDir + "/DemoFinal.mp3").c_str()), MPG123_OK);
    long rate = 0;
    int channels = 0, encoding = 0;
    ASSERT_EQ(mpg123_getformat(mp3.get(), &rate, &channels, &encoding), MPG123_OK);
    EXPECT_EQ(std::tie(rate, channels), std::tuple(44100L, 2));
    std::vector<int16_t> samples;
    std::vector<int16_t> buffer(1 << 15);
    int result = MPG123_OK;
    for (size_t done = 0; result == MPG123_OK || result == MPG123_NEW_FORMAT;) {
        result = mpg123_read(mp3.get(), buffer.data(), buffer.size() * 2, &done);
        samples.insert(samples.end(), buffer.begin(), buffer.begin() + static_cast<long>(done / 2));
    }
    mpg123_close(mp3.get());
    EXPECT_EQ(result, MPG123_DONE) << mpg123_plain_strerror(result);
    ASSERT_GE(samples.size() / 2, 125u * 44100) << "shorter than 125 seconds";
    for (size_t second = 0; second < 120; ++second) {
        double sum = 0;
        for (size_t i = second * 88200; i < (second + 1) * 88200; ++i)
            sum += double(samples[i]) * samples[i];
        EXPECT_GT(10 * std::log10(sum / 88200 / 32768 / 32768 + 1e-20), -40.0)
            << "second " << second << " is nearly silent";
    }
}

TEST(Soundtrack, ItsSectionsTurnAtEverySceneChange) {
    const auto &sections = content::SongSections();
    ASSERT_FALSE(sections.empty());
    EXPECT_EQ(sections.back().end, content::kSongSeconds);
    for (double change :
         {0, 10, 15, 25, 35, 42, 48, 52, 57, 70, 75, 85, 90, 95, 100, 105, 110, 115})
        EXPECT_TRUE(std::any_of(sections.begin(), sections.end(),
                                [&](const auto &s) { return s.start == change; }))
            << "no section starts at " << change << " s";
    for (size_t i = 0; i + 1 < sections.size(); ++i)
        EXPECT_EQ(sections[i].end, sections[i + 1].start);
}

}  // namespace
