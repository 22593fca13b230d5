// The shared corpora: archives made by real archivers, and archives from an
// independently written RAR 2.0 archiver. Every archive must give exactly the
// result its manifest expects. Skipped when ../shared/ is absent.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <fstream>
#include <nlohmann/json.hpp>

#include "quorbenhal.h"
#include "rar_test_util.h"
#include "tests/support/shared_data.h"

using json = nlohmann::json;
using rartest::Extract;

namespace {

struct CorpusArchive {
    std::string folder;  // "real" or "gen"
    size_t index = 0;
    std::string file;  // empty: the corpus is not there
};

std::vector<CorpusArchive> ArchivesOf(const std::string &folder) {
    std::vector<CorpusArchive> out;
    if (const auto shared = testsupport::SharedDir()) {
        std::ifstream in(*shared / "corpus" / folder / "manifest.json");
        const json manifest = json::parse(in, nullptr, false);
        if (!manifest.is_discarded()) {
            for (size_t i = 0; i < manifest["archives"].size(); ++i)
                out.push_back({folder, i, manifest["archives"][i]["file"].get<std::string>()});
        }
    }
    if (out.empty()) out.push_back({folder, 0, ""});
    return out;
}

void PrintTo(const CorpusArchive &a, std::ostream *os) { *os << a.folder << "/" << a.file; }

std::string TestName(const ::testing::TestParamInfo<CorpusArchive> &info) {
    std::string name = info.param.file.empty() ? "CorpusMissing" : info.param.file;
    for (char &c : name) c = std::isalnum(static_cast<unsigned char>(c)) ? c : '_';
    return name;
}

// The manifest's record of the archive, its path and its password.
struct Case {
    json archive;
    std::filesystem::path path;
    std::string password;
    const char *Password() const { return archive["password"].is_string() ? password.c_str() : nullptr; }
};
Case Load(const std::filesystem::path &manifest, const CorpusArchive &param) {
    std::ifstream in(manifest);
    Case c{json::parse(in)["archives"][param.index], manifest.parent_path() / param.file, ""};
    if (c.archive["password"].is_string()) c.password = c.archive["password"].get<std::string>();
    return c;
}

// Entry names compare as the library compares them: ASCII case and the separators / \ _ do not count.
std::string Folded(std::string name) {
    for (char &c : name) c = c == '/' || c == '\\' ? '_' : char(std::toupper(static_cast<unsigned char>(c)));
    return name;
}

void ExpectExtracted(const rartest::Extracted &e, bool ok, const std::string &sha256, const std::string &name) {
    if (ok) {
        EXPECT_EQ(e.result, 1) << name;
        EXPECT_EQ(rartest::Sha256Hex(e.data), sha256) << name;
    } else {
        EXPECT_EQ(e.result, 0) << name;
        EXPECT_TRUE(e.nullOnFailure) << name;
    }
}

class RealArchives : public ::testing::TestWithParam<CorpusArchive> {};
class GeneratedArchives : public ::testing::TestWithParam<CorpusArchive> {};

}  // namespace

TEST_P(RealArchives, MatchManifest) {
    REQUIRE_SHARED_PATH(manifest, "corpus/real/manifest.json");
    ASSERT_FALSE(GetParam().file.empty());
    const Case c = Load(manifest, GetParam());
    const json &expected = c.archive["expected"];
    int count = -1;
    const auto names = rartest::ListNames(c.path, &count);
    EXPECT_EQ(names, expected.value("list", std::vector<std::string>{}));
    EXPECT_EQ(count, int(names.size()));
    if (expected.value("start", "accept") == "reject") {
        rartest::PrivateLog log;
        RarListEntry *untouched = reinterpret_cast<RarListEntry *>(&log);
        EXPECT_EQ(RarListFiles(c.path.c_str(), &untouched), 0);
        EXPECT_EQ(untouched, reinterpret_cast<RarListEntry *>(&log)) << "a refused archive leaves the list alone";
        EXPECT_EQ(log.Messages().back(), "Not a RAR file");
    }
    const json extract = expected.value("extract", json::object());
    for (const auto &[name, result] : extract.items()) {
        std::string sha;
        for (const json &entry : c.archive["entries"])
            if (entry["name"] == name && entry["crc_verified_sha256"].is_string()) sha = entry["crc_verified_sha256"];
        ExpectExtracted(Extract(c.path, name, c.Password()), result == "ok", sha, name);
    }
}

TEST_P(GeneratedArchives, MatchManifest) {
    REQUIRE_SHARED_PATH(manifest, "corpus/gen/manifest.json");
    ASSERT_FALSE(GetParam().file.empty());
    const Case c = Load(manifest, GetParam());
    EXPECT_EQ(rartest::ListNames(c.path), c.archive["reader"]["listed_names"].get<std::vector<std::string>>());
    std::vector<std::string> seen;  // later entries of an earlier name are out of reach by name
    for (const json &entry : c.archive["entries"]) {
        const std::string name = entry.value("listed_name", entry["name"].get<std::string>());
        if (std::find(seen.begin(), seen.end(), Folded(name)) != seen.end()) continue;
        seen.push_back(Folded(name));
        ExpectExtracted(Extract(c.path, name, c.Password()), entry["expect"] == "ok", entry["sha256"].get<std::string>(),
                        name + " (" + entry["expect"].get<std::string>() + ")");
    }
}

INSTANTIATE_TEST_SUITE_P(Corpus, RealArchives, ::testing::ValuesIn(ArchivesOf("real")), TestName);
INSTANTIATE_TEST_SUITE_P(Corpus, GeneratedArchives, ::testing::ValuesIn(ArchivesOf("gen")), TestName);
