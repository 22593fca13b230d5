#include "safe_extract.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <ctime>
#include <random>

namespace quorbenhal_cli {

bool SplitEntryPath(const std::string &name, std::vector<std::string> &parts, std::string &why) {
    parts.clear();
    if (name.empty()) return why = "the name is empty", false;
    if (name.find('\0') != std::string::npos) return why = "the name holds a zero byte", false;
    if (name[0] == '/' || name[0] == '\\') return why = "the name is an absolute path", false;
    std::string part;
    for (size_t i = 0; i <= name.size(); ++i) {
        if (i < name.size() && name[i] != '/' && name[i] != '\\') {
            part += name[i];
            continue;
        }
        // A trailing separator (a folder's name) ends nothing more.
        if (part.empty() && i == name.size() && !parts.empty()) break;
        if (part.empty()) return why = "the name has an empty component", false;
        if (part == "." || part == "..") return why = "the name has a \"" + part + "\" component", false;
        if (part.find(':') != std::string::npos) return why = "the name has a drive letter or stream (\":\")", false;
        parts.push_back(part);
        part.clear();
    }
    return true;
}

int64_t DosTimeToUnix(uint32_t dosTime) {
    struct tm t = {};
    t.tm_year = static_cast<int>((dosTime >> 25) + 80);
    t.tm_mon = static_cast<int>((dosTime >> 21) & 15) - 1;
    t.tm_mday = static_cast<int>((dosTime >> 16) & 31);
    t.tm_hour = static_cast<int>((dosTime >> 11) & 31);
    t.tm_min = static_cast<int>((dosTime >> 5) & 63);
    t.tm_sec = static_cast<int>((dosTime & 31) * 2);
    t.tm_isdst = -1;
    return static_cast<int64_t>(mktime(&t));
}

OutputTree::~OutputTree() {
    if (root_ >= 0) close(root_);
}

bool OutputTree::Open(const std::string &folder, std::string &why) {
    if (mkdir(folder.c_str(), 0777) != 0 && errno != EEXIST) return why = std::strerror(errno), false;
    root_ = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (root_ < 0) return why = std::strerror(errno), false;
    return true;
}

int OutputTree::OpenParent(const std::vector<std::string> &parts, size_t depth, std::string &why) {
    blocked_ = false;
    int fd = dup(root_);
    for (size_t i = 0; i < depth && fd >= 0; ++i) {
        if (mkdirat(fd, parts[i].c_str(), 0777) != 0 && errno != EEXIST) {
            why = "cannot create folder \"" + parts[i] + "\": " + std::strerror(errno);
            close(fd);
            return -1;
        }
        // O_NOFOLLOW: a symbolic link in the way is refused, never followed.
        const int next = openat(fd, parts[i].c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        const int error = errno;
        close(fd);
        if (next < 0) {
            blocked_ = error == ELOOP || error == ENOTDIR;
            why = "\"" + parts[i] + "\" " +
                  (error == ELOOP || error == ENOTDIR ? std::string("is a symbolic link or not a folder")
                                                      : std::string(std::strerror(error)));
            return -1;
        }
        fd = next;
    }
    return fd;
}

bool OutputTree::MakeFolders(const std::vector<std::string> &parts, std::string &why) {
    const int fd = OpenParent(parts, parts.size(), why);
    if (fd < 0) return false;
    close(fd);
    return true;
}

OutputTree::Written OutputTree::WriteFile(
    const std::vector<std::string> &parts, bool replace, unsigned mode, int64_t mtime,
    const std::function<bool(const std::function<bool(const void *, size_t)> &)> &fill, std::string &why) {
    const int dir = OpenParent(parts, parts.size() - 1, why);
    if (dir < 0) return blocked_ ? Written::kRefused : Written::kFailed;
    const std::string &leaf = parts.back();
    struct stat existing;
    if (!replace && fstatat(dir, leaf.c_str(), &existing, AT_SYMLINK_NOFOLLOW) == 0) {
        close(dir);
        return Written::kKept;
    }
    std::string temp;
    int fd = -1;
    std::random_device random;
    for (int attempt = 0; attempt < 100 && fd < 0; ++attempt) {
        temp = ".quorbenhal-" + std::to_string(random());
        fd = openat(dir, temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    }
    if (fd < 0) {
        why = std::string("cannot create a file: ") + std::strerror(errno);
        close(dir);
        return Written::kFailed;
    }
    bool ok = fill([&](const void *data, size_t size) {
        const char *p = static_cast<const char *>(data);
        while (size > 0) {
            const ssize_t n = write(fd, p, size);
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) return why = std::string("cannot write: ") + std::strerror(errno), false;
            p += n;
            size -= static_cast<size_t>(n);
        }
        return true;
    });
    const mode_t mask = umask(0);
    umask(mask);
    const struct timespec times[2] = {{0, UTIME_NOW}, {static_cast<time_t>(mtime), 0}};
    if (ok && (fchmod(fd, mode & ~mask & 07777) != 0 || futimens(fd, times) != 0)) {
        why = std::strerror(errno);
        ok = false;
    }
    if (close(fd) != 0 && ok) {
        why = std::strerror(errno);
        ok = false;
    }
    // Into place: linkat never replaces (a name that appeared meanwhile is
    // kept); renameat replaces the name itself, a symbolic link included,
    // without following it.
    if (ok && !replace && linkat(dir, temp.c_str(), dir, leaf.c_str(), 0) != 0) {
        const int error = errno;
        unlinkat(dir, temp.c_str(), 0);
        close(dir);
        if (error == EEXIST) return Written::kKept;
        why = std::strerror(error);
        return Written::kFailed;
    }
    if (ok && replace && renameat(dir, temp.c_str(), dir, leaf.c_str()) != 0) {
        why = std::strerror(errno);
        ok = false;
    }
    if (!ok || !replace) unlinkat(dir, temp.c_str(), 0);
    close(dir);
    return ok ? Written::kDone : Written::kFailed;
}

}  // namespace quorbenhal_cli
