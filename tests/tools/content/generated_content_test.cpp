// What the build put into content/: "data.dat" with the 22 pictures the
// demo loads, and "DemoFinal.mp3". Also that the generators write the same
// bytes every time and fail cleanly.
#include <gtest/gtest.h>
#include <unzip.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include "audio_analysis.h"
#include "tests/support/subprocess.h"
#include "tests/support/temp_dir.h"

namespace fs = std::filesystem;

namespace {

const std::string kContentDir = VANDREL_CONTENT_DIR;
const std::string kMakePictures = VANDREL_MAKE_PICTURES;
const std::string kMakeSoundtrack = VANDREL_MAKE_SOUNDTRACK;

const std::vector<std::string> kPicturePaths = {
    "data/start.tga", "data/start1.tga", "data/I1.tga",  "data/I2.tga",  "data/I3.tga",  "data/I4.tga",
    "data/I5.tga",    "data/I6.tga",     "data/I7.tga",  "data/I8.tga",  "data/I9.tga",  "data/I10.tga",
    "data/I11.tga",   "data/I12.tga",    "data/I13.tga", "data/I14.tga", "data/I15.tga", "data/I16.tga",
    "data/sta.tga",   "data/stab.tga",   "data/stag.tga", "data/I17.tga"};

const double kSceneChanges[] = {10, 15, 25, 35, 42, 48, 52, 57, 70, 75, 85, 90, 95, 100, 105, 110, 115};

// Runs both runs of a generator at once (two cores are the norm here).
void ExpectSameBytesFromTwoRuns(const std::string &program, const std::string &fileName) {
    testsupport::TempDir one, two;
    testsupport::ProcessOptions options;
    options.timeout = std::chrono::minutes(5);
    testsupport::Process first({program, (one / fileName).string()}, options);
    testsupport::Process second({program, (two / fileName).string()}, options);
    auto a = first.Wait(std::chrono::minutes(5)), b = second.Wait(std::chrono::minutes(5));
    ASSERT_EQ(a.exitCode, 0) << a.err;
    ASSERT_EQ(b.exitCode, 0) << b.err;
    std::string bytesOne = testsupport::ReadFile(one / fileName);
    ASSERT_GT(bytesOne.size(), 100000u);
    EXPECT_TRUE(bytesOne == testsupport::ReadFile(two / fileName)) << fileName << " differs between two runs";
    // The build's copy came from the same generator.
    EXPECT_TRUE(bytesOne == testsupport::ReadFile(fs::path(kContentDir) / fileName))
        << "content/" << fileName << " differs from a fresh run";
    // Nothing else is left behind (no temporary files).
    EXPECT_EQ(std::distance(fs::directory_iterator(one.path()), fs::directory_iterator()), 1);
}

TEST(Generators, PicturePackIsByteIdenticalAcrossRuns) { ExpectSameBytesFromTwoRuns(kMakePictures, "data.dat"); }

TEST(Generators, SoundtrackIsByteIdenticalAcrossRuns) {
    ExpectSameBytesFromTwoRuns(kMakeSoundtrack, "DemoFinal.mp3");
}

TEST(Generators, ReportUsageAndUnwritableOutputClearly) {
    for (const std::string &program : {kMakePictures, kMakeSoundtrack}) {
        auto usage = testsupport::RunProcess({program});
        EXPECT_EQ(usage.exitCode, 2) << program;
        EXPECT_NE(usage.err.find("usage:"), std::string::npos) << program;
        auto unknown = testsupport::RunProcess({program, "out", "--bogus"});
        EXPECT_EQ(unknown.exitCode, 2) << program;

        testsupport::TempDir dir;
        const fs::path target = dir / "no-such-folder" / "out.bin";
        testsupport::ProcessOptions options;
        options.timeout = std::chrono::minutes(5);
        auto failed = testsupport::RunProcess({program, target.string()}, options);
        EXPECT_EQ(failed.exitCode, 1) << program;
        EXPECT_NE(failed.err.find("no-such-folder"), std::string::npos) << failed.err;
        EXPECT_FALSE(fs::exists(target));
        EXPECT_FALSE(fs::exists(target.string() + ".partial"));
    }
}

class DataPack : public ::testing::Test {
protected:
    void SetUp() override {
        zip_ = unzOpen((kContentDir + "/data.dat").c_str());
        ASSERT_NE(zip_, nullptr) << "the build did not write content/data.dat";
    }
    void TearDown() override {
        if (zip_) unzClose(zip_);
    }
    unzFile zip_ = nullptr;
};

TEST_F(DataPack, HoldsExactlyThePicturesTheDemoAsksFor) {
    std::vector<std::string> names;
    for (int r = unzGoToFirstFile(zip_); r == UNZ_OK; r = unzGoToNextFile(zip_)) {
        char name[256];
        unz_file_info info;
        ASSERT_EQ(unzGetCurrentFileInfo(zip_, &info, name, sizeof name, nullptr, 0, nullptr, 0), UNZ_OK);
        names.push_back(name);
        EXPECT_EQ(info.compression_method, static_cast<uLong>(Z_DEFLATED)) << name;
    }
    EXPECT_EQ(names, kPicturePaths);
}

TEST_F(DataPack, EveryPictureIsAnUncompressedTrueColourTgaTheDemoAccepts) {
    std::set<int> depths;
    for (const std::string &path : kPicturePaths) {
        SCOPED_TRACE(path);
        // The demo looks members up without regard to case.
        std::string shouted = path;
        for (char &c : shouted) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        ASSERT_EQ(unzLocateFile(zip_, shouted.c_str(), 2), UNZ_OK);
        unz_file_info info;
        ASSERT_EQ(unzGetCurrentFileInfo(zip_, &info, nullptr, 0, nullptr, 0, nullptr, 0), UNZ_OK);
        ASSERT_EQ(unzOpenCurrentFile(zip_), UNZ_OK);
        std::string bytes(info.uncompressed_size, '\0');
        ASSERT_EQ(unzReadCurrentFile(zip_, bytes.data(), static_cast<unsigned>(bytes.size())),
                  static_cast<int>(bytes.size()));
        ASSERT_EQ(unzCloseCurrentFile(zip_), UNZ_OK);  // CRC checked

        ASSERT_GE(bytes.size(), 18u);
        auto byte = [&](size_t i) { return static_cast<unsigned char>(bytes[i]); };
        const unsigned char fixed[12] = {0, 0, 2, 0, 0, 0, 0, 0, 0, 0, 0, 0};
        for (int i = 0; i < 12; ++i) EXPECT_EQ(byte(i), fixed[i]) << "header byte " << i;
        const unsigned width = byte(12) + 256u * byte(13), height = byte(14) + 256u * byte(15);
        const unsigned depth = byte(16);
        EXPECT_EQ(width, 256u);
        EXPECT_EQ(height, 256u);
        ASSERT_TRUE(depth == 24 || depth == 32) << depth;
        depths.insert(static_cast<int>(depth));
        EXPECT_EQ(bytes.size(), 18u + width * height * (depth / 8));
        // Rows of 24-bit pictures stay 4-byte aligned, as OpenGL unpacks them.
        EXPECT_EQ(width * (depth / 8) % 4, 0u);
    }
    EXPECT_EQ(depths, (std::set<int>{24, 32}));
}

class Soundtrack : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        audio_ = new contenttest::DecodedAudio(contenttest::DecodeMp3File(kContentDir + "/DemoFinal.mp3"));
    }
    static void TearDownTestSuite() {
        delete audio_;
        audio_ = nullptr;
    }
    void SetUp() override { ASSERT_TRUE(audio_->ok) << audio_->error; }
    static std::vector<double> Mono() {
        std::vector<double> m(audio_->samples.size() / 2);
        for (size_t i = 0; i < m.size(); ++i) m[i] = (audio_->samples[2 * i] + audio_->samples[2 * i + 1]) / 65536.0;
        return m;
    }
    static contenttest::DecodedAudio *audio_;
};
contenttest::DecodedAudio *Soundtrack::audio_ = nullptr;

TEST_F(Soundtrack, IsStereoAt44100HzAndOutlastsTheDemo) {
    EXPECT_EQ(audio_->rate, 44100);
    EXPECT_EQ(audio_->channels, 2);
    EXPECT_GE(audio_->seconds(), 125.0);
    EXPECT_LT(audio_->seconds(), 140.0);
}

TEST_F(Soundtrack, PlaysWithoutSilentGapsUntilTheDemoEndsThenFadesOut) {
    const size_t second = 44100;
    for (size_t s = 0; s < 120; ++s) {
        double level = contenttest::RmsDb(audio_->samples, s * second, second);
        EXPECT_GT(level, -40.0) << "second " << s << " is nearly silent";
        EXPECT_LT(level, -6.0) << "second " << s << " is far too loud";
    }
    EXPECT_GT(contenttest::RmsDb(audio_->samples, 0, 120 * second), -20.0);
    // The end fades away instead of stopping abruptly.
    EXPECT_LT(contenttest::RmsDb(audio_->samples, 126 * second, second), -40.0);
}

TEST_F(Soundtrack, NeverClips) {
    size_t full = 0;
    for (int16_t s : audio_->samples) full += s >= 32767 || s <= -32767;
    EXPECT_EQ(full, 0u);
}

TEST_F(Soundtrack, MusicChangesAtTheDemosSceneChanges) {
    // The sound of the bar before each scene change is compared with the
    // bar after it. Within a section the sound also moves from bar to bar
    // (chords change); the step at the scene change must be clearly larger
    // than that movement in at least one of the two sections it joins.
    const std::vector<double> mono = Mono();
    const long rate = audio_->rate;
    auto profile = [&](double from, double to) {
        return contenttest::SpectralProfile(mono, rate, static_cast<size_t>(from * rate),
                                            static_cast<size_t>(to * rate));
    };
    const double bar = 2.0;
    for (double t : kSceneChanges) {
        auto before2 = profile(t - 2 * bar, t - bar), before = profile(t - bar, t);
        auto after = profile(t, t + bar), after2 = profile(t + bar, t + 2 * bar);
        double across = contenttest::ProfileDistance(before, after);
        double steady = std::min(contenttest::ProfileDistance(before2, before),
                                 contenttest::ProfileDistance(after, after2));
        EXPECT_GT(across, 2.0) << "hardly any change at " << t << " s";
        EXPECT_GT(across, 1.2 * steady) << "the change at " << t << " s (" << across
                                        << ") does not stand out from bar-to-bar changes (" << steady << ")";
    }
}

}  // namespace
