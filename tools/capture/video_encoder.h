// An MP4 video made by the ffmpeg program: raw frames go down a pipe to it,
// it encodes them as H.264 (yuv420p) and muxes in the soundtrack as AAC, cut
// to the video's length. Nothing is encoded here: a thread of the encoder's
// own feeds the pipe, so the frames after it are drawn while ffmpeg encodes.
#pragma once

#include <sys/types.h>

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <cstdio>
#include <deque>
#include <filesystem>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "capture_options.h"

namespace capture {

struct VideoSettings {
    std::string ffmpeg;               // the program to run (a path)
    Quality quality = Quality::Fast;
    int width = 640;
    int height = 480;
    int fps = 60;
    std::filesystem::path output;     // the MP4 file to make
    std::filesystem::path soundtrack; // the music to mux in; empty for none
    double audioStart = 0;            // where in the music the video starts, seconds
    double duration = 0;              // the video's length, seconds; the music is cut to it
};

// The full path of `program` on a colon-separated search list such as
// $PATH, or "" when it is on none of its folders (or the list is null).
std::string FindOnPath(const std::string &program, const char *searchList);

// The command line for ffmpeg (program first) that reads `settings.width` x
// `settings.height` BGRA frames, bottom row first, from standard input and
// writes the MP4 to `target`.
std::vector<std::string> FfmpegCommand(const VideoSettings &settings, const std::filesystem::path &target);

// The last `count` non-empty lines of a text.
std::string LastLines(const std::string &text, int count);

// One ffmpeg run. The video is written beside its final name and renamed to
// it only when ffmpeg has finished successfully, so a failure or an abort
// leaves no partial video behind (and an older file of that name as it was).
// ffmpeg runs in a process group of its own, so a Ctrl-C at the terminal
// reaches this program only, which then aborts the run.
class VideoEncoder {
public:
    VideoEncoder() = default;
    ~VideoEncoder();  // aborts a run still going
    VideoEncoder(const VideoEncoder &) = delete;
    VideoEncoder &operator=(const VideoEncoder &) = delete;

    // Starts ffmpeg. On failure returns false and says why.
    bool Start(const VideoSettings &settings, std::string *error);

    // Queues one frame (width x height BGRA pixels, bottom row first) for
    // ffmpeg, waiting while the queue is full. Fails when ffmpeg has stopped
    // reading (the error then carries its last messages) or when a stop was
    // requested (interrupt.h) while the pipe was full.
    bool WriteFrame(const uint8_t *bgra, std::string *error);

    // False, with ffmpeg's reason, when ffmpeg has already ended although it
    // has not been given all frames.
    bool StillRunning(std::string *error);

    // Ends the input, waits for ffmpeg and puts the video in place. On
    // failure the partial video is removed and the error says why.
    bool Finish(std::string *error);

    // Stops ffmpeg at once and removes the partial video.
    void Abort();

private:
    // Waits for ffmpeg to end and describes a failure; true for exit code 0.
    bool Collect(std::string *error);
    std::string FfmpegMessages() const;
    void CloseInput();
    // The feeding thread: sends queued frames until told to end.
    void Feed();
    bool SendAll(const std::vector<uint8_t> &frame);
    // Ends the feeding thread once the queue is sent (or at once when aborting).
    void StopFeeding(bool abort);
    bool ReportFeedFailure(std::string *error);

    VideoSettings settings_;
    std::filesystem::path partial_;
    pid_t pid_ = -1;
    int input_ = -1;              // our end of ffmpeg's standard input
    std::FILE *log_ = nullptr;    // ffmpeg's standard error
    size_t frameBytes_ = 0;

    std::thread feeder_;
    std::mutex mutex_;
    std::condition_variable changed_;
    std::deque<std::vector<uint8_t>> queued_, spare_;
    bool ending_ = false;
    std::atomic<bool> aborting_{false};
    bool feedFailed_ = false;
    int feedErrno_ = 0;
};

}  // namespace capture
