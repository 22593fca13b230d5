#include "output_file.h"

#include <filesystem>
#include <fstream>
#include <stdexcept>

namespace content {

void WriteFile(const std::string &path, const std::string &bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (!out.good()) throw std::runtime_error("cannot write \"" + path + "\"");
}

void CheckOutputFolder(const std::string &output) {
    std::filesystem::path folder = std::filesystem::path(output).parent_path();
    if (!folder.empty() && !std::filesystem::is_directory(folder))
        throw std::runtime_error("cannot write \"" + output + "\": there is no folder \"" + folder.string() + "\"");
}

}  // namespace content
