// Buffers that cannot be allocated: each case runs in a child process whose
// data segment is limited to a little more than it uses, so the large
// allocation fails as on a machine out of memory.
#include "tests/assets/asset_fixtures.h"

#include "assets/texture.h"

#include <sys/resource.h>

#include <fstream>

namespace {

// The sanitizers' allocators report a failed allocation instead of returning
// null, and reserve address space that a data limit breaks.
#if defined(__SANITIZE_ADDRESS__)
constexpr bool kSanitized = true;
#else
constexpr bool kSanitized = false;
#endif

bool LimitDataToCurrentPlus16MiB() {
    std::ifstream status("/proc/self/status");
    for (std::string key; status >> key;) {
        if (key != "VmData:") continue;
        rlim_t kilobytes = 0;
        status >> kilobytes;
        const rlimit limit{kilobytes * 1024 + (16u << 20), kilobytes * 1024 + (16u << 20)};
        return setrlimit(RLIMIT_DATA, &limit) == 0;
    }
    return false;
}

using AllocationFailure = assettest::ScratchDirTest;

TEST_F(AllocationFailure, AFileTooLargeToHoldGivesAnEmptyRecord) {
    if (kSanitized) GTEST_SKIP() << "allocation limits do not apply under the sanitizers";
    std::ofstream("huge.tga").put('x');
    std::filesystem::resize_file("huge.tga", 256u << 20);  // sparse: large to read, nothing on disk
    EXPECT_EXIT(
        {
            if (!LimitDataToCurrentPlus16MiB()) std::_Exit(3);
            PackFile pack;
            MemFile file = pack.Load("huge.tga");
            std::_Exit(file.data == nullptr && file.size == 0 && file.name[0] == 'h' ? 0 : 1);
        },
        testing::ExitedWithCode(0), "");
}

TEST_F(AllocationFailure, APixelBufferThatCannotBeAllocatedIsRefused) {
    if (kSanitized) GTEST_SKIP() << "allocation limits do not apply under the sanitizers";
    // 4096 x 4096 at 32 bits: 64 MiB of pixels, all present in the record.
    const std::string header = assettest::TgaHeader(4096, 4096, 32);
    std::vector<unsigned char> bytes(header.size() + (64u << 20));
    std::copy(header.begin(), header.end(), bytes.begin());
    EXPECT_EXIT(
        {
            if (!LimitDataToCurrentPlus16MiB()) std::_Exit(3);
            MemFile file{};
            file.data = bytes.data();
            file.size = static_cast<int32_t>(bytes.size());
            Texture texture;
            std::_Exit(!texture.LoadTGA(file) && texture.data == nullptr && texture.texId == 0 ? 0
                                                                                               : 1);
        },
        testing::ExitedWithCode(0), "");
}

}  // namespace
