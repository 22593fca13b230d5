// The shared corpora: archives made by real archivers, and archives from an
// independently written RAR 2.0 archiver. Every archive must give exactly
// the result its manifest expects. Skipped when ../shared/ is absent.
#include <gtest/gtest.h>

#include <cctype>
#include <fstream>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "archive.h"
#include "quorbenhal.h"
#include "rar_test_util.h"
#include "tests/support/shared_data.h"

using json = nlohmann::json;
using rartest::Extract;
using rartest::ListNames;

namespace {

struct CorpusArchive {
    std::string folder;  // "real" or "gen"
    size_t index = 0;
    std::string file;    // empty: the corpus is not there
};

std::vector<CorpusArchive> ArchivesOf(const std::string &folder) {
    std::vector<CorpusArchive> out;
    auto shared = testsupport::SharedDir();
    if (shared) {
        std::ifstream in(*shared / "corpus" / folder / "manifest.json");
        json manifest = json::parse(in, nullptr, false);
        if (!manifest.is_discarded()) {
            const json &archives = manifest["archives"];
            for (size_t i = 0; i < archives.size(); ++i) {
                out.push_back({folder, i, archives[i]["file"].get<std::string>()});
            }
        }
    }
    if (out.empty()) out.push_back({folder, 0, ""});
    return out;
}

std::string TestName(const ::testing::TestParamInfo<CorpusArchive> &info) {
    if (info.param.file.empty()) return "CorpusMissing";
    std::string name;
    for (char c : info.param.file) name += std::isalnum(static_cast<unsigned char>(c)) ? c : '_';
    return name;
}

json ManifestEntry(const std::filesystem::path &manifestPath, size_t index) {
    std::ifstream in(manifestPath);
    return json::parse(in)["archives"][index];
}

const char *PasswordOf(const json &archive, std::string &storage) {
    if (!archive.contains("password") || archive["password"].is_null()) return nullptr;
    storage = archive["password"].get<std::string>();
    return storage.c_str();
}

class RealArchives : public ::testing::TestWithParam<CorpusArchive> {};
class GeneratedArchives : public ::testing::TestWithParam<CorpusArchive> {};

}  // namespace

TEST_P(RealArchives, MatchManifest) {
    REQUIRE_SHARED_PATH(manifestPath, "corpus/real/manifest.json");
    ASSERT_FALSE(GetParam().file.empty());
    json archive = ManifestEntry(manifestPath, GetParam().index);
    const json &expected = archive["expected"];
    auto path = manifestPath.parent_path() / GetParam().file;
    std::string passwordStorage;
    const char *password = PasswordOf(archive, passwordStorage);

    int count = -1;
    std::vector<std::string> names = ListNames(path, &count);
    std::vector<std::string> expectedNames =
        expected.contains("list") ? expected["list"].get<std::vector<std::string>>() : std::vector<std::string>{};
    EXPECT_EQ(names, expectedNames);
    EXPECT_EQ(count, static_cast<int>(expectedNames.size()));
    if (expected.value("start", "accept") == "reject") {
        rartest::PrivateLog log;
        RarListEntry *untouched = reinterpret_cast<RarListEntry *>(&log);
        EXPECT_EQ(RarListFiles(path.string().c_str(), &untouched), 0);
        EXPECT_EQ(untouched, reinterpret_cast<RarListEntry *>(&log)) << "a refused archive leaves the list alone";
        EXPECT_EQ(log.Messages().back(), "Not a RAR file");
    }

    if (!expected.contains("extract")) return;
    for (const auto &[name, result] : expected["extract"].items()) {
        rartest::Extracted e = Extract(path, name, password);
        if (result == "ok") {
            std::string sha;
            for (const json &entry : archive["entries"]) {
                if (entry["name"] == name) {
                    sha = entry["crc_verified_sha256"].get<std::string>();
                    break;
                }
            }
            EXPECT_EQ(e.result, 1) << name;
            EXPECT_EQ(rartest::Sha256Hex(e.data), sha) << name;
        } else {
            EXPECT_EQ(e.result, 0) << name;
            EXPECT_TRUE(e.nullOnFailure) << name;
        }
    }
}

TEST_P(GeneratedArchives, MatchManifest) {
    REQUIRE_SHARED_PATH(manifestPath, "corpus/gen/manifest.json");
    ASSERT_FALSE(GetParam().file.empty());
    json archive = ManifestEntry(manifestPath, GetParam().index);
    auto path = manifestPath.parent_path() / GetParam().file;
    std::string passwordStorage;
    const char *password = PasswordOf(archive, passwordStorage);

    EXPECT_EQ(ListNames(path), archive["reader"]["listed_names"].get<std::vector<std::string>>());

    std::vector<std::string> extracted;
    for (const json &entry : archive["entries"]) {
        std::string name = entry.value("listed_name", entry["name"].get<std::string>());
        // The first entry of a name is the one extracted; later ones that
        // compare equal are out of reach by name.
        bool shadowed = false;
        for (const std::string &earlier : extracted) {
            if (quorbenhal::CompareEntryNames(earlier.c_str(), name.c_str()) == 0) shadowed = true;
        }
        extracted.push_back(name);
        if (shadowed) continue;

        rartest::Extracted e = Extract(path, name, password);
        std::string expect = entry["expect"].get<std::string>();
        if (expect == "ok") {
            EXPECT_EQ(e.result, 1) << name;
            EXPECT_EQ(rartest::Sha256Hex(e.data), entry["sha256"].get<std::string>()) << name;
        } else {
            EXPECT_EQ(e.result, 0) << name << " (" << expect << ")";
            EXPECT_TRUE(e.nullOnFailure) << name;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Corpus, RealArchives, ::testing::ValuesIn(ArchivesOf("real")), TestName);
INSTANTIATE_TEST_SUITE_P(Corpus, GeneratedArchives, ::testing::ValuesIn(ArchivesOf("gen")), TestName);
