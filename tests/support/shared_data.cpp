#include "shared_data.h"

#include <cstdlib>

namespace testsupport {

std::optional<std::filesystem::path> SharedDir() {
    const char *env = std::getenv("VANDREL_SHARED_DIR");
    std::filesystem::path dir = (env != nullptr && *env != '\0') ? env : VANDREL_SHARED_DIR;
    std::error_code ec;
    if (!std::filesystem::is_directory(dir, ec)) return std::nullopt;
    return std::filesystem::canonical(dir, ec);
}

}  // namespace testsupport
