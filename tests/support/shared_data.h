// Where the team's shared test data lives, and a skip for machines without it.
#pragma once

#include <filesystem>
#include <optional>

namespace testsupport {

// The shared folder (overridable with $VANDREL_SHARED_DIR), or nothing when it
// does not exist on this machine.
std::optional<std::filesystem::path> SharedDir();

}  // namespace testsupport

// Skips the current test with a message when the shared folder, or the given
// path inside it, is absent; otherwise declares `shared` as its full path.
#define REQUIRE_SHARED_PATH(shared, relative)                                    \
    const auto shared##_root = ::testsupport::SharedDir();                       \
    if (!shared##_root || !std::filesystem::exists(*shared##_root / (relative))) \
        GTEST_SKIP() << "shared test data not found: " << (relative)             \
                     << " (expected under ../shared/)";                          \
    const std::filesystem::path shared = *shared##_root / (relative)
