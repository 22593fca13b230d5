// Damaged archives: every corpus archive cut at many lengths and with random
// byte and bit changes (fixed seeds, a bounded count), through both entry
// operations. Nothing may crash, hang or leak (the sanitizer build checks),
// and what still succeeds must be right: a cut archive lists a prefix of the
// whole archive's entries, and anything it extracts is what the whole
// archive gives.
#include <gtest/gtest.h>

#include <cctype>
#include <fstream>
#include <nlohmann/json.hpp>
#include <random>
#include <string>
#include <vector>

#include "archive.h"
#include "quorbenhal.h"
#include "rar_test_util.h"
#include "tests/support/shared_data.h"
#include "tests/support/temp_dir.h"

using json = nlohmann::json;

namespace {

constexpr int kCuts = 14;
constexpr int kMutants = 14;
constexpr size_t kNamesTried = 3;

struct Sample {
    std::string relative;  // e.g. "corpus/real/x.rar"; empty when no corpus is there
    std::string password;
    bool hasPassword = false;
};

std::vector<Sample> Samples() {
    std::vector<Sample> out;
    if (auto shared = testsupport::SharedDir()) {
        for (const char *folder : {"real", "gen"}) {
            std::ifstream in(*shared / "corpus" / folder / "manifest.json");
            json manifest = json::parse(in, nullptr, false);
            if (manifest.is_discarded()) continue;
            for (const json &a : manifest["archives"]) {
                Sample s;
                s.relative = std::string("corpus/") + folder + "/" + a["file"].get<std::string>();
                if (a.contains("password") && a["password"].is_string()) {
                    s.password = a["password"].get<std::string>();
                    s.hasPassword = true;
                }
                out.push_back(s);
            }
        }
    }
    if (out.empty()) out.push_back({});
    return out;
}

std::string Name(const ::testing::TestParamInfo<Sample> &info) {
    if (info.param.relative.empty()) return "CorpusMissing";
    std::string name;
    for (char c : info.param.relative.substr(7)) name += std::isalnum(static_cast<unsigned char>(c)) ? c : '_';
    return name;
}

uint32_t Seed(const std::string &text) {
    uint32_t h = 2166136261u;
    for (char c : text) h = (h ^ static_cast<uint8_t>(c)) * 16777619u;
    return h;
}

class DamagedArchives : public ::testing::TestWithParam<Sample> {
protected:
    void SetUp() override {
        if (GetParam().relative.empty()) GTEST_SKIP() << "shared test data not found (expected under ../shared/)";
        auto shared = testsupport::SharedDir();
        original_ = testsupport::ReadFile(*shared / GetParam().relative);
        ASSERT_FALSE(original_.empty());
        password_ = GetParam().hasPassword ? GetParam().password.c_str() : nullptr;
        auto intact = dir_.Write("intact.rar", original_);
        names_ = rartest::ListNames(intact);
        for (size_t i = 0; i < names_.size() && i < kNamesTried; ++i) {
            intactResults_.push_back(rartest::Extract(intact, names_[i], password_));
        }
    }

    std::filesystem::path Variant(const std::string &bytes) { return dir_.Write("variant.rar", bytes); }

    testsupport::TempDir dir_;
    std::string original_;
    const char *password_ = nullptr;
    std::vector<std::string> names_;
    std::vector<rartest::Extracted> intactResults_;
};

}  // namespace

TEST_P(DamagedArchives, CutShortListsAPrefixAndExtractsOnlyTheTruth) {
    std::mt19937 rng(Seed(GetParam().relative));
    std::vector<size_t> cuts = {0, 6, 7, 19, 20, 40, 52};
    for (int i = 0; i < kCuts; ++i) cuts.push_back(rng() % original_.size());
    for (size_t back : {1u, 2u, 5u, 16u}) {
        if (original_.size() > back) cuts.push_back(original_.size() - back);
    }
    for (size_t cut : cuts) {
        if (cut > original_.size()) continue;
        auto path = Variant(original_.substr(0, cut));
        std::vector<std::string> listed = rartest::ListNames(path);
        ASSERT_LE(listed.size(), names_.size()) << "cut at " << cut;
        EXPECT_TRUE(std::equal(listed.begin(), listed.end(), names_.begin())) << "cut at " << cut;
        for (size_t i = 0; i < intactResults_.size(); ++i) {
            rartest::Extracted e = rartest::Extract(path, names_[i], password_);
            if (e.result) {
                EXPECT_EQ(intactResults_[i].result, 1) << names_[i] << " cut at " << cut;
                EXPECT_TRUE(e.data == intactResults_[i].data) << names_[i] << " cut at " << cut;
            } else {
                EXPECT_TRUE(e.nullOnFailure);
            }
        }
    }
}

TEST_P(DamagedArchives, RandomByteAndBitChangesFailCleanly) {
    std::mt19937 rng(Seed(GetParam().relative) ^ 0x9E3779B9u);
    for (int m = 0; m < kMutants; ++m) {
        std::string bytes = original_;
        int changes = 1 + static_cast<int>(rng() % 4);
        for (int c = 0; c < changes; ++c) {
            // Half of the changes hit the first bytes, where the marker and
            // the first headers are; the rest land anywhere.
            size_t limit = (rng() & 1) ? std::min<size_t>(bytes.size(), 96) : bytes.size();
            size_t at = rng() % limit;
            if (rng() & 1) {
                bytes[at] = static_cast<char>(bytes[at] ^ (1 << (rng() % 8)));
            } else {
                bytes[at] = static_cast<char>(rng());
            }
        }
        auto path = Variant(bytes);
        std::vector<std::string> listed = rartest::ListNames(path);
        std::vector<std::string> tried(names_.begin(), names_.begin() + std::min(names_.size(), kNamesTried));
        for (size_t i = 0; i < listed.size() && i < 2; ++i) tried.push_back(listed[i]);
        for (const std::string &name : tried) {
            rartest::Extracted e = rartest::Extract(path, name, password_);
            if (e.result) {
                // Extraction and listing walk the archive alike: what one
                // finds, the other lists.
                bool listedHere = false;
                for (const std::string &l : listed) {
                    listedHere |= quorbenhal::CompareEntryNames(l.c_str(), name.c_str()) == 0;
                }
                EXPECT_TRUE(listedHere) << name << " in mutant " << m;
            } else {
                EXPECT_TRUE(e.nullOnFailure) << name << " in mutant " << m;
            }
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Corpus, DamagedArchives, ::testing::ValuesIn(Samples()), Name);
