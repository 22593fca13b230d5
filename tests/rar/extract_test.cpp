// The two entry operations through hand-made archives: what is extracted,
// what fails and what the log says about it.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "listing.h"
#include "quorbenhal.h"
#include "rar_test_util.h"
#include "tests/support/temp_dir.h"

using namespace rartest;
using Messages = std::vector<std::string>;

namespace {

class Extraction : public ::testing::Test {
protected:
    std::filesystem::path Save(const std::string &bytes) { return dir_.Write("x.rar", bytes); }
    static std::string Archive(const std::string &entries, uint16_t mainFlags = 0) {
        return Marker() + MainHeader(mainFlags) + entries;
    }

    testsupport::TempDir dir_;
    PrivateLog log_;
};

std::string Failure(const std::string &name, unsigned bytes) {
    return "Error - couldn't extract >" + name + "< and allocated " + std::to_string(bytes) +
           " Bytes of unused memory!";
}

std::string Asking(const std::string &name, const std::filesystem::path &archive, const char *password) {
    return "Extracting >" + name + "< from >" + archive.string() + "< (password is >" +
           (password ? password : "(null)") + "<)...";
}

// An encrypted stored entry as archivers write it: the packed data is the
// content enciphered in whole blocks.
std::string EncryptedStored(const std::string &name, const std::string &content, const std::string &pw) {
    std::string packed = Encipher(content, pw);
    FileFields f;
    f.name = name;
    f.flags = 0x8004;
    f.packedSize = static_cast<uint32_t>(packed.size());
    f.unpackedSize = static_cast<uint32_t>(content.size());
    f.fileCrc = ZlibCrc(content);
    return FileHeader(f) + packed;
}

// A compressed entry of literals only, in a fresh stream.
std::string LiteralStream(const std::string &content) {
    BitWriter w;
    LzCodes c = PutLzTables(w);
    for (unsigned char ch : content) c.main.Put(w, ch);
    return w.Bytes();
}

}  // namespace

TEST_F(Extraction, StoredEntryComesBackWhole) {
    auto path = Save(Archive(StoredEntry("a.txt", "alpha") + StoredEntry("b.txt", "bravo")));
    Extracted e = Extract(path, "b.txt");
    EXPECT_EQ(e.result, 1);
    EXPECT_EQ(e.data, "bravo");
    EXPECT_EQ(log_.Messages(), (Messages{Asking("b.txt", path, nullptr), "Extracted 5 Bytes."}));
}

TEST_F(Extraction, FirstEntryOfADoubledNameIsTaken) {
    auto path = Save(Archive(StoredEntry("same", "first") + StoredEntry("SAME", "second")));
    EXPECT_EQ(Extract(path, "same").data, "first");
    EXPECT_EQ(Extract(path, "Same").data, "first");
}

TEST_F(Extraction, NamesMatchWhateverSeparatorAndCase) {
    auto path = Save(Archive(StoredEntry("DOCS\\README.TXT", "read me")));
    EXPECT_EQ(Extract(path, "docs/readme.txt").data, "read me");
    EXPECT_EQ(Extract(path, "docs_readme.txt").data, "read me");
    EXPECT_EQ(Extract(path, "docs\\readme.txt").data, "read me");
}

TEST_F(Extraction, EmptyEntryGivesAUsableBuffer) {
    auto path = Save(Archive(StoredEntry("empty", "")));
    unsigned char *data = nullptr;
    uint32_t size = 99;
    ASSERT_EQ(RarExtractToMemory(&data, &size, "empty", path.string().c_str(), nullptr), 1);
    EXPECT_NE(data, nullptr);
    EXPECT_EQ(size, 0u);
    free(data);
}

TEST_F(Extraction, MissingNameFailsWithOnlyTheRequestAndTheFailure) {
    auto path = Save(Archive(StoredEntry("a.txt", "alpha")));
    Extracted e = Extract(path, "nothere");
    EXPECT_EQ(e.result, 0);
    EXPECT_TRUE(e.nullOnFailure);
    EXPECT_EQ(log_.Messages(), (Messages{Asking("nothere", path, nullptr), Failure("nothere", 0)}));
}

TEST_F(Extraction, MissingArchiveFails) {
    Extracted e = Extract(dir_ / "absent.rar", "a");
    EXPECT_EQ(e.result, 0);
    EXPECT_EQ(log_.Messages(), (Messages{Asking("a", dir_ / "absent.rar", nullptr), "Error opening file.",
                                         Failure("a", 0)}));
}

TEST_F(Extraction, EncryptedStoredEntryDeciphersWithThePassword) {
    // 37 bytes: two whole blocks and a partial one; the packed data is 48.
    std::string content = "thirty-seven bytes of secret content!";
    ASSERT_EQ(content.size(), 37u);
    auto path = Save(Archive(EncryptedStored("secret.txt", content, "open sesame")));
    Extracted e = Extract(path, "secret.txt", "open sesame");
    EXPECT_EQ(e.result, 1);
    EXPECT_EQ(e.data, content);
    EXPECT_EQ(log_.Messages()[0], Asking("secret.txt", path, "open sesame"));  // the password, in clear
}

TEST_F(Extraction, EncryptedEntryWithoutOrWithAWrongPasswordFailsItsCheck) {
    std::string content = "sixteen bytes!!!";
    auto path = Save(Archive(EncryptedStored("secret.txt", content, "right")));
    for (const char *pw : {static_cast<const char *>(nullptr), "", "wrong"}) {
        PrivateLog log;
        EXPECT_EQ(Extract(path, "secret.txt", pw).result, 0);
        EXPECT_EQ(log.Messages()[1], "CRC32 error - file couldn't be decompressed correctly!");
        EXPECT_EQ(log.Messages()[2], Failure("secret.txt", 16));
    }
}

TEST_F(Extraction, PasswordForAnEntryThatIsNotEncryptedIsIgnored) {
    auto path = Save(Archive(StoredEntry("plain", "plain text")));
    EXPECT_EQ(Extract(path, "plain", "some password").data, "plain text");
}

TEST_F(Extraction, PasswordDoesNotOutliveTheCall) {
    std::string content = "sixteen bytes!!!";
    auto path = Save(Archive(EncryptedStored("secret.txt", content, "pw")));
    EXPECT_EQ(Extract(path, "secret.txt", "pw").result, 1);
    EXPECT_EQ(Extract(path, "secret.txt", nullptr).result, 0);  // no password left behind
}

TEST_F(Extraction, CompressedEntry) {
    std::string content = "compressed with the RAR 2.0 method";
    auto path = Save(Archive(PackedEntry("c.txt", LiteralStream(content), content)));
    EXPECT_EQ(Extract(path, "c.txt").data, content);
}

TEST_F(Extraction, EncryptedCompressedEntry) {
    std::string content = "compressed, then enciphered";
    std::string packed = Encipher(LiteralStream(content), "k3y");
    FileFields f;
    f.name = "ec";
    f.flags = 0x8004;
    f.method = 0x33;
    f.packedSize = static_cast<uint32_t>(packed.size());
    f.unpackedSize = static_cast<uint32_t>(content.size());
    f.fileCrc = ZlibCrc(content);
    auto path = Save(Archive(FileHeader(f) + packed));
    EXPECT_EQ(Extract(path, "ec", "k3y").data, content);
    EXPECT_EQ(Extract(path, "ec").result, 0);
}

TEST_F(Extraction, VersionOutsideThirteenToTwentyIsRefused) {
    for (uint8_t version : {12, 21, 29}) {
        auto path = Save(Archive(StoredEntry("v", "data", 0x8000, version)));
        PrivateLog log;
        EXPECT_EQ(Extract(path, "v").result, 0) << int(version);
        EXPECT_EQ(log.Messages()[1], "unknown compression method");
        EXPECT_EQ(log.Messages()[2], Failure("v", 4));
    }
}

TEST_F(Extraction, OlderPackingMethodIsRefusedBeforeDecoding) {
    // Version 15 with a method other than storing was packed with the RAR 1.5
    // method; its stored and empty entries are still readable.
    std::string content = "old packing";
    FileFields f;
    f.name = "old";
    f.unpackVersion = 15;
    f.method = 0x33;
    std::string packed = LiteralStream(content);
    f.packedSize = static_cast<uint32_t>(packed.size());
    f.unpackedSize = static_cast<uint32_t>(content.size());
    f.fileCrc = ZlibCrc(content);
    FileFields dir;
    dir.name = "olddir";
    dir.unpackVersion = 15;
    dir.method = 0x33;
    dir.flags = 0x80E0;
    auto path = Save(Archive(FileHeader(f) + packed + StoredEntry("stored15", "kept", 0x8000, 15) +
                             FileHeader(dir)));
    EXPECT_EQ(Extract(path, "old").result, 0);
    EXPECT_EQ(log_.Messages()[1], "unknown compression method");
    EXPECT_EQ(Extract(path, "stored15").data, "kept");
    Extracted d = Extract(path, "olddir");
    EXPECT_EQ(d.result, 1);
    EXPECT_EQ(d.data, "");
}

TEST_F(Extraction, SplitEntriesFailWithTheirOwnEntry) {
    for (uint16_t split : {0x0001, 0x0002, 0x0003}) {
        auto path = Save(Archive(StoredEntry("before", "b") +
                                 StoredEntry("split", "part", static_cast<uint16_t>(0x8000 | split)) +
                                 StoredEntry("after", "a")));
        PrivateLog log;
        EXPECT_EQ(Extract(path, "split").result, 0);
        EXPECT_EQ(log.Messages()[1], "Sorry, files split across volumes not supported.");
        EXPECT_EQ(Extract(path, "before").data, "b");
        EXPECT_EQ(Extract(path, "after").data, "a");
    }
}

TEST_F(Extraction, SolidArchiveDecodesEveryEntryBeforeTheWantedOne) {
    // One stream across three entries with a stored entry between them; the
    // third copies bytes out of the first.
    BitWriter first, third;
    LzCodes c = PutLzTables(first);
    std::string one = "solid stream, entry one";
    for (unsigned char ch : one) c.main.Put(first, ch);
    PutLongMatch(third, c, 12, static_cast<uint32_t>(one.size()));  // "solid stream"
    std::string three = one.substr(0, 12);
    auto path = Save(Archive(PackedEntry("one", first.Bytes(), one) + StoredEntry("two", "stored") +
                                 PackedEntry("three", third.Bytes(), three, 0x8010),
                             0x0008));
    Extracted e = Extract(path, "three");
    EXPECT_EQ(e.result, 1);
    EXPECT_EQ(e.data, three);
    EXPECT_EQ(Extract(path, "two").data, "stored");
    EXPECT_EQ(Extract(path, "one").data, one);
}

TEST_F(Extraction, NonSolidArchiveDecodesOnlyTheWantedEntry) {
    // The same entries without the solid flag: the third cannot see the
    // first one's bytes, and its continuation fails the check.
    BitWriter first, third;
    LzCodes c = PutLzTables(first);
    std::string one = "solid stream, entry one";
    for (unsigned char ch : one) c.main.Put(first, ch);
    PutLongMatch(third, c, 12, static_cast<uint32_t>(one.size()));
    auto path = Save(Archive(PackedEntry("one", first.Bytes(), one) +
                             PackedEntry("three", third.Bytes(), one.substr(0, 12), 0x8010)));
    EXPECT_EQ(Extract(path, "three").result, 0);
}

TEST_F(Extraction, UnsupportedVersionBeforeTheWantedEntryFailsASolidArchive) {
    auto path = Save(Archive(StoredEntry("v29", "x", 0x8000, 29) + StoredEntry("wanted", "w"), 0x0008));
    EXPECT_EQ(Extract(path, "wanted").result, 0);
    EXPECT_EQ(log_.Messages()[1], "unknown compression method");
    // Not solid: entries before are passed over unread.
    auto plain = Save(Archive(StoredEntry("v29", "x", 0x8000, 29) + StoredEntry("wanted", "w")));
    EXPECT_EQ(Extract(plain, "wanted").data, "w");
}

TEST_F(Extraction, ImpossibleSizeIsRefusedBeforeAllocating) {
    // 20 packed bytes cannot make 3 GB; the buffer is never requested.
    FileFields f;
    f.name = "huge";
    f.method = 0x33;
    f.packedSize = 20;
    f.unpackedSize = 3000000000u;
    auto path = Save(Archive(FileHeader(f) + std::string(20, '\x55')));
    EXPECT_EQ(Extract(path, "huge").result, 0);
    EXPECT_EQ(log_.Messages()[1], "Error - the packed data is too short for the file's size.");
    EXPECT_EQ(log_.Messages()[2], Failure("huge", 0));
}

TEST_F(Extraction, CorruptCompressedDataFailsItsCheckAndCountsTheFreedBuffer) {
    std::string content = "some text that will not come back";
    std::string packed = LiteralStream(content);
    packed[packed.size() - 3] ^= 0x10;
    auto path = Save(Archive(PackedEntry("bad", packed, content)));
    EXPECT_EQ(Extract(path, "bad").result, 0);
    Messages m = log_.Messages();
    ASSERT_GE(m.size(), 3u);
    EXPECT_EQ(m[m.size() - 2], "CRC32 error - file couldn't be decompressed correctly!");
    EXPECT_EQ(m.back(), Failure("bad", static_cast<unsigned>(content.size())));
}

TEST_F(Extraction, OverlongArgumentsAreRefusedNotCut) {
    auto path = Save(Archive(StoredEntry("a", "x")));
    const std::string longName(260, 'n'), longPassword(256, 'p');
    const std::string longPath = (dir_ / std::string(240, 'd')).string() + "/x.rar";
    struct Case {
        std::string name, archive;
        const char *password;
        std::string message;
    } cases[] = {
        {longName, path.string(), nullptr, "Error - file name too long (more than 259 characters)."},
        {"a", longPath, nullptr, "Error - archive path too long (more than 255 characters)."},
        {"a", path.string(), longPassword.c_str(), "Error - password too long (more than 255 characters)."},
    };
    for (const Case &k : cases) {
        PrivateLog log;
        Extracted e = Extract(k.archive, k.name, k.password);
        EXPECT_EQ(e.result, 0);
        EXPECT_TRUE(e.nullOnFailure);
        ASSERT_EQ(log.Messages().size(), 2u);
        EXPECT_EQ(log.Messages()[0], k.message);
    }
    // Exactly at the limits is fine.
    std::string name259(259, 'm');
    auto limit = Save(Archive(StoredEntry(name259, "edge")));
    EXPECT_EQ(Extract(limit, name259, std::string(255, 'p').c_str()).data, "edge");
}

TEST_F(Extraction, ComposedLogEntriesAreCutToTheirBuffer) {
    std::string longName(1000, 'z');
    Extract(dir_ / "missing.rar", longName);
    Messages m = log_.Messages();
    ASSERT_EQ(m.size(), 2u);
    EXPECT_EQ(m[1].size(), 499u);
    EXPECT_EQ(m[1].substr(0, 26), "Error - couldn't extract >");
}

TEST_F(Extraction, NullArgumentsFailCleanly) {
    auto path = Save(Archive(StoredEntry("a", "x")));
    unsigned char *data = nullptr;
    uint32_t size = 0;
    EXPECT_EQ(RarExtractToMemory(nullptr, &size, "a", path.string().c_str(), nullptr), 0);
    EXPECT_EQ(RarExtractToMemory(&data, nullptr, "a", path.string().c_str(), nullptr), 0);
    EXPECT_EQ(RarExtractToMemory(&data, &size, nullptr, path.string().c_str(), nullptr), 0);
    EXPECT_EQ(RarExtractToMemory(&data, &size, "a", nullptr, nullptr), 0);
    EXPECT_EQ(data, nullptr);
    EXPECT_EQ(RarListFiles(nullptr, nullptr), 0);
    RarListEntry *list = nullptr;
    EXPECT_EQ(RarListFiles(nullptr, &list), 0);
}

TEST_F(Extraction, ListingCopiesEveryHeaderField) {
    FileFields f;
    f.name = "dir\\file.bin";
    f.flags = 0x8010;
    f.packedSize = 3;
    f.unpackedSize = 0x01020304;
    f.hostOs = 3;
    f.fileCrc = 0xDEADBEEF;
    f.fileTime = 0x5A8E4C21;
    f.unpackVersion = 20;
    f.method = 0x35;
    f.attributes = 0x81A4;
    auto path = Save(Archive(FileHeader(f) + "abc" + StoredEntry("second", ""), 0x0009));

    struct Seen {
        std::vector<uint16_t> flags;
    } seen;
    RarEntryVisitor visitor = [](const RarListEntry *, uint16_t flags, void *context) {
        static_cast<Seen *>(context)->flags.push_back(flags);
    };
    uint16_t archiveFlags = 0;
    RarListEntry *list = nullptr;
    ASSERT_EQ(RarListFilesVisit(path.string().c_str(), &list, visitor, &seen, &archiveFlags), 2);
    EXPECT_EQ(archiveFlags, 0x0009);
    EXPECT_EQ(seen.flags, (std::vector<uint16_t>{0x8010, 0x8000}));
    const RarListEntry &e = *list;
    EXPECT_STREQ(e.name, "dir\\file.bin");
    EXPECT_EQ(e.nameSize, 12);
    EXPECT_EQ(e.packedSize, 3u);
    EXPECT_EQ(e.unpackedSize, 0x01020304u);
    EXPECT_EQ(e.hostOs, 3);
    EXPECT_EQ(e.fileCrc, 0xDEADBEEFu);
    EXPECT_EQ(e.fileTime, 0x5A8E4C21u);
    EXPECT_EQ(e.unpackVersion, 20);
    EXPECT_EQ(e.method, 0x35);
    EXPECT_EQ(e.attributes, 0x81A4u);
    ASSERT_NE(e.next, nullptr);
    EXPECT_STREQ(e.next->name, "second");
    EXPECT_EQ(e.next->next, nullptr);
    RarFreeList(list);
}

TEST_F(Extraction, ListingIgnoresVersionsAndEncryption) {
    auto path = Save(Archive(StoredEntry("v29", "x", 0x8004, 29) + StoredEntry("v10", "y", 0x8000, 10)));
    EXPECT_EQ(ListNames(path), (Messages{"v29", "v10"}));
}

TEST_F(Extraction, ArchiveWithoutEntriesListsNothing) {
    auto path = Save(Archive(""));
    RarListEntry *list = reinterpret_cast<RarListEntry *>(&log_);
    EXPECT_EQ(RarListFiles(path.string().c_str(), &list), 0);
    EXPECT_EQ(list, nullptr);  // the archive was accepted: the list is set empty
}

TEST_F(Extraction, FailedListingLeavesTheCallersListAlone) {
    auto path = Save("not an archive at all");
    RarListEntry *list = reinterpret_cast<RarListEntry *>(&log_);
    EXPECT_EQ(RarListFiles(path.string().c_str(), &list), 0);
    EXPECT_EQ(list, reinterpret_cast<RarListEntry *>(&log_));
}
