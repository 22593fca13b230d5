// The library's debug log: a plain-text trace of every extraction asked for,
// every failure and every result, with the milliseconds since the log was
// started and the source position of the call that wrote each entry.
#pragma once

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

// The path of the log on this platform: "C:\temp\debug_unrar.txt" on Windows;
// elsewhere "debug_unrar.txt" in $TMPDIR, or in /tmp when $TMPDIR is unset or
// empty. Once the log has been started in this process, the path it was
// started with. The text lives in a static buffer that the next call may
// overwrite.
const char *RarDefaultLogPath(void);

#ifdef __cplusplus
}
#endif

#ifdef __cplusplus
namespace quorbenhal {

// Log state, one instance for the process.
extern int32_t logNotStarted;  // 1 until an entry operation first starts the log
extern int32_t logEnabled;     // 1 once the file was created; entries are written only then
extern char logPath[256];
extern uint32_t logStartMs;

// Composed messages are cut to this many bytes (terminator included).
constexpr size_t kLogMessageSize = 500;

// Starts the log: records the start time, creates (empties) the file at path
// and writes the banner and the build line. When the file cannot be created
// that way, or path does not fit logPath, there is no log for this process.
void RarLogStart(const char *path);

// Appends one entry. sourceFile may be a full path; the entry names its base name.
void RarLogWrite(const char *text, const char *sourceFile, unsigned line);

// printf-style variant: the message is composed in a kLogMessageSize buffer
// and cut to it.
void RarLogWriteFormat(const char *sourceFile, unsigned line, const char *format, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 3, 4)))
#endif
    ;

// Formats one entry exactly as it is written to the file. Returns the length
// the entry needs (like snprintf); the text in buffer is cut to size.
int FormatLogEntry(char *buffer, size_t size, uint32_t elapsedMs, unsigned line,
                   const char *sourceFile, const char *text);

// The base name of a source path ("rar/extract.cpp" gives "extract.cpp").
const char *SourceBaseName(const char *path);

// The millisecond tick count: a monotonic clock, wrapping at 2^32.
uint32_t LogTickMs();

}  // namespace quorbenhal

#define RAR_LOG(text) ::quorbenhal::RarLogWrite((text), __FILE__, __LINE__)
#define RAR_LOGF(...) ::quorbenhal::RarLogWriteFormat(__FILE__, __LINE__, __VA_ARGS__)
#endif
