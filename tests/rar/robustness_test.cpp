// Damaged archives: every corpus archive cut at many lengths and with random
// byte and bit changes (fixed seeds, a bounded count), through both entry
// operations. Nothing may crash, hang or leak (the sanitizer build checks),
// and what still succeeds must be right: a cut archive lists a prefix of the
// whole one's entries and extracts only what the whole one gives.
#include <gtest/gtest.h>

#include <random>

#include "archive.h"
#include "rar_test_util.h"

namespace {

class DamagedArchives : public ::testing::TestWithParam<rartest::CorpusArchive> {
protected:
    void SetUp() override {
        if (GetParam().file.empty()) GTEST_SKIP() << "shared test data not found (expected under ../shared/)";
        original_ = testsupport::ReadFile(GetParam().path);
        ASSERT_FALSE(original_.empty());
        password_ = GetParam().Password();
        const auto intact = dir_.Write("intact.rar", original_);
        names_ = rartest::ListNames(intact);
        for (size_t i = 0; i < names_.size() && i < 3; ++i) intact_.push_back(rartest::Extract(intact, names_[i], password_));
        for (char c : "corpus/" + GetParam().folder + "/" + GetParam().file) seed_ = (seed_ ^ uint8_t(c)) * 16777619u;
    }
    std::filesystem::path Variant(const std::string &bytes) { return dir_.Write("variant.rar", bytes); }

    testsupport::TempDir dir_;
    std::string original_;
    const char *password_ = nullptr;
    std::vector<std::string> names_;
    std::vector<rartest::Extracted> intact_;  // of the first three names
    uint32_t seed_ = 2166136261u;
};

}  // namespace

TEST_P(DamagedArchives, CutShortListsAPrefixAndExtractsOnlyTheTruth) {
    std::mt19937 rng(seed_);
    std::vector<size_t> cuts = {0, 6, 7, 19, 20, 40, 52};
    for (int i = 0; i < 14; ++i) cuts.push_back(rng() % original_.size());
    for (size_t back : {1, 2, 5, 16}) cuts.push_back(original_.size() - std::min(back, original_.size()));
    for (size_t cut : cuts) {
        if (cut > original_.size()) continue;
        const auto path = Variant(original_.substr(0, cut));
        const std::vector<std::string> listed = rartest::ListNames(path);
        ASSERT_LE(listed.size(), names_.size()) << "cut at " << cut;
        EXPECT_TRUE(std::equal(listed.begin(), listed.end(), names_.begin())) << "cut at " << cut;
        for (size_t i = 0; i < intact_.size(); ++i) {
            const rartest::Extracted e = rartest::Extract(path, names_[i], password_);
            if (e.result) {
                EXPECT_EQ(intact_[i].result, 1) << names_[i] << " cut at " << cut;
                EXPECT_TRUE(e.data == intact_[i].data) << names_[i] << " cut at " << cut;
            } else {
                EXPECT_TRUE(e.nullOnFailure);
            }
        }
    }
}

TEST_P(DamagedArchives, RandomByteAndBitChangesFailCleanly) {
    std::mt19937 rng(seed_ ^ 0x9E3779B9u);
    for (int m = 0; m < 14; ++m) {
        std::string bytes = original_;
        for (int c = 0, changes = 1 + int(rng() % 4); c < changes; ++c) {
            // Half of the changes hit the marker and the first headers.
            const size_t at = rng() % ((rng() & 1) ? std::min<size_t>(bytes.size(), 96) : bytes.size());
            bytes[at] = (rng() & 1) ? char(bytes[at] ^ (1 << (rng() % 8))) : char(rng());
        }
        const auto path = Variant(bytes);
        const std::vector<std::string> listed = rartest::ListNames(path);
        std::vector<std::string> tried(names_.begin(), names_.begin() + std::min<size_t>(names_.size(), 3));
        tried.insert(tried.end(), listed.begin(), listed.begin() + std::min<size_t>(listed.size(), 2));
        for (const std::string &name : tried) {
            const rartest::Extracted e = rartest::Extract(path, name, password_);
            if (!e.result) {
                EXPECT_TRUE(e.nullOnFailure) << name << " in mutant " << m;
                continue;
            }
            // Extraction and listing walk the archive alike: what one finds, the other lists.
            bool listedHere = false;
            for (const std::string &l : listed) listedHere |= quorbenhal::CompareEntryNames(l.c_str(), name.c_str()) == 0;
            EXPECT_TRUE(listedHere) << name << " in mutant " << m;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Corpus, DamagedArchives, ::testing::ValuesIn(rartest::CorpusArchives({"real", "gen"})),
                         rartest::CorpusTestName);
