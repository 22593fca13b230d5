#include "capture_options.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <optional>

namespace capture {
namespace {

// Products of seconds and a frame rate that should be whole come out of
// binary floating point a hair off (0.29 * 100 = 28.999999999999996); the
// frame arithmetic forgives that much.
constexpr double kFrameSlack = 1e-9;

std::optional<double> ParseSeconds(const std::string &text) {
    double value = 0;
    const char *end = text.data() + text.size();
    auto [ptr, ec] = std::from_chars(text.data(), end, value, std::chars_format::fixed);
    if (ec != std::errc() || ptr != end || !std::isfinite(value)) return std::nullopt;
    return value;
}

std::optional<int> ParseInt(const std::string &text) {
    int value = 0;
    const char *end = text.data() + text.size();
    auto [ptr, ec] = std::from_chars(text.data(), end, value);
    if (ec != std::errc() || ptr != end) return std::nullopt;
    return value;
}

// "WxH" with both sides in 1..kMaxSide.
bool ParseSize(const std::string &text, int *width, int *height) {
    const size_t x = text.find('x');
    if (x == std::string::npos) return false;
    std::optional<int> w = ParseInt(text.substr(0, x));
    std::optional<int> h = ParseInt(text.substr(x + 1));
    if (!w || !h || *w < 1 || *h < 1 || *w > kMaxSide || *h > kMaxSide) return false;
    *width = *w;
    *height = *h;
    return true;
}

ParsedOptions Fail(std::string error) {
    ParsedOptions result;
    result.error = std::move(error);
    return result;
}

}  // namespace

std::string FormatSeconds(double seconds) {
    char text[32];
    std::snprintf(text, sizeof text, "%g", seconds);
    return text;
}

std::string DefaultStillName(double seconds) { return "vandrel-" + FormatSeconds(seconds) + "s.png"; }

ParsedOptions ParseCaptureOptions(const std::vector<std::string> &args) {
    CaptureOptions o;
    std::optional<std::string> output, pngDir;
    bool hasFrom = false, hasTo = false, hasAt = false;

    for (size_t i = 0; i < args.size(); ++i) {
        std::string name = args[i];
        std::optional<std::string> inlineValue;
        if (name.rfind("--", 0) == 0) {
            const size_t eq = name.find('=');
            if (eq != std::string::npos) {
                inlineValue = name.substr(eq + 1);
                name.resize(eq);
            }
        }
        if (name == "--help" || name == "-h") {
            o.help = true;
            continue;
        }
        const bool takesValue = name == "-o" || name == "--output" || name == "--png" || name == "--at" ||
                                name == "--from" || name == "--to" || name == "--fps" || name == "--size" ||
                                name == "--content" || name == "--quality";
        if (!takesValue) {
            if (!name.empty() && name[0] == '-') return Fail("unknown option '" + name + "'");
            return Fail("unexpected argument '" + name + "'");
        }
        std::string value;
        if (inlineValue) {
            value = *inlineValue;
        } else if (i + 1 < args.size()) {
            value = args[++i];
        } else {
            return Fail(name + " needs a value");
        }
        if (value.empty()) return Fail(name + " needs a value");

        if (name == "-o" || name == "--output") {
            output = value;
        } else if (name == "--png") {
            pngDir = value;
        } else if (name == "--content") {
            o.contentDir = value;
        } else if (name == "--quality") {
            if (value == "fast") o.quality = Quality::Fast;
            else if (value == "good") o.quality = Quality::Good;
            else if (value == "best") o.quality = Quality::Best;
            else return Fail("--quality takes fast, good or best, not '" + value + "'");
        } else if (name == "--fps") {
            std::optional<int> fps = ParseInt(value);
            if (!fps || *fps < 1 || *fps > kMaxFps)
                return Fail("--fps takes a whole number of frames per second from 1 to " +
                            std::to_string(kMaxFps) + ", not '" + value + "'");
            o.fps = *fps;
        } else if (name == "--size") {
            if (!ParseSize(value, &o.width, &o.height))
                return Fail("--size takes WIDTHxHEIGHT in pixels (1 to " + std::to_string(kMaxSide) +
                            " each), not '" + value + "'");
        } else {
            std::optional<double> seconds = ParseSeconds(value);
            if (!seconds || *seconds < 0)
                return Fail(name + " takes a time in seconds (such as 8 or 14.5), not '" + value + "'");
            if (name == "--at") {
                o.at = *seconds;
                hasAt = true;
            } else if (name == "--from") {
                o.from = *seconds;
                hasFrom = true;
            } else {
                o.to = *seconds;
                hasTo = true;
            }
        }
    }

    if (o.help) {
        ParsedOptions result;
        result.ok = true;
        result.options = o;
        return result;
    }

    if (hasAt && (hasFrom || hasTo)) return Fail("--at takes one moment and cannot be combined with --from or --to");
    if (pngDir && output)
        return Fail("--png writes into its folder; -o names a video or a still file, not both");

    const std::string end = FormatSeconds(kTimelineSeconds);
    if (hasAt) {
        if (o.at >= kTimelineSeconds) return Fail("--at must be before the end of the timeline (" + end + " s)");
        o.kind = OutputKind::Still;
        if (output) {
            o.output = *output;
        } else if (pngDir) {
            char frameName[32];
            std::snprintf(frameName, sizeof frameName, "/frame-%06lld.png",
                          static_cast<long long>(FrameOnScreenAt(o.at, o.fps)));
            o.output = *pngDir + frameName;
        } else {
            o.output = DefaultStillName(o.at);
        }
    } else {
        if (o.to > kTimelineSeconds) return Fail("--to cannot be after the end of the timeline (" + end + " s)");
        if (o.from >= o.to) return Fail("--from must be before --to");
        if (pngDir) {
            o.kind = OutputKind::PngFrames;
            o.output = *pngDir;
        } else {
            o.kind = OutputKind::Video;
            if (output) o.output = *output;
            if (o.width % 2 != 0 || o.height % 2 != 0)
                return Fail("an H.264 video needs an even width and height, not " + std::to_string(o.width) + "x" +
                            std::to_string(o.height));
        }
    }

    ParsedOptions result;
    result.ok = true;
    result.options = o;
    return result;
}

std::string CaptureHelp() {
    return "usage: vandrel-capture [-o FILE.mp4] [--from S] [--to S] [OPTIONS]\n"
           "       vandrel-capture --png DIR [--from S] [--to S] [OPTIONS]\n"
           "       vandrel-capture --at S [-o FILE.png | --png DIR] [OPTIONS]\n"
           "\n"
           "Renders the demo's two-minute timeline offscreen (no display needed) with a\n"
           "virtual clock at a fixed frame rate, and writes it as a video or as pictures.\n"
           "\n"
           "  -o FILE        the MP4 video to write (default vandrel.mp4): H.264 with the\n"
           "                 soundtrack as AAC, made by the ffmpeg program; with --at, the\n"
           "                 PNG file to write (default vandrel-<S>s.png)\n"
           "  --png DIR      writes the frames as PNG files DIR/frame-NNNNNN.png instead,\n"
           "                 numbered by their place in the timeline (frame n shows n/fps s)\n"
           "  --from S       starts with the frame on screen at S seconds (default 0)\n"
           "  --to S         ends before S seconds (default 120, the end of the timeline)\n"
           "  --at S         writes only the frame on screen at S seconds, as one PNG\n"
           "  --fps N        frames per second, 1 to 240 (default 60); the scenes that move\n"
           "                 by a fixed step per frame move as on a screen of that rate\n"
           "  --size WxH     frame size in pixels (default 640x480); the picture keeps the\n"
           "                 demo's 4:3 projection, centred between black bars when the\n"
           "                 size is not 4:3; a video needs an even width and height\n"
           "  --quality Q    the video's encoding: fast (default; keeps up with a capture\n"
           "                 at several times real time), good (a smaller file, slower),\n"
           "                 best (the finest picture, slowest)\n"
           "  --content DIR  where data.dat and DemoFinal.mp3 are (default: the current\n"
           "                 folder, as for the demo)\n"
           "  -h, --help     shows this text\n"
           "\n"
           "Every frame before the requested ones is rendered too, since the scenes carry\n"
           "their motion from frame to frame. Progress goes to standard error. A file that\n"
           "could not be finished (an error, Ctrl-C) is removed.\n"
           "\n"
           "Exit status: 0 on success, 1 on failure, 2 on bad usage.\n";
}

int64_t TimelineFrames(int fps) { return static_cast<int64_t>(kTimelineSeconds) * fps; }

int64_t FrameOnScreenAt(double seconds, int fps) {
    return static_cast<int64_t>(std::floor(seconds * fps + kFrameSlack));
}

FrameRange RequestedFrames(const CaptureOptions &options) {
    const int64_t total = TimelineFrames(options.fps);
    FrameRange range;
    if (options.kind == OutputKind::Still) {
        range.first = std::min(FrameOnScreenAt(options.at, options.fps), total - 1);
        range.end = range.first + 1;
        return range;
    }
    range.first = std::min(FrameOnScreenAt(options.from, options.fps), total - 1);
    range.end = static_cast<int64_t>(std::ceil(options.to * options.fps - kFrameSlack));
    range.end = std::clamp(range.end, range.first + 1, total);
    return range;
}

}  // namespace capture
