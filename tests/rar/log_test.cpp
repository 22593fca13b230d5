// The debug log: its exact format, its file's protection, and how a host
// process starts it.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <optional>
#include <regex>
#include <thread>

#include "log.h"
#include "rar_test_util.h"

using namespace quorbenhal;
using rartest::PrivateLog;

namespace {

const std::string kBanner = "Debug log of Talvik's Quorbenhal\n~^~~~~~~~~~~~~~~~~~~~~~~~~~~~~^~\n";
// The build line, a blank line, then entries: time right-aligned in 8 or more columns.
const std::string kBuildLine = R"(\(executable compiled on [A-Z][a-z]{2} [ 123]\d \d{4} at \d\d:\d\d:\d\d\)\n\n)";
const std::string kEntry = R"( {1,8}(\d+) ms \(line (\d+) in ([^):]+)\):\n {14}- ([^\n]*)\n)";

std::string Format(uint32_t ms, unsigned line, const char *file, const char *text) {
    char buffer[1024];
    FormatLogEntry(buffer, sizeof buffer, ms, line, file, text);
    return buffer;
}

mode_t ModeOf(const std::filesystem::path &p) {
    struct stat info;
    return stat(p.c_str(), &info) == 0 ? info.st_mode & 0777 : 0;
}

}  // namespace

TEST(LogFormat, EntryLayoutAndTheSourceFilesBaseName) {
    EXPECT_EQ(Format(5, 42, "extract.cpp", "Not a RAR file"),
              "        5 ms (line 42 in extract.cpp):\n              - Not a RAR file\n");
    EXPECT_EQ(Format(123456789, 7, "/home/build/rar/a.cpp", "x"), " 123456789 ms (line 7 in a.cpp):\n              - x\n");
    EXPECT_EQ(Format(4294967295u, 1, "C:\\src\\rar\\unpack.cpp", "t"),
              " 4294967295 ms (line 1 in unpack.cpp):\n              - t\n");
}

TEST(LogFile, BannerBuildLineThenEntriesTimedFromTheStart) {
    PrivateLog log;
    RarLogWrite("first entry", "/somewhere/rar/extract.cpp", 123);
    std::this_thread::sleep_for(std::chrono::milliseconds(60));
    RarLogWrite("second entry", "unpack.cpp", 9);
    const std::string text = log.Text();
    std::smatch m;
    ASSERT_EQ(text.rfind(kBanner, 0), 0u) << text;
    const std::string rest = text.substr(kBanner.size());
    ASSERT_TRUE(std::regex_match(rest, m, std::regex(kBuildLine + kEntry + kEntry))) << text;
    EXPECT_EQ(m[2].str() + " " + m[3].str() + " " + m[4].str(), "123 extract.cpp first entry");
    EXPECT_EQ(m[6].str() + " " + m[7].str() + " " + m[8].str(), "9 unpack.cpp second entry");
    EXPECT_GE(std::stoul(m[5]) - std::stoul(m[1]), 50u);
    EXPECT_LT(std::stoul(m[5]), 60000u);
}

TEST(LogFile, ComposedMessagesAreCutTo499CharactersConstantOnesNever) {
    PrivateLog log;
    RarLogWriteFormat("f.cpp", 3, "start %s end", std::string(2000, 'q').c_str());
    RarLogWrite(std::string(3000, 'w').c_str(), "f.cpp", 4);
    EXPECT_EQ(log.Messages(), (std::vector<std::string>{"start " + std::string(493, 'q'), std::string(3000, 'w')}));
}

TEST(LogFile, CreatedOrEmptiedReadableByItsOwnerOnly) {
    testsupport::TempDir dir;
    const auto path = dir.Write("debug_unrar.txt", "an older log with a password in it\n");
    chmod(path.c_str(), 0644);
    const mode_t old = umask(0);
    RarLogStart(path.c_str());
    EXPECT_EQ(logEnabled, 1);
    EXPECT_EQ(testsupport::ReadFile(path).rfind(kBanner, 0), 0u);
    EXPECT_EQ(testsupport::ReadFile(path).find("password"), std::string::npos);
    EXPECT_EQ(ModeOf(path), 0600u);
    std::filesystem::remove(path);  // an entry after the file went away makes it again, privately
    RarLogWrite("again", "f.cpp", 2);
    umask(old);
    EXPECT_NE(testsupport::ReadFile(path).find("- again\n"), std::string::npos);
    EXPECT_EQ(ModeOf(path), 0600u);
}

TEST(LogFile, NoLogWhereItCannotBeMadePrivately) {
    // A link or a pipe in the log's place, a missing folder, a path too long for the buffer.
    for (const std::string what : {"symbolic link", "hard link", "pipe", "missing folder", "too long", "link later"}) {
        testsupport::TempDir dir;
        const auto victim = dir.Write("victim.txt", "keep me");
        const auto log = what == "missing folder" ? dir / "no" / "debug_unrar.txt"
                         : what == "too long"     ? dir / std::string(300, 'l')
                                                  : dir / "debug_unrar.txt";
        const int made = what == "symbolic link" ? symlink(victim.c_str(), log.c_str())
                         : what == "hard link"   ? link(victim.c_str(), log.c_str())
                         : what == "pipe"        ? mkfifo(log.c_str(), 0600)  // must not block
                                                 : 0;
        ASSERT_EQ(made, 0);
        RarLogStart(log.c_str());
        EXPECT_EQ(logEnabled, what == "link later") << what;
        if (what == "link later") {  // replaced by a link after the start: no entry goes through it
            std::filesystem::remove(log);
            ASSERT_EQ(symlink(victim.c_str(), log.c_str()), 0);
        }
        RarLogWrite("password is >hunter2<", "f.cpp", 1);
        EXPECT_EQ(testsupport::ReadFile(victim), "keep me") << what;
    }
}

// A host's first entry operation starts the log; the log's state is all that
// tells a fresh process from one whose log is running.
class LogStart : public ::testing::Test {
protected:
    void SetUp() override {
        if (const char *old = getenv("TMPDIR")) oldTmpdir_ = old;
        setenv("TMPDIR", tmp_.path().c_str(), 1);
        rarwriter::ArchiveSpec plan;
        plan.entries = {rarwriter::Stored("file.txt", "hello")};
        archive_ = dir_.Write("good.rar", rarwriter::BuildArchive(plan));
        FreshProcess();
    }
    static void FreshProcess() { logNotStarted = 1, logEnabled = 0, logPath[0] = '\0'; }
    void TearDown() override { oldTmpdir_ ? setenv("TMPDIR", oldTmpdir_->c_str(), 1) : unsetenv("TMPDIR"); }
    std::string Log() const { return testsupport::ReadFile(tmp_ / "debug_unrar.txt"); }
    testsupport::TempDir dir_, tmp_;
    std::filesystem::path archive_;
    std::optional<std::string> oldTmpdir_;
};

TEST_F(LogStart, CallsShareOneLogInTmpdirTheNextStartEmptiesIt) {
    EXPECT_EQ(rartest::ListNames(archive_).size(), 1u);
    EXPECT_EQ(rartest::Extract(archive_, "file.txt", "first-password").data, "hello");
    EXPECT_EQ(rartest::ListNames(dir_ / "missing").size(), 0u);
    EXPECT_EQ(std::string(RarDefaultLogPath()), (tmp_ / "debug_unrar.txt").string());
    const std::string log = Log();
    EXPECT_EQ(log.rfind(kBanner, 0), 0u);
    std::smatch m;
    const std::string rest = log.substr(kBanner.size());
    ASSERT_TRUE(std::regex_match(rest, m, std::regex(kBuildLine + kEntry + kEntry + kEntry + kEntry))) << log;
    EXPECT_EQ(m[3].str() + m[7].str() + m[11].str() + m[15].str(), "extract.cppextract.cppextract.cppextract.cpp");
    EXPECT_EQ(m[4].str(), "Couldn't read next filename from archive (I/O error).");
    EXPECT_EQ(m[8].str(), "Extracting >file.txt< from >" + archive_.string() + "< (password is >first-password<)...");
    EXPECT_EQ(m[12].str() + " / " + m[16].str(), "Extracted 5 Bytes. / Error opening file.");
    EXPECT_EQ(ModeOf(tmp_ / "debug_unrar.txt"), 0600u);
    FreshProcess();  // the next process
    rartest::ListNames(archive_);
    EXPECT_EQ(Log().find("first-password"), std::string::npos);
    EXPECT_EQ(Log().rfind(kBanner, 0), 0u);
}

TEST_F(LogStart, WithoutTmpdirTheLogGoesToTmp) {
    for (const char *tmpdir : {"", static_cast<const char *>(nullptr)}) {
        tmpdir ? setenv("TMPDIR", tmpdir, 1) : unsetenv("TMPDIR");
        EXPECT_STREQ(RarDefaultLogPath(), "/tmp/debug_unrar.txt");
    }
}

TEST_F(LogStart, LibraryWorksTheSameWithoutALog) {
    const auto target = tmp_.Write("other.txt", "untouched");
    ASSERT_EQ(symlink(target.c_str(), (tmp_ / "debug_unrar.txt").c_str()), 0);
    EXPECT_EQ(rartest::Extract(archive_, "file.txt").data, "hello");
    EXPECT_EQ(testsupport::ReadFile(target), "untouched");
}
