// Progress of a long capture on standard error: a bar redrawn in place on a
// terminal, a plain line every tenth of the work otherwise (a log file).
#pragma once

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <string>

namespace capture {

// "0:07", "1:05", "1:02:03"; "--:--" for a negative (unknown) time.
std::string FormatDuration(double seconds);

// "[#########...........]  45%  3240/7200 frames  elapsed 0:32  left 0:39":
// `done` of `total` frames after `elapsed` seconds, with the time left
// estimated from the pace so far (unknown before the first frame).
std::string ProgressLine(int64_t done, int64_t total, double elapsed, int barWidth);

class ProgressReport {
public:
    // `terminal`: whether `out` is a terminal, where the bar is redrawn in
    // place at most ten times a second.
    ProgressReport(std::FILE *out, bool terminal, int64_t total);

    void Update(int64_t done);
    // The final state, and the end of the line on a terminal.
    void Finish(int64_t done);
    // Ends a bar left on the terminal without a final state (on failure).
    void Abandon();

    double elapsedSeconds() const;

private:
    void Print(int64_t done);

    std::FILE *out_;
    bool terminal_;
    int64_t total_;
    std::chrono::steady_clock::time_point start_;
    std::chrono::steady_clock::time_point lastDraw_;
    int lastTenth_ = -1;
    bool drawn_ = false;
    bool finished_ = false;
};

}  // namespace capture
