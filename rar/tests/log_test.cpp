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

struct Entry {
    unsigned long ms;
    std::string file, text;
};

// The entries of a log, or none when the banner, the build line, the blank line or an entry's layout differs.
std::optional<std::vector<Entry>> Entries(const std::string &log) {
    static const std::regex head(R"(\(executable compiled on [A-Z][a-z]{2} [ \d]\d \d{4} at \d\d:\d\d:\d\d\)\n\n)"),
        entry(R"( +(\d+) ms \(line \d+ in ([^\n]+)\):\n {14}- ([^\n]*)\n)");
    std::smatch m;
    if (log.rfind(kBanner, 0) != 0) return std::nullopt;
    auto at = log.begin() + kBanner.size();
    if (!std::regex_search(at, log.end(), m, head, std::regex_constants::match_continuous)) return std::nullopt;
    std::vector<Entry> entries;
    for (at = m[0].second; std::regex_search(at, log.end(), m, entry, std::regex_constants::match_continuous); at = m[0].second) {
        char time[32];  // right-aligned in 8 or more columns
        snprintf(time, sizeof time, " %8lu", std::stoul(m[1]));
        if (m[0].str().rfind(std::string(time) + " ms", 0) != 0) return std::nullopt;
        entries.push_back({std::stoul(m[1]), m[2], m[3]});
    }
    return at == log.end() ? std::optional(entries) : std::nullopt;
}

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

TEST(LogFile, ComposedMessagesAreCutTo499CharactersConstantOnesNever) {
    PrivateLog log;
    RarLogWriteFormat("f.cpp", 3, "start %s end", std::string(2000, 'q').c_str());
    RarLogWrite(std::string(3000, 'w').c_str(), "f.cpp", 4);
    EXPECT_EQ(log.Messages(), (std::vector<std::string>{"start " + std::string(493, 'q'), std::string(3000, 'w')}));
}

TEST(LogFile, NoLogWhereItCannotBeMadePrivately) {
    // A link or a pipe in the log's place, a missing folder, a path too long for the buffer.
    rartest::TempDir files;
    const auto archive = files.Write("good.rar", rarwriter::BuildArchive({.entries = {rarwriter::Stored("file.txt", "hello")}}));
    logNotStarted = 0;
    for (const std::string what : {"symbolic link", "hard link", "pipe", "missing folder", "too long", "link later"}) {
        rartest::TempDir dir;
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
        EXPECT_EQ(rartest::Extract(archive, "file.txt", "hunter2").data, "hello") << "works without a log";
        EXPECT_EQ(rartest::ReadFile(victim), "keep me") << what;
    }
}

// A host's first entry operation starts the log (FreshProcess: as in a new process).
class LogStart : public ::testing::Test {
protected:
    void SetUp() override {
        if (const char *old = getenv("TMPDIR")) oldTmpdir_ = old;
        setenv("TMPDIR", tmp_.path().c_str(), 1);
        archive_ = dir_.Write("good.rar", rarwriter::BuildArchive({.entries = {rarwriter::Stored("file.txt", "hello")}}));
        FreshProcess();
    }
    static void FreshProcess() { logNotStarted = 1, logEnabled = 0, logPath[0] = '\0'; }
    void TearDown() override { oldTmpdir_ ? setenv("TMPDIR", oldTmpdir_->c_str(), 1) : unsetenv("TMPDIR"); }
    std::string Log() const { return rartest::ReadFile(tmp_ / "debug_unrar.txt"); }
    rartest::TempDir dir_, tmp_;
    std::filesystem::path archive_;
    std::optional<std::string> oldTmpdir_;
};

TEST_F(LogStart, CallsShareOneLogInTmpdirTheNextStartEmptiesIt) {
    EXPECT_EQ(rartest::ListNames(archive_).size(), 1u);
    std::this_thread::sleep_for(std::chrono::milliseconds(60));
    EXPECT_EQ(rartest::Extract(archive_, "file.txt", "first-password").data, "hello");
    EXPECT_EQ(rartest::ListNames(dir_ / "missing").size(), 0u);
    EXPECT_EQ(std::string(RarDefaultLogPath()), (tmp_ / "debug_unrar.txt").string());
    const auto entries = Entries(Log());
    ASSERT_TRUE(entries && entries->size() == 4) << Log();
    const std::string texts[4] = {"Couldn't read next filename from archive (I/O error).",
                                  "Extracting >file.txt< from >" + archive_.string() + "< (password is >first-password<)...",
                                  "Extracted 5 Bytes.", "Error opening file."};
    for (size_t i = 0; i < 4; ++i) {
        EXPECT_EQ((*entries)[i].file, "extract.cpp");
        EXPECT_EQ((*entries)[i].text, texts[i]);
    }
    EXPECT_GE((*entries)[1].ms - (*entries)[0].ms, 50u);  // milliseconds since the start
    EXPECT_LT((*entries)[3].ms, 60000u);
    EXPECT_EQ(ModeOf(tmp_ / "debug_unrar.txt"), 0600u);
    chmod((tmp_ / "debug_unrar.txt").c_str(), 0644);
    const mode_t old = umask(0);
    FreshProcess();  // the next process empties the log and makes it private again
    rartest::ListNames(archive_);
    EXPECT_EQ(Log().find("first-password"), std::string::npos);
    EXPECT_EQ(Log().rfind(kBanner, 0), 0u);
    EXPECT_EQ(ModeOf(tmp_ / "debug_unrar.txt"), 0600u);
    std::filesystem::remove(tmp_ / "debug_unrar.txt");  // an entry after the file went away makes it again, privately
    rartest::ListNames(archive_);
    umask(old);
    EXPECT_NE(Log().find("- Couldn't read next filename"), std::string::npos);
    EXPECT_EQ(ModeOf(tmp_ / "debug_unrar.txt"), 0600u);
}

TEST_F(LogStart, WithoutTmpdirTheLogGoesToTmp) {
    for (const char *tmpdir : {"", static_cast<const char *>(nullptr)}) {
        tmpdir ? setenv("TMPDIR", tmpdir, 1) : unsetenv("TMPDIR");
        EXPECT_STREQ(RarDefaultLogPath(), "/tmp/debug_unrar.txt");
    }
}
