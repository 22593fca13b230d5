// The debug log: its exact format, its file's protection, and how a host
// process starts it.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <functional>
#include <regex>
#include <thread>

#include "log.h"
#include "rar_test_util.h"
#include "tests/support/subprocess.h"

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
    // Each case prepares the log's place in a folder and names a file that must stay untouched.
    const struct {
        const char *what;
        std::function<void(const std::filesystem::path &log, const std::filesystem::path &victim)> prepare;
    } cases[] = {
        {"symbolic link", [](auto &log, auto &victim) { ASSERT_EQ(symlink(victim.c_str(), log.c_str()), 0); }},
        {"hard link", [](auto &log, auto &victim) { ASSERT_EQ(link(victim.c_str(), log.c_str()), 0); }},
        {"pipe", [](auto &log, auto &) { ASSERT_EQ(mkfifo(log.c_str(), 0600), 0); }},  // must not block
        {"missing folder", [](auto &, auto &) {}},
        {"path too long", [](auto &, auto &) {}},
    };
    for (const auto &c : cases) {
        testsupport::TempDir dir;
        const auto victim = dir.Write("victim.txt", "keep me");
        std::filesystem::path log = dir / "debug_unrar.txt";
        if (c.what == std::string("missing folder")) log = dir / "no" / "debug_unrar.txt";
        if (c.what == std::string("path too long")) log = dir / std::string(300, 'l');
        c.prepare(log, victim);
        RarLogStart(log.c_str());
        EXPECT_EQ(logEnabled, 0) << c.what;
        RarLogWrite("password is >hunter2<", "f.cpp", 1);
        EXPECT_EQ(testsupport::ReadFile(victim), "keep me") << c.what;
    }
    // Replaced by a link after the start: no entry goes through it.
    testsupport::TempDir dir;
    const auto victim = dir.Write("victim.txt", "keep me");
    RarLogStart((dir / "debug_unrar.txt").c_str());
    ASSERT_EQ(logEnabled, 1);
    std::filesystem::remove(dir / "debug_unrar.txt");
    ASSERT_EQ(symlink(victim.c_str(), (dir / "debug_unrar.txt").c_str()), 0);
    RarLogWrite("password is >hunter2<", "f.cpp", 1);
    EXPECT_EQ(testsupport::ReadFile(victim), "keep me");
}

// Fresh processes: the first entry operation of a host starts the log.
class LogProcess : public ::testing::Test {
protected:
    testsupport::ProcessResult Probe(std::vector<std::string> args, const std::string &tmpdir) {
        args.insert(args.begin(), RAR_LOG_PROBE);
        testsupport::ProcessOptions options;
        options.env = {{"TMPDIR", tmpdir}};
        return testsupport::RunProcess(args, options);
    }
    std::string Archive() {
        rarwriter::ArchiveSpec plan;
        plan.entries = {rarwriter::Stored("file.txt", "hello")};
        return dir_.Write("good.rar", rarwriter::BuildArchive(plan)).string();
    }
    std::string Log() const { return testsupport::ReadFile(tmp_ / "debug_unrar.txt"); }
    testsupport::TempDir dir_, tmp_;
};

TEST_F(LogProcess, CallsOfOneProcessShareOneLog) {
    const std::string archive = Archive();
    const auto result = Probe({"list", archive, archive, (dir_ / "missing").string()}, tmp_.path());
    ASSERT_EQ(result.exitCode, 0) << result.err;
    EXPECT_EQ(result.out, "1\n1\n0\n" + (tmp_ / "debug_unrar.txt").string() + "\n");
    const std::string listEnd = "Couldn't read next filename from archive (I/O error).";
    const std::string log = Log();
    std::smatch m;
    EXPECT_EQ(log.rfind(kBanner, 0), 0u);
    const std::string rest = log.substr(kBanner.size());
    EXPECT_TRUE(std::regex_match(rest, m, std::regex(kBuildLine + kEntry + kEntry + kEntry))) << log;
    EXPECT_EQ(m[3].str() + m[7].str() + m[11].str(), "extract.cppextract.cppextract.cpp");
    EXPECT_EQ(m[4].str() + m[8].str() + m[12].str(), listEnd + listEnd + "Error opening file.");
    EXPECT_EQ(ModeOf(tmp_ / "debug_unrar.txt"), 0600u);
}

TEST_F(LogProcess, NextProcessStartsTheLogAfresh) {
    const std::string archive = Archive();
    Probe({"extract", archive, "file.txt", "first-password"}, tmp_.path());
    EXPECT_NE(Log().find("(password is >first-password<)"), std::string::npos);
    EXPECT_NE(Log().find("Extracted 5 Bytes."), std::string::npos);
    Probe({"list", archive}, tmp_.path());
    EXPECT_EQ(Log().find("first-password"), std::string::npos);
    EXPECT_EQ(Log().find("Debug log of"), 0u);
}

TEST_F(LogProcess, WithoutTmpdirTheLogGoesToTmp) {
    EXPECT_EQ(Probe({"path"}, "").out, "/tmp/debug_unrar.txt\n");
    EXPECT_EQ(Probe({"path"}, "/some/where").out, "/some/where/debug_unrar.txt\n");
}

TEST_F(LogProcess, LibraryWorksTheSameWithoutALog) {
    const auto target = tmp_.Write("other.txt", "untouched");
    ASSERT_EQ(symlink(target.c_str(), (tmp_ / "debug_unrar.txt").c_str()), 0);
    const auto result = Probe({"extract", Archive(), "file.txt"}, tmp_.path());
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_EQ(result.out, "hello");
    EXPECT_EQ(testsupport::ReadFile(target), "untouched");
}
