// Running Windows programs under Wine from the native tests: one Wine prefix
// for the whole build tree (created by the first test that needs it), a
// wineserver kept alive for the length of one test (one X server), and a
// private PulseAudio server whose only output is a pipe the test records.
#pragma once

#include "tests/support/subprocess.h"

#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace winetest {

// Why Windows programs cannot be run here (no Wine, or this Windows program
// was not built), or empty when they can.
std::string Unavailable(const std::string &windowsProgram);

// The host path as Windows programs under Wine see it (drive Z:).
std::string WindowsPath(const std::filesystem::path &path);

class WineSession {
public:
    // Programs that open windows use the X server of DISPLAY. Creates the
    // prefix if it is not there yet, ends a wineserver left from another X
    // server and starts a persistent one, so that later starts are quick.
    WineSession();
    // Ends the wineserver and every Windows process of the prefix.
    ~WineSession();
    WineSession(const WineSession &) = delete;
    WineSession &operator=(const WineSession &) = delete;

    bool ok() const { return error_.empty(); }
    const std::string &error() const { return error_; }
    const std::filesystem::path &prefix() const { return prefix_; }
    // The prefix's drive C: on the host.
    std::filesystem::path DriveC() const { return prefix_ / "drive_c"; }

    // The environment for wine and wineserver (prefix, architecture, quiet
    // debug channels, no Mono or Gecko installers); `extra` is added.
    std::map<std::string, std::string> Env(std::map<std::string, std::string> extra = {}) const;

    // Runs a Windows program to its end.
    testsupport::ProcessResult Run(const std::string &program, const std::vector<std::string> &args,
                                   testsupport::ProcessOptions options = {}) const;

private:
    void Server(const std::vector<std::string> &args) const;
    std::filesystem::path prefix_;
    std::string error_;
};

class PrivatePulse {
public:
    // Starts PulseAudio in `dir` with one sink, a pipe of 44.1 kHz signed
    // 16-bit stereo paced by the clock, and records that pipe to a file.
    explicit PrivatePulse(const std::filesystem::path &dir);
    ~PrivatePulse();
    PrivatePulse(const PrivatePulse &) = delete;
    PrivatePulse &operator=(const PrivatePulse &) = delete;

    bool ok() const { return error_.empty(); }
    const std::string &error() const { return error_; }
    // What a client needs to play to this server.
    std::map<std::string, std::string> ClientEnv() const;
    // Everything played so far: interleaved s16le stereo at 44.1 kHz.
    std::string Recording() const;
    std::string Log() const;

private:
    std::filesystem::path dir_;
    std::unique_ptr<testsupport::Process> server_;
    std::unique_ptr<testsupport::Process> recorder_;
    std::string error_;
};

}  // namespace winetest

// Skips the current test when Windows programs cannot run here.
#define REQUIRE_WINDOWS_PROGRAM(program)                                   \
    do {                                                                  \
        const std::string why_ = ::winetest::Unavailable(program);        \
        if (!why_.empty()) GTEST_SKIP() << why_;                          \
    } while (0)
