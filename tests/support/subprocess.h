// Runs a program as a user would: arguments, working folder, extra
// environment, standard input, a time limit; its output and error captured.
#pragma once

#include <chrono>
#include <map>
#include <string>
#include <vector>

namespace testsupport {

struct ProcessResult {
    bool started = false;
    bool timedOut = false;
    int exitCode = -1;  // valid when the program exited normally
    int signal = 0;     // the signal that ended it, or 0
    std::string out, err;
};

struct ProcessOptions {
    std::string workingDir;                  // empty: this process's
    std::map<std::string, std::string> env;  // added to (or replacing) the environment
    std::string input;                       // bytes fed to standard input
    std::chrono::milliseconds timeout{60000};
};

ProcessResult RunProcess(const std::vector<std::string> &argv, const ProcessOptions &options = {});

// A program started without waiting for it, in a process group of its own.
// Wait() collects it; Kill() and the destructor end it and its children.
class Process {
public:
    Process(const std::vector<std::string> &argv, const ProcessOptions &options = {});
    ~Process();
    Process(const Process &) = delete;
    Process &operator=(const Process &) = delete;

    bool running();
    ProcessResult Wait(std::chrono::milliseconds timeout);
    void Kill();

private:
    void Collect(int status);

    int pid_ = -1;
    std::string outPath_, errPath_;
    ProcessResult result_;
    bool collected_ = false;
};

}  // namespace testsupport
