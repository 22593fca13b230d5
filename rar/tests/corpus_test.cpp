// The shared corpora (real archivers' archives, and an independent archiver's):
// every archive gives exactly what its manifest expects. Skipped without ../shared/.
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <nlohmann/json.hpp>

#include "quorbenhal.h"
#include "rar_test_util.h"

using json = nlohmann::json;
using rartest::CorpusArchive;

namespace {

json Record(const CorpusArchive &a) { return json::parse(std::ifstream(a.manifest))["archives"][a.index]; }

// Entry names compare as the library compares them: ASCII case and the separators / \ _ do not count.
std::string Folded(std::string name) {
    for (char &c : name) c = c == '/' || c == '\\' ? '_' : char(std::toupper(static_cast<unsigned char>(c)));
    return name;
}

void ExpectExtracted(const rartest::Extracted &e, bool ok, const json &sha256, const std::string &name) {
    EXPECT_EQ(e.result, int(ok)) << name;
    EXPECT_TRUE(ok ? sha256 == rartest::Sha256Hex(e.data) : e.nullOnFailure) << name;
}

class RealArchives : public ::testing::TestWithParam<CorpusArchive> {};
class GeneratedArchives : public ::testing::TestWithParam<CorpusArchive> {};

}  // namespace

TEST_P(RealArchives, MatchManifest) {
    if (GetParam().file.empty()) GTEST_SKIP() << "shared test data not found (expected under ../shared/)";
    const CorpusArchive &a = GetParam();
    const json record = Record(a), expected = record["expected"];
    int count = -1;
    const auto names = rartest::ListNames(a.path, &count);
    EXPECT_EQ(names, expected.value("list", std::vector<std::string>{}));
    EXPECT_EQ(count, int(names.size()));
    if (expected.value("start", "accept") == "reject") {
        rartest::PrivateLog log;
        RarListEntry *untouched = reinterpret_cast<RarListEntry *>(&log);
        EXPECT_EQ(RarListFiles(a.path.string().c_str(), &untouched), 0);
        EXPECT_EQ(untouched, reinterpret_cast<RarListEntry *>(&log)) << "a refused archive leaves the list alone";
        EXPECT_EQ(log.Messages().back(), "Not a RAR file");
    }
    const json extract = expected.value("extract", json::object());
    for (const auto &[name, result] : extract.items()) {
        json sha;
        for (const json &entry : record["entries"])
            if (entry["name"] == name) sha = entry["crc_verified_sha256"];
        ExpectExtracted(rartest::Extract(a.path, name, a.Password()), result == "ok", sha, name);
    }
}

TEST_P(GeneratedArchives, MatchManifest) {
    if (GetParam().file.empty()) GTEST_SKIP() << "shared test data not found (expected under ../shared/)";
    const CorpusArchive &a = GetParam();
    const json record = Record(a);
    EXPECT_EQ(rartest::ListNames(a.path), record["reader"]["listed_names"].get<std::vector<std::string>>());
    std::vector<std::string> seen;  // later entries of an earlier name are out of reach by name
    for (const json &entry : record["entries"]) {
        const std::string name = entry.value("listed_name", entry["name"].get<std::string>());
        if (std::find(seen.begin(), seen.end(), Folded(name)) != seen.end()) continue;
        seen.push_back(Folded(name));
        ExpectExtracted(rartest::Extract(a.path, name, a.Password()), entry["expect"] == "ok", entry["sha256"],
                        name + " (" + entry["expect"].get<std::string>() + ")");
    }
}

INSTANTIATE_TEST_SUITE_P(Corpus, RealArchives, ::testing::ValuesIn(rartest::CorpusArchives({"real"})),
                         rartest::CorpusTestName);
INSTANTIATE_TEST_SUITE_P(Corpus, GeneratedArchives, ::testing::ValuesIn(rartest::CorpusArchives({"gen"})),
                         rartest::CorpusTestName);
