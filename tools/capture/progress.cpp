#include "progress.h"

#include <algorithm>
#include <cmath>

namespace capture {

std::string FormatDuration(double seconds) {
    if (seconds < 0 || !std::isfinite(seconds)) return "--:--";
    const long long whole = static_cast<long long>(std::llround(seconds));
    const long long h = whole / 3600, m = whole / 60 % 60, s = whole % 60;
    char text[40];
    if (h > 0) {
        std::snprintf(text, sizeof text, "%lld:%02lld:%02lld", h, m, s);
    } else {
        std::snprintf(text, sizeof text, "%lld:%02lld", m, s);
    }
    return text;
}

std::string ProgressLine(int64_t done, int64_t total, double elapsed, int barWidth) {
    total = std::max<int64_t>(total, 1);
    done = std::clamp<int64_t>(done, 0, total);
    const double fraction = static_cast<double>(done) / static_cast<double>(total);
    const int filled = static_cast<int>(fraction * barWidth);
    const double left = done > 0 ? elapsed * static_cast<double>(total - done) / static_cast<double>(done) : -1;
    std::string line;
    if (barWidth > 0) {
        line.append(1, '[').append(filled, '#').append(barWidth - filled, '.').append("] ");
    }
    char text[160];
    std::snprintf(text, sizeof text, "%3d%%  %lld/%lld frames  elapsed %s  left %s",
                  static_cast<int>(fraction * 100), static_cast<long long>(done), static_cast<long long>(total),
                  FormatDuration(elapsed).c_str(), FormatDuration(left).c_str());
    return line + text;
}

ProgressReport::ProgressReport(std::FILE *out, bool terminal, int64_t total)
    : out_(out), terminal_(terminal), total_(std::max<int64_t>(total, 1)),
      start_(std::chrono::steady_clock::now()), lastDraw_(start_) {}

double ProgressReport::elapsedSeconds() const {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start_).count();
}

void ProgressReport::Print(int64_t done) {
    if (terminal_) {
        std::fprintf(out_, "\r%s", ProgressLine(done, total_, elapsedSeconds(), 30).c_str());
    } else {
        std::fprintf(out_, "capture: %s\n", ProgressLine(done, total_, elapsedSeconds(), 0).c_str());
    }
    std::fflush(out_);
    drawn_ = true;
}

void ProgressReport::Update(int64_t done) {
    if (finished_) return;
    if (terminal_) {
        const auto now = std::chrono::steady_clock::now();
        if (drawn_ && now - lastDraw_ < std::chrono::milliseconds(100)) return;
        lastDraw_ = now;
        Print(done);
        return;
    }
    const int tenth = static_cast<int>(std::clamp<int64_t>(done, 0, total_) * 10 / total_);
    if (tenth == lastTenth_) return;
    lastTenth_ = tenth;
    Print(done);
}

void ProgressReport::Finish(int64_t done) {
    if (finished_) return;
    if (terminal_ || std::clamp<int64_t>(done, 0, total_) * 10 / total_ != lastTenth_) Print(done);
    if (terminal_) std::fputc('\n', out_);
    std::fflush(out_);
    finished_ = true;
}

void ProgressReport::Abandon() {
    if (finished_) return;
    if (terminal_ && drawn_) std::fputc('\n', out_);
    std::fflush(out_);
    finished_ = true;
}

}  // namespace capture
