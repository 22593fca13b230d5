// Writing entries under a target folder, whatever their names hold: a name
// is split into components and refused when any of them could lead out of
// the folder (an absolute path, a drive letter, "." or "..", an empty
// component, a zero byte); the folders on the way are walked one by one with
// openat and O_NOFOLLOW, so a symbolic link already under the target is
// never followed. Files appear whole or not at all: they are written beside
// their final name and linked (or, to replace, renamed) into place.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace quorbenhal_cli {

// The components of an entry name ('/' and '\\' both separate), or false
// with the reason it is refused.
bool SplitEntryPath(const std::string &name, std::vector<std::string> &parts, std::string &why);

// Seconds since 1970 for an MS-DOS date and time, read as local time.
int64_t DosTimeToUnix(uint32_t dosTime);

class OutputTree {
public:
    ~OutputTree();
    // Opens (creating it when missing) the target folder.
    bool Open(const std::string &folder, std::string &why);

    enum class Written { kDone, kKept, kRefused, kFailed };
    // Creates the folders of parts (all of them for a directory).
    bool MakeFolders(const std::vector<std::string> &parts, std::string &why);
    // A symbolic link (or a file) stands where a folder of the path should:
    // kRefused, not kFailed.
    // Writes a file at parts: fill() writes its bytes through the given
    // writer and returns false on failure (why says what). An existing file
    // is kept unless replace; mode and the modification time are set.
    Written WriteFile(const std::vector<std::string> &parts, bool replace, unsigned mode, int64_t mtime,
                      const std::function<bool(const std::function<bool(const void *, size_t)> &)> &fill,
                      std::string &why);

private:
    // The folder holding the last component, created on the way; -1 with why.
    int OpenParent(const std::vector<std::string> &parts, size_t depth, std::string &why);
    int root_ = -1;
    bool blocked_ = false;  // the last OpenParent met a link or a file in the way
};

}  // namespace quorbenhal_cli
