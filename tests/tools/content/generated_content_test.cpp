// What the content generators write: the same bytes on every run, a
// "data.dat" whose pictures all load through the demo's own pack file and TGA
// loader, and a "DemoFinal.mp3" that outlasts the demo without silent gaps.
#include "assets/pack_file.h"
#include "assets/texture.h"
#include "demo/texture_set.h"
#include "platform/offscreen/offscreen_gl.h"
#include "support/subprocess.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>
#include <mpg123.h>

#include <cmath>
#include <set>

namespace {

const std::filesystem::path kContentDir = VANDREL_CONTENT_DIR;

TEST(Generators, WriteTheSameBytesOnEveryRun) {
    for (auto [program, fileName] : {std::pair{VANDREL_MAKE_PICTURES, "data.dat"},
                                     {VANDREL_MAKE_SOUNDTRACK, "DemoFinal.mp3"}}) {
        testsupport::TempDir one, two;  // both runs at once: two cores are the norm
        testsupport::Process first({program, (one / fileName).string()}),
            second({program, (two / fileName).string()});
        auto a = first.Wait(std::chrono::minutes(5)), b = second.Wait(std::chrono::minutes(5));
        ASSERT_EQ(std::tie(a.exitCode, b.exitCode), std::tuple(0, 0)) << a.err << b.err;
        const std::string bytes = testsupport::ReadFile(one / fileName);
        ASSERT_GT(bytes.size(), 100000u);
        EXPECT_TRUE(bytes == testsupport::ReadFile(two / fileName)) << fileName << " differs between runs";
        EXPECT_TRUE(bytes == testsupport::ReadFile(kContentDir / fileName)) << "the build's " << fileName;
    }
}

TEST(GeneratedPack, EveryPictureLoadsThroughTheDemosLoadersWithTheFilesPixels) {
    platform::OffscreenGL gl;
    std::string error;
    if (!gl.Create(16, 16, &error)) GTEST_SKIP() << "no offscreen OpenGL: " << error;
    PackFile pack;  // run from a folder without loose pictures
    ASSERT_EQ(pack.Open((kContentDir / "data.dat").c_str()), 1) << "the build did not write data.dat";
    std::set<uint32_t> depths;
    std::set<std::string> pictures;
    size_t unpacked = 0;
    for (const TextureSlot &slot : textureLoadOrder) {
        SCOPED_TRACE(slot.path);
        MemFile file = pack.Load(slot.path);
        Texture texture;
        ASSERT_TRUE(texture.LoadTGA(file));
        EXPECT_EQ(std::tie(texture.width, texture.height), std::tuple(256u, 256u));
        depths.insert(texture.bpp);
        const size_t pixels = 256 * 256, bytesPerPixel = texture.bpp / 8;
        ASSERT_EQ(size_t(file.size), 18 + pixels * bytesPerPixel);
        unpacked += file.size;
        const std::string stored(reinterpret_cast<const char *>(file.data) + 18, pixels * bytesPerPixel);
        pictures.insert(stored);
        EXPECT_GT(std::set<char>(stored.begin(), stored.end()).size(), 32u) << "nearly flat";
        FreeMem(&file);
    }
    EXPECT_EQ(depths, (std::set<uint32_t>{24, 32}));
    EXPECT_EQ(pictures.size(), textureLoadOrder.size()) << "two pictures are the same";
    EXPECT_LT(std::filesystem::file_size(kContentDir / "data.dat"), unpacked) << "not deflated";
}

TEST(Soundtrack, IsStereoAt44100HzOutlastsTheDemoAndNeverFallsSilentOnTheWay) {
#if MPG123_API_VERSION < 46
    mpg123_init();
#endif
    std::unique_ptr<mpg123_handle, void (*)(mpg123_handle *)> mp3(mpg123_new(nullptr, nullptr), mpg123_delete);
    ASSERT_NE(mp3, nullptr);
    mpg123_format_none(mp3.get());
    for (long rate : {32000, 44100, 48000})
        mpg123_format(mp3.get(), rate, MPG123_STEREO | MPG123_MONO, MPG123_ENC_SIGNED_16);
    ASSERT_EQ(mpg123_open(mp3.get(), (kContentDir / "DemoFinal.mp3").c_str()), MPG123_OK);
    long rate = 0;
    int channels = 0, encoding = 0;
    ASSERT_EQ(mpg123_getformat(mp3.get(), &rate, &channels, &encoding), MPG123_OK);
    EXPECT_EQ(std::tie(rate, channels), std::tuple(44100L, 2));
    std::vector<int16_t> samples, buffer(1 << 15);
    int result = MPG123_OK;
    for (size_t done = 0; result == MPG123_OK || result == MPG123_NEW_FORMAT;) {
        result = mpg123_read(mp3.get(), buffer.data(), buffer.size() * 2, &done);
        samples.insert(samples.end(), buffer.begin(), buffer.begin() + long(done / 2));
    }
    EXPECT_EQ(result, MPG123_DONE) << mpg123_plain_strerror(result);
    ASSERT_GE(samples.size() / 2, 125u * 44100) << "shorter than 125 seconds";
    for (size_t second = 0; second < 120; ++second) {
        double sum = 0;
        for (size_t i = second * 88200; i < (second + 1) * 88200; ++i) sum += double(samples[i]) * samples[i];
        EXPECT_GT(10 * std::log10(sum / 88200 / 32768 / 32768 + 1e-20), -40.0) << "second " << second;
    }
}

}  // namespace
