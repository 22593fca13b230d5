// A stand-in for the demo's start-up and frame, for tests of the shell: it
// counts calls, can be told to fail the start-up, and notes each call in the
// scripted platform's log so tests see it among the platform calls.
#pragma once

#include "platform/scripted/scripted_platform.h"

struct FakeDemo {
    platform::scripted::ScriptedPlatform *platform = nullptr;
    int startCalls = 0;
    int frames = 0;
    bool startFails = false;
};

extern FakeDemo fakeDemo;
