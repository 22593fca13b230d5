#include "desktop_program.h"

#include "temp_dir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <sstream>
#include <thread>

namespace testsupport {

using namespace std::chrono_literals;

namespace {

std::string Output(const std::vector<std::string> &argv) { return RunProcess(argv).out; }

}  // namespace

std::optional<ScreenWindow> FindWindow(const std::string &title) {
    // Every window with its name, class and size, as in
    //      0x200002 "Error": ()  226x100+207+126  +207+126
    std::istringstream lines(Output({"xwininfo", "-root", "-tree"}));
    std::optional<ScreenWindow> found;
    for (std::string text; std::getline(lines, text);) {
        const size_t id = text.find("0x"), name = text.find(" \"", id), end = text.find("\": (", name);
        if (id == std::string::npos || name == std::string::npos || end == std::string::npos ||
            text.compare(name + 2, end - name - 2, title) != 0)
            continue;
        ScreenWindow window{text.substr(id, name - id)};
        const size_t size = text.find(")  ", end);
        if (size != std::string::npos &&
            std::sscanf(text.c_str() + size + 3, "%dx%d", &window.width, &window.height) == 2 &&
            Output({"xwininfo", "-id", window.id}).find("Map State: IsViewable") != std::string::npos)
            found = window;
    }
    return found;
}

std::string Screenshot() { return Output({"sh", "-c", "xwd -root -silent | convert xwd:- -depth 8 rgb:-"}); }

std::string PngPixels(const std::filesystem::path &png) {
    return Output({"convert", png.string(), "-depth", "8", "rgb:-"});
}

double MeanDifference(const std::string &a, const std::string &b) {
    if (a.size() != b.size() || a.empty()) return 255.0;
    double sum = 0;
    for (size_t i = 0; i < a.size(); ++i) sum += std::abs(uint8_t(a[i]) - uint8_t(b[i]));
    return sum / static_cast<double>(a.size());
}

double Contrast(const std::string &p) {
    double sum = 0, squares = 0, n = 0;
    for (size_t i = 0; i + 2 < p.size(); i += 3, ++n) {
        const double luma = 0.299 * uint8_t(p[i]) + 0.587 * uint8_t(p[i + 1]) + 0.114 * uint8_t(p[i + 2]);
        sum += luma;
        squares += luma * luma;
    }
    return n == 0 ? 0 : std::sqrt(std::max(0.0, squares / n - (sum / n) * (sum / n)));
}

DesktopProgram::DesktopProgram(const std::vector<std::string> &argv, const std::filesystem::path &folder,
                               const std::map<std::string, std::string> &env)
    : log_(folder / "stderr.log"), process_([&] {
          std::vector<std::string> command = {"sh", "-c", "exec \"$@\" 2>>\"$0\"", log_.string()};
          command.insert(command.end(), argv.begin(), argv.end());
          return command;
      }(), ProcessOptions{folder.string(), env, "", 1h}) {}

std::string DesktopProgram::Log() const {
    std::string log = ReadFile(log_);
    std::erase(log, '\r');
    return log;
}

long DesktopProgram::Count(const std::string &text) const {
    const std::string log = Log();
    long n = 0;
    for (size_t at = log.find(text); at != std::string::npos; at = log.find(text, at + 1)) ++n;
    return n;
}

bool DesktopProgram::WaitFor(const std::function<bool()> &done) {
    for (int i = 0; i < 600 && process_.running(); ++i) {
        if (done()) return true;
        std::this_thread::sleep_for(50ms);
    }
    return done();
}

std::optional<ScreenWindow> DesktopProgram::WaitForWindow(const std::string &title, const std::string &other) {
    std::optional<ScreenWindow> window;
    WaitFor([&] { return (window = FindWindow(title)) && window->id != other; });
    return window && window->id != other ? window : std::nullopt;
}

std::string DesktopProgram::WaitForPicture(std::chrono::milliseconds settle) {
    if (!WaitFor([] { return Contrast(Screenshot()) > 10.0; })) return "";
    std::this_thread::sleep_for(settle);
    return Screenshot();
}

void DesktopProgram::Answer(const std::string &caption, const std::string &key) {
    const auto box = WaitForWindow(caption);
    ASSERT_TRUE(box) << "no box \"" << caption << "\"; log:\n" << Log();
    RunProcess({"xdotool", "key", "--window", box->id, key});
}

void DesktopProgram::Hold(const std::string &key, const std::function<bool()> &until) {
    RunProcess({"xdotool", "keydown", key});
    EXPECT_TRUE(WaitFor(until)) << key << " had no effect; log:\n" << Log();
    RunProcess({"xdotool", "keyup", key});
}

int DesktopProgram::ExitCode() {
    const ProcessResult result = process_.Wait(30s);
    EXPECT_FALSE(result.timedOut) << "the program did not end; log:\n" << Log();
    EXPECT_EQ(result.signal, 0) << Log();
    return result.exitCode;
}

int DesktopProgram::EscapeExitCode() {
    std::this_thread::sleep_for(1500ms);
    Hold("Escape", [&] { return !process_.running(); });
    return ExitCode();
}

}  // namespace testsupport
