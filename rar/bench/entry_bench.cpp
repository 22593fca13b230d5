// entry_bench: the cost of walking a solid archive of many entries through a
// handle, extracting every entry, against decoding it once (the one
// RarExtractToMemory of its last entry) and against one RarExtractToMemory
// per entry; and the time per call of the two entry operations on the shared
// corpora. Best of the runs; the figures are printed, nothing is checked.
//
// Times are wall clock and, as the steadier figure on a shared machine, the
// process's CPU time. The corpus part also builds against the library
// before it had handles, for before/after figures.
//
// Usage: entry_bench [--runs N] [--shared DIR] [--entries N]
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include <time.h>

#include "quorbenhal.h"
#ifdef QUORBENHAL_VERSION
#include "rar_writer.h"
#include "sample_content.h"
#include "test_files.h"
#endif

namespace {

using Clock = std::chrono::steady_clock;

struct Archive {
    std::string path;
    std::string password;
    bool hasPassword = false;
    std::vector<std::string> names;
};

std::vector<Archive> LoadCorpus(const std::string &shared) {
    std::vector<Archive> out;
    for (const char *folder : {"real", "gen"}) {
        const std::string dir = shared + "/corpus/" + folder;
        std::ifstream in(dir + "/manifest.json");
        const nlohmann::json json = nlohmann::json::parse(in, nullptr, false);
        if (json.is_discarded()) continue;
        for (const auto &a : json["archives"]) {
            Archive archive;
            archive.path = dir + "/" + a["file"].get<std::string>();
            if (a["password"].is_string()) archive.password = a["password"], archive.hasPassword = true;
            RarListEntry *list = nullptr;
            RarListFiles(archive.path.c_str(), &list);
            for (RarListEntry *e = list; e != nullptr; e = e->next) archive.names.push_back(e->name);
            RarFreeList(list);
            out.push_back(std::move(archive));
        }
    }
    return out;
}

// One pass over the corpus: every archive listed, every listed name
// extracted; *calls gets the number of calls.
void CorpusPass(const std::vector<Archive> &corpus, size_t *calls) {
    size_t n = 0;
    for (const Archive &a : corpus) {
        RarListEntry *list = nullptr;
        RarListFiles(a.path.c_str(), &list);
        RarFreeList(list);
        ++n;
        for (const std::string &name : a.names) {
            unsigned char *data = nullptr;
            uint32_t size = 0;
            RarExtractToMemory(&data, &size, name.c_str(), a.path.c_str(),
                               a.hasPassword ? a.password.c_str() : nullptr);
            free(data);
            ++n;
        }
    }
    *calls = n;
}

double CpuSeconds() {
    timespec t;
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return double(t.tv_sec) + double(t.tv_nsec) * 1e-9;
}

// The best wall-clock seconds of the runs; *cpu, when given, the best CPU seconds.
template <typename F>
double Best(int runs, F f, double *cpu = nullptr) {
    double best = 1e30, bestCpu = 1e30;
    for (int r = 0; r < runs; ++r) {
        const auto start = Clock::now();
        const double cpuStart = CpuSeconds();
        f();
        bestCpu = std::min(bestCpu, CpuSeconds() - cpuStart);
        best = std::min(best, std::chrono::duration<double>(Clock::now() - start).count());
    }
    if (cpu != nullptr) *cpu = bestCpu;
    return best;
}

#ifdef QUORBENHAL_VERSION
void SolidFigures(int runs, int entries) {
    rarwriter::ArchiveSpec plan{.solid = true};
    size_t total = 0;
    for (int i = 0; i < entries; ++i) {
        plan.entries.push_back(rarwriter::Compressed("file" + std::to_string(i) + ".txt", rarwriter::samples::Text(8000, i)));
        total += 8000;
    }
    rartest::TempDir dir;
    const std::string path = dir.Write("solid.rar", rarwriter::BuildArchive(plan)).string();
    const std::string last = plan.entries.back().name;

    const double walk = Best(runs, [&] {
        RarArchive *a = nullptr;
        if (RarOpenFile(&a, path.c_str(), nullptr) != RAR_OK) std::exit(1);
        RarEntry e;
        while (RarNextEntry(a, &e) == RAR_OK) {
            void *data = nullptr;
            uint64_t size = 0;
            if (RarExtractToNew(a, &data, &size) != RAR_OK) std::exit(1);
            RarFreeBuffer(data);
        }
        RarClose(a);
    });
    const double once = Best(runs, [&] {
        unsigned char *data = nullptr;
        uint32_t size = 0;
        if (!RarExtractToMemory(&data, &size, last.c_str(), path.c_str(), nullptr)) std::exit(1);
        free(data);
    });
    const double perEntry = Best(1, [&] {
        for (const auto &e : plan.entries) {
            unsigned char *data = nullptr;
            uint32_t size = 0;
            RarExtractToMemory(&data, &size, e.name.c_str(), path.c_str(), nullptr);
            free(data);
        }
    });
    std::printf("solid archive, %d entries, %.1f MB:\n", entries, total / 1e6);
    std::printf("  every entry through one handle    %8.2f ms\n", walk * 1e3);
    std::printf("  decoding it once (last entry)     %8.2f ms\n", once * 1e3);
    std::printf("  handle walk / one decode          %8.2f\n", walk / once);
    std::printf("  one RarExtractToMemory per entry  %8.2f ms (%.0fx the handle walk)\n", perEntry * 1e3, perEntry / walk);
}
#endif

}  // namespace

int main(int argc, char **argv) {
    int runs = 5, entries = 200;
    std::string shared = "../shared";
    for (int i = 1; i + 1 < argc; i += 2) {
        if (std::strcmp(argv[i], "--runs") == 0) runs = std::atoi(argv[i + 1]);
        if (std::strcmp(argv[i], "--shared") == 0) shared = argv[i + 1];
        if (std::strcmp(argv[i], "--entries") == 0) entries = std::atoi(argv[i + 1]);
    }
#ifdef QUORBENHAL_VERSION
    SolidFigures(runs, entries);
#else
    (void)entries;
#endif
    const std::vector<Archive> corpus = LoadCorpus(shared);
    if (corpus.empty()) {
        std::fprintf(stderr, "entry_bench: no corpus under %s\n", shared.c_str());
        return 1;
    }
    size_t calls = 0;
    double cpu = 0;
    const double best = Best(runs, [&] { CorpusPass(corpus, &calls); }, &cpu);
    std::printf("entry operations on the corpora: %zu archives, %zu calls per pass, best of %d:\n", corpus.size(), calls, runs);
    std::printf("  wall %.3f s, %.1f us per call; CPU %.3f s, %.1f us per call\n", best, best * 1e6 / double(calls), cpu,
                cpu * 1e6 / double(calls));
    return 0;
}
