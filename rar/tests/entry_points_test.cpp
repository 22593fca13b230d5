// The two entry operations on archives from the writer: the archive walk,
// what is extracted or listed, what fails, and what the log says about it.
#include <gtest/gtest.h>

#include <map>

#include "archive.h"
#include "quorbenhal.h"
#include "rar_test_util.h"

using namespace rartest;
using namespace rarwriter;
using Messages = std::vector<std::string>;

namespace {

class EntryPoints : public ::testing::Test {
protected:
    std::filesystem::path Save(const std::string &bytes) { return dir_.Write("x.rar", bytes); }
    std::filesystem::path Save(const ArchiveSpec &plan) { return Save(BuildArchive(plan)); }
    std::filesystem::path Save(std::vector<EntrySpec> entries, bool solid = false) {
        return Save(ArchiveSpec{.solid = solid, .entries = std::move(entries)});
    }

    rartest::TempDir dir_;
    PrivateLog log_;
};

ArchiveSpec TwoFiles() { return {.entries = {Stored("one.txt", "first file"), Compressed("two.txt", "second file")}}; }

std::string Asking(const std::string &name, const std::filesystem::path &archive, const char *password = nullptr) {
    return "Extracting >" + name + "< from >" + archive.string() + "< (password is >" + (password ? password : "(null)") +
           "<)...";
}
std::string Failure(const std::string &name, unsigned bytes) {
    return "Error - couldn't extract >" + name + "< and allocated " + std::to_string(bytes) + " Bytes of unused memory!";
}

const char kCrcError[] = "CRC32 error - file couldn't be decompressed correctly!";
const char kUnknownMethod[] = "unknown compression method";
const char kTooShort[] = "Error - the packed data is too short for the file's size.";
const char kListEnd[] = "Couldn't read next filename from archive (I/O error).";

}  // namespace

TEST_F(EntryPoints, ExtractsTheFirstEntryOfANameAndLogsTheRequest) {
    const auto path = Save({Stored("DOCS\\README.TXT", "first"), Compressed("docs/readme.txt", "second"), Stored("empty", "")});
    const Extracted e = Extract(path, "Docs_ReadMe.txt");
    EXPECT_EQ(e.data, "first");
    EXPECT_EQ(log_.Messages(), (Messages{Asking("Docs_ReadMe.txt", path), "Extracted 5 Bytes."}));
    unsigned char *data = nullptr;
    uint32_t size = 99;
    ASSERT_EQ(RarExtractToMemory(&data, &size, "empty", path.c_str(), nullptr), 1);
    EXPECT_TRUE(data != nullptr && size == 0) << "an empty entry still gets a buffer to free";
    free(data);
    PrivateLog log;
    EXPECT_FALSE(Extract(path, "nothere").result);
    EXPECT_FALSE(Extract(dir_ / "absent.rar", "a").result);
    EXPECT_EQ(log.Messages(), (Messages{Asking("nothere", path), Failure("nothere", 0), Asking("a", dir_ / "absent.rar"),
                                        "Error opening file.", Failure("a", 0)}));
    for (auto [a, b] : {std::pair{"\xC3\xA9", "\xC3\x89"}, {"\xE9", "\xC9"}, {"ab", "abc"}, {"a.txt", "a-txt"}, {"{", "["}})
        EXPECT_NE(quorbenhal::CompareEntryNames(a, b), 0) << a << " " << b;
    std::string longA(600, 'a'), longB(600, 'A');
    longB[590] = 'z';
    EXPECT_EQ(quorbenhal::CompareEntryNames(longA.c_str(), longB.c_str()), 0);  // the first 511 bytes count
}

TEST_F(EntryPoints, EncryptedEntriesNeedTheirPassword) {
    const std::string content = "thirty-seven bytes of secret content!";  // stored: 48 bytes enciphered
    const auto path = Save({{.name = "stored", .data = content, .stored = true, .password = "open sesame"},
                            {.name = "packed", .data = content, .password = "open sesame"}, Stored("plain", "plain text")});
    for (const char *name : {"stored", "packed"}) {
        EXPECT_EQ(Extract(path, name, "open sesame").data, content);
        for (const char *wrong : {static_cast<const char *>(nullptr), "", "wrong"}) EXPECT_EQ(Extract(path, name, wrong).result, 0);
    }
    EXPECT_EQ(Extract(path, "plain", "ignored").data, "plain text");
    EXPECT_EQ(Extract(path, "stored").result, 0) << "the password does not outlive its call";
}

TEST_F(EntryPoints, EntriesThatFailSayWhy) {
    const std::string text(2000, 'x');
    const struct {
        EntrySpec entry;
        Messages why;
        unsigned freed;  // the output buffer given back
    } cases[] = {
        {{.name = "v12", .data = "data", .stored = true, .unpackVersion = 12}, {kUnknownMethod}, 4},
        {{.name = "v21", .data = "data", .stored = true, .unpackVersion = 21}, {kUnknownMethod}, 4},
        {{.name = "v29", .data = "data", .unpackVersion = 29}, {kUnknownMethod}, 4},
        {{.name = "v15", .data = text, .unpackVersion = 15}, {kUnknownMethod}, 2000},  // the older method: not decoded
        {{.name = "v15crypt", .data = "data", .stored = true, .unpackVersion = 15, .password = "pw"},
         {"Old Crypt() not supported!", kCrcError}, 4},
        {{.name = "wrong-pw", .data = "data", .stored = true, .password = "other"}, {kCrcError}, 4},
        {{.name = "split-before", .data = "part", .stored = true, .extraFlags = kFileSplitBefore},
         {"Sorry, files split across volumes not supported."}, 4},
        {{.name = "split-after", .data = "part", .extraFlags = kFileSplitAfter},
         {"Sorry, files split across volumes not supported."}, 4},
        {{.name = "bad-crc", .data = "data", .stored = true, .fileCrc = 1}, {kCrcError}, 4},
        {{.name = "bad-crc-packed", .data = text, .fileCrc = 1}, {kCrcError}, 2000},
        {{.name = "shrinks", .data = text, .unpackedSize = 1500}, {"Fatal! Buffer overrun during decompression!", kCrcError}, 1500},
        {{.name = "stored-short", .data = "data", .stored = true, .unpackedSize = 5}, {kTooShort}, 0},
        {{.name = "huge", .unpackedSize = 3000000000u, .packedData = std::string(20, 'U')}, {kTooShort}, 0},
        // Refused for its method or split whatever size it claims; a size the data cannot give gets no buffer.
        {{.name = "v29-huge", .unpackVersion = 29, .unpackedSize = 1000000u, .packedData = std::string(20, 'U')},
         {kUnknownMethod}, 0},
        {{.name = "split-short", .data = "part", .stored = true, .extraFlags = kFileSplitAfter, .unpackedSize = 400},
         {"Sorry, files split across volumes not supported."}, 0},
    };
    for (const auto &c : cases) {
        const auto path = Save({c.entry, Stored("after", "a")});
        PrivateLog log;
        const Extracted e = Extract(path, c.entry.name, "pw");
        EXPECT_TRUE(!e.result && e.nullOnFailure) << c.entry.name;
        Messages expected{Asking(c.entry.name, path, "pw")};
        expected.insert(expected.end(), c.why.begin(), c.why.end());
        expected.push_back(Failure(c.entry.name, c.freed));
        EXPECT_EQ(log.Messages(), expected);
        EXPECT_EQ(Extract(path, "after").data, "a") << "the entry after " << c.entry.name;
    }
    const auto path = Save({{.name = "stored15", .data = "kept", .stored = true, .unpackVersion = 15},
                            {.name = "dir15", .unpackVersion = 15, .extraFlags = kFileDirectory}});
    EXPECT_EQ(Extract(path, "stored15").data, "kept");
    EXPECT_EQ(Extract(path, "dir15").result, 1);
}

TEST_F(EntryPoints, SolidArchiveDecodesEveryEntryBeforeTheWantedOne) {
    const std::string one = "solid stream, entry one";
    const auto path = Save({Compressed("one", one), Stored("two", "stored"),
                            {.name = "three", .tokens = std::vector{Token::LongMatch(12, uint32_t(one.size()))}}}, true);
    EXPECT_EQ(Extract(path, "three").data, "solid stream");
    EXPECT_EQ(Extract(path, "two").data, "stored");
    std::string bytes = rartest::ReadFile(path);
    bytes[10] &= ~kMainSolid;  // without the archive's flag the earlier entries are not decoded
    EXPECT_EQ(Extract(Save(bytes), "three").result, 0);
    const std::vector<EntrySpec> entries = {{.name = "v29", .data = "x", .stored = true, .unpackVersion = 29}, Stored("w", "w")};
    EXPECT_EQ(Extract(Save(entries, true), "w").result, 0);
    EXPECT_EQ(Extract(Save(entries, false), "w").data, "w");
}

TEST_F(EntryPoints, OverlongOrMissingArgumentsAreRefusedNotCut) {
    const auto path = Save({Stored("a", "x")});
    const std::string longName(260, 'n'), longPassword(256, 'p'), longPath = (dir_ / std::string(240, 'd')).string() + "/x.rar";
    const struct {
        std::string name, archive;
        const char *password, *message;
    } cases[] = {
        {longName, path.string(), nullptr, "Error - file name too long (more than 259 characters)."},
        {"a", longPath, nullptr, "Error - archive path too long (more than 255 characters)."},
        {"a", path.string(), longPassword.c_str(), "Error - password too long (more than 255 characters)."},
    };
    for (const auto &c : cases) {
        PrivateLog log;
        const Extracted e = Extract(c.archive, c.name, c.password);
        EXPECT_TRUE(!e.result && e.nullOnFailure);
        ASSERT_EQ(log.Messages().size(), 2u);
        EXPECT_EQ(log.Messages()[0], c.message);
    }
    const std::string name259(259, 'm');  // exactly at the limits
    EXPECT_EQ(Extract(Save({Stored(name259, "edge")}), name259, std::string(255, 'p').c_str()).data, "edge");
    unsigned char *data = nullptr;
    uint32_t size = 0;
    RarListEntry *list = nullptr;
    EXPECT_EQ(RarExtractToMemory(nullptr, &size, "a", path.c_str(), nullptr) + RarExtractToMemory(&data, nullptr, "a", path.c_str(), nullptr) +
                  RarExtractToMemory(&data, &size, nullptr, path.c_str(), nullptr) + RarExtractToMemory(&data, &size, "a", nullptr, nullptr) +
                  RarListFiles(path.c_str(), nullptr) + RarListFiles(nullptr, &list),
              0);
    EXPECT_EQ(data, nullptr);
}

// From the archive's start to the end of its walk: what is accepted, passed over, or ends the walk.
TEST_F(EntryPoints, ArchiveWalk) {
    ArchiveSpec other = TwoFiles(), size0 = TwoFiles(), size6 = TwoFiles(), unknown = TwoFiles(), sub = TwoFiles(),
                flagless{.entries = {Stored("flagless", BuildArchive({.entries = {Stored("inner", "in")}}).substr(20))}};
    other.mainExtra = std::string(31, 'C');  // an archive comment
    other.blocks = {{1, 0x7A, kLongBlock, "", std::string(100, '\x74')}, {1, 0x75, 0, "old comment"}, {2, 0x7B, 0x4000}};
    size0.entries[1].headerSize = 0;
    size6.entries[1].headerSize = 6;
    unknown.blocks = {{1, 0x7A, 0, "", "", 3}};
    sub.blocks = {{1, 0x77, kLongBlock, "\x01\x01", "subdata"}};
    flagless.entries[0].flags = 0;  // no data size: the data is read as the next headers
    const std::string good = BuildArchive(TwoFiles()), notRar = "Not a RAR file";
    const struct {
        std::string bytes;
        Messages names, log;
    } cases[] = {
        {good, {"one.txt", "two.txt"}, {kListEnd}},
        {"Talvik!" + good.substr(7), {"one.txt", "two.txt"}, {kListEnd}},
        {"RE~^" + std::string(40, '\0'), {}, {"Attention: format as OLD detected! Can't handel archive!", notRar}},
        {"MZ\x90 self-extractor code" + good, {},
         {"unknown archive type (only plain RAR supported (normal and solid archives), SFX and Volumes are NOT supported!)", notRar}},
        {"Rar!", {}, {notRar}},
        {good.substr(0, 17), {}, {notRar}},  // main header cut short
        {BuildArchive(other), {"one.txt", "two.txt"}, {kListEnd}}, {BuildArchive(flagless), {"flagless", "inner"}, {kListEnd}},
        {BuildArchive(size0), {"one.txt"}, {kListEnd}}, {BuildArchive(size6), {"one.txt"}, {kListEnd}},
        {BuildArchive(unknown), {"one.txt"}, {kListEnd}}, {BuildArchive(sub), {"one.txt"}, {"Sorry, sub-headers not supported."}},
    };
    const std::map<std::string, std::string> contents = {{"one.txt", "first file"}, {"two.txt", "second file"}, {"inner", "in"}};
    for (const auto &c : cases) {
        PrivateLog log;
        const auto path = Save(c.bytes);
        RarListEntry *list = reinterpret_cast<RarListEntry *>(&log);
        EXPECT_EQ(RarListFiles(path.c_str(), &list), int(c.names.size()));
        EXPECT_EQ(log.Messages(), c.log);
        if (c.names.empty()) {
            EXPECT_EQ(list, reinterpret_cast<RarListEntry *>(&log)) << "a refused archive leaves the list alone";
            continue;
        }
        RarFreeList(list);
        EXPECT_EQ(ListNames(path), c.names);
        EXPECT_EQ(Extract(path, c.names.back()).data, contents.at(c.names.back()));
        EXPECT_EQ(Extract(path, "two.txt").result, int(c.names.back() == "two.txt"));
    }
}

TEST_F(EntryPoints, EitherHeaderCheckFormIsIntactAndDataStartsAtTheHeaderSize) {
    for (Check check : {Check::NameOnly, Check::WholeHeader, Check::Bad}) {
        ArchiveSpec plan{.entries = {Compressed("file.txt", "content, after a comment or extended time"),
                                     Stored(std::string(300, 'n'), "long"), Stored(std::string("short\0hidden", 12), "ok")}};
        plan.entries[0].extra = "\x11\x22\x33 extended time";
        for (EntrySpec &e : plan.entries) e.check = check;
        const auto path = Save(plan);
        PrivateLog log;
        RarListEntry *list = nullptr;
        ASSERT_EQ(RarListFiles(path.c_str(), &list), 3);
        EXPECT_EQ(std::tuple(std::string(list->next->name), list->next->nameSize), std::tuple(std::string(259, 'n'), 259));
        EXPECT_EQ(std::tuple(std::string(list->next->next->name), list->next->next->nameSize), std::tuple(std::string("short"), 12));
        RarFreeList(list);
        Messages expected = check == Check::Bad ? Messages(3, "file header broken") : Messages{};
        expected.push_back(kListEnd);
        EXPECT_EQ(log.Messages(), expected);
        EXPECT_EQ(Extract(path, "file.txt").data, plan.entries[0].data);
        EXPECT_EQ(Extract(path, std::string(259, 'n')).data, "long");
        EXPECT_EQ(Extract(path, "short").data, "ok");
    }
}
