// Windows programs under Wine from the native tests: one prefix per build
// tree, a wineserver kept alive for one test (one X server), and a private
// PulseAudio whose only sink is a pipe the test records.
#pragma once

#include "support/subprocess.h"
#include "support/temp_dir.h"

#include <sys/stat.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace winetest {

using namespace std::chrono_literals;
using Env = std::map<std::string, std::string>;

inline testsupport::ProcessOptions Options(Env env, std::chrono::milliseconds timeout = 60s,
                                           std::string dir = "") {
    testsupport::ProcessOptions options;
    options.env = std::move(env), options.timeout = timeout, options.workingDir = std::move(dir);
    return options;
}

// The Windows build's architecture and the Wine that runs it, as the build's
// probe chose them (cmake/WineTarget.cmake).
inline constexpr const char *kLoader = VANDREL_WINE_LOADER;

// Why Windows programs cannot run here, or empty when they can.
inline std::string Unavailable(const std::string &program) {
    if (std::string(VANDREL_WINE_ARCH).empty())
        return std::string(VANDREL_WINE_STATUS) + " (scripts/bootstrap --windows installs mingw-w64 and Wine)";
    if (!std::filesystem::exists(program)) return "the Windows build is not there: " + program;
    return "";
}

// The host path as Windows programs see it (drive Z:).
inline std::string WindowsPath(const std::filesystem::path &path) {
    std::string out = "Z:" + std::filesystem::absolute(path).lexically_normal().string();
    std::ranges::replace(out, '/', '\\');
    return out;
}

// The tests of this program hold the prefix one at a time (CTest's resource
// lock), so it needs no lock of its own.
class WineSession {
public:
    WineSession() {
        if (!std::filesystem::exists(prefix_ / "system.reg")) {
            const auto boot = testsupport::RunProcess({kLoader, "wineboot", "-i"}, Options(Environment(), 180s));
            Server({"-w"});
            if (!std::filesystem::exists(prefix_ / "system.reg")) error_ = "no Wine prefix: " + boot.err;
        }
        // A wineserver of an earlier X server would hand out that display.
        Server({"-k", "-w", "-p"});
    }
    ~WineSession() { Server({"-k", "-w"}); }
    WineSession(const WineSession &) = delete;
    WineSession &operator=(const WineSession &) = delete;

    const std::string &error() const { return error_; }
    std::filesystem::path DriveC() const { return prefix_ / "drive_c"; }
    Env Environment(Env extra = {}) const {
        // No sound server unless a test starts one.
        Env env = {{"WINEPREFIX", prefix_.string()}, {"WINEARCH", VANDREL_WINE_WINEARCH},
                   {"WINELOADER", kLoader}, {"WINEDEBUG", "-all"},
                   {"WINEDLLOVERRIDES", "mscoree,mshtml,winemenubuilder.exe="},
                   {"PULSE_SERVER", "unix:" + (prefix_ / "no-sound-server").string()}};
        for (auto &[key, value] : extra) env[key] = value;
        return env;
    }
    testsupport::ProcessResult Run(const std::string &program, std::vector<std::string> args,
                                   testsupport::ProcessOptions options = {}) const {
        args.insert(args.begin(), {kLoader, program});
        options.env = Environment(options.env);
        return testsupport::RunProcess(args, options);
    }

private:
    void Server(std::initializer_list<const char *> args) const {
        for (const char *arg : args) testsupport::RunProcess({"wineserver", arg}, Options(Environment()));
    }
    std::filesystem::path prefix_ = VANDREL_WINE_PREFIX;
    std::string error_;
};

class PrivatePulse {
public:
    explicit PrivatePulse(const std::filesystem::path &dir) : dir_(dir) {
        std::filesystem::create_directories(dir_);
        const std::string fifo = (dir_ / "sink.fifo").string();
        mkfifo(fifo.c_str(), 0600);
        // The sink's pipe is read all along (so that it never blocks) into out.raw.
        server_ = std::make_unique<testsupport::Process>(
            std::vector<std::string>{
                "sh", "-c", "cat \"$1\" >out.raw & exec pulseaudio -n --daemonize=no --exit-idle-time=-1 "
                            "--disable-shm=yes --log-target=stderr -L \"$2\" -L \"$3\" 2>pulse.log", "sh", fifo,
                "module-native-protocol-unix auth-anonymous=1 socket=" + (dir_ / "native").string(),
                "module-pipe-sink file=" + fifo + " format=s16le rate=44100 channels=2 use_system_clock_for_timing=yes"},
            Options({{"HOME", dir_.string()}, {"XDG_RUNTIME_DIR", dir_.string()}}, 1h, dir_.string()));
        for (int i = 0; i < 300 && !std::filesystem::exists(dir_ / "native") && server_->running(); ++i)
            std::this_thread::sleep_for(50ms);
        if (!std::filesystem::exists(dir_ / "native")) error_ = "PulseAudio did not start: " + Log();
    }

    const std::string &error() const { return error_; }
    Env ClientEnv() const { return {{"PULSE_SERVER", "unix:" + (dir_ / "native").string()}}; }
    // Interleaved s16le stereo at 44.1 kHz, everything played so far.
    std::string Recording() const { return testsupport::ReadFile(dir_ / "out.raw"); }
    std::string Log() const { return testsupport::ReadFile(dir_ / "pulse.log"); }

private:
    std::filesystem::path dir_;
    std::unique_ptr<testsupport::Process> server_;
    std::string error_;
};

}  // namespace winetest

// Skips the test with the reason when `program` cannot run here; otherwise
// says which Windows build runs under which Wine.
#define REQUIRE_WINDOWS_PROGRAM(program)                                              \
    if (const std::string why_ = ::winetest::Unavailable(program); !why_.empty())     \
        GTEST_SKIP() << why_;                                                         \
    else                                                                              \
        std::printf("Windows programs: %s\n", VANDREL_WINE_STATUS)
