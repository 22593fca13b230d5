// The debug log: its exact format, its file's protection, and how a host
// process starts it.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <regex>
#include <string>
#include <thread>

#include "log.h"
#include "rar_test_util.h"
#include "tests/support/subprocess.h"
#include "tests/support/temp_dir.h"

using namespace quorbenhal;
using rartest::PrivateLog;

namespace {

const char kBanner[] =
    "Debug log of Talvik's Quorbenhal\n"
    "~^~~~~~~~~~~~~~~~~~~~~~~~~~~~~^~\n";

std::string Format(uint32_t ms, unsigned line, const char *file, const char *text) {
    char buffer[1024];
    FormatLogEntry(buffer, sizeof buffer, ms, line, file, text);
    return buffer;
}

mode_t ModeOf(const std::filesystem::path &p) {
    struct stat info;
    if (stat(p.c_str(), &info) != 0) return 0;
    return info.st_mode & 0777;
}

}  // namespace

TEST(LogFormat, EntryLayout) {
    EXPECT_EQ(Format(5, 42, "extract.cpp", "Not a RAR file"),
              "        5 ms (line 42 in extract.cpp):\n"
              "              - Not a RAR file\n");
}

TEST(LogFormat, WideTimesWidenTheField) {
    EXPECT_EQ(Format(123456789, 7, "a.cpp", "x"), " 123456789 ms (line 7 in a.cpp):\n              - x\n");
    EXPECT_EQ(Format(4294967295u, 7, "a.cpp", "x").substr(0, 15), " 4294967295 ms ");
}

TEST(LogFormat, SourceFileIsItsBaseName) {
    EXPECT_STREQ(SourceBaseName("/home/build/rar/extract.cpp"), "extract.cpp");
    EXPECT_STREQ(SourceBaseName("C:\\src\\rar\\unpack.cpp"), "unpack.cpp");
    EXPECT_STREQ(SourceBaseName("log.cpp"), "log.cpp");
    EXPECT_EQ(Format(0, 1, "/x/y/archive.cpp", "t"), "        0 ms (line 1 in archive.cpp):\n              - t\n");
}

TEST(LogFile, BannerBuildLineThenEntries) {
    PrivateLog log;
    RarLogWrite("first entry", "/somewhere/rar/extract.cpp", 123);
    RarLogWrite("second entry", "unpack.cpp", 9);
    std::string text = log.Text();
    ASSERT_EQ(text.compare(0, strlen(kBanner), kBanner), 0) << text;
    std::regex layout(
        "\\(executable compiled on [A-Z][a-z][a-z] [ 1-3][0-9] [0-9]{4} at [0-2][0-9]:[0-5][0-9]:[0-6][0-9]\\)\n"
        "\n"
        " +[0-9]{1,10} ms \\(line 123 in extract\\.cpp\\):\n"
        "              - first entry\n"
        " +[0-9]{1,10} ms \\(line 9 in unpack\\.cpp\\):\n"
        "              - second entry\n");
    std::string rest = text.substr(strlen(kBanner));
    EXPECT_TRUE(std::regex_match(rest, layout)) << rest;
}

TEST(LogFile, TimesCountInMillisecondsFromTheStart) {
    PrivateLog log;
    std::this_thread::sleep_for(std::chrono::milliseconds(60));
    RarLogWrite("later", "t.cpp", 1);
    std::smatch m;
    std::string text = log.Text();
    ASSERT_TRUE(std::regex_search(text, m, std::regex(" +([0-9]+) ms \\(line 1 in t\\.cpp\\)")));
    unsigned long ms = std::stoul(m[1]);
    EXPECT_GE(ms, 50u);
    EXPECT_LT(ms, 60000u);
}

TEST(LogFile, ComposedMessagesAreCutTo499Characters) {
    PrivateLog log;
    std::string big(2000, 'q');
    RarLogWriteFormat("f.cpp", 3, "start %s end", big.c_str());
    auto messages = log.Messages();
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0], "start " + std::string(493, 'q'));
}

TEST(LogFile, ConstantTextsOfAnyLengthAreWrittenWhole) {
    PrivateLog log;
    std::string big(3000, 'w');
    RarLogWrite(big.c_str(), "f.cpp", 4);
    EXPECT_EQ(log.Messages(), std::vector<std::string>{big});
}

TEST(LogFile, CreatedReadableByItsOwnerOnly) {
    mode_t old = umask(0);
    PrivateLog log;
    umask(old);
    EXPECT_EQ(ModeOf(log.path()), 0600u);
}

TEST(LogFile, StartEmptiesAnExistingFileAndNarrowsItsMode) {
    testsupport::TempDir dir;
    auto path = dir.Write("debug_unrar.txt", "an older log with a password in it\n");
    chmod(path.c_str(), 0644);
    RarLogStart(path.c_str());
    EXPECT_EQ(logEnabled, 1);
    EXPECT_EQ(testsupport::ReadFile(path).compare(0, strlen(kBanner), kBanner), 0);
    EXPECT_EQ(testsupport::ReadFile(path).find("password"), std::string::npos);
    EXPECT_EQ(ModeOf(path), 0600u);
}

TEST(LogFile, NeverCreatedThroughASymbolicLink) {
    testsupport::TempDir dir;
    auto target = dir.Write("victim.txt", "keep me");
    auto link = dir / "debug_unrar.txt";
    ASSERT_EQ(symlink(target.c_str(), link.c_str()), 0);
    RarLogStart(link.c_str());
    EXPECT_EQ(logEnabled, 0);
    RarLogWrite("secret", "f.cpp", 1);
    EXPECT_EQ(testsupport::ReadFile(target), "keep me");
}

TEST(LogFile, NeverAppendedThroughASymbolicLink) {
    testsupport::TempDir dir;
    auto path = dir / "debug_unrar.txt";
    RarLogStart(path.c_str());
    ASSERT_EQ(logEnabled, 1);
    auto target = dir.Write("victim.txt", "keep me");
    std::filesystem::remove(path);
    ASSERT_EQ(symlink(target.c_str(), path.c_str()), 0);
    RarLogWrite("password is >hunter2<", "f.cpp", 1);
    EXPECT_EQ(testsupport::ReadFile(target), "keep me");
}

TEST(LogFile, EntryAfterTheFileWentAwayMakesItAgainPrivately) {
    testsupport::TempDir dir;
    auto path = dir / "debug_unrar.txt";
    RarLogStart(path.c_str());
    std::filesystem::remove(path);
    mode_t old = umask(0);
    RarLogWrite("again", "f.cpp", 2);
    umask(old);
    EXPECT_NE(testsupport::ReadFile(path).find("- again\n"), std::string::npos);
    EXPECT_EQ(ModeOf(path), 0600u);
}

TEST(LogFile, MissingFolderMeansNoLog) {
    testsupport::TempDir dir;
    RarLogStart((dir / "no" / "such" / "debug_unrar.txt").c_str());
    EXPECT_EQ(logEnabled, 0);
    RarLogWrite("dropped", "f.cpp", 1);
    EXPECT_FALSE(std::filesystem::exists(dir / "no"));
}

TEST(LogFile, PathTooLongForTheBufferMeansNoLog) {
    testsupport::TempDir dir;
    std::string path = (dir / std::string(300, 'l')).string();
    RarLogStart(path.c_str());
    EXPECT_EQ(logEnabled, 0);
}

// Fresh processes: the first entry operation of a host starts the log.
class LogProcess : public ::testing::Test {
protected:
    testsupport::ProcessResult Probe(const std::vector<std::string> &args,
                                     std::map<std::string, std::string> env) {
        std::vector<std::string> argv{RAR_LOG_PROBE};
        argv.insert(argv.end(), args.begin(), args.end());
        testsupport::ProcessOptions options;
        options.env = std::move(env);
        return testsupport::RunProcess(argv, options);
    }
    std::filesystem::path Archive() {
        return dir_.Write("good.rar", rartest::Marker() + rartest::MainHeader() +
                                          rartest::StoredEntry("file.txt", "hello"));
    }
    testsupport::TempDir dir_;
    testsupport::TempDir tmp_;
};

TEST_F(LogProcess, FirstListingWritesBannerBuildLineAndOneEntry) {
    auto result = Probe({"list", Archive().string()}, {{"TMPDIR", tmp_.path().string()}});
    ASSERT_EQ(result.exitCode, 0) << result.err;
    auto logPath = tmp_ / "debug_unrar.txt";
    EXPECT_EQ(result.out, "1\n" + logPath.string() + "\n");
    std::string text = testsupport::ReadFile(logPath);
    std::regex layout(
        "Debug log of Talvik's Quorbenhal\n"
        "~\\^~{28}\\^~\n"
        "\\(executable compiled on [A-Z][a-z]{2} [ 1-3][0-9] [0-9]{4} at [0-9]{2}:[0-9]{2}:[0-9]{2}\\)\n"
        "\n"
        " +[0-9]+ ms \\(line [0-9]+ in extract\\.cpp\\):\n"
        "              - Couldn't read next filename from archive \\(I/O error\\)\\.\n");
    EXPECT_TRUE(std::regex_match(text, layout)) << text;
    EXPECT_EQ(ModeOf(logPath), 0600u);
}

TEST_F(LogProcess, CallsOfOneProcessShareOneBanner) {
    auto archive = Archive();
    auto result = Probe({"list", archive.string(), archive.string(), (dir_ / "missing").string()},
                        {{"TMPDIR", tmp_.path().string()}});
    ASSERT_EQ(result.exitCode, 0) << result.err;
    std::string text = testsupport::ReadFile(tmp_ / "debug_unrar.txt");
    EXPECT_EQ(text.find("Debug log of"), 0u);
    EXPECT_EQ(text.find("Debug log of", 1), std::string::npos);
    EXPECT_EQ(text.find("Error opening file."), text.rfind("- ") + 2);
    size_t listings = 0;
    for (size_t p = 0; (p = text.find("Couldn't read next filename", p)) != std::string::npos; ++p) ++listings;
    EXPECT_EQ(listings, 2u);
}

TEST_F(LogProcess, NextProcessStartsTheLogAfresh) {
    auto archive = Archive();
    Probe({"extract", archive.string(), "file.txt", "first-password"}, {{"TMPDIR", tmp_.path().string()}});
    std::string first = testsupport::ReadFile(tmp_ / "debug_unrar.txt");
    EXPECT_NE(first.find("(password is >first-password<)"), std::string::npos);
    EXPECT_NE(first.find("Extracted 5 Bytes."), std::string::npos);
    Probe({"list", archive.string()}, {{"TMPDIR", tmp_.path().string()}});
    std::string second = testsupport::ReadFile(tmp_ / "debug_unrar.txt");
    EXPECT_EQ(second.find("first-password"), std::string::npos);
    EXPECT_EQ(second.find("Debug log of"), 0u);
}

TEST_F(LogProcess, WithoutTmpdirTheLogGoesToTmp) {
    auto result = Probe({"path"}, {{"TMPDIR", ""}});
    EXPECT_EQ(result.out, "/tmp/debug_unrar.txt\n");
    result = Probe({"path"}, {{"TMPDIR", "/some/where"}});
    EXPECT_EQ(result.out, "/some/where/debug_unrar.txt\n");
}

TEST_F(LogProcess, LibraryWorksTheSameWithoutALog) {
    // The log's place is a symbolic link: no log, same results.
    auto archive = Archive();
    auto target = tmp_.Write("other.txt", "untouched");
    ASSERT_EQ(symlink(target.c_str(), (tmp_ / "debug_unrar.txt").c_str()), 0);
    auto result = Probe({"extract", archive.string(), "file.txt"}, {{"TMPDIR", tmp_.path().string()}});
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_EQ(result.out, "hello");
    EXPECT_EQ(testsupport::ReadFile(target), "untouched");
}
