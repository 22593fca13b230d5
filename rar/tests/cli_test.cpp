// The library's command-line host, run as a user would on archives from the writer.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <sstream>

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
             {}, {"frobnicate"}, {"list"}, {"list", archive_, "extra"}, {"extract", archive_}, {"extract", archive_, "a", "b"},
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

}  // namespace
