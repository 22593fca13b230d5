#include "tests/support/subprocess.h"

#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace testsupport {
namespace {

std::string Slurp(const std::string &path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

std::string TempFile(const char *tag) {
    std::string pattern =
        (std::filesystem::temp_directory_path() / (std::string("vandrel-") + tag + "-XXXXXX")).string();
    int fd = mkstemp(pattern.data());
    if (fd >= 0) close(fd);
    return pattern;
}

}  // namespace

Process::Process(const std::vector<std::string> &argv, const ProcessOptions &options) {
    outPath_ = TempFile("out");
    errPath_ = TempFile("err");
    std::string inPath = TempFile("in");
    {
        std::ofstream in(inPath, std::ios::binary);
        in << options.input;
    }
    pid_ = fork();
    if (pid_ == 0) {
        setpgid(0, 0);
        int in = open(inPath.c_str(), O_RDONLY);
        int out = open(outPath_.c_str(), O_WRONLY | O_TRUNC);
        int err = open(errPath_.c_str(), O_WRONLY | O_TRUNC);
        dup2(in, STDIN_FILENO);
        dup2(out, STDOUT_FILENO);
        dup2(err, STDERR_FILENO);
        if (!options.workingDir.empty() && chdir(options.workingDir.c_str()) != 0) _exit(126);
        for (const auto &[key, value] : options.env) setenv(key.c_str(), value.c_str(), 1);
        std::vector<char *> args;
        for (const auto &a : argv) args.push_back(const_cast<char *>(a.c_str()));
        args.push_back(nullptr);
        execvp(args[0], args.data());
        _exit(127);
    }
    std::filesystem::remove(inPath);
    result_.started = pid_ > 0;
}

Process::~Process() {
    if (!collected_ && pid_ > 0) {
        Kill();
    }
    std::error_code ec;
    std::filesystem::remove(outPath_, ec);
    std::filesystem::remove(errPath_, ec);
}

bool Process::running() {
    if (collected_ || pid_ <= 0) return false;
    int status = 0;
    pid_t r = waitpid(pid_, &status, WNOHANG);
    if (r == 0) return true;
    collected_ = true;
    if (WIFEXITED(status)) result_.exitCode = WEXITSTATUS(status);
    if (WIFSIGNALED(status)) result_.signal = WTERMSIG(status);
    result_.out = Slurp(outPath_);
    result_.err = Slurp(errPath_);
    return false;
}

ProcessResult Process::Wait(std::chrono::milliseconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (running()) {
        if (std::chrono::steady_clock::now() >= deadline) {
            result_.timedOut = true;
            Kill();
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return result_;
}

void Process::Kill() {
    if (collected_ || pid_ <= 0) return;
    kill(-pid_, SIGKILL);
    kill(pid_, SIGKILL);
    int status = 0;
    waitpid(pid_, &status, 0);
    collected_ = true;
    if (WIFSIGNALED(status)) result_.signal = WTERMSIG(status);
    result_.out = Slurp(outPath_);
    result_.err = Slurp(errPath_);
}

ProcessResult RunProcess(const std::vector<std::string> &argv, const ProcessOptions &options) {
    Process p(argv, options);
    return p.Wait(options.timeout);
}

}  // namespace testsupport
