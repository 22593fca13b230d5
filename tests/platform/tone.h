// A test tone: a stereo 44.1 kHz sine made into an MP3 by sox and lame.
#pragma once

#include "tests/support/subprocess.h"

#include <filesystem>
#include <string>

namespace tonetest {

// False (with the reason) when sox or lame are missing or fail.
inline bool MakeToneMp3(const std::filesystem::path &path, int frequency, double seconds, std::string *why) {
    const std::string wav = path.string() + ".wav";
    auto sox = testsupport::RunProcess({"sox", "-n", "-r", "44100", "-c", "2", "-b", "16", wav, "synth",
                                        std::to_string(seconds), "sine", std::to_string(frequency), "vol", "0.5"});
    auto lame = testsupport::RunProcess({"lame", "--quiet", "-b", "128", wav, path.string()});
    std::filesystem::remove(wav);
    *why = "sox and lame could not make the tone: " + sox.err + lame.err;
    return sox.exitCode == 0 && lame.exitCode == 0;
}

}  // namespace tonetest
