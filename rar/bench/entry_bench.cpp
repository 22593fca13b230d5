// entry_bench: the time per call of the two entry operations on the shared
// corpora, and (with the handle API) the cost of walking a solid archive of
// many entries against decoding it once.
//
// Usage: entry_bench [--runs N] [--shared DIR]
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "quorbenhal.h"

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
// extracted. Returns the seconds taken; *calls gets the number of calls.
double CorpusPass(const std::vector<Archive> &corpus, size_t *calls) {
    const auto start = Clock::now();
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
    return std::chrono::duration<double>(Clock::now() - start).count();
}

}  // namespace

int main(int argc, char **argv) {
    int runs = 5;
    std::string shared = "../shared";
    for (int i = 1; i + 1 < argc; i += 2) {
        if (std::strcmp(argv[i], "--runs") == 0) runs = std::atoi(argv[i + 1]);
        if (std::strcmp(argv[i], "--shared") == 0) shared = argv[i + 1];
    }
    const std::vector<Archive> corpus = LoadCorpus(shared);
    if (corpus.empty()) {
        std::fprintf(stderr, "entry_bench: no corpus under %s\n", shared.c_str());
        return 1;
    }
    double best = 1e30;
    size_t calls = 0;
    for (int r = 0; r < runs; ++r) {
        const double s = CorpusPass(corpus, &calls);
        if (s < best) best = s;
    }
    std::printf("entry operations on the corpora: %zu archives, %zu calls per pass, best of %d: %.3f s, %.1f us per call\n",
                corpus.size(), calls, runs, best, best * 1e6 / double(calls));
    return 0;
}
