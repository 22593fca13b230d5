// rar_bench: extraction throughput of the library per content class, next to
// zlib's inflate (level 6) of the same content in the same run.
//
// Each class (text, records, binary with long-distance matches, poorly
// compressible data, and multimedia of 1, 2 and 4 channels at 8 and 16 bits)
// is packed by the archive writer into two archives of four files: one
// non-solid, one solid. A run extracts every entry through a handle on the
// archive in memory (RarExtractToNew, the whole-entry path), and inflates the
// same files (one zlib stream per file; one stream for the solid group).
// Every extraction is checked against the content, outside the timed span.
//
// The figure is the best of the runs, in MB/s of output (MB = 10^6 bytes),
// from the thread's CPU time (steady on a shared machine) and from the wall
// clock. The ratio is the library's CPU figure over zlib's of the same class.
// The mixed total is all bytes over the sum of the classes' best times.
//
// Usage: rar_bench [--runs N] [--mib N] [--only TEXT]
//   N MiB of content per class; --only measures the classes whose name
//   contains TEXT (for a profiler: valgrind --tool=callgrind rar_bench --runs 1 --only text)
#include <zlib.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include <time.h>

#include "quorbenhal.h"
#include "rar_writer.h"
#include "sample_content.h"

namespace {

// Wall clock and this thread's CPU time, in seconds.
struct Stamp {
    double wall, cpu;
    static Stamp Now() {
        timespec w, c;
        clock_gettime(CLOCK_MONOTONIC, &w);
        clock_gettime(CLOCK_THREAD_CPUTIME_ID, &c);
        return {w.tv_sec + w.tv_nsec * 1e-9, c.tv_sec + c.tv_nsec * 1e-9};
    }
};

struct Span {
    double wall = 0, cpu = 0;
    void Add(const Stamp &from, const Stamp &to) {
        wall += to.wall - from.wall;
        cpu += to.cpu - from.cpu;
    }
};

struct ContentClass {
    const char *name;
    int channels;  // multimedia byte channels for the writer; 0: LZ
    std::vector<std::string> files;
};

std::vector<ContentClass> MakeClasses(size_t mib, const std::string &only) {
    using namespace rarwriter::samples;
    const size_t part = mib * 1024 * 1024 / 4;
    std::vector<ContentClass> classes = {
        {"text", 0, {}},          {"records", 0, {}},      {"far binary", 0, {}},   {"incompressible", 0, {}},
        {"audio 8-bit 1ch", 1, {}}, {"audio 8-bit 2ch", 2, {}}, {"audio 16-bit 1ch", 2, {}},
        {"audio 16-bit 2ch", 4, {}},
    };
    std::erase_if(classes, [&](const ContentClass &c) { return std::string(c.name).find(only) == std::string::npos; });
    for (uint32_t i = 0; i < 4; ++i) {
        const uint32_t seed = 7 + i;
        for (ContentClass &c : classes) {
            const std::string name = c.name;
            c.files.push_back(name == "text"               ? Text(part, seed)
                              : name == "records"          ? Records(part, seed)
                              : name == "far binary"       ? FarRepeats(part, seed)
                              : name == "incompressible"   ? Random(part, seed)
                              : name == "audio 8-bit 1ch"  ? Pcm(part, 1, 1, seed)
                              : name == "audio 8-bit 2ch"  ? Pcm(part, 2, 1, seed)
                              : name == "audio 16-bit 1ch" ? Pcm(part, 1, 2, seed)
                                                           : Pcm(part, 2, 2, seed));
        }
    }
    return classes;
}

std::string Deflate(const std::string &data) {
    uLongf size = compressBound(static_cast<uLong>(data.size()));
    std::string out(size, '\0');
    if (compress2(reinterpret_cast<Bytef *>(out.data()), &size, reinterpret_cast<const Bytef *>(data.data()),
                  static_cast<uLong>(data.size()), 6) != Z_OK) {
        std::fprintf(stderr, "rar_bench: zlib compression failed\n");
        std::exit(1);
    }
    out.resize(size);
    return out;
}

// One archive's or one set of zlib streams' measurement.
struct Case {
    std::string archive;
    std::vector<std::string> zlibStreams;
    std::vector<const std::string *> expected;  // per entry, or per zlib stream
    std::vector<std::string> zlibExpected;
    size_t bytes = 0;
    Span bestRar{1e9, 1e9}, bestZlib{1e9, 1e9};
};

Span ExtractAll(const Case &c) {
    RarArchive *a = nullptr;
    if (RarOpenMemory(&a, c.archive.data(), c.archive.size(), nullptr) != RAR_OK) {
        std::fprintf(stderr, "rar_bench: cannot open an archive\n");
        std::exit(1);
    }
    Span span;
    RarEntry e;
    for (size_t i = 0; RarNextEntry(a, &e) == RAR_OK; ++i) {
        void *data = nullptr;
        uint64_t size = 0;
        const Stamp from = Stamp::Now();
        const RarResult r = RarExtractToNew(a, &data, &size);
        span.Add(from, Stamp::Now());
        if (r != RAR_OK || i >= c.expected.size() || size != c.expected[i]->size() ||
            std::memcmp(data, c.expected[i]->data(), size) != 0) {
            std::fprintf(stderr, "rar_bench: extraction of %s failed: %s\n", e.name, RarErrorMessage(a));
            std::exit(1);
        }
        RarFreeBuffer(data);
    }
    RarClose(a);
    return span;
}

Span InflateAll(const Case &c, std::vector<unsigned char> &out) {
    Span span;
    for (size_t s = 0; s < c.zlibStreams.size(); ++s) {
        const std::string &want = c.zlibExpected[s];
        out.resize(want.size());
        uLongf size = static_cast<uLongf>(out.size());
        const Stamp from = Stamp::Now();
        const int r = uncompress(out.data(), &size, reinterpret_cast<const Bytef *>(c.zlibStreams[s].data()),
                                 static_cast<uLong>(c.zlibStreams[s].size()));
        span.Add(from, Stamp::Now());
        if (r != Z_OK || size != want.size() || std::memcmp(out.data(), want.data(), size) != 0) {
            std::fprintf(stderr, "rar_bench: zlib inflate failed\n");
            std::exit(1);
        }
    }
    return span;
}

void KeepBest(Span &best, const Span &s) {
    best.wall = std::min(best.wall, s.wall);
    best.cpu = std::min(best.cpu, s.cpu);
}

}  // namespace

int main(int argc, char **argv) {
    int runs = 5;
    long mib = 4;
    std::string only;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--only" && i + 1 < argc) {
            only = argv[++i];
        } else if ((arg == "--runs" || arg == "--mib") && i + 1 < argc) {
            const long v = std::strtol(argv[++i], nullptr, 10);
            if (v <= 0 || v > 1000) {
                std::fprintf(stderr, "rar_bench: %s needs a number from 1 to 1000\n", arg.c_str());
                return 2;
            }
            if (arg == "--runs") runs = static_cast<int>(v);
            else mib = v;
        } else {
            std::fprintf(stderr, "usage: rar_bench [--runs N] [--mib N] [--only TEXT]\n");
            return 2;
        }
    }

    const std::vector<ContentClass> classes = MakeClasses(static_cast<size_t>(mib), only);
    // cases[2k] is class k non-solid, cases[2k + 1] the same files solid.
    std::vector<Case> cases;
    for (const ContentClass &cc : classes) {
        for (bool solid : {false, true}) {
            Case c;
            rarwriter::ArchiveSpec layout;
            layout.solid = solid;
            std::string group;
            for (size_t i = 0; i < cc.files.size(); ++i) {
                rarwriter::CompressOptions o;
                if (cc.channels) o.segments = {{1u << 31, cc.channels}};
                std::string name = "file0";
                name.back() = static_cast<char>('0' + i);
                layout.entries.push_back(rarwriter::Compressed(name, cc.files[i], o));
                c.expected.push_back(&cc.files[i]);
                c.bytes += cc.files[i].size();
                if (solid) {
                    group += cc.files[i];
                } else {
                    c.zlibStreams.push_back(Deflate(cc.files[i]));
                    c.zlibExpected.push_back(cc.files[i]);
                }
            }
            if (solid) {
                c.zlibStreams.push_back(Deflate(group));
                c.zlibExpected.push_back(std::move(group));
            }
            c.archive = rarwriter::BuildArchive(layout);
            cases.push_back(std::move(c));
        }
    }

    std::vector<unsigned char> scratch;
    for (int run = 0; run < runs; ++run) {
        for (Case &c : cases) {
            KeepBest(c.bestRar, ExtractAll(c));
            KeepBest(c.bestZlib, InflateAll(c, scratch));
        }
    }

    std::printf("%ld MiB per class and kind, best of %d runs; MB/s of output (CPU time / wall clock)\n", mib, runs);
    std::printf("%-18s %-9s %8s %8s %8s %8s %7s %7s\n", "class", "kind", "lib cpu", "lib wall", "zlib cpu",
                "zlib wl", "ratio", "packed");
    for (int solid = 0; solid < 2; ++solid) {
        Span rarTotal, zlibTotal;
        size_t bytes = 0;
        for (size_t k = 0; k < classes.size(); ++k) {
            const Case &c = cases[2 * k + solid];
            const double mb = c.bytes / 1e6;
            std::printf("%-18s %-9s %8.1f %8.1f %8.1f %8.1f %6.2fx %6.1f%%\n", classes[k].name,
                        solid ? "solid" : "non-solid", mb / c.bestRar.cpu, mb / c.bestRar.wall, mb / c.bestZlib.cpu,
                        mb / c.bestZlib.wall, c.bestZlib.cpu / c.bestRar.cpu, 100.0 * c.archive.size() / c.bytes);
            rarTotal.cpu += c.bestRar.cpu, rarTotal.wall += c.bestRar.wall;
            zlibTotal.cpu += c.bestZlib.cpu, zlibTotal.wall += c.bestZlib.wall;
            bytes += c.bytes;
        }
        const double mb = bytes / 1e6;
        std::printf("%-18s %-9s %8.1f %8.1f %8.1f %8.1f %6.2fx\n", "mixed total", solid ? "solid" : "non-solid",
                    mb / rarTotal.cpu, mb / rarTotal.wall, mb / zlibTotal.cpu, mb / zlibTotal.wall,
                    zlibTotal.cpu / rarTotal.cpu);
    }
    return 0;
}
