// The library's command-line host, run as a user would on archives from the writer.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <sstream>

#include <sys/stat.h>

#include <fstream>
#include <nlohmann/json.hpp>

#include "rar_test_util.h"
#include "rar_writer.h"
#include "sample_content.h"

#include "test_files.h"

namespace {

using ::testing::HasSubstr;
using ::testing::MatchesRegex;
namespace fs = std::filesystem;

class Cli : public ::testing::Test {
protected:
    rartest::ProcessResult Run(std::vector<std::string> args) {
        args.insert(args.begin(), QUORBENHAL_PROGRAM);
        rartest::ProcessOptions o;
        o.env["TMPDIR"] = logDir_.path().string();
        o.workingDir = dir_.path().string();
        return rartest::RunProcess(args, o);
    }
    std::vector<std::string> Files() const {  // what is in the working folder
        std::vector<std::string> names;
        for (const auto &e : fs::directory_iterator(dir_.path())) names.push_back(e.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }
    std::string LogPath() const { return (logDir_.path() / "debug_unrar.txt").string(); }
    rartest::ProcessResult RunWithInput(std::vector<std::string> args) {
        args.insert(args.begin(), QUORBENHAL_PROGRAM);
        return rartest::RunProcess(args, {.workingDir = dir_.path().string(), .env = {{"TMPDIR", logDir_.path().string()}},
                                          .input = input_});
    }
    std::string input_;

    rartest::TempDir dir_, logDir_;
    const rarwriter::ArchiveSpec plan_{
        .solid = true,
        .entries = {{.name = "docs/readme.txt", .data = rarwriter::samples::Text(10000, 1), .method = 0x35},
                    {.name = "data.bin", .data = std::string("\0\x01\x02 binary\0\xff", 12), .stored = true,
                     .fileTime = rarwriter::DosDateTime(1999, 12, 31, 23, 59, 58)},
                    {.name = "secret.txt", .data = "the secret text", .stored = true, .password = "open sesame"},
                    {.name = "folder", .stored = true, .attributes = 0x10, .extraFlags = rarwriter::kFileDirectory},
                    {.name = "run.sh", .data = "#!/bin/sh\n", .stored = true, .unpackVersion = 15, .hostOs = 3,
                     .attributes = 0100755, .extraFlags = 0x0080}}};  // a dictionary size, not a directory
    const rarwriter::BuiltArchive built_ = rarwriter::BuildArchiveWithLayout(plan_);
    const std::string archive_ = dir_.Write("test.rar", built_.bytes).string();
};

std::vector<std::string> Lines(const std::string &text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

TEST_F(Cli, ListPrintsEveryEntryAndATotal) {
    const auto r = Run({"list", archive_});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.err, "");
    const auto lines = Lines(r.out);
    ASSERT_EQ(lines.size(), 8u) << r.out;
    EXPECT_THAT(lines[0], HasSubstr("(solid)"));
    EXPECT_THAT(lines[1], MatchesRegex(" *Size +Packed +Ratio +Date +Time +CRC-32 +Ver +Method +Attributes +Flags +Name"));
    char crc[9];
    snprintf(crc, sizeof crc, "%08X", rarwriter::Crc32(plan_.entries[0].data));
    const size_t packed = built_.entries[0].packedSize;
    EXPECT_THAT(lines[2], MatchesRegex(" *10000 +" + std::to_string(packed) + " +" + std::to_string((packed * 100 + 5000) / 10000) +
                                       "% +2024-05-17 13:45:30 +" + crc + " +2\\.0 +best +\\.\\.\\.\\.A +- +docs/readme\\.txt"));
    EXPECT_THAT(lines[3], MatchesRegex(" *12 +12 +100% +1999-12-31 23:59:58 +[0-9A-F]{8} +2\\.0 +store +\\.\\.\\.\\.A +solid +data\\.bin"));
    EXPECT_THAT(lines[4], MatchesRegex(" *15 +16 +107% .* store +\\.\\.\\.\\.A +encrypted,solid +secret\\.txt"));
    EXPECT_THAT(lines[5], MatchesRegex(" *0 +0 +- .* \\.\\.\\.D\\. +dir,solid +folder"));
    EXPECT_THAT(lines[6], MatchesRegex(".* 1\\.5 +store +-rwxr-xr-x +solid +run\\.sh"));
    EXPECT_THAT(lines[7], MatchesRegex(" *10037 +" + std::to_string(packed + 38) + " +[0-9]+% +5 files"));
    rarwriter::WriteFile(dir_ / "empty.rar", rarwriter::BuildArchive({}));
    EXPECT_THAT(Run({"list", "empty.rar"}).out, HasSubstr("0 files"));
}

TEST_F(Cli, ExtractToStandardOutputOrAFile) {
    for (size_t i = 0; i < 2; ++i) {
        const auto r = Run({"extract", archive_, plan_.entries[i].name});
        EXPECT_EQ(r.exitCode, 0) << r.err;
        EXPECT_TRUE(r.out == plan_.entries[i].data && r.err.empty()) << plan_.entries[i].name;
    }
    const auto secret = Run({"extract", "-p", "open sesame", archive_, "SECRET.TXT"});  // options first, names as the library matches
    EXPECT_EQ(secret.exitCode, 0) << secret.err;
    EXPECT_EQ(secret.out, "the secret text");
    dir_.Write("out.txt", "old contents that must go, all of them");
    const auto r = Run({"extract", archive_, "docs/readme.txt", "-o", "out.txt"});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out, "");
    EXPECT_TRUE(rartest::ReadFile(dir_ / "out.txt") == plan_.entries[0].data);
    EXPECT_EQ(Files(), (std::vector<std::string>{"out.txt", "test.rar"}));
}

TEST_F(Cli, FailuresExitWithOneLineNamingTheLogAndLeaveNoFile) {
    dir_.Write("not-an-archive.rar", "plain text, no marker");
    for (const std::vector<std::string> &args :
         {std::vector<std::string>{"extract", archive_, "secret.txt", "-p", "wrong", "-o", "secret.out"},
          {"list", "missing.rar"}, {"list", "not-an-archive.rar"}, {"extract", "missing.rar", "a"},
          {"extract", archive_, "no-such-file", "-o", "x.out"}}) {
        const auto r = Run(args);
        EXPECT_EQ(r.exitCode, 1) << testing::PrintToString(args);
        EXPECT_EQ(r.out, "");
        ASSERT_EQ(Lines(r.err).size(), 1u) << r.err;
        EXPECT_THAT(r.err, HasSubstr("debug log " + LogPath()));
    }
    EXPECT_TRUE(fs::exists(LogPath()));
    const auto r = Run({"extract", archive_, "data.bin", "-o", "no/such/folder/out.bin"});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_THAT(r.err, HasSubstr("cannot write no/such/folder/out.bin"));
    EXPECT_EQ(Files(), (std::vector<std::string>{"not-an-archive.rar", "test.rar"}));
}

TEST_F(Cli, BadUsageExitsWithTwoAndTheUsage) {
    for (const std::vector<std::string> &args : std::vector<std::vector<std::string>>{
             {}, {"frobnicate"}, {"list"}, {"list", archive_, "extra"}, {"extract", archive_, "a", "b"}, {"test"},
             {"extract", archive_, "data.bin", "-p"}, {"extract", archive_, "data.bin", "-x"}}) {
        const auto r = Run(args);
        EXPECT_EQ(r.exitCode, 2) << testing::PrintToString(args);
        EXPECT_THAT(r.err, HasSubstr("usage: quorbenhal list ARCHIVE"));
        EXPECT_EQ(r.out, "");
    }
    const auto help = Run({"--help"});
    EXPECT_EQ(help.exitCode, 0);
    EXPECT_THAT(help.out, HasSubstr("usage: quorbenhal list ARCHIVE"));
    EXPECT_THAT(help.out, HasSubstr("Exit status"));
    rarwriter::WriteFile(dir_ / "dash.rar", rarwriter::BuildArchive({.entries = {rarwriter::Stored("-dash", "dash")}}));
    const auto dash = Run({"extract", "dash.rar", "--", "-dash"});  // after "--" a name may start with a dash
    EXPECT_EQ(dash.exitCode, 0) << dash.err;
    EXPECT_EQ(dash.out, "dash");
}

TEST_F(Cli, WholeArchiveExtractionKeepsOrReplacesAndTestChecksEveryEntry) {
    const auto out = dir_ / "out";
    auto r = Run({"extract", archive_, "-p", "open sesame", "-d", "out"});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out, "4 extracted, 0 kept, 0 refused, 0 failed\n");
    EXPECT_TRUE(fs::is_directory(out / "folder"));
    for (const auto &e : plan_.entries) {
        if (e.extraFlags != rarwriter::kFileDirectory) {
            EXPECT_EQ(rartest::ReadFile(out / e.name), e.data) << e.name;
        }
    }
    struct stat info;
    ASSERT_EQ(stat((out / "data.bin").c_str(), &info), 0);
    const struct tm *t = localtime(&info.st_mtime);
    EXPECT_EQ(std::tuple(t->tm_year, t->tm_mon, t->tm_mday, t->tm_hour, t->tm_min, t->tm_sec), std::tuple(99, 11, 31, 23, 59, 58));
    EXPECT_EQ(stat((out / "run.sh").c_str(), &info) == 0 && (info.st_mode & 0100), true) << "a Unix entry keeps its mode";
    rarwriter::WriteFile(out / "data.bin", "changed");  // kept without -f, replaced with it
    r = Run({"extract", archive_, "-d", "out"});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out, "0 extracted, 4 kept, 0 refused, 0 failed\n");
    EXPECT_EQ(rartest::ReadFile(out / "data.bin"), "changed");
    r = Run({"extract", "-f", archive_, "-d", "out"});  // no password: the secret fails, the others are replaced
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.out, "3 extracted, 0 kept, 0 refused, 1 failed\n");
    EXPECT_THAT(r.err, HasSubstr("cannot extract \"secret.txt\""));
    EXPECT_EQ(rartest::ReadFile(out / "data.bin"), plan_.entries[1].data);
    EXPECT_EQ(rartest::ReadFile(out / "secret.txt"), "the secret text") << "a failed entry leaves the file it would replace";

    r = Run({"test", archive_, "-p", "open sesame"});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_THAT(r.out, HasSubstr("OK      secret.txt\n"));
    EXPECT_THAT(r.out, HasSubstr("5 entries tested: 5 OK, 0 failed\n"));
    r = Run({"test", archive_});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_THAT(r.out, HasSubstr("FAILED  secret.txt: "));
    // Standard input: the same archive through "-".
    input_ = built_.bytes;
    EXPECT_THAT(RunWithInput({"list", "-"}).out, HasSubstr("5 files"));
    EXPECT_THAT(RunWithInput({"test", "-p", "open sesame", "-"}).out, HasSubstr("5 OK, 0 failed"));
    EXPECT_EQ(RunWithInput({"extract", "-", "DOCS\\README.TXT"}).out, plan_.entries[0].data);
    EXPECT_EQ(RunWithInput({"extract", "-", "missing"}).exitCode, 1);
}

TEST_F(Cli, HostileNamesNeverLeaveTheTargetFolder) {
    const auto target = dir_ / "target", outside = dir_ / "outside";
    fs::create_directories(target);
    fs::create_directories(outside);
    fs::create_directory_symlink(outside, target / "link");
    const std::vector<std::string> hostile = {"../up", "..\\up2", "a/../../up3", "/abs", "\\abs2", "C:drive", "C:\\drive2",
                                              "a//empty", "./dot", "link/through", "link\\through2"};
    rarwriter::ArchiveSpec plan;
    for (const std::string &name : hostile) plan.entries.push_back(rarwriter::Stored(name, "hostile"));
    plan.entries.push_back(rarwriter::Stored("deep\\good.txt", "good"));
    rarwriter::WriteFile(dir_ / "hostile.rar", rarwriter::BuildArchive(plan));
    const auto r = Run({"extract", "hostile.rar", "-d", "target"});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.out, "1 extracted, 0 kept, " + std::to_string(hostile.size()) + " refused, 0 failed\n");
    EXPECT_EQ(Lines(r.err).size(), hostile.size()) << r.err;
    EXPECT_EQ(rartest::ReadFile(target / "deep" / "good.txt"), "good");
    EXPECT_TRUE(fs::is_empty(outside));
    std::vector<std::string> everything;  // nothing but the archive, the target's tree and the empty outside folder
    for (const auto &e : fs::recursive_directory_iterator(dir_.path())) everything.push_back(e.path().lexically_relative(dir_.path()).string());
    std::sort(everything.begin(), everything.end());
    EXPECT_EQ(everything, (std::vector<std::string>{"hostile.rar", "outside", "target", "target/deep", "target/deep/good.txt",
                                                    "target/link", "test.rar"}));
}

// Every corpus archive extracted whole: each entry its manifest expects to extract is on disk with its content.
class CliCorpus : public ::testing::TestWithParam<rartest::CorpusArchive> {};

TEST_P(CliCorpus, WholeArchivesExtractAsTheirManifestsSay) {
    const rartest::CorpusArchive &a = GetParam();
    if (a.file.empty()) GTEST_SKIP() << "shared test data not found (expected under ../shared/)";
    const nlohmann::json record = nlohmann::json::parse(std::ifstream(a.manifest))["archives"][a.index];
    std::map<std::string, std::string> expected;  // the first entry of each path
    for (const nlohmann::json &entry : record["entries"]) {
        std::string name = entry.value("listed_name", entry["name"].get<std::string>());
        std::replace(name.begin(), name.end(), '\\', '/');
        const bool ok = entry.contains("expect") ? entry["expect"] == "ok"
                                                 : record["expected"].value("extract", nlohmann::json::object()).value(name, "") == "ok";
        const auto sha = entry.contains("sha256") ? entry["sha256"] : entry["crc_verified_sha256"];
        if (!expected.count(name)) expected[name] = ok && sha.is_string() ? sha.get<std::string>() : "";
    }
    rartest::TempDir out;
    std::vector<std::string> args = {QUORBENHAL_PROGRAM, "extract", a.path.string(), "-d", out.path().string()};
    if (a.password) args.insert(args.end(), {"-p", *a.password});
    const auto r = rartest::RunProcess(args);
    EXPECT_NE(r.exitCode, 2) << r.err;
    for (const auto &[name, sha] : expected) {
        if (!sha.empty()) {
            EXPECT_EQ(rartest::Sha256Hex(rartest::ReadFile(out / name)), sha) << name << "\n" << r.err;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Corpus, CliCorpus, ::testing::ValuesIn(rartest::CorpusArchives({"real", "gen"})), rartest::CorpusTestName);

}  // namespace
