#include "video_encoder.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <initializer_list>
#include <sstream>

#include "interrupt.h"

extern char **environ;

namespace capture {
namespace {

std::string Fixed(double value) {
    char text[40];
    std::snprintf(text, sizeof text, "%.6f", value);
    return text;
}

// Frames queued ahead of ffmpeg: enough to ride out a slow frame on either
// side, few enough to keep memory small (1.2 MB a frame at 640x480).
constexpr size_t kQueuedFrames = 4;

std::string ExitDescription(int status) {
    if (WIFEXITED(status)) return "exit code " + std::to_string(WEXITSTATUS(status));
    if (WIFSIGNALED(status)) return "signal " + std::to_string(WTERMSIG(status));
    return "status " + std::to_string(status);
}

}  // namespace

std::string FindOnPath(const std::string &program, const char *searchList) {
    if (program.empty() || searchList == nullptr) return "";
    std::stringstream list(searchList);
    std::string dir;
    while (std::getline(list, dir, ':')) {
        // An empty entry means the current folder.
        const std::filesystem::path folder = dir.empty() ? std::filesystem::path(".") : std::filesystem::path(dir);
        const std::filesystem::path candidate = folder / program;
        std::error_code ec;
        if (std::filesystem::is_regular_file(candidate, ec) && access(candidate.c_str(), X_OK) == 0)
            return candidate.string();
    }
    return "";
}

std::vector<std::string> FfmpegCommand(const VideoSettings &s, const std::filesystem::path &target) {
    std::vector<std::string> command = {
        s.ffmpeg, "-hide_banner", "-nostdin", "-nostats", "-loglevel", "error", "-y",
        // The frames, exactly as the capture reads them back.
        "-f", "rawvideo", "-pix_fmt", "bgra", "-video_size",
        std::to_string(s.width) + "x" + std::to_string(s.height), "-framerate", std::to_string(s.fps), "-i",
        "pipe:0"};
    const bool withSound = !s.soundtrack.empty();
    if (withSound) {
        // The music from the video's first moment, cut to the video's length.
        for (const std::string &arg : {std::string("-ss"), Fixed(s.audioStart), std::string("-t"), Fixed(s.duration),
                                       std::string("-i"), s.soundtrack.string()})
            command.push_back(arg);
    }
    // Bottom row first, as OpenGL reads them: turned upright by the filter,
    // which only walks the rows backwards.
    const char *preset = s.quality == Quality::Fast ? "ultrafast" : s.quality == Quality::Good ? "medium" : "slow";
    const char *crf = s.quality == Quality::Best ? "14" : "18";
    for (const char *arg : {"-map", "0:v:0", "-vf", "vflip", "-c:v", "libx264", "-preset", preset, "-crf", crf,
                            "-pix_fmt", "yuv420p"})
        command.push_back(arg);
    if (withSound) {
        for (const char *arg : {"-map", "1:a:0", "-c:a", "aac", "-b:a", "192k"}) command.push_back(arg);
    }
    for (const std::string &arg : {std::string("-movflags"), std::string("+faststart"), std::string("-f"),
                                   std::string("mp4"), target.string()})
        command.push_back(arg);
    return command;
}

std::string LastLines(const std::string &text, int count) {
    std::vector<std::string> lines;
    std::stringstream in(text);
    std::string line;
    while (std::getline(in, line)) {
        while (!line.empty() && (line.back() == '\r' || line.back() == ' ')) line.pop_back();
        if (!line.empty()) lines.push_back(line);
    }
    std::string result;
    const size_t first = lines.size() > static_cast<size_t>(count) ? lines.size() - count : 0;
    for (size_t i = first; i < lines.size(); ++i) {
        if (!result.empty()) result += '\n';
        result += lines[i];
    }
    return result;
}

VideoEncoder::~VideoEncoder() {
    Abort();
    if (log_ != nullptr) std::fclose(log_);
}

bool VideoEncoder::Start(const VideoSettings &settings, std::string *error) {
    Abort();
    settings_ = settings;
    frameBytes_ = static_cast<size_t>(settings.width) * static_cast<size_t>(settings.height) * 4;
    partial_ = settings.output;
    partial_ += ".partial";

    // A write to a pipe whose reader has gone must fail with EPIPE rather
    // than end this program, so that the partial video can be removed.
    signal(SIGPIPE, SIG_IGN);

    if (log_ != nullptr) std::fclose(log_);
    log_ = std::tmpfile();
    if (log_ == nullptr) {
        *error = std::string("cannot make a temporary file for ffmpeg's messages: ") + std::strerror(errno);
        return false;
    }
    fcntl(fileno(log_), F_SETFD, FD_CLOEXEC);
    int pipeEnds[2];
    if (pipe2(pipeEnds, O_CLOEXEC) != 0) {
        *error = std::string("cannot make a pipe to ffmpeg: ") + std::strerror(errno);
        return false;
    }

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, pipeEnds[0], STDIN_FILENO);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, fileno(log_), STDERR_FILENO);
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    sigset_t defaults;
    sigemptyset(&defaults);
    for (int s : {SIGINT, SIGTERM, SIGHUP, SIGPIPE}) sigaddset(&defaults, s);
    posix_spawnattr_setsigdefault(&attributes, &defaults);
    posix_spawnattr_setpgroup(&attributes, 0);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETPGROUP | POSIX_SPAWN_SETSIGDEF);

    const std::vector<std::string> command = FfmpegCommand(settings, partial_);
    std::vector<char *> argv;
    for (const std::string &arg : command) argv.push_back(const_cast<char *>(arg.c_str()));
    argv.push_back(nullptr);
    // ffmpeg takes a fresh buffer for every frame it reads; above the C
    // library's mapping threshold each is mapped and unmapped again, a
    // tenth of its processor time in page faults. A higher threshold keeps
    // the buffers in the heap, reused.
    std::vector<std::string> environment;
    for (char **entry = environ; *entry != nullptr; ++entry)
        if (std::strncmp(*entry, "GLIBC_TUNABLES=", 15) != 0) environment.push_back(*entry);
    const char *tunables = std::getenv("GLIBC_TUNABLES");
    environment.push_back(std::string("GLIBC_TUNABLES=") + (tunables != nullptr ? std::string(tunables) + ":" : "") +
                          "glibc.malloc.mmap_threshold=33554432:glibc.malloc.trim_threshold=268435456");
    std::vector<char *> envp;
    for (std::string &entry : environment) envp.push_back(entry.data());
    envp.push_back(nullptr);
    const int spawned = posix_spawn(&pid_, settings.ffmpeg.c_str(), &actions, &attributes, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attributes);
    close(pipeEnds[0]);
    if (spawned != 0) {
        pid_ = -1;
        close(pipeEnds[1]);
        *error = "cannot run " + settings.ffmpeg + ": " + std::strerror(spawned);
        return false;
    }
    input_ = pipeEnds[1];
    fcntl(input_, F_SETFL, fcntl(input_, F_GETFL) | O_NONBLOCK);
    ending_ = feedFailed_ = false;
    aborting_ = false;
    feeder_ = std::thread(&VideoEncoder::Feed, this);
    return true;
}

bool VideoEncoder::WriteFrame(const uint8_t *bgra, std::string *error) {
    if (input_ < 0) {
        *error = "ffmpeg is not running";
        return false;
    }
    std::unique_lock<std::mutex> lock(mutex_);
    changed_.wait(lock, [&] { return feedFailed_ || queued_.size() < kQueuedFrames; });
    if (feedFailed_) {
        lock.unlock();
        return ReportFeedFailure(error);
    }
    std::vector<uint8_t> frame;
    if (!spare_.empty()) {
        frame = std::move(spare_.front());
        spare_.pop_front();
    }
    lock.unlock();
    frame.assign(bgra, bgra + frameBytes_);
    lock.lock();
    queued_.push_back(std::move(frame));
    changed_.notify_all();
    return true;
}

void VideoEncoder::Feed() {
    for (;;) {
        std::unique_lock<std::mutex> lock(mutex_);
        changed_.wait(lock, [&] { return !queued_.empty() || ending_; });
        if (queued_.empty()) return;  // ending, and everything sent
        std::vector<uint8_t> frame = std::move(queued_.front());
        queued_.pop_front();
        lock.unlock();
        const bool sent = SendAll(frame);
        lock.lock();
        spare_.push_back(std::move(frame));
        if (!sent) {
            feedFailed_ = true;
            queued_.clear();
        }
        changed_.notify_all();
        if (!sent) return;
    }
}

bool VideoEncoder::SendAll(const std::vector<uint8_t> &frame) {
    size_t sent = 0;
    while (sent < frame.size()) {
        // The pipe is non-blocking and waited on in short steps, so a stop
        // request is seen even when it arrives while ffmpeg is not reading.
        if (StopRequested() || aborting_) {
            feedErrno_ = EINTR;
            return false;
        }
        pollfd ready{input_, POLLOUT, 0};
        if (poll(&ready, 1, 200) == 0) continue;
        const ssize_t n = write(input_, frame.data() + sent, frame.size() - sent);
        if (n > 0) {
            sent += static_cast<size_t>(n);
            continue;
        }
        if (n < 0 && (errno == EINTR || errno == EAGAIN)) continue;
        feedErrno_ = errno;
        return false;
    }
    return true;
}

void VideoEncoder::StopFeeding(bool abort) {
    if (!feeder_.joinable()) return;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        ending_ = true;
        if (abort) aborting_ = true;
    }
    changed_.notify_all();
    feeder_.join();
}

bool VideoEncoder::ReportFeedFailure(std::string *error) {
    StopFeeding(false);
    if (feedErrno_ == EINTR) {
        *error = "interrupted";
        return false;
    }
    CloseInput();
    if (Collect(error)) {
        *error = "ffmpeg stopped reading frames without an error";
    } else if (feedErrno_ != EPIPE) {
        *error = std::string("cannot send frames to ffmpeg: ") + std::strerror(feedErrno_) + "\n" + *error;
    }
    return false;
}

bool VideoEncoder::StillRunning(std::string *error) {
    if (pid_ <= 0) {
        *error = "ffmpeg is not running";
        return false;
    }
    int status = 0;
    const pid_t r = waitpid(pid_, &status, WNOHANG);
    if (r == 0) return true;
    pid_ = -1;
    StopFeeding(true);
    CloseInput();
    *error = "ffmpeg ended early (" + ExitDescription(status) + ")";
    const std::string messages = FfmpegMessages();
    if (!messages.empty()) *error += ":\n" + messages;
    return false;
}

bool VideoEncoder::Finish(std::string *error) {
    if (pid_ <= 0) {
        *error = "ffmpeg is not running";
        Abort();
        return false;
    }
    StopFeeding(false);
    if (feedFailed_) {
        ReportFeedFailure(error);
        Abort();
        return false;
    }
    CloseInput();  // end of input: ffmpeg finishes the file
    if (!Collect(error)) {
        Abort();
        return false;
    }
    std::error_code ec;
    if (!std::filesystem::is_regular_file(partial_, ec)) {
        *error = "ffmpeg finished but wrote no video";
        return false;
    }
    std::filesystem::rename(partial_, settings_.output, ec);
    if (ec) {
        *error = "cannot put the video in place as " + settings_.output.string() + ": " + ec.message();
        Abort();
        return false;
    }
    return true;
}

bool VideoEncoder::Collect(std::string *error) {
    int status = 0;
    while (pid_ > 0) {
        const pid_t r = waitpid(pid_, &status, 0);
        if (r == pid_) break;
        if (r < 0 && errno == EINTR) {
            if (StopRequested()) {
                *error = "interrupted";
                return false;  // Abort() stops ffmpeg
            }
            continue;
        }
        *error = std::string("cannot wait for ffmpeg: ") + std::strerror(errno);
        return false;
    }
    pid_ = -1;
    if (WIFEXITED(status) && WEXITSTATUS(status) == 0) return true;
    *error = "ffmpeg failed (" + ExitDescription(status) + ")";
    const std::string messages = FfmpegMessages();
    if (!messages.empty()) *error += ":\n" + messages;
    return false;
}

std::string VideoEncoder::FfmpegMessages() const {
    if (log_ == nullptr) return "";
    std::fflush(log_);
    std::string text;
    char buffer[4096];
    if (std::fseek(log_, 0, SEEK_SET) != 0) return "";
    size_t n = 0;
    while ((n = std::fread(buffer, 1, sizeof buffer, log_)) > 0) text.append(buffer, n);
    std::string lines = LastLines(text, 8);
    // Indented under the line that says what failed.
    std::string indented = "  ";
    for (char c : lines) {
        indented += c;
        if (c == '\n') indented += "  ";
    }
    return lines.empty() ? "" : indented;
}

void VideoEncoder::CloseInput() {
    if (input_ >= 0) close(input_);
    input_ = -1;
}

void VideoEncoder::Abort() {
    StopFeeding(true);
    CloseInput();
    if (pid_ > 0) {
        // The whole group: ffmpeg and anything it started.
        kill(-pid_, SIGKILL);
        kill(pid_, SIGKILL);
        int status = 0;
        while (waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
        }
        pid_ = -1;
    }
    if (!partial_.empty()) {
        std::error_code ec;
        std::filesystem::remove(partial_, ec);
    }
}

}  // namespace capture
