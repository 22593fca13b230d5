// Every corpus archive cut at many lengths and with random byte and bit
// changes (fixed seeds), through both entry operations: no crash, hang or leak
// (the sanitizer build checks), and what still succeeds is the truth.
#include <gtest/gtest.h>

#include <random>

#include "archive.h"
#include "rar_test_util.h"

namespace {

class DamagedArchives : public ::testing::TestWithParam<rartest::CorpusArchive> {};

}  // namespace

TEST_P(DamagedArchives, CutOrChangedFailCleanlyAndGiveOnlyTheTruth) {
    const rartest::CorpusArchive &a = GetParam();
    if (a.file.empty()) GTEST_SKIP() << "shared test data not found (expected under ../shared/)";
    rartest::TempDir dir;
    const std::string original = rartest::ReadFile(a.path);
    ASSERT_FALSE(original.empty());
    const std::vector<std::string> names = rartest::ListNames(a.path);
    std::vector<rartest::Extracted> intact;  // of the first three names
    for (size_t i = 0; i < names.size() && i < 3; ++i) intact.push_back(rartest::Extract(a.path, names[i], a.Password()));
    uint32_t seed = 2166136261u;
    for (char c : "corpus/" + a.folder + "/" + a.file) seed = (seed ^ uint8_t(c)) * 16777619u;
    std::mt19937 rng(seed);

    std::vector<size_t> cuts = {0, 6, 7, 19, 20, 40, 52};
    for (int i = 0; i < 14; ++i) cuts.push_back(rng() % original.size());
    for (size_t back : {1, 2, 5, 16}) cuts.push_back(original.size() - std::min(back, original.size()));
    for (int variant = 0; variant < int(cuts.size()) + 14; ++variant) {
        const bool cut = variant < int(cuts.size());
        std::string bytes = cut ? original.substr(0, std::min(cuts[variant], original.size())) : original;
        for (int c = 0, changes = cut ? 0 : 1 + int(rng() % 4); c < changes; ++c) {
            // Half of the changes hit the marker and the first headers.
            const size_t at = rng() % ((rng() & 1) ? std::min<size_t>(bytes.size(), 96) : bytes.size());
            bytes[at] = (rng() & 1) ? char(bytes[at] ^ (1 << (rng() % 8))) : char(rng());
        }
        SCOPED_TRACE(cut ? "cut at " + std::to_string(bytes.size()) : "changed, variant " + std::to_string(variant));
        const auto path = dir.Write("variant.rar", bytes);
        const std::vector<std::string> listed = rartest::ListNames(path);
        EXPECT_TRUE(!cut || (listed.size() <= names.size() && std::equal(listed.begin(), listed.end(), names.begin())));
        std::vector<std::string> tried(names.begin(), names.begin() + intact.size());
        tried.insert(tried.end(), listed.begin(), listed.begin() + std::min<size_t>(listed.size(), 2));
        for (size_t i = 0; i < tried.size(); ++i) {
            const rartest::Extracted e = rartest::Extract(path, tried[i], a.Password());
            if (!e.result) {
                EXPECT_TRUE(e.nullOnFailure) << tried[i];
                continue;
            }
            EXPECT_TRUE(!cut || i >= intact.size() || (intact[i].result && e.data == intact[i].data)) << tried[i];
            // Extraction and listing walk the archive alike: what one finds, the other lists.
            bool listedHere = false;
            for (const std::string &l : listed) listedHere |= quorbenhal::CompareEntryNames(l.c_str(), tried[i].c_str()) == 0;
            EXPECT_TRUE(listedHere) << tried[i];
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Corpus, DamagedArchives, ::testing::ValuesIn(rartest::CorpusArchives({"real", "gen"})),
                         rartest::CorpusTestName);
