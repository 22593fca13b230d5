// quorbenhal, the library's command-line host: its formatting, and the
// program run as a user would on archives made by the writer.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <sstream>

#include "listing_format.h"
#include "rar_writer.h"
#include "sample_content.h"
#include "tests/support/subprocess.h"
#include "tests/support/temp_dir.h"

namespace {

using ::testing::HasSubstr;
using ::testing::MatchesRegex;
using ::testing::StartsWith;
namespace fs = std::filesystem;

// ---- formatting ----

TEST(CliFormat, DosDateAndTime) {
    EXPECT_EQ(quorbenhal_cli::DosDateTime(rarwriter::DosDateTime(2011, 9, 12, 12, 17, 32)), "2011-09-12 12:17:32");
    EXPECT_EQ(quorbenhal_cli::DosDateTime(rarwriter::DosDateTime(1980, 1, 1, 0, 0, 0)), "1980-01-01 00:00:00");
    EXPECT_EQ(quorbenhal_cli::DosDateTime(rarwriter::DosDateTime(2107, 12, 31, 23, 59, 58)), "2107-12-31 23:59:58");
    EXPECT_EQ(quorbenhal_cli::DosDateTime(0xFFFFFFFFu), "2107-15-31 31:63:62");  // garbage shown as stored
}

TEST(CliFormat, VersionMethodRatioCrc) {
    EXPECT_EQ(quorbenhal_cli::Version(20), "2.0");
    EXPECT_EQ(quorbenhal_cli::Version(15), "1.5");
    EXPECT_EQ(quorbenhal_cli::Version(29), "2.9");
    EXPECT_EQ(quorbenhal_cli::Method(0x30), "store");
    EXPECT_EQ(quorbenhal_cli::Method(0x33), "normal");
    EXPECT_EQ(quorbenhal_cli::Method(0x35), "best");
    EXPECT_EQ(quorbenhal_cli::Method(0x36), "0x36");
    EXPECT_EQ(quorbenhal_cli::Ratio(45, 100), "45%");
    EXPECT_EQ(quorbenhal_cli::Ratio(1, 3), "33%");
    EXPECT_EQ(quorbenhal_cli::Ratio(32, 7), "457%");
    EXPECT_EQ(quorbenhal_cli::Ratio(0, 0), "-");
    EXPECT_EQ(quorbenhal_cli::Ratio(0xFFFFFFFFull * 3, 0xFFFFFFFFull * 4), "75%");
    EXPECT_EQ(quorbenhal_cli::Crc(0xCBF43926), "CBF43926");
    EXPECT_EQ(quorbenhal_cli::Crc(0x1A), "0000001A");
}

TEST(CliFormat, AttributesByHostAndFlags) {
    EXPECT_EQ(quorbenhal_cli::Attributes(0x20, 2), "....A");
    EXPECT_EQ(quorbenhal_cli::Attributes(0x37, 0), "RHSDA");
    EXPECT_EQ(quorbenhal_cli::Attributes(0100644, 3), "-rw-r--r--");
    EXPECT_EQ(quorbenhal_cli::Attributes(040755, 3), "drwxr-xr-x");
    EXPECT_EQ(quorbenhal_cli::Flags(0x8000), "-");
    EXPECT_EQ(quorbenhal_cli::Flags(0x80E0), "dir");
    EXPECT_EQ(quorbenhal_cli::Flags(0x8080), "-");  // a dictionary size, not a directory
    EXPECT_EQ(quorbenhal_cli::Flags(0x0014), "encrypted,solid");
    EXPECT_EQ(quorbenhal_cli::Flags(0x000B), "split-before,split-after,comment");
}

// ---- the program ----

class Cli : public ::testing::Test {
protected:
    testsupport::ProcessResult Run(std::vector<std::string> args, std::string input = {}) {
        args.insert(args.begin(), QUORBENHAL_PROGRAM);
        testsupport::ProcessOptions o;
        o.env["TMPDIR"] = logDir_.path().string();
        o.workingDir = dir_.path().string();
        o.input = std::move(input);
        return testsupport::RunProcess(args, o);
    }

    std::string Archive(const rarwriter::ArchiveSpec &plan, const std::string &name = "test.rar") {
        return dir_.Write(name, rarwriter::BuildArchive(plan)).string();
    }

    // Files in the working folder, so a test can see nothing was left behind.
    std::vector<std::string> Files() const {
        std::vector<std::string> names;
        for (const auto &e : fs::directory_iterator(dir_.path())) names.push_back(e.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }

    std::string LogPath() const { return (logDir_.path() / "debug_unrar.txt").string(); }

    testsupport::TempDir dir_, logDir_;
};

rarwriter::ArchiveSpec SampleArchive() {
    rarwriter::ArchiveSpec plan;
    plan.solid = true;
    auto text = rarwriter::Compressed("docs/readme.txt", rarwriter::samples::Text(10000, 1));
    text.fileTime = rarwriter::DosDateTime(2024, 5, 17, 13, 45, 30);
    text.method = 0x35;
    plan.entries.push_back(text);
    auto stored = rarwriter::Stored("data.bin", std::string("\0\x01\x02 binary\0\xff", 12));
    stored.fileTime = rarwriter::DosDateTime(1999, 12, 31, 23, 59, 58);
    plan.entries.push_back(stored);
    auto secret = rarwriter::Compressed("secret.txt", "the secret text\n");
    secret.password = "open sesame";
    plan.entries.push_back(secret);
    auto dir = rarwriter::Stored("folder", "");
    dir.extraFlags = rarwriter::kFileDirectory;
    dir.attributes = 0x10;
    plan.entries.push_back(dir);
    return plan;
}

std::vector<std::string> Lines(const std::string &text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

TEST_F(Cli, ListPrintsEveryEntryAndATotal) {
    const auto plan = SampleArchive();
    const std::string archive = Archive(plan);
    const auto built = rarwriter::BuildArchiveWithLayout(plan);
    const auto r = Run({"list", archive});
    ASSERT_TRUE(r.started);
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.err, "");
    const auto lines = Lines(r.out);
    ASSERT_EQ(lines.size(), 7u) << r.out;
    EXPECT_THAT(lines[0], HasSubstr("(solid)"));
    EXPECT_THAT(lines[1], MatchesRegex(" *Size +Packed +Ratio +Date +Time +CRC-32 +Ver +Method +Attributes +Flags +Name"));

    const std::string crc = quorbenhal_cli::Crc(rarwriter::Crc32(plan.entries[0].data));
    EXPECT_THAT(lines[2], MatchesRegex(" *10000 +" + std::to_string(built.entries[0].packedSize) +
                                       " +[0-9]+% +2024-05-17 13:45:30 +" + crc + " +2\\.0 +best +\\.\\.\\.\\.A +- +docs/readme\\.txt"));
    EXPECT_THAT(lines[3], MatchesRegex(" *12 +12 +100% +1999-12-31 23:59:58 .* store .* solid +data\\.bin"));
    EXPECT_THAT(lines[4], MatchesRegex(".* encrypted,solid +secret\\.txt"));
    EXPECT_THAT(lines[5], MatchesRegex(" *0 +0 +- .* \\.\\.\\.D\\. +dir,solid +folder"));
    const uint64_t packed = built.entries[0].packedSize + 12 + built.entries[2].packedSize;
    EXPECT_THAT(lines[6], MatchesRegex(" *10028 +" + std::to_string(packed) + " +[0-9]+% +4 files"));
}

TEST_F(Cli, ListOfAnArchiveWithoutFiles) {
    const auto r = Run({"list", Archive(rarwriter::ArchiveSpec{})});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_THAT(r.out, HasSubstr("0 files"));
}

TEST_F(Cli, ExtractToStandardOutputKeepsEveryByte) {
    const auto plan = SampleArchive();
    const std::string archive = Archive(plan);
    for (size_t i = 0; i < 2; ++i) {
        const auto r = Run({"extract", archive, plan.entries[i].name});
        EXPECT_EQ(r.exitCode, 0) << r.err;
        EXPECT_TRUE(r.out == plan.entries[i].data) << plan.entries[i].name;
        EXPECT_EQ(r.err, "");
    }
    // Options may come first, and names match as the library matches them.
    const auto secret = Run({"extract", "-p", "open sesame", archive, "SECRET.TXT"});
    EXPECT_EQ(secret.exitCode, 0) << secret.err;
    EXPECT_EQ(secret.out, "the secret text\n");
}

TEST_F(Cli, ExtractToAFileReplacesItWhole) {
    const auto plan = SampleArchive();
    const std::string archive = Archive(plan);
    dir_.Write("out.txt", "old contents that must go");
    const auto r = Run({"extract", archive, "docs/readme.txt", "-o", "out.txt"});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out, "");
    EXPECT_TRUE(testsupport::ReadFile(dir_ / "out.txt") == plan.entries[0].data);
    EXPECT_EQ(Files(), (std::vector<std::string>{"out.txt", "test.rar"}));
    EXPECT_EQ(fs::status(dir_ / "out.txt").permissions() & fs::perms::owner_read, fs::perms::owner_read);
}

TEST_F(Cli, WrongPasswordFailsWithOneLineAndNoFile) {
    const std::string archive = Archive(SampleArchive());
    const auto r = Run({"extract", archive, "secret.txt", "-p", "wrong", "-o", "secret.out"});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.out, "");
    const auto lines = Lines(r.err);
    ASSERT_EQ(lines.size(), 1u) << r.err;
    EXPECT_THAT(lines[0], StartsWith("quorbenhal: cannot extract \"secret.txt\""));
    EXPECT_THAT(lines[0], HasSubstr("debug log " + LogPath()));
    EXPECT_TRUE(fs::exists(LogPath()));
    EXPECT_EQ(Files(), (std::vector<std::string>{"test.rar"}));
}

TEST_F(Cli, MissingArchiveOrEntryFails) {
    for (const std::vector<std::string> &args :
         {std::vector<std::string>{"list", "missing.rar"}, {"extract", "missing.rar", "a"},
          {"extract", Archive(SampleArchive()), "no-such-file"}}) {
        const auto r = Run(args);
        EXPECT_EQ(r.exitCode, 1) << args[1];
        EXPECT_EQ(Lines(r.err).size(), 1u) << r.err;
        EXPECT_THAT(r.err, HasSubstr(LogPath()));
    }
    dir_.Write("not-an-archive.rar", "plain text, no marker");
    EXPECT_EQ(Run({"list", "not-an-archive.rar"}).exitCode, 1);
}

TEST_F(Cli, UnwritableOutputFailsAndLeavesNothing) {
    const std::string archive = Archive(SampleArchive());
    const auto r = Run({"extract", archive, "data.bin", "-o", "no/such/folder/out.bin"});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_THAT(r.err, HasSubstr("cannot write no/such/folder/out.bin"));
    EXPECT_EQ(Files(), (std::vector<std::string>{"test.rar"}));
}

TEST_F(Cli, BadUsageExitsWithTwoAndTheUsage) {
    const std::string archive = Archive(SampleArchive());
    const std::vector<std::vector<std::string>> cases = {
        {},
        {"frobnicate"},
        {"list"},
        {"list", archive, "extra"},
        {"extract", archive},
        {"extract", archive, "a", "b"},
        {"extract", archive, "data.bin", "-p"},
        {"extract", archive, "data.bin", "-x"},
    };
    for (const auto &args : cases) {
        const auto r = Run(args);
        EXPECT_EQ(r.exitCode, 2) << testing::PrintToString(args);
        EXPECT_THAT(r.err, HasSubstr("usage: quorbenhal list ARCHIVE"));
        EXPECT_EQ(r.out, "");
    }
    // After "--" a name may start with a dash.
    rarwriter::ArchiveSpec plan;
    plan.entries.push_back(rarwriter::Stored("-dash", "dash"));
    const auto r = Run({"extract", Archive(plan, "dash.rar"), "--", "-dash"});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out, "dash");
}

TEST_F(Cli, HelpDescribesTheCommands) {
    const auto r = Run({"--help"});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_THAT(r.out, HasSubstr("usage: quorbenhal list ARCHIVE"));
    EXPECT_THAT(r.out, HasSubstr("-o FILE"));
    EXPECT_THAT(r.out, HasSubstr("Exit status"));
    EXPECT_EQ(r.err, "");
}

}  // namespace
