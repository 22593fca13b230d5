// A fresh folder under the system's temporary folder, removed with its
// contents when the object goes away.
#pragma once

#include <filesystem>
#include <string>

namespace testsupport {

class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir &) = delete;
    TempDir &operator=(const TempDir &) = delete;

    const std::filesystem::path &path() const { return path_; }
    std::filesystem::path operator/(const std::string &name) const { return path_ / name; }
    // Writes bytes to a file inside the folder, creating parent folders.
    std::filesystem::path Write(const std::string &name, const std::string &bytes) const;

private:
    std::filesystem::path path_;
};

// Reads a whole file; empty when it cannot be read.
std::string ReadFile(const std::filesystem::path &path);

}  // namespace testsupport
