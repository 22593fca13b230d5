#include "tests/windows/host/wine_session.h"

#include "tests/support/temp_dir.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <thread>

namespace winetest {
namespace {

using namespace std::chrono_literals;

bool OnPath(const std::string &program) {
    const auto result = testsupport::RunProcess({"sh", "-c", "command -v \"$0\"", program});
    return result.exitCode == 0;
}

// Held while the prefix is created, so that two test programs never create
// it at the same time.
class FileLock {
public:
    explicit FileLock(const std::filesystem::path &path)
        : fd_(open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600)) {
        if (fd_ >= 0) flock(fd_, LOCK_EX);
    }
    ~FileLock() {
        if (fd_ >= 0) close(fd_);
    }
    FileLock(const FileLock &) = delete;
    FileLock &operator=(const FileLock &) = delete;

private:
    int fd_;
};

}  // namespace

std::string Unavailable(const std::string &windowsProgram) {
    if (!OnPath("wine") || !OnPath("wineserver"))
        return "Wine is not installed (scripts/bootstrap --windows installs it)";
    if (windowsProgram.empty() || !std::filesystem::exists(windowsProgram))
        return "the Windows build is not there (it needs mingw-w64: scripts/bootstrap --windows)" +
               (windowsProgram.empty() ? std::string() : ": " + windowsProgram);
    return "";
}

std::string WindowsPath(const std::filesystem::path &path) {
    std::string out = "Z:" + std::filesystem::absolute(path).lexically_normal().string();
    for (char &c : out)
        if (c == '/') c = '\\';
    return out;
}

WineSession::WineSession() : prefix_(VANDREL_WINE_PREFIX) {
    {
        FileLock lock(prefix_.string() + ".lock");
        if (!std::filesystem::exists(prefix_ / "system.reg")) {
            // About 20 s, once per build tree.
            testsupport::ProcessOptions options;
            options.env = Env();
            options.timeout = 180s;
            const auto boot = testsupport::RunProcess({"wineboot", "-i"}, options);
            Server({"-w"});
            if (boot.exitCode != 0 || !std::filesystem::exists(prefix_ / "system.reg")) {
                error_ = "cannot create the Wine prefix " + prefix_.string() + ": " + boot.err;
                return;
            }
        }
    }
    // A wineserver from an earlier X server would hand its programs that
    // server's display; end it, then keep a fresh one running for this test.
    Server({"-k"});
    Server({"-w"});
    Server({"-p"});
}

WineSession::~WineSession() {
    Server({"-k"});
    Server({"-w"});
}

void WineSession::Server(const std::vector<std::string> &args) const {
    std::vector<std::string> argv = {"wineserver"};
    argv.insert(argv.end(), args.begin(), args.end());
    testsupport::ProcessOptions options;
    options.env = Env();
    options.timeout = 60s;
    testsupport::RunProcess(argv, options);
}

std::map<std::string, std::string> WineSession::Env(std::map<std::string, std::string> extra) const {
    std::map<std::string, std::string> env = {
        {"WINEPREFIX", prefix_.string()},
        {"WINEARCH", "win32"},
        {"WINEDEBUG", "-all"},
        {"WINEDLLOVERRIDES", "mscoree,mshtml,winemenubuilder.exe="},
        // No sound server unless a test starts one (PrivatePulse): a sound
        // library left to find its own would start one that outlives the test.
        {"PULSE_SERVER", "unix:" + (prefix_ / "no-sound-server").string()},
    };
    for (auto &[key, value] : extra) env[key] = value;
    return env;
}

testsupport::ProcessResult WineSession::Run(const std::string &program,
                                            const std::vector<std::string> &args,
                                            testsupport::ProcessOptions options) const {
    std::vector<std::string> argv = {"wine", program};
    argv.insert(argv.end(), args.begin(), args.end());
    options.env = Env(options.env);
    return testsupport::RunProcess(argv, options);
}

PrivatePulse::PrivatePulse(const std::filesystem::path &dir) : dir_(dir) {
    std::filesystem::create_directories(dir_);
    const auto fifo = dir_ / "sink.fifo";
    if (mkfifo(fifo.c_str(), 0600) != 0) {
        error_ = "cannot make the sink's pipe";
        return;
    }
    testsupport::ProcessOptions options;
    options.env = {{"HOME", dir_.string()}, {"XDG_RUNTIME_DIR", dir_.string()},
                   {"PULSE_RUNTIME_PATH", (dir_ / "runtime").string()}};
    options.timeout = std::chrono::hours(1);
    server_ = std::make_unique<testsupport::Process>(
        std::vector<std::string>{
            "/bin/sh", "-c", "exec pulseaudio -n --daemonize=no --exit-idle-time=-1 --log-target=stderr "
                             "--disable-shm=yes \"$@\" 2>\"$0\"",
            (dir_ / "pulse.log").string(),
            "-L", "module-native-protocol-unix auth-anonymous=1 socket=" + (dir_ / "native").string(),
            "-L", "module-pipe-sink file=" + fifo.string() +
                      " format=s16le rate=44100 channels=2 use_system_clock_for_timing=yes",
            "--load=module-always-sink"},
        options);
    // The recorder keeps the pipe open for reading, so the sink never blocks.
    recorder_ = std::make_unique<testsupport::Process>(
        std::vector<std::string>{"/bin/sh", "-c", "exec cat \"$0\" >\"$1\"", fifo.string(),
                                 (dir_ / "recording.raw").string()},
        options);
    const auto deadline = std::chrono::steady_clock::now() + 15s;
    while (!std::filesystem::exists(dir_ / "native")) {
        if (std::chrono::steady_clock::now() > deadline || !server_->running()) {
            error_ = "PulseAudio did not start: " + Log();
            return;
        }
        std::this_thread::sleep_for(50ms);
    }
}

PrivatePulse::~PrivatePulse() {
    if (server_) server_->Kill();
    if (recorder_) recorder_->Kill();
}

std::map<std::string, std::string> PrivatePulse::ClientEnv() const {
    return {{"PULSE_SERVER", "unix:" + (dir_ / "native").string()}};
}

std::string PrivatePulse::Recording() const { return testsupport::ReadFile(dir_ / "recording.raw"); }

std::string PrivatePulse::Log() const { return testsupport::ReadFile(dir_ / "pulse.log"); }

}  // namespace winetest
