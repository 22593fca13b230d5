// Shell tests: the scripted platform installed as the whole platform, a
// stand-in demo whose start-up and frames are noted in the platform's log,
// and the shell's globals back at their start values.
#pragma once

#include "app/demo_main.h"
#include "app/demo_window.h"
#include "platform/scripted/scripted_platform.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <ostream>
#include <string>
#include <tuple>
#include <vector>

namespace platform::scripted {
inline bool operator==(const ShownBox &a, const ShownBox &b) {
    return std::tie(a.text, a.caption, a.buttons, a.icon, a.displaySwitched, a.windowsAlive) ==
           std::tie(b.text, b.caption, b.buttons, b.icon, b.displaySwitched, b.windowsAlive);
}
inline void PrintTo(const ShownBox &b, std::ostream *out) {
    *out << "{\"" << b.text << "\", caption " << b.caption.value_or("(default)") << ", buttons "
         << static_cast<int>(b.buttons) << ", icon " << static_cast<int>(b.icon)
         << (b.displaySwitched ? ", display switched" : "") << ", windows " << b.windowsAlive
         << "}";
}
}  // namespace platform::scripted

struct FakeDemo {
    platform::scripted::ScriptedPlatform *platform = nullptr;
    int startCalls = 0;
    int frames = 0;
    bool startFails = false;
};
extern FakeDemo fakeDemo;

class ShellTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::fill(std::begin(keyDown), std::end(keyDown), false);
        windowActive = fullscreenMode = true;
        deviceContext = nullptr;
        moduleInstance = nullptr;
        mainWindow = nullptr;
        renderContext = nullptr;
        pixelFormatDesc = {};
        fakeDemo = FakeDemo{&fake};
        fake.Install();
    }
    void TearDown() override { fakeDemo.platform = nullptr; }

    // Position of the first log line equal to `line` at or after `from`; -1 if none.
    long Find(const std::string &line, long from = 0) const {
        const auto &log = fake.log();
        const auto at = std::find(log.begin() + std::min<long>(from, log.size()), log.end(), line);
        return at == log.end() ? -1 : at - log.begin();
    }
    long Count(const std::string &line) const {
        return std::count(fake.log().begin(), fake.log().end(), line);
    }

    platform::scripted::ScriptedPlatform fake;
};
