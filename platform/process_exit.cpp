#include "platform/process_exit.h"

#include <cstdlib>

namespace platform {
namespace {

class RuntimeExit final : public ProcessExit {
public:
    void Exit(int exitCode) override { std::exit(exitCode); }
};

RuntimeExit runtimeExit;
ProcessExit *installed = &runtimeExit;

}  // namespace

ProcessExit &Exiter() { return *installed; }

void InstallProcessExit(ProcessExit *exit) { installed = exit != nullptr ? exit : &runtimeExit; }

void ExitProcess(int exitCode) { installed->Exit(exitCode); }

}  // namespace platform
