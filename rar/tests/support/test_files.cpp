#include "test_files.h"

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <random>
#include <sstream>
#include <stdexcept>
#include <thread>

#ifndef _WIN32
#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

namespace rartest {

TempDir::TempDir() {
    // A random name, retried on a clash (Windows has no mkdtemp).
    std::random_device random;
    for (int attempt = 0; attempt < 100 && path_.empty(); ++attempt) {
        const auto candidate = std::filesystem::temp_directory_path() / ("quorbenhal-test-" + std::to_string(random()));
        std::error_code ec;
        if (std::filesystem::create_directory(candidate, ec)) path_ = candidate;
    }
    if (path_.empty()) throw std::runtime_error("cannot create a temporary folder");
}

TempDir::~TempDir() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
}

std::filesystem::path TempDir::Write(const std::string &name, const std::string &bytes) const {
    const std::filesystem::path file = path_ / name;
    std::filesystem::create_directories(file.parent_path());
    std::ofstream(file, std::ios::binary).write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    return file;
}

std::string ReadFile(const std::filesystem::path &path) {
    std::ostringstream bytes;
    bytes << std::ifstream(path, std::ios::binary).rdbuf();
    return bytes.str();
}

std::optional<std::filesystem::path> SharedDir() {
    const char *env = std::getenv("QUORBENHAL_SHARED_DIR");
    std::filesystem::path dir = (env != nullptr && *env != '\0') ? env : QUORBENHAL_SHARED_DIR;
    std::error_code ec;
    if (!std::filesystem::is_directory(dir, ec)) return std::nullopt;
    return std::filesystem::canonical(dir, ec);
}

#ifndef _WIN32
ProcessResult RunProcess(const std::vector<std::string> &argv, const ProcessOptions &options) {
    // Input and output go through files: no pipe can fill up and stall either side.
    TempDir io;
    const auto in = io.Write("in", options.input), out = io / "out", err = io / "err";
    ProcessResult result;
    const pid_t pid = fork();
    if (pid == 0) {
        const int fds[3] = {open(in.c_str(), O_RDONLY), open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600),
                            open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600)};
        for (int i = 0; i < 3; ++i) dup2(fds[i], i);
        if (!options.workingDir.empty() && chdir(options.workingDir.c_str()) != 0) _exit(126);
        for (const auto &[name, value] : options.env) setenv(name.c_str(), value.c_str(), 1);
        std::vector<char *> args;
        for (const std::string &a : argv) args.push_back(const_cast<char *>(a.c_str()));
        args.push_back(nullptr);
        execv(args[0], args.data());
        _exit(127);
    }
    int status = 0;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(120);
    while (waitpid(pid, &status, WNOHANG) == 0) {
        if (std::chrono::steady_clock::now() > deadline) {
            kill(pid, SIGKILL);
            waitpid(pid, &status, 0);
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    if (WIFEXITED(status)) result.exitCode = WEXITSTATUS(status);
    result.out = ReadFile(out);
    result.err = ReadFile(err);
    return result;
}
#endif

}  // namespace rartest
