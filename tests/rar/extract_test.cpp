// The two entry operations: what is extracted or listed, what fails, and
// what the log says about it.
#include <gtest/gtest.h>

#include "listing.h"
#include "quorbenhal.h"
#include "rar_test_util.h"

using namespace rartest;
using namespace rarwriter;
using Messages = std::vector<std::string>;

namespace {

class Extraction : public ::testing::Test {
protected:
    std::filesystem::path Save(const ArchiveSpec &plan) { return dir_.Write("x.rar", BuildArchive(plan)); }
    std::filesystem::path Save(std::vector<EntrySpec> entries, bool solid = false) {
        ArchiveSpec plan;
        plan.entries = std::move(entries);
        plan.solid = solid;
        return Save(plan);
    }

    testsupport::TempDir dir_;
    PrivateLog log_;
};

std::string Asking(const std::string &name, const std::filesystem::path &archive, const char *password = nullptr) {
    return "Extracting >" + name + "< from >" + archive.string() + "< (password is >" + (password ? password : "(null)") +
           "<)...";
}
std::string Failure(const std::string &name, unsigned bytes) {
    return "Error - couldn't extract >" + name + "< and allocated " + std::to_string(bytes) + " Bytes of unused memory!";
}

const char kCrcError[] = "CRC32 error - file couldn't be decompressed correctly!";
const char kUnknownMethod[] = "unknown compression method";
const char kSplit[] = "Sorry, files split across volumes not supported.";
const char kTooShort[] = "Error - the packed data is too short for the file's size.";

}  // namespace

TEST_F(Extraction, EntryComesBackWithTheRequestAndTheResultLogged) {
    const auto path = Save({Stored("a.txt", "alpha"), Compressed("b.txt", "bravo")});
    const Extracted e = Extract(path, "b.txt");
    EXPECT_EQ(e.result, 1);
    EXPECT_EQ(e.data, "bravo");
    EXPECT_EQ(log_.Messages(), (Messages{Asking("b.txt", path), "Extracted 5 Bytes."}));
}

TEST_F(Extraction, FirstEntryOfANameIsTakenWhateverTheSpelling) {
    const auto path = Save({Stored("DOCS\\README.TXT", "first"), Stored("docs/readme.txt", "second")});
    for (const char *name : {"docs/readme.txt", "Docs_ReadMe.txt", "DOCS\\README.TXT"}) EXPECT_EQ(Extract(path, name).data, "first");
}

TEST_F(Extraction, EmptyEntryGivesAUsableBuffer) {
    const auto path = Save({Stored("empty", "")});
    unsigned char *data = nullptr;
    uint32_t size = 99;
    ASSERT_EQ(RarExtractToMemory(&data, &size, "empty", path.c_str(), nullptr), 1);
    EXPECT_NE(data, nullptr);
    EXPECT_EQ(size, 0u);
    free(data);
}

TEST_F(Extraction, MissingNameOrArchiveFails) {
    const auto path = Save({Stored("a.txt", "alpha")});
    const Extracted e = Extract(path, "nothere");
    EXPECT_EQ(e.result, 0);
    EXPECT_TRUE(e.nullOnFailure);
    EXPECT_EQ(Extract(dir_ / "absent.rar", "a").result, 0);
    EXPECT_EQ(log_.Messages(), (Messages{Asking("nothere", path), Failure("nothere", 0), Asking("a", dir_ / "absent.rar"),
                                         "Error opening file.", Failure("a", 0)}));
}

TEST_F(Extraction, EncryptedEntriesNeedTheirPassword) {
    // 37 bytes stored: two whole cipher blocks and a part of one, 48 bytes packed.
    const std::string content = "thirty-seven bytes of secret content!";
    const auto path = Save({{.name = "stored", .data = content, .stored = true, .password = "open sesame"},
                            {.name = "packed", .data = content, .password = "open sesame"}, Stored("plain", "plain text")});
    for (const char *name : {"stored", "packed"}) {
        EXPECT_EQ(Extract(path, name, "open sesame").data, content);
        for (const char *wrong : {static_cast<const char *>(nullptr), "", "wrong"}) EXPECT_EQ(Extract(path, name, wrong).result, 0);
    }
    PrivateLog log;
    EXPECT_EQ(Extract(path, "stored", "wrong").result, 0);
    EXPECT_EQ(log.Messages(), (Messages{Asking("stored", path, "wrong"), kCrcError, Failure("stored", 37)}));
    EXPECT_EQ(Extract(path, "plain", "ignored").data, "plain text");
    // The password does not outlive its call.
    EXPECT_EQ(Extract(path, "stored", "open sesame").result, 1);
    EXPECT_EQ(Extract(path, "stored").result, 0);
}

TEST_F(Extraction, EntriesThatFailSayWhy) {
    const std::string text(2000, 'x');
    const struct {
        EntrySpec entry;
        Messages why;
        unsigned freed;  // the output buffer given back
    } cases[] = {
        {{.name = "v12", .data = "data", .stored = true, .unpackVersion = 12}, {kUnknownMethod}, 4},
        {{.name = "v21", .data = "data", .stored = true, .unpackVersion = 21}, {kUnknownMethod}, 4},
        {{.name = "v29", .data = "data", .unpackVersion = 29}, {kUnknownMethod}, 4},
        // Versions 13-19 compressed: the older RAR 1.5 method, refused before decoding.
        {{.name = "v15", .data = text, .unpackVersion = 15}, {kUnknownMethod}, 2000},
        {{.name = "split-before", .data = "part", .stored = true, .extraFlags = kFileSplitBefore}, {kSplit}, 4},
        {{.name = "split-after", .data = "part", .extraFlags = kFileSplitAfter}, {kSplit}, 4},
        {{.name = "bad-crc", .data = "data", .stored = true, .fileCrc = 1}, {kCrcError}, 4},
        {{.name = "bad-crc-packed", .data = text, .fileCrc = 1}, {kCrcError}, 2000},
        {{.name = "shrinks", .data = text, .unpackedSize = 1500}, {"Fatal! Buffer overrun during decompression!", kCrcError}, 1500},
        // Sizes the data present cannot give are refused before the buffer is allocated.
        {{.name = "stored-short", .data = "data", .stored = true, .unpackedSize = 5}, {kTooShort}, 0},
        {{.name = "huge", .unpackedSize = 3000000000u, .packedData = std::string(20, 'U')}, {kTooShort}, 0},
        // An entry refused for its method or split is refused for that, whatever size it claims.
        {{.name = "v29-huge", .unpackVersion = 29, .unpackedSize = 1000000u, .packedData = std::string(20, 'U')},
         {kUnknownMethod}, 1000000u},
        {{.name = "split-short", .data = "part", .stored = true, .extraFlags = kFileSplitAfter, .unpackedSize = 400},
         {kSplit}, 400},
    };
    for (const auto &c : cases) {
        const auto path = Save({c.entry, Stored("after", "a")});
        PrivateLog log;
        const Extracted e = Extract(path, c.entry.name);
        EXPECT_EQ(e.result, 0) << c.entry.name;
        EXPECT_TRUE(e.nullOnFailure);
        Messages expected{Asking(c.entry.name, path)};
        expected.insert(expected.end(), c.why.begin(), c.why.end());
        expected.push_back(Failure(c.entry.name, c.freed));
        EXPECT_EQ(log.Messages(), expected);
        EXPECT_EQ(Extract(path, "after").data, "a") << "the entry after " << c.entry.name;
    }
    // Stored and empty entries of versions 13-19 are read as usual.
    const auto path = Save({{.name = "stored15", .data = "kept", .stored = true, .unpackVersion = 15},
                            {.name = "dir15", .unpackVersion = 15, .extraFlags = kFileDirectory}});
    EXPECT_EQ(Extract(path, "stored15").data, "kept");
    EXPECT_EQ(Extract(path, "dir15").result, 1);
}

TEST_F(Extraction, SolidArchiveDecodesEveryEntryBeforeTheWantedOne) {
    const std::string one = "solid stream, entry one";
    const auto path = Save({Compressed("one", one), Stored("two", "stored"),
                            {.name = "three", .tokens = std::vector{Token::LongMatch(12, uint32_t(one.size()))}}},  // "solid stream"
                           true);
    EXPECT_EQ(Extract(path, "three").data, "solid stream");
    EXPECT_EQ(Extract(path, "two").data, "stored");
    EXPECT_EQ(Extract(path, "one").data, one);
    // Without the archive's solid flag only the wanted entry is decoded, and it cannot see the first.
    std::string bytes = testsupport::ReadFile(path);
    bytes[10] &= ~kMainSolid;
    EXPECT_EQ(Extract(dir_.Write("nonsolid.rar", bytes), "three").result, 0);
    // An entry before the wanted one that cannot be decoded fails a solid archive only.
    const std::vector<EntrySpec> entries = {{.name = "v29", .data = "x", .stored = true, .unpackVersion = 29},
                                            Stored("wanted", "w")};
    EXPECT_EQ(Extract(Save(entries, true), "wanted").result, 0);
    EXPECT_EQ(Extract(Save(entries, false), "wanted").data, "w");
}

TEST_F(Extraction, OverlongArgumentsAreRefusedNotCut) {
    const auto path = Save({Stored("a", "x")});
    const std::string longName(260, 'n'), longPassword(256, 'p');
    const std::string longPath = (dir_ / std::string(240, 'd')).string() + "/x.rar";
    const struct {
        std::string name, archive;
        const char *password;
        std::string message;
    } cases[] = {
        {longName, path.string(), nullptr, "Error - file name too long (more than 259 characters)."},
        {"a", longPath, nullptr, "Error - archive path too long (more than 255 characters)."},
        {"a", path.string(), longPassword.c_str(), "Error - password too long (more than 255 characters)."},
    };
    for (const auto &c : cases) {
        PrivateLog log;
        const Extracted e = Extract(c.archive, c.name, c.password);
        EXPECT_EQ(e.result, 0);
        EXPECT_TRUE(e.nullOnFailure);
        ASSERT_EQ(log.Messages().size(), 2u);
        EXPECT_EQ(log.Messages()[0], c.message);
    }
    const std::string name259(259, 'm');  // exactly at the limits
    EXPECT_EQ(Extract(Save({Stored(name259, "edge")}), name259, std::string(255, 'p').c_str()).data, "edge");
}

TEST_F(Extraction, NullArgumentsFailCleanly) {
    const auto path = Save({Stored("a", "x")});
    unsigned char *data = nullptr;
    uint32_t size = 0;
    EXPECT_EQ(RarExtractToMemory(nullptr, &size, "a", path.c_str(), nullptr), 0);
    EXPECT_EQ(RarExtractToMemory(&data, nullptr, "a", path.c_str(), nullptr), 0);
    EXPECT_EQ(RarExtractToMemory(&data, &size, nullptr, path.c_str(), nullptr), 0);
    EXPECT_EQ(RarExtractToMemory(&data, &size, "a", nullptr, nullptr), 0);
    EXPECT_EQ(data, nullptr);
    EXPECT_EQ(RarListFiles(path.c_str(), nullptr), 0);
    RarListEntry *list = nullptr;
    EXPECT_EQ(RarListFiles(nullptr, &list), 0);
}

TEST_F(Extraction, ListingCopiesEveryHeaderFieldOfEveryEntry) {
    const ArchiveSpec plan{.solid = true, .mainFlags = 0x0001,
                           .entries = {{.name = "dir\\file.bin", .data = "abc", .method = 0x35, .unpackVersion = 29,
                                        .hostOs = 3, .fileTime = 0x5A8E4C21, .attributes = 0x81A4, .password = "pw",
                                        .unpackedSize = 0x01020304, .fileCrc = 0xDEADBEEF},
                                       Stored("second", "")}};
    const BuiltArchive built = BuildArchiveWithLayout(plan);
    const auto path = dir_.Write("x.rar", built.bytes);
    std::vector<uint16_t> flags;
    RarEntryVisitor visitor = [](const RarListEntry *, uint16_t f, void *seen) {
        static_cast<std::vector<uint16_t> *>(seen)->push_back(f);
    };
    uint16_t archiveFlags = 0;
    RarListEntry *list = nullptr;
    ASSERT_EQ(RarListFilesVisit(path.c_str(), &list, visitor, &flags, &archiveFlags), 2);
    EXPECT_EQ(archiveFlags, 0x0009);
    EXPECT_EQ(flags, (std::vector<uint16_t>{0x8004, 0x8010}));
    const RarListEntry &e = *list;
    EXPECT_EQ(std::tuple(std::string(e.name), e.nameSize, e.packedSize, e.unpackedSize, e.hostOs, e.fileCrc, e.fileTime),
              std::tuple("dir\\file.bin", 12, uint32_t(built.entries[0].packedSize), 0x01020304u, 3, 0xDEADBEEFu, 0x5A8E4C21u));
    EXPECT_EQ(std::tuple(e.unpackVersion, e.method, e.attributes), std::tuple(29, 0x35, 0x81A4u));
    ASSERT_NE(list->next, nullptr);
    EXPECT_STREQ(list->next->name, "second");
    EXPECT_EQ(list->next->next, nullptr);
    RarFreeList(list);
    // An accepted archive without entries gives an empty list.
    list = reinterpret_cast<RarListEntry *>(&flags);
    EXPECT_EQ(RarListFiles(Save(ArchiveSpec{}).c_str(), &list), 0);
    EXPECT_EQ(list, nullptr);
}
