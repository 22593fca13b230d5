// The command line of vandrel-capture, and the frame arithmetic of a
// capture: which frames of the two-minute timeline a request covers.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace capture {

// The timeline ends at second 120; a capture covers the frames before it.
inline constexpr int kTimelineSeconds = 120;
inline constexpr int kDefaultFps = 60;
inline constexpr int kMaxFps = 240;
inline constexpr int kDefaultWidth = 640;
inline constexpr int kDefaultHeight = 480;
inline constexpr int kMaxSide = 8192;
inline constexpr const char *kDefaultVideo = "vandrel.mp4";

enum class OutputKind {
    Video,      // an MP4 file with the soundtrack
    PngFrames,  // one PNG file per frame in a folder
    Still,      // one PNG file of the frame on screen at one moment
};

// How hard the video encoder works: `Fast` keeps up with a capture at
// several times real time on two cores; `Good` makes a smaller file and
// `Best` a finer picture, each at a fraction of that speed.
enum class Quality { Fast, Good, Best };

struct CaptureOptions {
    OutputKind kind = OutputKind::Video;
    // The video file, the folder of PNG frames, or the still's file.
    std::string output = kDefaultVideo;
    int fps = kDefaultFps;
    int width = kDefaultWidth;
    int height = kDefaultHeight;
    double from = 0;                 // seconds; frames from the one on screen then
    double to = kTimelineSeconds;    // seconds; frames strictly before it
    double at = 0;                   // seconds; the still's moment
    std::string contentDir = ".";    // where data.dat and DemoFinal.mp3 are
    Quality quality = Quality::Fast; // of the video
    bool help = false;
};

struct ParsedOptions {
    bool ok = false;
    CaptureOptions options;
    std::string error;  // what is wrong with the command line when !ok
};

// Reads the arguments after the program name. Every option takes its value
// either as the next argument or after '=' (--fps=30).
ParsedOptions ParseCaptureOptions(const std::vector<std::string> &args);

// The help text, usage line first.
std::string CaptureHelp();

// Frames [first, end) of the timeline, frame n showing the moment n / fps.
struct FrameRange {
    int64_t first = 0;
    int64_t end = 0;
    int64_t count() const { return end - first; }
};

// All frames of the timeline at this rate: 0 to 120 * fps, exclusive.
int64_t TimelineFrames(int fps);

// The frame on screen at `seconds` (the last one that starts at or before it).
int64_t FrameOnScreenAt(double seconds, int fps);

// The frames a request covers: from the frame on screen at `from` to the last
// frame that starts before `to`; for a still, the one frame on screen at `at`.
FrameRange RequestedFrames(const CaptureOptions &options);

// "8", "14.5": seconds as a short text for file names and messages.
std::string FormatSeconds(double seconds);

// The still's file name when none is given: "vandrel-8s.png".
std::string DefaultStillName(double seconds);

}  // namespace capture
