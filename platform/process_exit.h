// Ending the process from deep inside the demo (the end of the timeline).
#pragma once

namespace platform {

class ProcessExit {
public:
    virtual ~ProcessExit() = default;
    // Ends the process with this exit code, running the clean-ups registered
    // with the runtime. A test double or a capture program may record the
    // request and return instead; callers then return without doing anything
    // more.
    virtual void Exit(int exitCode) = 0;
};

// The exit in use: the runtime's process exit unless another is installed.
// Not owned here; null restores the runtime's.
ProcessExit &Exiter();
void InstallProcessExit(ProcessExit *exit);

// Shorthand for Exiter().Exit(exitCode).
void ExitProcess(int exitCode);

}  // namespace platform
