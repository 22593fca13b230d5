#include "subprocess.h"

#include "temp_dir.h"

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <thread>

namespace testsupport {

// A new empty file in the temporary folder.
static std::string TempFile() {
    std::string path = (std::filesystem::temp_directory_path() / "vandrel-io-XXXXXX").string();
    const int fd = mkstemp(path.data());
    if (fd >= 0) close(fd);
    return path;
}

Process::Process(const std::vector<std::string> &argv, const ProcessOptions &options)
    : outPath_(TempFile()), errPath_(TempFile()) {
    const std::string inPath = TempFile();
    const int in = open(inPath.c_str(), O_RDWR);
    if (in >= 0 && write(in, options.input.data(), options.input.size()) >= 0)
        lseek(in, 0, SEEK_SET);
    std::filesystem::remove(inPath);  // already open: the file can go
    pid_ = fork();
    if (pid_ == 0) {
        setpgid(0, 0);  // a group of its own, so that Kill reaches its children
        dup2(in, STDIN_FILENO);
        dup2(open(outPath_.c_str(), O_WRONLY), STDOUT_FILENO);
        dup2(open(errPath_.c_str(), O_WRONLY), STDERR_FILENO);
        if (!options.workingDir.empty() && chdir(options.workingDir.c_str()) != 0) _exit(126);
        for (const auto &[key, value] : options.env) setenv(key.c_str(), value.c_str(), 1);
        std::vector<char *> args;
        for (const std::string &arg : argv) args.push_back(const_cast<char *>(arg.c_str()));
        args.push_back(nullptr);
        execvp(args[0], args.data());
        _exit(127);
    }
    if (in >= 0) close(in);
    result_.started = pid_ > 0;
}

Process::~Process() {
    Kill();
    std::error_code ignored;
    std::filesystem::remove(outPath_, ignored);
    std::filesystem::remove(errPath_, ignored);
}

void Process::Collect(int status) {
    collected_ = true;
    if (WIFEXITED(status)) result_.exitCode = WEXITSTATUS(status);
    if (WIFSIGNALED(status)) result_.signal = WTERMSIG(status);
    result_.out = ReadFile(outPath_);
    result_.err = ReadFile(errPath_);
}

bool Process::running() {
    int status = 0;
    if (collected_ || pid_ <= 0) return false;
    if (waitpid(pid_, &status, WNOHANG) == 0) return true;
    Collect(status);
    return false;
}

ProcessResult Process::Wait(std::chrono::milliseconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    for (; running(); std::this_thread::sleep_for(std::chrono::milliseconds(20))) {
        if (std::chrono::steady_clock::now() >= deadline) {
            result_.timedOut = true;
            Kill();
        }
    }
    return result_;
}

void Process::Kill() {
    if (collected_ || pid_ <= 0) return;
    kill(-pid_, SIGKILL);
    kill(pid_, SIGKILL);
    int status = 0;
    waitpid(pid_, &status, 0);
    Collect(status);
}

ProcessResult RunProcess(const std::vector<std::string> &argv, const ProcessOptions &options) {
    return Process(argv, options).Wait(options.timeout);
}

}  // namespace testsupport
