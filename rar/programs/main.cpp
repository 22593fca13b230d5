// quorbenhal: lists a RAR archive or extracts one file of it, from the
// command line, through the library's two entry operations.
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
#include <string>
#include <vector>

#include "listing_format.h"
#include "quorbenhal.h"
#include "listing.h"
#include "log.h"

namespace {

using namespace quorbenhal_cli;

constexpr int kOk = 0;
constexpr int kFailed = 1;
constexpr int kBadUsage = 2;

const char kUsage[] =
    "usage: quorbenhal list ARCHIVE\n"
    "       quorbenhal extract ARCHIVE NAME [-p PASSWORD] [-o FILE]\n"
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
    RarListEntry entry;
    uint16_t flags;
};

void CollectRow(const RarListEntry *entry, uint16_t headerFlags, void *context) {
    auto *rows = static_cast<std::vector<Row> *>(context);
    rows->push_back({entry->name ? entry->name : "", *entry, headerFlags});
}

int List(const char *archive) {
    // The listing leaves the list pointer alone when the archive cannot be
    // read, and sets it (to null at least) once the archive is accepted:
    // that tells a failure from an archive without files.
    static RarListEntry notAccepted;
    RarListEntry *list = &notAccepted;
    std::vector<Row> rows;
    uint16_t archiveFlags = 0;
    const int count = RarListFilesVisit(archive, &list, CollectRow, &rows, &archiveFlags);
    if (list == &notAccepted) return Failure(std::string("cannot list \"") + archive + "\": it cannot be opened or is not a RAR archive");
    RarFreeList(list);
    (void)count;

    std::printf("Archive: %s%s\n", archive, (archiveFlags & kArchiveSolid) ? " (solid)" : "");
    std::printf("%10s %10s %5s  %-19s  %-8s  %-3s  %-7s  %-10s  %-20s  %s\n", "Size", "Packed", "Ratio", "Date       Time",
                "CRC-32", "Ver", "Method", "Attributes", "Flags", "Name");
    uint64_t size = 0, packed = 0;
    for (const Row &r : rows) {
        const RarListEntry &e = r.entry;
        std::printf("%10u %10u %5s  %-19s  %-8s  %-3s  %-7s  %-10s  %-20s  %s\n", e.unpackedSize, e.packedSize,
                    Ratio(e.packedSize, e.unpackedSize).c_str(), DosDateTime(e.fileTime).c_str(), Crc(e.fileCrc).c_str(),
                    Version(e.unpackVersion).c_str(), Method(e.method).c_str(),
                    Attributes(e.attributes, e.hostOs).c_str(), Flags(r.flags).c_str(), r.name.c_str());
        size += e.unpackedSize;
        packed += e.packedSize;
    }
    std::printf("%10llu %10llu %5s  %zu file%s\n", static_cast<unsigned long long>(size),
                static_cast<unsigned long long>(packed), Ratio(packed, size).c_str(), rows.size(),
                rows.size() == 1 ? "" : "s");
    if (std::fflush(stdout) != 0) return Failure("cannot write the listing");
    return kOk;
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

int Extract(int argc, char **argv) {
    std::vector<std::string> positional;
    const char *password = nullptr;
    const char *output = nullptr;
    bool optionsEnded = false;
    for (int i = 0; i < argc; ++i) {
        const std::string arg = argv[i];
        if (!optionsEnded && (arg == "-p" || arg == "-o")) {
            if (i + 1 >= argc) return Usage(("option " + arg + " needs a value").c_str());
            (arg == "-p" ? password : output) = argv[++i];
        } else if (!optionsEnded && arg == "--") {
            optionsEnded = true;
        } else if (!optionsEnded && arg.size() > 1 && arg[0] == '-') {
            return Usage(("unknown option " + arg).c_str());
        } else {
            positional.push_back(arg);
        }
    }
    if (positional.size() != 2) return Usage("extract needs an archive and a file name");
    const std::string &archive = positional[0], &name = positional[1];

    unsigned char *data = nullptr;
    uint32_t size = 0;
    if (RarExtractToMemory(&data, &size, name.c_str(), archive.c_str(), password) != 1)
        return Failure("cannot extract \"" + name + "\" from \"" + archive +
                       "\": not found, damaged, or a wrong password");

    std::string error;
    bool ok;
    if (output) {
        ok = WriteFileAtomically(output, data, size, error);
    } else {
        ok = WriteAll(STDOUT_FILENO, data, size);
        if (!ok) error = std::strerror(errno);
    }
    std::free(data);
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
    return Usage(("unknown command \"" + command + "\"").c_str());
}
