#include "tests/app/fake_demo.h"

#include "demo/sequencer.h"
#include "demo/start_demo.h"

FakeDemo fakeDemo;

// The shell's view of the demo: these replace the demo library in the shell
// tests.
SoundStream *soundtrackStream = nullptr;

bool StartDemo() {
    ++fakeDemo.startCalls;
    if (fakeDemo.platform != nullptr) fakeDemo.platform->Note("StartDemo");
    return !fakeDemo.startFails;
}

int StepFrame() {
    ++fakeDemo.frames;
    if (fakeDemo.platform != nullptr) fakeDemo.platform->Note("StepFrame");
    return 1;
}
