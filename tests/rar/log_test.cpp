// The debug log: its exact format, its file's protection, and how a host
// process starts it.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <sstream>
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

std::vector<std::string> Lines(const std::string &text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

bool AllOf(const std::string &s, size_t from, size_t count, const char *allowed) {
    if (from + count > s.size()) return false;
    for (size_t i = from; i < from + count; ++i) {
        if (strchr(allowed, s[i]) == nullptr || s[i] == '\0') return false;
    }
    return true;
}

// "(executable compiled on Mmm dd yyyy at hh:mm:ss)"
bool IsBuildLine(const std::string &line) {
    const std::string head = "(executable compiled on ";
    const char *digits = "0123456789";
    if (line.size() != head.size() + 11 + 4 + 8 + 1 || line.compare(0, head.size(), head) != 0) return false;
    size_t d = head.size();
    return AllOf(line, d, 1, "ADFJMNOS") && AllOf(line, d + 1, 2, "abcegilnoprtuvy") && line[d + 3] == ' ' &&
           AllOf(line, d + 4, 1, " 123") && AllOf(line, d + 5, 1, digits) && line[d + 6] == ' ' &&
           AllOf(line, d + 7, 4, digits) && line.compare(d + 11, 4, " at ") == 0 &&
           AllOf(line, d + 15, 2, digits) && line[d + 17] == ':' && AllOf(line, d + 18, 2, digits) &&
           line[d + 20] == ':' && AllOf(line, d + 21, 2, digits) && line.back() == ')';
}

// " <ms right-aligned in 8 or more columns> ms (line N in FILE):": the
// milliseconds, and the part from "(line" on.
bool ParseEntryHeader(const std::string &line, unsigned long *ms, std::string *place) {
    size_t end = line.find(" ms (line ");
    if (end == std::string::npos || end < 9 || line[0] != ' ') return false;
    size_t first = line.find_first_not_of(' ');
    if (first >= end || !AllOf(line, first, end - first, "0123456789")) return false;
    *ms = std::stoul(line.substr(first, end - first));
    *place = line.substr(end + 4);
    return true;
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
    std::vector<std::string> lines = Lines(text.substr(strlen(kBanner)));
    ASSERT_EQ(lines.size(), 6u) << text;
    EXPECT_TRUE(IsBuildLine(lines[0])) << lines[0];
    EXPECT_EQ(lines[1], "");
    unsigned long ms;
    std::string place;
    ASSERT_TRUE(ParseEntryHeader(lines[2], &ms, &place)) << lines[2];
    EXPECT_EQ(place, "(line 123 in extract.cpp):");
    EXPECT_EQ(lines[3], "              - first entry");
    ASSERT_TRUE(ParseEntryHeader(lines[4], &ms, &place)) << lines[4];
    EXPECT_EQ(place, "(line 9 in unpack.cpp):");
    EXPECT_EQ(lines[5], "              - second entry");
    EXPECT_EQ(text.back(), '\n');
}

TEST(LogFile, BuildLineCheckRefusesOtherLayouts) {
    EXPECT_TRUE(IsBuildLine("(executable compiled on Dec  6 2026 at 20:05:10)"));
    EXPECT_FALSE(IsBuildLine("(executable compiled on 2026-12-06 at 20:05:10)"));
    EXPECT_FALSE(IsBuildLine("(executable compiled on Dec 06 2026 at 20:05)"));
}

TEST(LogFile, TimesCountInMillisecondsFromTheStart) {
    PrivateLog log;
    std::this_thread::sleep_for(std::chrono::milliseconds(60));
    RarLogWrite("later", "t.cpp", 1);
    std::vector<std::string> lines = Lines(log.Text());
    ASSERT_EQ(lines.size(), 6u);
    unsigned long ms;
    std::string place;
    ASSERT_TRUE(ParseEntryHeader(lines[4], &ms, &place)) << lines[4];
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

TEST(LogFile, NeverWrittenThroughASecondName) {
    // A hard link in the log's place would let the log overwrite another file.
    testsupport::TempDir dir;
    auto other = dir.Write("other.txt", "keep me");
    auto path = dir / "debug_unrar.txt";
    ASSERT_EQ(link(other.c_str(), path.c_str()), 0);
    RarLogStart(path.c_str());
    EXPECT_EQ(logEnabled, 0);
    EXPECT_EQ(testsupport::ReadFile(other), "keep me");
}

TEST(LogFile, APipeInItsPlaceDoesNotBlock) {
    testsupport::TempDir dir;
    auto path = dir / "debug_unrar.txt";
    ASSERT_EQ(mkfifo(path.c_str(), 0600), 0);
    RarLogStart(path.c_str());  // would wait for a reader forever without O_NONBLOCK
    EXPECT_EQ(logEnabled, 0);
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
    ASSERT_EQ(text.compare(0, strlen(kBanner), kBanner), 0) << text;
    std::vector<std::string> lines = Lines(text.substr(strlen(kBanner)));
    ASSERT_EQ(lines.size(), 4u) << text;
    EXPECT_TRUE(IsBuildLine(lines[0])) << lines[0];
    EXPECT_EQ(lines[1], "");
    unsigned long ms;
    std::string place;
    ASSERT_TRUE(ParseEntryHeader(lines[2], &ms, &place)) << lines[2];
    EXPECT_EQ(place.substr(0, 6), "(line ");
    EXPECT_EQ(place.substr(place.size() - 14), " extract.cpp):");
    EXPECT_EQ(lines[3], "              - Couldn't read next filename from archive (I/O error).");
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
