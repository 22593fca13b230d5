// The demo as the shell sees it, replaced for the shell tests.
#include "demo/sequencer.h"
#include "demo/start_demo.h"
#include "tests/app/shell_fixture.h"

FakeDemo fakeDemo;
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
