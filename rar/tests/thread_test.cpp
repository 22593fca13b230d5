// Several threads at once, each over its own archive: through handles and
// through the two entry operations, the same results as one thread alone
// (run under ThreadSanitizer too, by the test script).
#include <gtest/gtest.h>

#include <thread>

#include <cstdlib>

#include "log.h"
#include "quorbenhal.h"
#include "rar_test_util.h"
#include "sample_content.h"

namespace {

using namespace rarwriter;

// Everything one archive gives: each entry's bytes through a handle, then
// through RarExtractToMemory, and the listing.
std::string Results(const std::filesystem::path &path, const char *password) {
    std::string out;
    RarArchive *a = nullptr;
    const RarOptions o = {.password = password, .maxEntrySize = 0, .maxMemory = 0};
    if (RarOpenFile(&a, path.string().c_str(), &o) != RAR_OK) return "not opened";
    RarEntry e;
    std::vector<std::string> names;
    while (RarNextEntry(a, &e) == RAR_OK) {
        names.push_back(e.name);
        void *data = nullptr;
        uint64_t size = 0;
        out += (RarExtractToNew(a, &data, &size) == RAR_OK ? "ok:" : "FAILED!") + std::string(static_cast<char *>(data), size_t(size)) + "\n";
        RarFreeBuffer(data);
    }
    RarClose(a);
    for (const std::string &name : names) {
        const rartest::Extracted x = rartest::Extract(path, name, password);
        out += (x.result ? "ok:" : "FAILED!") + x.data + "\n";
    }
    for (const std::string &name : rartest::ListNames(path)) out += name + "\n";
    return out;
}

}  // namespace

TEST(Threads, SixThreadsOverTheirOwnArchivesGiveWhatOneThreadGives) {
    rartest::TempDir dir;
    std::vector<std::filesystem::path> archives;
    for (int k = 0; k < 6; ++k) {
        ArchiveSpec plan{.solid = k % 2 == 0};
        for (int i = 0; i < 8; ++i) {
            plan.entries.push_back(Compressed(std::to_string(i), i % 4 == 3 ? samples::Pcm(20000, 2, 1, k * 10 + i)
                                                                           : samples::Text(30000 + 1000 * i, k * 10 + i),
                                              i % 4 == 3 ? CompressOptions{{{1u << 30, 2}}} : CompressOptions{}));
            if ((i + k) % 3 == 0) plan.entries.back().password = "pw";
        }
        archives.push_back(dir.Write(std::to_string(k) + ".rar", BuildArchive(plan)));
    }
    std::vector<std::string> alone;
    for (const auto &path : archives) alone.push_back(Results(path, "pw"));
    // The threads start the debug log afresh (as a new process's first calls do) and share it: each
    // operation's entries stay together.
    const rartest::TempDir tmp;
    setenv("TMPDIR", tmp.path().c_str(), 1);
    quorbenhal::logNotStarted = 1, quorbenhal::logEnabled = 0, quorbenhal::logPath[0] = '\0';
    std::vector<std::string> together(archives.size());
    std::vector<std::thread> threads;
    for (size_t k = 0; k < archives.size(); ++k)
        threads.emplace_back([&, k] {
            for (int round = 0; round < 2; ++round) together[k] = Results(archives[k], "pw");
        });
    for (std::thread &t : threads) t.join();
    const std::string log = rartest::ReadFile(tmp / "debug_unrar.txt");
    size_t requests = 0;
    for (size_t at = 0; (at = log.find("- Extracting >", at)) != std::string::npos; ++requests) {
        at = log.find('\n', at);
        EXPECT_EQ(log.compare(log.find("- ", log.find('\n', at + 1)), 12, "- Extracted "), 0) << "entries of one call together";
    }
    EXPECT_EQ(requests, archives.size() * 2 * 8);
    for (size_t k = 0; k < archives.size(); ++k) {
        EXPECT_EQ(together[k], alone[k]) << k;
        EXPECT_EQ(alone[k].find("FAILED!"), std::string::npos) << "every entry extracts, both ways";
    }
}
