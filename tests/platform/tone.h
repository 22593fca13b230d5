// A test tone: a stereo 44.1 kHz sine made into an MP3 by sox and lame.
#pragma once

#include <filesystem>
#include <string>

namespace tonetest {

// False (with the reason) when sox or lame are missing or fail.
bool MakeToneMp3(const std::filesystem::path &path, int frequency, double seconds,
                 std::string *why);

}  // namespace tonetest
