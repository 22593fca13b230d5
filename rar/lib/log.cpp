// The debug log. Every entry opens the file, appends and closes it again, so
// each entry is on disk when the call returns and another program may read
// the file between entries.
//
// The log holds passwords in clear. Outside Windows it therefore lives in the
// user's temporary folder, is created readable by its owner only and is never
// opened through a symbolic link or when someone else owns it: a planted link
// or file in a shared /tmp must not receive the passwords.
#include "log.h"

#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#ifdef _WIN32
extern "C" __declspec(dllimport) unsigned long __stdcall GetTickCount(void);
#else
#include <fcntl.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>
#endif

namespace quorbenhal {

int32_t logNotStarted = 1;
int32_t logEnabled = 0;
char logPath[256];
uint32_t logStartMs;

namespace {

const char kBanner[] =
    "Debug log of Talvik's Quorbenhal\n"
    "~^~~~~~~~~~~~~~~~~~~~~~~~~~~~~^~\n";

#ifdef _WIN32
FILE *OpenLogFile(bool create) { return fopen(logPath, create ? "w" : "a"); }
#else
// Opens logPath for writing without following a symbolic link, and only when
// it is a regular file of ours with no other name (a hard link planted in a
// shared folder could point at another of our files). create empties it (or
// makes it, mode 0600); otherwise the entry is appended (the file is made
// again if it went away). O_NONBLOCK keeps a planted FIFO from hanging the
// host; it changes nothing for a regular file.
FILE *OpenLogFile(bool create) {
    int flags = O_WRONLY | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC | (create ? 0 : O_APPEND);
    int fd = open(logPath, flags, 0600);
    if (fd < 0) return nullptr;
    struct stat info;
    bool ours = fstat(fd, &info) == 0 && S_ISREG(info.st_mode) && info.st_uid == geteuid() &&
                info.st_nlink == 1;
    // An older file may have been readable by others: narrow it before
    // anything is written into it.
    if (!ours || fchmod(fd, 0600) != 0 || (create && ftruncate(fd, 0) != 0)) {
        close(fd);
        return nullptr;
    }
    FILE *file = fdopen(fd, "a");
    if (file == nullptr) close(fd);
    return file;
}
#endif

}  // namespace

uint32_t LogTickMs() {
#ifdef _WIN32
    return static_cast<uint32_t>(GetTickCount());
#else
    struct timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<uint32_t>(static_cast<uint64_t>(now.tv_sec) * 1000u +
                                 static_cast<uint64_t>(now.tv_nsec) / 1000000u);
#endif
}

const char *SourceBaseName(const char *path) {
    if (path == nullptr) return "";
    const char *base = path;
    for (const char *p = path; *p != '\0'; ++p) {
        if (*p == '/' || *p == '\\') base = p + 1;
    }
    return base;
}

int FormatLogEntry(char *buffer, size_t size, uint32_t elapsedMs, unsigned line,
                   const char *sourceFile, const char *text) {
    return snprintf(buffer, size, " %8u ms (line %u in %s):\n              - %s\n",
                    static_cast<unsigned>(elapsedMs), line, SourceBaseName(sourceFile),
                    text != nullptr ? text : "");
}

void RarLogStart(const char *path) {
    const char *buildDate = __DATE__;
    const char *buildTime = __TIME__;
    logStartMs = LogTickMs();
    logEnabled = 0;
    logPath[0] = '\0';
    if (path == nullptr || strlen(path) >= sizeof logPath) return;
    memcpy(logPath, path, strlen(path) + 1);
    FILE *file = OpenLogFile(true);
    if (file == nullptr) return;
    logEnabled = 1;
    fputs(kBanner, file);
    fprintf(file, "(executable compiled on %s at %s)\n\n", buildDate, buildTime);
    fclose(file);
}

void RarLogWrite(const char *text, const char *sourceFile, unsigned line) {
    if (!logEnabled) return;
    FILE *file = OpenLogFile(false);
    if (file == nullptr) return;
    uint32_t elapsed = LogTickMs() - logStartMs;
    char local[1024];
    int needed = FormatLogEntry(local, sizeof local, elapsed, line, sourceFile, text);
    if (needed >= 0 && static_cast<size_t>(needed) < sizeof local) {
        fputs(local, file);
    } else if (needed >= 0) {
        // A caller's constant text longer than the local buffer.
        char *big = static_cast<char *>(malloc(static_cast<size_t>(needed) + 1));
        if (big != nullptr) {
            FormatLogEntry(big, static_cast<size_t>(needed) + 1, elapsed, line, sourceFile, text);
            fputs(big, file);
            free(big);
        }
    }
    fclose(file);
}

void RarLogWriteFormat(const char *sourceFile, unsigned line, const char *format, ...) {
    char message[kLogMessageSize];
    va_list args;
    va_start(args, format);
    vsnprintf(message, sizeof message, format, args);
    va_end(args);
    RarLogWrite(message, sourceFile, line);
}

}  // namespace quorbenhal

extern "C" const char *RarDefaultLogPath(void) {
    using namespace quorbenhal;
    if (!logNotStarted && logPath[0] != '\0') return logPath;
#ifdef _WIN32
    return "C:\\temp\\debug_unrar.txt";
#else
    static char path[4096];
    const char *dir = getenv("TMPDIR");
    if (dir == nullptr || dir[0] == '\0') dir = "/tmp";
    // A folder name too long for the log's path buffer gives a path that the
    // log refuses, never a log somewhere else.
    snprintf(path, sizeof path, "%s/debug_unrar.txt", dir);
    return path;
#endif
}
