// quorbenhal: lists, extracts and tests RAR archives from the command line.
// list and extract of one named file use the library's two entry operations
// (whose debug log tells why something failed); extracting a whole archive,
// testing, and reading an archive from standard input use archive handles.
//
// Exit status: 0 on success, 1 when the library (or writing the output)
// fails, 2 on bad usage.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <iterator>
#include <string>
#include <vector>

#include "listing.h"
#include "listing_format.h"
#include "log.h"
#include "quorbenhal.h"
#include "safe_extract.h"

namespace {

using namespace quorbenhal_cli;

constexpr int kOk = 0;
constexpr int kFailed = 1;
constexpr int kBadUsage = 2;

const char kUsage[] =
    "usage: quorbenhal list ARCHIVE\n"
    "       quorbenhal extract ARCHIVE NAME [-p PASSWORD] [-o FILE]\n"
    "       quorbenhal extract ARCHIVE [-p PASSWORD] [-d FOLDER] [-f]\n"
    "       quorbenhal test ARCHIVE [-p PASSWORD]\n"
    "       quorbenhal --help\n";

const char kHelp[] =
    "Lists a RAR 1.5-2.x archive, or extracts one file of it.\n"
    "\n"
    "  list ARCHIVE        one line per file entry: size, packed size, ratio,\n"
    "                      date and time, CRC-32, version needed, method,\n"
    "                      attributes, flags and name; then a total line\n"
    "  extract ARCHIVE NAME\n"
    "                      writes the file NAME to standard output; names match\n"
    "                      without regard to letter case, and / \\ _ match each other\n"
    "    -p PASSWORD       deciphers an encrypted file\n"
    "    -o FILE           writes to FILE instead; FILE appears only when the\n"
    "                      whole file was extracted\n"
    "  extract ARCHIVE     extracts every entry into the current folder, or\n"
    "                      into FOLDER with -d; folders are created, times set\n"
    "    -f                replaces existing files (otherwise they are kept)\n"
    "                      Names that would lead out of the folder (.., absolute\n"
    "                      paths, drive letters, symbolic links) are refused.\n"
    "  test ARCHIVE        checks every entry's CRC-32 and prints a summary\n"
    "\n"
    "ARCHIVE may be - for standard input. Progress goes to standard error when\n"
    "it is a terminal.\n"
    "\n"
    "Exit status: 0 on success, 1 when the archive or file cannot be read,\n"
    "2 on bad usage. The library's debug log tells why a file could not be read.\n";

int Usage(const char *problem) {
    std::fprintf(stderr, "quorbenhal: %s\n%s", problem, kUsage);
    return kBadUsage;
}

// The one line a failure prints: what went wrong and where to look.
int Failure(const std::string &what) {
    std::fprintf(stderr, "quorbenhal: %s (details in the debug log %s)\n", what.c_str(), RarDefaultLogPath());
    return kFailed;
}

struct Row {
    std::string name;
    uint64_t size, packed;
    uint32_t time, crc, attributes;
    uint8_t version, method, hostOs;
    uint16_t flags;
};

void CollectRow(const RarListEntry *e, uint16_t headerFlags, void *context) {
    static_cast<std::vector<Row> *>(context)->push_back({e->name ? e->name : "", e->unpackedSize, e->packedSize,
                                                          e->fileTime, e->fileCrc, e->attributes, e->unpackVersion,
                                                          e->method, e->hostOs, headerFlags});
}

// An archive read through a handle: a path, or "-" for standard input (read
// whole into memory, since the walk seeks).
struct OpenedArchive {
    RarArchive *archive = nullptr;
    std::string bytes;
    RarResult result = RAR_OK;
    ~OpenedArchive() { RarClose(archive); }
    OpenedArchive(const std::string &path, const char *password) {
        RarOptions options = RarDefaultOptions();
        options.password = password;
        if (path != "-") {
            result = RarOpenFile(&archive, path.c_str(), &options);
            return;
        }
        bytes.assign(std::istreambuf_iterator<char>(std::cin), std::istreambuf_iterator<char>());
        result = RarOpenMemory(&archive, bytes.data(), bytes.size(), &options);
    }
};

// An entry's name as the host shows and uses it: up to its first zero byte
// (a name stored with a Unicode form keeps that form after a zero byte).
std::string EntryName(const RarEntry &e) { return std::string(e.name, strnlen(e.name, e.nameSize)); }

int HandleFailure(const std::string &what, RarResult result, const RarArchive *archive) {
    const std::string message = archive != nullptr && *RarErrorMessage(archive) ? RarErrorMessage(archive) : RarResultText(result);
    std::fprintf(stderr, "quorbenhal: %s: %s\n", what.c_str(), message.c_str());
    return kFailed;
}

// Progress for long runs, when standard error is a terminal.
class Progress {
public:
    Progress() : shown_(isatty(STDERR_FILENO) != 0) {}
    ~Progress() {
        if (shown_ && drawn_) std::fputs("\r\033[K", stderr);
    }
    void Entry(const std::string &name) { name_ = name, ++entries_, Draw(); }
    void Bytes(uint64_t n) {
        bytes_ += n;
        if (bytes_ - drawnBytes_ >= (4u << 20)) Draw();
    }

private:
    void Draw() {
        if (!shown_) return;
        drawnBytes_ = bytes_;
        drawn_ = true;
        std::fprintf(stderr, "\r\033[K%u entries, %llu MB: %.60s", entries_, static_cast<unsigned long long>(bytes_ >> 20),
                     name_.c_str());
    }
    bool shown_, drawn_ = false;
    unsigned entries_ = 0;
    uint64_t bytes_ = 0, drawnBytes_ = 0;
    std::string name_;
};

int List(const char *archive) {
    std::vector<Row> rows;
    uint16_t archiveFlags = 0;
    if (std::string(archive) == "-") {
        OpenedArchive a(archive, nullptr);
        if (a.result != RAR_OK) return HandleFailure("cannot list standard input", a.result, nullptr);
        RarEntry e;
        RarResult r;
        while ((r = RarNextEntry(a.archive, &e)) == RAR_OK)
            rows.push_back({EntryName(e), e.size, e.packedSize, e.dosTime, e.crc, e.attributes,
                            e.unpackVersion, e.method, e.hostOs, e.flags});
        if (r != RAR_END) return HandleFailure("cannot list standard input", r, a.archive);
        archiveFlags = RarIsSolid(a.archive) ? kArchiveSolid : 0;
    } else {
        // The listing leaves the list pointer alone when the archive cannot
        // be read, and sets it (to null at least) once the archive is
        // accepted: that tells a failure from an archive without files.
        static RarListEntry notAccepted;
        RarListEntry *list = &notAccepted;
        RarListFilesVisit(archive, &list, CollectRow, &rows, &archiveFlags);
        if (list == &notAccepted)
            return Failure(std::string("cannot list \"") + archive + "\": it cannot be opened or is not a RAR archive");
        RarFreeList(list);
    }

    std::printf("Archive: %s%s\n", archive, (archiveFlags & kArchiveSolid) ? " (solid)" : "");
    std::printf("%10s %10s %5s  %-19s  %-8s  %-3s  %-7s  %-10s  %-20s  %s\n", "Size", "Packed", "Ratio", "Date       Time",
                "CRC-32", "Ver", "Method", "Attributes", "Flags", "Name");
    uint64_t size = 0, packed = 0;
    for (const Row &r : rows) {
        std::printf("%10llu %10llu %5s  %-19s  %-8s  %-3s  %-7s  %-10s  %-20s  %s\n", static_cast<unsigned long long>(r.size),
                    static_cast<unsigned long long>(r.packed), Ratio(r.packed, r.size).c_str(), DosDateTime(r.time).c_str(),
                    Crc(r.crc).c_str(), Version(r.version).c_str(), Method(r.method).c_str(),
                    Attributes(r.attributes, r.hostOs).c_str(), Flags(r.flags).c_str(), r.name.c_str());
        size += r.size;
        packed += r.packed;
    }
    std::printf("%10llu %10llu %5s  %zu file%s\n", static_cast<unsigned long long>(size),
                static_cast<unsigned long long>(packed), Ratio(packed, size).c_str(), rows.size(),
                rows.size() == 1 ? "" : "s");
    if (std::fflush(stdout) != 0) return Failure("cannot write the listing");
    return kOk;
}

// Checks every entry's CRC-32 by decoding it to nowhere.
int Test(const std::string &archive, const char *password) {
    OpenedArchive a(archive, password);
    if (a.result != RAR_OK) return HandleFailure("cannot test \"" + archive + "\"", a.result, nullptr);
    Progress progress;
    unsigned ok = 0, failed = 0;
    RarEntry e;
    RarResult r;
    while ((r = RarNextEntry(a.archive, &e)) == RAR_OK) {
        const std::string name = EntryName(e);
        progress.Entry(name);
        const RarResult x = RarExtractToCallback(a.archive, [](void *p, const void *, size_t n) {
            return static_cast<Progress *>(p)->Bytes(n), 0;
        }, &progress);
        if (x == RAR_OK) {
            ++ok;
            std::printf("OK      %s\n", name.c_str());
        } else {
            ++failed;
            std::printf("FAILED  %s: %s\n", name.c_str(), RarErrorMessage(a.archive));
        }
    }
    std::printf("%u entries tested: %u OK, %u failed\n", ok + failed, ok, failed);
    if (r != RAR_END) return HandleFailure("the archive's walk ended early", r, a.archive);
    return failed == 0 ? kOk : kFailed;
}

// Extracts every entry under folder; see safe_extract.h for the names it refuses.
int ExtractAll(const std::string &archive, const char *password, const std::string &folder, bool replace) {
    OpenedArchive a(archive, password);
    if (a.result != RAR_OK) return HandleFailure("cannot extract \"" + archive + "\"", a.result, nullptr);
    OutputTree tree;
    std::string why;
    if (!tree.Open(folder, why)) {
        std::fprintf(stderr, "quorbenhal: cannot open the folder \"%s\": %s\n", folder.c_str(), why.c_str());
        return kFailed;
    }
    Progress progress;
    unsigned done = 0, kept = 0, refused = 0, failed = 0;
    RarEntry e;
    RarResult r;
    while ((r = RarNextEntry(a.archive, &e)) == RAR_OK) {
        const std::string name = EntryName(e);
        progress.Entry(name);
        std::vector<std::string> parts;
        if (!SplitEntryPath(name, parts, why)) {
            ++refused;
            std::fprintf(stderr, "quorbenhal: refused \"%s\": %s\n", name.c_str(), why.c_str());
            continue;
        }
        if (e.isDirectory) {
            if (tree.MakeFolders(parts, why)) continue;
            ++refused;
            std::fprintf(stderr, "quorbenhal: refused \"%s\": %s\n", name.c_str(), why.c_str());
            continue;
        }
        // A Unix entry keeps its permission bits; others are read-write
        // unless marked read-only.
        const unsigned mode = e.hostOs == 3 ? (e.attributes & 0777) : (e.attributes & 1) ? 0444 : 0666;
        std::string failure;
        const auto written = tree.WriteFile(parts, replace, mode, DosTimeToUnix(e.dosTime), [&](const auto &write) {
            struct Sink {
                const std::function<bool(const void *, size_t)> &write;
                Progress &progress;
            } sink{write, progress};
            const RarResult x = RarExtractToCallback(a.archive, [](void *p, const void *data, size_t n) {
                auto *s = static_cast<Sink *>(p);
                s->progress.Bytes(n);
                return s->write(data, n) ? 0 : 1;
            }, &sink);
            if (x != RAR_OK) failure = RarErrorMessage(a.archive);
            return x == RAR_OK;
        }, why);
        if (written == OutputTree::Written::kDone) {
            ++done;
        } else if (written == OutputTree::Written::kRefused) {
            ++refused;
            std::fprintf(stderr, "quorbenhal: refused \"%s\": %s\n", name.c_str(), why.c_str());
        } else if (written == OutputTree::Written::kKept) {
            ++kept;
            std::fprintf(stderr, "quorbenhal: kept the existing \"%s\" (-f replaces it)\n", name.c_str());
        } else {
            ++failed;
            std::fprintf(stderr, "quorbenhal: cannot extract \"%s\": %s\n", name.c_str(),
                         (failure.empty() ? why : failure).c_str());
        }
    }
    std::printf("%u extracted, %u kept, %u refused, %u failed\n", done, kept, refused, failed);
    if (r != RAR_END) return HandleFailure("the archive's walk ended early", r, a.archive);
    return failed == 0 && refused == 0 ? kOk : kFailed;
}

bool WriteAll(int fd, const unsigned char *data, size_t size) {
    while (size > 0) {
        const ssize_t n = write(fd, data, size);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        data += n;
        size -= static_cast<size_t>(n);
    }
    return true;
}

// Writes the file beside its final name and renames it into place, so that a
// failure leaves no half-written file behind.
bool WriteFileAtomically(const std::string &path, const unsigned char *data, size_t size, std::string &error) {
    std::string temp = path + ".partXXXXXX";
    const int fd = mkstemp(temp.data());
    if (fd < 0) {
        error = std::strerror(errno);
        return false;
    }
    bool ok = WriteAll(fd, data, size);
    if (!ok) error = std::strerror(errno);
    // mkstemp creates the file readable by its owner only; give it the
    // permissions a newly created file normally gets.
    const mode_t mask = umask(0);
    umask(mask);
    if (ok && fchmod(fd, 0666 & ~mask) != 0) {
        error = std::strerror(errno);
        ok = false;
    }
    if (close(fd) != 0 && ok) {
        error = std::strerror(errno);
        ok = false;
    }
    if (ok && std::rename(temp.c_str(), path.c_str()) != 0) {
        error = std::strerror(errno);
        ok = false;
    }
    if (!ok) std::remove(temp.c_str());
    return ok;
}

// One named file (to standard output or -o FILE), or with no name every
// entry into a folder.
int Extract(int argc, char **argv) {
    std::vector<std::string> positional;
    const char *password = nullptr;
    const char *output = nullptr;
    const char *folder = nullptr;
    bool replace = false;
    bool optionsEnded = false;
    for (int i = 0; i < argc; ++i) {
        const std::string arg = argv[i];
        if (!optionsEnded && (arg == "-p" || arg == "-o" || arg == "-d")) {
            if (i + 1 >= argc) return Usage(("option " + arg + " needs a value").c_str());
            (arg == "-p" ? password : arg == "-o" ? output : folder) = argv[++i];
        } else if (!optionsEnded && arg == "-f") {
            replace = true;
        } else if (!optionsEnded && arg == "--") {
            optionsEnded = true;
        } else if (!optionsEnded && arg.size() > 1 && arg[0] == '-') {
            return Usage(("unknown option " + arg).c_str());
        } else {
            positional.push_back(arg);
        }
    }
    if (positional.size() == 1) {
        if (output) return Usage("-o needs a file name to extract");
        return ExtractAll(positional[0], password, folder ? folder : ".", replace);
    }
    if (positional.size() != 2) return Usage("extract needs an archive and at most one file name");
    if (folder || replace) return Usage("-d and -f are for extracting a whole archive");
    const std::string &archive = positional[0], &name = positional[1];

    unsigned char *data = nullptr;
    size_t size = 0;
    void *fromHandle = nullptr;
    if (archive == "-") {
        OpenedArchive a(archive, password);
        if (a.result != RAR_OK) return HandleFailure("cannot read standard input", a.result, nullptr);
        RarEntry e;
        uint64_t size64 = 0;
        RarResult r = RarFindEntry(a.archive, name.c_str(), &e);
        if (r == RAR_OK) r = RarExtractToNew(a.archive, &fromHandle, &size64);
        if (r != RAR_OK) return HandleFailure("cannot extract \"" + name + "\"", r, a.archive);
        data = static_cast<unsigned char *>(fromHandle);
        size = static_cast<size_t>(size64);
    } else {
        uint32_t size32 = 0;
        if (RarExtractToMemory(&data, &size32, name.c_str(), archive.c_str(), password) != 1)
            return Failure("cannot extract \"" + name + "\" from \"" + archive +
                           "\": not found, damaged, or a wrong password");
        size = size32;
    }

    std::string error;
    bool ok;
    if (output) {
        ok = WriteFileAtomically(output, data, size, error);
    } else {
        ok = WriteAll(STDOUT_FILENO, data, size);
        if (!ok) error = std::strerror(errno);
    }
    if (fromHandle != nullptr) {
        RarFreeBuffer(fromHandle);
    } else {
        std::free(data);
    }
    if (!ok) {
        std::fprintf(stderr, "quorbenhal: cannot write %s: %s\n", output ? output : "to standard output",
                     error.c_str());
        return kFailed;
    }
    return kOk;
}

}  // namespace

int main(int argc, char **argv) {
    if (argc < 2) return Usage("no command given");
    const std::string command = argv[1];
    if (command == "--help" || command == "-h") {
        std::printf("%s\n%s", kUsage, kHelp);
        return kOk;
    }
    if (command == "list") {
        if (argc != 3) return Usage("list needs exactly one archive");
        return List(argv[2]);
    }
    if (command == "extract") return Extract(argc - 2, argv + 2);
    if (command == "test") {
        const char *password = nullptr;
        std::vector<std::string> positional;
        for (int i = 2; i < argc; ++i) {
            const std::string arg = argv[i];
            if (arg == "-p" && i + 1 < argc) {
                password = argv[++i];
            } else if (arg.size() > 1 && arg[0] == '-') {
                return Usage(("unknown option or missing value: " + arg).c_str());
            } else {
                positional.push_back(arg);
            }
        }
        if (positional.size() != 1) return Usage("test needs exactly one archive");
        return Test(positional[0], password);
    }
    return Usage(("unknown command \"" + command + "\"").c_str());
}
