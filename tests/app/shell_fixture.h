// Common ground for the shell tests: a scripted platform installed as the
// whole platform, the fake demo wired to it, and the shell's globals back at
// their start values.
#pragma once

#include "app/demo_main.h"
#include "app/demo_window.h"
#include "platform/scripted/scripted_platform.h"
#include "tests/app/fake_demo.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

inline void ResetShellGlobals() {
    std::fill(std::begin(keyDown), std::end(keyDown), false);
    windowActive = true;
    fullscreenMode = true;
    deviceContext = nullptr;
    moduleInstance = nullptr;
    mainWindow = nullptr;
    renderContext = nullptr;
    pixelFormatDesc = {};
}

class ShellTest : public ::testing::Test {
protected:
    void SetUp() override {
        ResetShellGlobals();
        fakeDemo = FakeDemo{};
        fakeDemo.platform = &fake;
        fake.Install();
    }
    void TearDown() override { fakeDemo.platform = nullptr; }

    // Position of the first log line equal to `line` at or after `from`;
    // -1 when absent.
    long Find(const std::string &line, long from = 0) const {
        const auto &log = fake.log();
        for (long i = from; i < static_cast<long>(log.size()); ++i)
            if (log[static_cast<size_t>(i)] == line) return i;
        return -1;
    }
    long Count(const std::string &line) const {
        return std::count(fake.log().begin(), fake.log().end(), line);
    }
    // The log without the lines of messages taken from the queue.
    std::vector<std::string> CallsOnly() const {
        std::vector<std::string> calls;
        for (const auto &line : fake.log())
            if (line.rfind("Message ", 0) != 0) calls.push_back(line);
        return calls;
    }

    platform::scripted::ScriptedPlatform fake;
};
