// Buffers that cannot be allocated. Each case runs in a child process whose
// data segment limit is set just above what it already uses, so the large
// allocation fails the way it would on a machine out of memory.
#include <gtest/gtest.h>

#include <sys/resource.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "asset_fixtures.h"
#include "assets/pack_file.h"
#include "assets/texture.h"

namespace {

// The sanitizers' allocators report a failed allocation as an error instead
// of returning null, and reserve address space that a data limit breaks.
#if defined(__SANITIZE_ADDRESS__)
constexpr bool kSanitized = true;
#else
constexpr bool kSanitized = false;
#endif

// Limits the process's data segment to what it uses now plus `slack` bytes.
bool LimitDataTo(size_t slack) {
    std::ifstream status("/proc/self/status");
    std::string key;
    while (status >> key) {
        if (key == "VmData:") {
            unsigned long kilobytes = 0;
            status >> kilobytes;
            const rlim_t limit = static_cast<rlim_t>(kilobytes) * 1024 + slack;
            const rlimit r{limit, limit};
            return setrlimit(RLIMIT_DATA, &r) == 0;
        }
    }
    return false;
}

constexpr size_t kSlack = 16u << 20;

class AllocationFailure : public assettest::ScratchDirTest {
protected:
    void SetUp() override {
        if (kSanitized) GTEST_SKIP() << "allocation limits do not apply under the sanitizers";
        ScratchDirTest::SetUp();
    }
    void TearDown() override {
        if (!kSanitized) ScratchDirTest::TearDown();
    }
};

TEST_F(AllocationFailure, DiskFileTooLargeToHoldGivesAnEmptyRecord) {
    // A sparse file: large to read, nothing on disk.
    { std::ofstream("huge.tga").put('x'); }
    std::filesystem::resize_file("huge.tga", 256u << 20);
    EXPECT_EXIT(
        {
            if (!LimitDataTo(kSlack)) std::_Exit(3);
            PackFile pack;
            MemFile file = pack.Load("huge.tga");
            std::_Exit(file.data == nullptr && file.size == 0 && file.pos == 0 ? 0 : 1);
        },
        testing::ExitedWithCode(0), "");
}

TEST_F(AllocationFailure, PixelBufferThatCannotBeAllocatedIsRefused) {
    // 4096 x 4096 at 32 bits: 64 MiB of pixels, all present in the record.
    const std::string header = assettest::TgaHeader(4096, 4096, {.depth = 32});
    std::vector<unsigned char> bytes(header.size() + (64u << 20));
    std::copy(header.begin(), header.end(), bytes.begin());
    EXPECT_EXIT(
        {
            if (!LimitDataTo(kSlack)) std::_Exit(3);
            MemFile file{};
            file.data = bytes.data();
            file.size = static_cast<int32_t>(bytes.size());
            Texture texture;
            const bool loaded = texture.LoadTGA(file);
            std::_Exit(!loaded && texture.data == nullptr && texture.texId == 0 ? 0 : 1);
        },
        testing::ExitedWithCode(0), "");
}

}  // namespace
