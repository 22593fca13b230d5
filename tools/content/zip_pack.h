// Writes a ZIP archive whose bytes depend only on its members: deflated
// members in the given order, with one fixed date and no extra fields.
#pragma once

#include <string>
#include <vector>

namespace content {

struct PackMember {
    std::string name;   // stored name, e.g. "data/I4.tga"
    std::string bytes;  // contents
};

// Writes `members` to a new archive at `path` (replacing any file there).
// Throws std::invalid_argument for an empty member list (an archive with no
// entries cannot be opened by minizip's reader), std::runtime_error with
// the failing step when writing fails; a failed write leaves no file.
void WriteZipPack(const std::string &path, const std::vector<PackMember> &members);

}  // namespace content
