// The library's own test helpers: temporary folders, whole files, the shared
// test data folder, and running a program as a user would.
#pragma once

#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace rartest {

// A fresh folder under the system's temporary folder, removed with its
// contents when the object goes away.
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

// A whole file; empty when it cannot be read.
std::string ReadFile(const std::filesystem::path &path);

// The team's shared test data folder ($QUORBENHAL_SHARED_DIR, else the one
// the build names), or nothing when it does not exist on this machine.
std::optional<std::filesystem::path> SharedDir();

struct ProcessResult {
    int exitCode = -1;  // -1 when it did not exit normally
    std::string out, err;
};
struct ProcessOptions {
    std::string workingDir;                  // empty: this process's
    std::map<std::string, std::string> env;  // added to the environment
    std::string input;                       // standard input
};
// Runs argv[0] with the arguments and waits for it (at most 120 s).
ProcessResult RunProcess(const std::vector<std::string> &argv, const ProcessOptions &options = {});

}  // namespace rartest
