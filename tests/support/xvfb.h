// A private X server (Xvfb) for tests that need a real display. Starting one
// sets DISPLAY in this process (until it ends), so SDL and child programs use it.
#pragma once

#include <sys/types.h>
#include <string>

namespace testsupport {

class XvfbServer {
public:
    // screen: "WIDTHxHEIGHTxDEPTH", e.g. "640x480x24".
    explicit XvfbServer(const std::string &screen = "640x480x24");
    ~XvfbServer();
    XvfbServer(const XvfbServer &) = delete;
    XvfbServer &operator=(const XvfbServer &) = delete;

    bool ok() const { return pid_ > 0 && !display_.empty(); }
    const std::string &error() const { return error_; }

private:
    pid_t pid_ = -1;
    std::string display_, previousDisplay_, error_;
    bool hadDisplay_ = false;
};

}  // namespace testsupport

// Starts an Xvfb for the current test or skips it when Xvfb is not installed.
#define REQUIRE_XVFB(var, screen)          \
    ::testsupport::XvfbServer var(screen); \
    if (!var.ok()) GTEST_SKIP() << "no X server for this test: " << var.error()
