// The archive reader, through hand-made archives: the start check, the block
// walk, header check values, names, and headers cut short.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "archive.h"
#include "library_state.h"
#include "quorbenhal.h"
#include "rar_test_util.h"
#include "tests/support/temp_dir.h"

using namespace rartest;
using Messages = std::vector<std::string>;

namespace {

class ArchiveWalk : public ::testing::Test {
protected:
    std::filesystem::path Save(const std::string &bytes) { return dir_.Write("a.rar", bytes); }

    testsupport::TempDir dir_;
    PrivateLog log_;
};

const char kListEnd[] = "Couldn't read next filename from archive (I/O error).";

std::string TwoFiles() {
    return StoredEntry("one.txt", "first file") + StoredEntry("two.txt", "second file");
}

}  // namespace

TEST_F(ArchiveWalk, RarMarkerAndMainHeader) {
    auto path = Save(Marker() + MainHeader() + TwoFiles());
    EXPECT_EQ(ListNames(path), (Messages{"one.txt", "two.txt"}));
    EXPECT_EQ(log_.Messages(), Messages{kListEnd});
}

TEST_F(ArchiveWalk, AlternativeMarkerReadsTheSame) {
    auto path = Save(TalvikMarker() + MainHeader() + TwoFiles());
    EXPECT_EQ(ListNames(path), (Messages{"one.txt", "two.txt"}));
    EXPECT_EQ(Extract(path, "two.txt").data, "second file");
}

TEST_F(ArchiveWalk, OldFormatIsRejectedWithItsOwnEntry) {
    auto path = Save("RE~^" + std::string(40, '\0'));
    RarListEntry *list = reinterpret_cast<RarListEntry *>(&log_);  // must stay untouched
    EXPECT_EQ(RarListFiles(path.string().c_str(), &list), 0);
    EXPECT_EQ(list, reinterpret_cast<RarListEntry *>(&log_));
    EXPECT_EQ(log_.Messages(),
              (Messages{"Attention: format as OLD detected! Can't handel archive!", "Not a RAR file"}));
}

TEST_F(ArchiveWalk, FileShorterThanTheMarkerIsRejectedSilently) {
    auto path = Save("Rar!");
    int count = -1;
    EXPECT_TRUE(ListNames(path, &count).empty());
    EXPECT_EQ(count, 0);
    EXPECT_EQ(log_.Messages(), Messages{"Not a RAR file"});
}

TEST_F(ArchiveWalk, UnknownMarkerIsRejected) {
    // A self-extracting archive: program code before the marker.
    auto path = Save("MZ\x90" + std::string(100, 'x') + Marker() + MainHeader() + TwoFiles());
    EXPECT_TRUE(ListNames(path).empty());
    EXPECT_EQ(log_.Messages(),
              (Messages{"unknown archive type (only plain RAR supported (normal and solid archives), "
                        "SFX and Volumes are NOT supported!)",
                        "Not a RAR file"}));
}

TEST_F(ArchiveWalk, MainHeaderCutShortIsRejected) {
    auto path = Save(Marker() + MainHeader().substr(0, 10));
    EXPECT_TRUE(ListNames(path).empty());
    EXPECT_EQ(log_.Messages(), Messages{"Not a RAR file"});
}

TEST_F(ArchiveWalk, MainHeaderCommentIsSkippedByItsSize) {
    auto path = Save(Marker() + MainHeader(0x0002, std::string(31, 'C')) + TwoFiles());
    EXPECT_EQ(ListNames(path), (Messages{"one.txt", "two.txt"}));
    EXPECT_EQ(Extract(path, "one.txt").data, "first file");
}

TEST_F(ArchiveWalk, UnknownBlockIsPassedOverWithItsData) {
    std::string data(100, '\x74');  // looks like file headers if the walk stepped into it
    auto path = Save(Marker() + MainHeader() + StoredEntry("one.txt", "first file") +
                     RawBlock(0x7A, 0x8000, "", data) + RawBlock(0x75, 0x0000, "old comment") +
                     StoredEntry("two.txt", "second file"));
    EXPECT_EQ(ListNames(path), (Messages{"one.txt", "two.txt"}));
    EXPECT_EQ(Extract(path, "two.txt").data, "second file");
}

TEST_F(ArchiveWalk, BlockWithHeaderSizeZeroEndsTheWalk) {
    std::string bad = RawBlock(0x7A, 0, "");
    bad[5] = bad[6] = 0;
    auto path = Save(Marker() + MainHeader() + StoredEntry("one.txt", "first file") + bad + TwoFiles());
    EXPECT_EQ(ListNames(path), Messages{"one.txt"});
    EXPECT_EQ(log_.Messages(), Messages{kListEnd});
    EXPECT_EQ(Extract(path, "two.txt").result, 0);
}

TEST_F(ArchiveWalk, EndOfArchiveBlockIsPassedOver) {
    auto path = Save(Marker() + MainHeader() + TwoFiles() + RawBlock(0x7B, 0x4000));
    EXPECT_EQ(ListNames(path), (Messages{"one.txt", "two.txt"}));
}

TEST_F(ArchiveWalk, SubBlockEndsTheListingAndTheExtraction) {
    auto path = Save(Marker() + MainHeader() + StoredEntry("one.txt", "first file") +
                     RawBlock(0x77, 0x8000, std::string("\x01\x01", 2), "subdata") +
                     StoredEntry("two.txt", "second file"));
    EXPECT_EQ(ListNames(path), Messages{"one.txt"});
    EXPECT_EQ(log_.Messages(), Messages{"Sorry, sub-headers not supported."});
    EXPECT_EQ(Extract(path, "one.txt").data, "first file");
    EXPECT_EQ(Extract(path, "two.txt").result, 0);
}

TEST_F(ArchiveWalk, FindBlockStopsAtASubBlockAndPutsEverythingBack) {
    using namespace quorbenhal;
    std::string head = Marker() + MainHeader() + StoredEntry("one.txt", "first file");
    auto path = Save(head + RawBlock(0x77, 0x8000, "", "xyz") + StoredEntry("two.txt", "second"));
    archiveFile = fopen(path.string().c_str(), "rb");
    ASSERT_NE(archiveFile, nullptr);
    ASSERT_EQ(CheckArchiveStart(), 1);
    EXPECT_GT(FindBlock(kFileHeaderType, true), 0);
    EXPECT_STREQ(entryName, "one.txt");
    ArchiveSeek(archiveFile, nextBlock, SEEK_SET);
    const RarFileHeader before = fileHeader;
    EXPECT_GT(FindBlock(kFileHeaderType, true), 0);
    EXPECT_EQ(lastBlockType, kSubBlockType);
    EXPECT_EQ(ftell(archiveFile), static_cast<long>(head.size()));
    EXPECT_EQ(fileHeader.packedSize, before.packedSize);
    EXPECT_EQ(fileHeader.nameSize, before.nameSize);
    // Without stopping at sub-blocks the walk passes over it.
    EXPECT_GT(FindBlock(kFileHeaderType, false), 0);
    EXPECT_STREQ(entryName, "two.txt");
    fclose(archiveFile);
    archiveFile = nullptr;
}

TEST_F(ArchiveWalk, WrongHeaderCheckIsLoggedAndTheEntryStillUsed) {
    FileFields f;
    f.name = "broken.txt";
    f.packedSize = f.unpackedSize = 4;
    f.fileCrc = ZlibCrc("data");
    f.check = CheckForm::kWrong;
    auto path = Save(Marker() + MainHeader() + FileHeader(f) + "data");
    EXPECT_EQ(ListNames(path), Messages{"broken.txt"});
    EXPECT_EQ(log_.Messages(), (Messages{"file header broken", kListEnd}));
    Extracted e = Extract(path, "broken.txt");
    EXPECT_EQ(e.result, 1);
    EXPECT_EQ(e.data, "data");
}

TEST_F(ArchiveWalk, BothHeaderCheckFormsAreIntact) {
    // RAR 1.5/2.0 archivers check the fixed part and the name, RAR 3.x ones
    // the whole header with what follows the name. Either is intact.
    for (CheckForm form : {CheckForm::kFixedAndName, CheckForm::kWholeHeader}) {
        FileFields f;
        f.name = "file.txt";
        f.afterName = std::string("\x11\x22\x33\x44\x55\x66\x77\x88\x99\xAA", 10);
        f.flags = 0x9020;
        f.packedSize = f.unpackedSize = 7;
        f.fileCrc = ZlibCrc("content");
        f.check = form;
        auto path = Save(Marker() + MainHeader() + FileHeader(f) + "content");
        PrivateLog log;
        EXPECT_EQ(ListNames(path), Messages{"file.txt"});
        EXPECT_EQ(log.Messages(), Messages{kListEnd}) << "form " << static_cast<int>(form);
    }
}

TEST_F(ArchiveWalk, PackedDataStartsAtTheHeaderSizeNotAfterTheName) {
    FileFields f;
    f.name = "commented.txt";
    f.afterName = "a file comment sits here";
    f.packedSize = f.unpackedSize = 9;
    f.fileCrc = ZlibCrc("real data");
    auto path = Save(Marker() + MainHeader() + FileHeader(f) + "real data" + StoredEntry("next", "n"));
    Extracted e = Extract(path, "commented.txt");
    EXPECT_EQ(e.result, 1);
    EXPECT_EQ(e.data, "real data");
    EXPECT_EQ(Extract(path, "next").data, "n");
}

TEST_F(ArchiveWalk, LongNameIsCutTo259Bytes) {
    std::string name(300, 'n');
    name[100] = '\\';
    std::string cut = name.substr(0, 259);
    for (CheckForm form : {CheckForm::kFixedAndName, CheckForm::kWrong}) {
        FileFields f;
        f.name = name;
        f.packedSize = f.unpackedSize = 4;
        f.fileCrc = ZlibCrc("long");
        f.check = form;
        auto path = Save(Marker() + MainHeader() + FileHeader(f) + "long" + StoredEntry("after", "x"));
        PrivateLog log;
        RarListEntry *list = nullptr;
        ASSERT_EQ(RarListFiles(path.string().c_str(), &list), 2);
        EXPECT_EQ(list->name, cut);
        EXPECT_EQ(list->nameSize, 259);
        EXPECT_STREQ(list->next->name, "after");
        RarFreeList(list);
        // A check over the whole name on disk is intact; a wrong one is not.
        Messages expected = form == CheckForm::kWrong ? Messages{"file header broken", kListEnd}
                                                      : Messages{kListEnd};
        EXPECT_EQ(log.Messages(), expected);
        EXPECT_EQ(Extract(path, cut).data, "long");
    }
}

TEST_F(ArchiveWalk, NameWithAZeroByteEndsThere) {
    FileFields f;
    f.name = std::string("short\0hidden", 12);
    f.packedSize = f.unpackedSize = 2;
    f.fileCrc = ZlibCrc("ok");
    auto path = Save(Marker() + MainHeader() + FileHeader(f) + "ok");
    RarListEntry *list = nullptr;
    ASSERT_EQ(RarListFiles(path.string().c_str(), &list), 1);
    EXPECT_STREQ(list->name, "short");
    EXPECT_EQ(list->nameSize, 12);
    RarFreeList(list);
    EXPECT_EQ(Extract(path, "short").data, "ok");
}

TEST_F(ArchiveWalk, HeaderCutShortByTheEndOfTheFileEndsTheWalk) {
    std::string whole = Marker() + MainHeader() + TwoFiles();
    std::string second = StoredEntry("two.txt", "second file");
    size_t secondStart = whole.size() - second.size();
    for (size_t cut = secondStart + 1; cut < secondStart + 32 + 7; ++cut) {
        auto path = Save(whole.substr(0, cut));
        PrivateLog log;
        EXPECT_EQ(ListNames(path), Messages{"one.txt"}) << "cut at " << cut;
        EXPECT_EQ(log.Messages(), Messages{kListEnd});
        EXPECT_EQ(Extract(path, "one.txt").data, "first file");
        EXPECT_EQ(Extract(path, "two.txt").result, 0);
    }
}

TEST_F(ArchiveWalk, StoredDataCutShortFailsTheCheck) {
    std::string whole = Marker() + MainHeader() + StoredEntry("one.txt", "first file");
    auto path = Save(whole.substr(0, whole.size() - 3));
    PrivateLog log;
    Extracted e = Extract(path, "one.txt");
    EXPECT_EQ(e.result, 0);
    EXPECT_TRUE(e.nullOnFailure);
    Messages m = log.Messages();
    ASSERT_GE(m.size(), 2u);
    EXPECT_EQ(m[m.size() - 2], "Error - the packed data is too short for the file's size.");
}

TEST_F(ArchiveWalk, BlockSizeBelowSevenEndsTheWalk) {
    std::string bad = RawBlock(0x7A, 0);
    bad[5] = 6;
    auto path = Save(Marker() + MainHeader() + StoredEntry("one.txt", "first file") + bad + TwoFiles());
    EXPECT_EQ(ListNames(path), Messages{"one.txt"});
}

TEST_F(ArchiveWalk, FileHeaderWithoutTheDataFlagIsWalkedAsIfNoDataFollowed) {
    // Its packed data is then read as the next block's header.
    std::string entry = StoredEntry("flagless", std::string(StoredEntry("inner", "in")), 0x0000);
    auto path = Save(Marker() + MainHeader() + entry);
    EXPECT_EQ(ListNames(path), (Messages{"flagless", "inner"}));
    EXPECT_EQ(Extract(path, "inner").data, "in");
}

TEST(CompareEntryNames, SeparatorsAndAsciiCaseDoNotCount) {
    using quorbenhal::CompareEntryNames;
    EXPECT_EQ(CompareEntryNames("A\\B.TXT", "a/b.txt"), 0);
    EXPECT_EQ(CompareEntryNames("a_b.TXT", "a/b.txt"), 0);
    EXPECT_EQ(CompareEntryNames("docs/readme.txt", "DOCS\\README.TXT"), 0);
    EXPECT_EQ(CompareEntryNames("docs_readme.txt", "DOCS\\README.TXT"), 0);
}

TEST(CompareEntryNames, BytesAboveAsciiAreComparedAsTheyAre) {
    using quorbenhal::CompareEntryNames;
    EXPECT_NE(CompareEntryNames("\xC3\xA9", "\xC3\x89"), 0);  // é and É
    EXPECT_NE(CompareEntryNames("\xE9", "\xC9"), 0);
}

TEST(CompareEntryNames, OrderIsThatOfTheTransformedBytes) {
    using quorbenhal::CompareEntryNames;
    EXPECT_LT(CompareEntryNames("abc", "ABD"), 0);
    EXPECT_GT(CompareEntryNames("abd", "ABC"), 0);
    EXPECT_LT(CompareEntryNames("ab", "ABC"), 0);
    EXPECT_NE(CompareEntryNames("a.txt", "a.tx"), 0);
}

TEST(CompareEntryNames, NamesThemselvesAreNotChanged) {
    char a[] = "x/y.txt";
    char b[] = "X\\Y.TXT";
    EXPECT_EQ(quorbenhal::CompareEntryNames(a, b), 0);
    EXPECT_STREQ(a, "x/y.txt");
    EXPECT_STREQ(b, "X\\Y.TXT");
}

TEST(CompareEntryNames, VeryLongNamesCompareByTheirFirst511Bytes) {
    std::string a(600, 'a'), b(600, 'A');
    b[590] = 'z';
    EXPECT_EQ(quorbenhal::CompareEntryNames(a.c_str(), b.c_str()), 0);
}

