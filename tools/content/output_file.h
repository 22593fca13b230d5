// Writing a generator's outputs: whole files at once, and a check that the
// output's folder exists before any work is done.
#pragma once

#include <string>

namespace content {

// Writes bytes to path, replacing it; throws std::runtime_error on failure.
void WriteFile(const std::string &path, const std::string &bytes);

// Throws std::runtime_error when the folder the output would go into is missing.
void CheckOutputFolder(const std::string &output);

}  // namespace content
