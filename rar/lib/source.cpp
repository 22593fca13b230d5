// The three byte sources behind one read and one seek.
#include "source.h"

#include <string.h>

namespace quorbenhal {

namespace {

bool SeekFile(FILE *file, int64_t offset, int origin) {
#ifdef _WIN32
    return _fseeki64(file, offset, origin) == 0;
#else
    return fseeko(file, static_cast<off_t>(offset), origin) == 0;
#endif
}

int64_t TellFile(FILE *file) {
#ifdef _WIN32
    return _ftelli64(file);
#else
    return static_cast<int64_t>(ftello(file));
#endif
}

bool TakeFile(Source &source, FILE *file) {
    if (file == nullptr) return false;
    source = Source{};
    source.kind = Source::kFile;
    source.file = file;
    if (SeekFile(file, 0, SEEK_END)) source.size = TellFile(file);
    SeekFile(file, 0, SEEK_SET);
    return true;
}

}  // namespace

bool OpenFileSource(Source &source, const char *path) { return TakeFile(source, fopen(path, "rb")); }

#ifdef _WIN32
bool OpenWideFileSource(Source &source, const wchar_t *path) { return TakeFile(source, _wfopen(path, L"rb")); }
#endif

void OpenMemorySource(Source &source, const void *data, size_t size) {
    source = Source{};
    source.kind = Source::kMemory;
    source.data = static_cast<const uint8_t *>(data);
    source.size = static_cast<int64_t>(size);
}

void OpenStreamSource(Source &source, const RarStream &stream) {
    source = Source{};
    source.kind = Source::kStream;
    source.stream = stream;
    source.size = stream.size;
}

void CloseSource(Source &source) {
    if (source.kind == Source::kFile && source.file != nullptr) fclose(source.file);
    source = Source{};
}

int64_t SourceRead(Source &source, void *buffer, size_t count) {
    if (count == 0) return 0;
    int64_t got = 0;
    switch (source.kind) {
    case Source::kFile: {
        got = static_cast<int64_t>(fread(buffer, 1, count, source.file));
        if (ferror(source.file)) {
            clearerr(source.file);
            return -1;
        }
        break;
    }
    case Source::kMemory: {
        if (source.position < source.size) {
            int64_t left = source.size - source.position;
            got = static_cast<int64_t>(count) < left ? static_cast<int64_t>(count) : left;
            memcpy(buffer, source.data + source.position, static_cast<size_t>(got));
        }
        break;
    }
    case Source::kStream: {
        // A callback may return fewer bytes than asked before the end: ask
        // again until the count is complete or it reports the end.
        uint8_t *to = static_cast<uint8_t *>(buffer);
        while (static_cast<size_t>(got) < count) {
            int64_t n = source.stream.read(source.stream.user, to + got, count - static_cast<size_t>(got));
            if (n < 0 || n > static_cast<int64_t>(count) - got) return -1;
            if (n == 0) break;
            got += n;
        }
        break;
    }
    case Source::kNone:
        return -1;
    }
    source.position += got;
    return got;
}

bool SourceSeek(Source &source, int64_t offset) {
    if (offset < 0) return false;
    bool ok = false;
    switch (source.kind) {
    case Source::kFile:
        ok = SeekFile(source.file, offset, SEEK_SET);
        break;
    case Source::kMemory:
        ok = true;
        break;
    case Source::kStream:
        ok = source.stream.seek(source.stream.user, offset) == 0;
        break;
    case Source::kNone:
        break;
    }
    if (ok) source.position = offset;
    return ok;
}

}  // namespace quorbenhal
