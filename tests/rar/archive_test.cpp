// The archive reader: the start check, the block walk, header check values,
// names, and headers cut short.
#include <gtest/gtest.h>

#include "archive.h"
#include "quorbenhal.h"
#include "rar_test_util.h"

using namespace rartest;
using namespace rarwriter;
using Messages = std::vector<std::string>;

namespace {

const char kListEnd[] = "Couldn't read next filename from archive (I/O error).";

ArchiveSpec TwoFiles() {
    ArchiveSpec plan;
    plan.entries = {Stored("one.txt", "first file"), Compressed("two.txt", "second file")};
    return plan;
}

class ArchiveWalk : public ::testing::Test {
protected:
    std::filesystem::path Save(const std::string &bytes) { return dir_.Write("a.rar", bytes); }
    std::filesystem::path Save(const ArchiveSpec &plan) { return Save(BuildArchive(plan)); }

    testsupport::TempDir dir_;
    PrivateLog log_;
};

}  // namespace

TEST_F(ArchiveWalk, StartOfTheArchive) {
    const std::string good = BuildArchive(TwoFiles());
    const std::string notRar = "unknown archive type (only plain RAR supported (normal and solid archives), SFX and "
                               "Volumes are NOT supported!)";
    const struct {
        std::string bytes;
        Messages names, log;
    } cases[] = {
        {good, {"one.txt", "two.txt"}, {kListEnd}},
        {"Talvik!" + good.substr(7), {"one.txt", "two.txt"}, {kListEnd}},
        {"RE~^" + std::string(40, '\0'), {}, {"Attention: format as OLD detected! Can't handel archive!", "Not a RAR file"}},
        {"MZ\x90 self-extractor code" + good, {}, {notRar, "Not a RAR file"}},
        {"Rar!", {}, {"Not a RAR file"}},
        {good.substr(0, 17), {}, {"Not a RAR file"}},  // main header cut short
    };
    for (const auto &c : cases) {
        PrivateLog log;
        const auto path = Save(c.bytes);
        RarListEntry *list = reinterpret_cast<RarListEntry *>(&log);
        const int count = RarListFiles(path.c_str(), &list);
        EXPECT_EQ(log.Messages(), c.log);
        if (c.names.empty()) {
            EXPECT_EQ(count, 0);
            EXPECT_EQ(list, reinterpret_cast<RarListEntry *>(&log)) << "a refused archive leaves the list alone";
        } else {
            RarFreeList(list);
            EXPECT_EQ(ListNames(path), c.names);
            EXPECT_EQ(Extract(path, "two.txt").data, "second file");
        }
    }
}

TEST_F(ArchiveWalk, OtherBlocksArePassedOverWithTheirData) {
    ArchiveSpec plan = TwoFiles();
    plan.mainExtra = std::string(31, 'C');  // an archive comment
    plan.blocks = {{1, 0x7A, kLongBlock, "", std::string(100, '\x74')},  // data that looks like file headers
                   {1, 0x75, 0, "old comment"}, {2, 0x7B, 0x4000}};
    const auto path = Save(plan);
    EXPECT_EQ(ListNames(path), (Messages{"one.txt", "two.txt"}));
    EXPECT_EQ(Extract(path, "two.txt").data, "second file");
}

TEST_F(ArchiveWalk, MalformedBlocksAndSubBlocksEndTheWalk) {
    ArchiveSpec size0 = TwoFiles(), size6 = TwoFiles(), unknown = TwoFiles(), sub = TwoFiles();
    size0.entries[1].headerSize = 0;
    size6.entries[1].headerSize = 6;
    unknown.blocks = {{1, 0x7A, 0, "", "", 3}};
    sub.blocks = {{1, rarwriter::kSubBlockType, kLongBlock, "\x01\x01", "subdata"}};
    for (const auto &[plan, listLog] : {std::pair{size0, Messages{kListEnd}}, {size6, {kListEnd}}, {unknown, {kListEnd}},
                                        {sub, {"Sorry, sub-headers not supported."}}}) {
        const auto path = Save(plan);
        PrivateLog log;
        EXPECT_EQ(ListNames(path), Messages{"one.txt"});
        EXPECT_EQ(log.Messages(), listLog);
        EXPECT_EQ(Extract(path, "one.txt").data, "first file");
        EXPECT_EQ(Extract(path, "two.txt").result, 0);
    }
}

TEST_F(ArchiveWalk, FileHeaderWithoutTheDataFlagIsFollowedByItsData) {
    ArchiveSpec inner;
    inner.entries = {Stored("inner", "in")};
    ArchiveSpec plan;
    plan.entries = {Stored("flagless", BuildArchive(inner).substr(20))};
    plan.entries[0].flags = 0;
    const auto path = Save(plan);
    EXPECT_EQ(ListNames(path), (Messages{"flagless", "inner"}));
    EXPECT_EQ(Extract(path, "inner").data, "in");
}

TEST_F(ArchiveWalk, EitherHeaderCheckFormIsIntactAndABrokenOneIsOnlyLogged) {
    // RAR 1.5/2.0 archivers check the fixed part and the name; RAR 3.x ones
    // the whole header, with what follows the name.
    for (Check check : {Check::NameOnly, Check::WholeHeader, Check::Bad}) {
        ArchiveSpec plan;
        plan.entries = {Stored("file.txt", "content"), Stored(std::string(300, 'n'), "long")};
        plan.entries[0].extra = "\x11\x22\x33 extended time";
        for (EntrySpec &e : plan.entries) e.check = check;
        const auto path = Save(plan);
        PrivateLog log;
        RarListEntry *list = nullptr;
        ASSERT_EQ(RarListFiles(path.c_str(), &list), 2);
        EXPECT_EQ(list->next->name, std::string(259, 'n'));  // cut to 259 bytes
        EXPECT_EQ(list->next->nameSize, 259);
        RarFreeList(list);
        EXPECT_EQ(log.Messages(), (check == Check::Bad ? Messages{"file header broken", "file header broken", kListEnd}
                                                       : Messages{kListEnd}));
        EXPECT_EQ(Extract(path, "file.txt").data, "content");
        EXPECT_EQ(Extract(path, std::string(259, 'n')).data, "long");
    }
}

TEST_F(ArchiveWalk, PackedDataStartsAtTheHeaderSizeNotAfterTheName) {
    ArchiveSpec plan = TwoFiles();
    for (EntrySpec &e : plan.entries) e.extra = "a file comment between the name and the data";
    const auto path = Save(plan);
    EXPECT_EQ(Extract(path, "one.txt").data, "first file");
    EXPECT_EQ(Extract(path, "two.txt").data, "second file");
}

TEST_F(ArchiveWalk, NameWithAZeroByteEndsThere) {
    ArchiveSpec plan;
    plan.entries = {Stored(std::string("short\0hidden", 12), "ok")};
    const auto path = Save(plan);
    RarListEntry *list = nullptr;
    ASSERT_EQ(RarListFiles(path.c_str(), &list), 1);
    EXPECT_STREQ(list->name, "short");
    EXPECT_EQ(list->nameSize, 12);
    RarFreeList(list);
    EXPECT_EQ(Extract(path, "short").data, "ok");
}

TEST_F(ArchiveWalk, HeaderOrNameCutShortByTheEndOfTheFileEndsTheWalk) {
    const BuiltArchive built = BuildArchiveWithLayout(TwoFiles());
    for (size_t cut = built.entries[1].headerOffset + 1; cut < built.entries[1].dataOffset; ++cut) {
        const auto path = Save(built.bytes.substr(0, cut));
        PrivateLog log;
        EXPECT_EQ(ListNames(path), Messages{"one.txt"}) << "cut at " << cut;
        EXPECT_EQ(log.Messages(), Messages{kListEnd});
        EXPECT_EQ(Extract(path, "one.txt").data, "first file");
        EXPECT_EQ(Extract(path, "two.txt").result, 0);
    }
}

TEST(CompareEntryNames, AsciiCaseAndSeparatorsDoNotCountOtherBytesDo) {
    using quorbenhal::CompareEntryNames;
    const std::pair<const char *, const char *> same[] = {
        {"A\\B.TXT", "a/b.txt"}, {"a_b.TXT", "a/b.txt"}, {"docs_readme.txt", "DOCS\\README.TXT"}};
    for (auto [a, b] : same) EXPECT_EQ(CompareEntryNames(a, b), 0) << a << " " << b;
    for (auto [a, b] : {std::pair{"\xC3\xA9", "\xC3\x89"}, {"\xE9", "\xC9"}, {"ab", "abc"}, {"a.txt", "a-txt"}})
        EXPECT_NE(CompareEntryNames(a, b), 0) << a << " " << b;
    std::string longA(600, 'a'), longB(600, 'A');
    longB[590] = 'z';
    EXPECT_EQ(CompareEntryNames(longA.c_str(), longB.c_str()), 0);  // the first 511 bytes count
}
