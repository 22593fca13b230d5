// The archive handle through the public header only (this program also runs
// against the DLL under Wine): the three sources agree, streaming in any
// chunk size gives the whole-buffer bytes, every result code has an archive
// that reaches it, limits hold before anything is allocated, and every
// header field arrives.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>

#include "quorbenhal.h"
#include "rar_writer.h"
#include "sample_content.h"
#include "test_files.h"

// Huge requests must fail as a null pointer, not end the program.
extern "C" const char *__asan_default_options() { return "allocator_may_return_null=1"; }
extern "C" const char *__tsan_default_options() { return "allocator_may_return_null=1"; }

namespace {

using namespace rarwriter;
namespace fs = std::filesystem;

// An archive in memory behind the stream callbacks, giving at most 1000 bytes per read.
struct MemoryStream {
    std::string bytes;
    size_t at = 0;
    bool failReads = false;
    RarStream Stream(bool knownSize = true) {
        return {[](void *u, void *buffer, size_t count) -> int64_t {
                    auto *s = static_cast<MemoryStream *>(u);
                    if (s->failReads) return -1;
                    const size_t n = std::min({count, size_t(1000), s->bytes.size() - std::min(s->at, s->bytes.size())});
                    std::memcpy(buffer, s->bytes.data() + s->at, n);
                    s->at += n;
                    return int64_t(n);
                },
                [](void *u, int64_t offset) { return static_cast<MemoryStream *>(u)->at = size_t(offset), 0; },
                knownSize ? int64_t(bytes.size()) : -1, this};
    }
};

// Everything a walk gives: per entry its fields, its result and its bytes.
std::string Walk(RarArchive *a, const std::function<RarResult(RarArchive *, std::string &)> &extract) {
    std::string out;
    RarEntry e;
    RarResult r;
    while ((r = RarNextEntry(a, &e)) == RAR_OK) {
        std::string data;
        const RarResult x = extract(a, data);
        char fields[200];
        snprintf(fields, sizeof fields, "%u %llu %llu %08X %08X %X %u %u %u %X %d%d%d%d%d%d -> %d ", e.index,
                 (unsigned long long)e.size, (unsigned long long)e.packedSize, e.crc, e.dosTime, e.attributes, e.hostOs,
                 e.unpackVersion, e.method, e.flags, e.isEncrypted, e.isSolid, e.isDirectory, e.isSplitBefore,
                 e.isSplitAfter, e.hasComment, x);
        out += fields + std::string(e.name, e.nameSize) + "\n" + data + "\n";
    }
    return out + "end " + std::to_string(r);
}

RarResult ToNew(RarArchive *a, std::string &data) {
    void *p = nullptr;
    uint64_t size = 0;
    const RarResult r = RarExtractToNew(a, &p, &size);
    if (r == RAR_OK) data.assign(static_cast<char *>(p), size_t(size));
    RarFreeBuffer(p);
    return r;
}

RarResult Pull(RarArchive *a, std::string &data, size_t chunk) {
    std::string buffer(chunk, '\0');
    for (size_t n = 1; n > 0;) {
        const RarResult r = RarRead(a, buffer.data(), chunk, &n);
        data.append(buffer, 0, n);
        if (r != RAR_OK) return r;
    }
    return RAR_OK;
}

RarResult Push(RarArchive *a, std::string &data) {
    return RarExtractToCallback(a, [](void *u, const void *p, size_t n) {
        return static_cast<std::string *>(u)->append(static_cast<const char *>(p), n), 0;
    }, &data);
}

RarResult IntoBuffer(RarArchive *a, std::string &data) {
    data.assign(4 << 20, '\0');
    size_t size = 0;
    const RarResult r = RarExtractToBuffer(a, data.data(), data.size(), &size);
    data.resize(size);
    return r;
}

// Content for the streaming cases: past the window, stored, encrypted, multimedia, solid.
ArchiveSpec Mixed(bool solid) {
    ArchiveSpec plan{.solid = solid, .entries = {Compressed("big.txt", samples::Text(1500000, 3)), Stored("stored.bin", samples::Random(70000, 4)),
                                                 Compressed("voice.raw", samples::Pcm(90000, 2, 2, 5), {{{1u << 30, 4}}}),
                                                 Stored("empty", "")}};
    plan.entries.push_back({.name = "secret", .data = samples::Records(50000, 6), .password = "pw"});
    plan.entries.push_back({.name = "secret.stored", .data = "37 bytes, not a multiple of sixteen!!", .stored = true, .password = "pw"});
    return plan;
}

class Handle : public ::testing::Test {
protected:
    RarArchive *OpenBytes(const std::string &bytes, const char *password = nullptr, RarOptions o = RarDefaultOptions()) {
        memory_ = bytes;
        o.password = password;
        RarArchive *a = nullptr;
        EXPECT_EQ(RarOpenMemory(&a, memory_.data(), memory_.size(), &o), RAR_OK);
        return a;
    }
    rartest::TempDir dir_;
    std::string memory_;
};

}  // namespace

TEST_F(Handle, PathMemoryAndStreamGiveTheSameEntriesAndBytes) {
    std::vector<fs::path> archives = {dir_.Write("mixed.rar", BuildArchive(Mixed(true)))};
    if (const auto shared = rartest::SharedDir())
        for (const char *folder : {"real", "gen"})
            if (fs::is_directory(*shared / "corpus" / folder))
                for (const auto &f : fs::directory_iterator(*shared / "corpus" / folder))
                    if (f.path().extension() == ".rar") archives.push_back(f.path());
    for (const fs::path &path : archives) {
        SCOPED_TRACE(path.string());
        const RarOptions o = {.password = "pw", .maxEntrySize = 0, .maxMemory = 0};
        RarArchive *a = nullptr;
        const RarResult opened = RarOpenFile(&a, path.string().c_str(), &o);
        const std::string viaPath = opened == RAR_OK ? Walk(a, ToNew) : "refused " + std::to_string(opened);
        RarClose(a);
#ifdef _WIN32
        EXPECT_EQ(RarOpenFileW(&a, path.wstring().c_str(), &o), opened);
        EXPECT_EQ(opened == RAR_OK ? Walk(a, ToNew) : "refused " + std::to_string(opened), viaPath);
        RarClose(a);
#endif
        MemoryStream stream{rartest::ReadFile(path)};
        const RarStream s = stream.Stream();
        EXPECT_EQ(RarOpenStream(&a, &s, &o), opened);
        EXPECT_EQ(opened == RAR_OK ? Walk(a, ToNew) : "refused " + std::to_string(opened), viaPath);
        RarClose(a);
        EXPECT_EQ(RarOpenMemory(&a, stream.bytes.data(), stream.bytes.size(), &o), opened);
        EXPECT_EQ(opened == RAR_OK ? Walk(a, ToNew) : "refused " + std::to_string(opened), viaPath);
        RarClose(a);
    }
}

TEST_F(Handle, EveryWayOfExtractingGivesTheSameBytes) {
    for (bool solid : {false, true}) {
        const BuiltArchive built = BuildArchiveWithLayout(Mixed(solid));
        RarArchive *a = OpenBytes(built.bytes, "pw");
        const std::string whole = Walk(a, ToNew);
        RarClose(a);
        for (size_t i = 0; i < built.entries.size(); ++i)
            EXPECT_NE(whole.find("-> 0 " + Mixed(solid).entries[i].name + "\n" + built.entries[i].data + "\n"), std::string::npos) << i;
        for (size_t chunk : {size_t(1), size_t(7), size_t(65536)}) {
            a = OpenBytes(built.bytes, "pw");
            EXPECT_EQ(Walk(a, [&](RarArchive *h, std::string &d) { return Pull(h, d, chunk); }), whole) << chunk;
            RarClose(a);
        }
        for (auto way : {Push, IntoBuffer}) {
            a = OpenBytes(built.bytes, "pw");
            EXPECT_EQ(Walk(a, way), whole);
            RarClose(a);
        }
    }
}

TEST_F(Handle, EveryFailureHasItsCodeAndTheHandleGoesOn) {
    const std::string good = BuildArchive({.entries = {Stored("a", "alpha"), Compressed("b", samples::Text(5000, 1))}}),
                      one = BuildArchive({.entries = {Stored("a", "alpha")}});
    std::string badBlock = good;
    badBlock[20 + 5] = 6;  // the first file header's size below 7
    std::string rar5 = "Rar!\x1A\x07\x01";
    rar5 += std::string(20, '\0');
    const struct {
        std::string name, bytes;
        RarResult open = RAR_OK, next = RAR_OK, extract = RAR_OK;
        RarOptions options = {.password = "pw", .maxEntrySize = 0, .maxMemory = 0};
    } cases[] = {
        {"not an archive", "plain text, no marker", RAR_ERROR_NOT_ARCHIVE},
        {"older format", "RE~^" + std::string(40, '\0'), RAR_ERROR_UNSUPPORTED_ARCHIVE},
        {"RAR 5", rar5, RAR_ERROR_UNSUPPORTED_ARCHIVE},
        {"main header cut", good.substr(0, 12), RAR_ERROR_TRUNCATED},
        {"block header size", badBlock, RAR_OK, RAR_ERROR_BAD_HEADER},
        {"file header cut", good.substr(0, 30), RAR_OK, RAR_ERROR_TRUNCATED},
        {"data cut", BuildArchive({.entries = {Stored("x", std::string(100, 'x'))}}).substr(0, 80), RAR_OK, RAR_OK, RAR_ERROR_TRUNCATED},
        {"version 2.9", BuildArchive({.entries = {{.name = "x", .data = "data", .unpackVersion = 29}}}), RAR_OK, RAR_OK,
         RAR_ERROR_UNSUPPORTED_METHOD},
        {"RAR 1.5 cipher", BuildArchive({.entries = {{.name = "x", .data = "data", .stored = true, .unpackVersion = 15, .password = "pw"}}}),
         RAR_OK, RAR_OK, RAR_ERROR_UNSUPPORTED_METHOD},
        {"split", BuildArchive({.entries = {{.name = "x", .data = "data", .stored = true, .extraFlags = kFileSplitAfter}}}), RAR_OK, RAR_OK,
         RAR_ERROR_SPLIT},
        {"wrong password", BuildArchive({.entries = {{.name = "x", .data = "data", .password = "other"}}}), RAR_OK, RAR_OK, RAR_ERROR_BAD_DATA},
        {"bad CRC", BuildArchive({.entries = {{.name = "x", .data = "data", .stored = true, .fileCrc = 1}}}), RAR_OK, RAR_OK, RAR_ERROR_BAD_DATA},
        {"decodes past its size", BuildArchive({.entries = {{.name = "x", .data = samples::Text(2000, 2), .unpackedSize = 1500}}}), RAR_OK,
         RAR_OK, RAR_ERROR_BAD_DATA},
        {"entry size limit", one, RAR_OK, RAR_OK, RAR_ERROR_LIMIT, {.password = nullptr, .maxEntrySize = 4, .maxMemory = 0}},
        {"memory limit", one, RAR_OK, RAR_OK, RAR_ERROR_LIMIT, {.password = nullptr, .maxEntrySize = 0, .maxMemory = 4}},
        // Claims 3 GB from 20 bytes: refused before a buffer is allocated.
        {"claimed size", BuildArchive({.entries = {{.name = "x", .unpackedSize = 3000000000u, .packedData = std::string(20, 'U')}}}), RAR_OK,
         RAR_OK, RAR_ERROR_LIMIT},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        memory_ = c.bytes;
        RarArchive *a = reinterpret_cast<RarArchive *>(this);
        ASSERT_EQ(RarOpenMemory(&a, memory_.data(), memory_.size(), &c.options), c.open);
        if (c.open != RAR_OK) {
            EXPECT_EQ(a, nullptr);
            continue;
        }
        RarEntry e;
        EXPECT_EQ(RarNextEntry(a, &e), c.next);
        EXPECT_EQ(std::string(RarErrorMessage(a)).empty(), c.next == RAR_OK);
        if (c.next == RAR_OK) {
            std::string data;
            EXPECT_EQ(ToNew(a, data), c.extract);
            EXPECT_NE(std::string(RarErrorMessage(a)), "") << "every failure says why";
            EXPECT_EQ(RarNextEntry(a, &e), RAR_END);
        } else {
            EXPECT_EQ(RarNextEntry(a, &e), RAR_END) << "a walk that failed stays ended";
        }
        RarClose(a);
    }
    // A failed entry leaves the handle usable for the next one.
    RarArchive *a = OpenBytes(BuildArchive({.entries = {{.name = "bad", .data = "data", .stored = true, .fileCrc = 1}, Stored("good", "fine")}}));
    RarEntry e;
    std::string data;
    ASSERT_EQ(RarNextEntry(a, &e), RAR_OK);
    EXPECT_EQ(ToNew(a, data), RAR_ERROR_BAD_DATA);
    ASSERT_EQ(RarNextEntry(a, &e), RAR_OK);
    EXPECT_EQ(Pull(a, data, 3), RAR_OK);
    EXPECT_EQ(data, "fine");
    EXPECT_EQ(ToNew(a, data), RAR_ERROR_ARGUMENT) << "an entry is read once";
    RarClose(a);
    // Arguments, sources, names.
    EXPECT_EQ(RarOpenFile(&a, (dir_ / "missing.rar").string().c_str(), nullptr), RAR_ERROR_IO);
    EXPECT_EQ(RarOpenMemory(nullptr, "", 0, nullptr), RAR_ERROR_ARGUMENT);
    MemoryStream failing{good, 0, true};
    const RarStream s = failing.Stream();
    EXPECT_EQ(RarOpenStream(&a, &s, nullptr), RAR_ERROR_IO);
    const std::string longPassword(256, 'p');
    const RarOptions tooLong = {.password = longPassword.c_str(), .maxEntrySize = 0, .maxMemory = 0};
    EXPECT_EQ(RarOpenMemory(&a, good.data(), good.size(), &tooLong), RAR_ERROR_ARGUMENT);
    a = OpenBytes(good);
    EXPECT_EQ(RarExtractToNew(a, nullptr, nullptr), RAR_ERROR_ARGUMENT);
    EXPECT_EQ(ToNew(a, data), RAR_ERROR_ARGUMENT) << "no entry yet";
    EXPECT_EQ(RarFindEntry(a, "B", &e), RAR_OK);
    char small[100];
    size_t size = 0;
    EXPECT_EQ(RarExtractToBuffer(a, small, sizeof small, &size), RAR_ERROR_LIMIT);
    EXPECT_EQ(RarFindEntry(a, "a", &e), RAR_ERROR_NOT_FOUND);
    RarClose(a);
    if (sizeof(size_t) == 8) {  // an allocation no machine gives: 2^50 bytes claimed by a stream of unknown size
        std::string huge = BuildArchive({.entries = {Stored("x", "x")}});
        huge[20 + 4] |= 0x01;  // large: 8 bytes of high sizes after the attributes
        huge.insert(20 + 32, std::string("\0\0\4\0\0\0\4\0", 8));
        huge[20 + 5] += 8;
        MemoryStream unknown{huge};
        const RarStream u = unknown.Stream(false);
        void *p = nullptr;
        uint64_t n = 0;
        const RarOptions all = {.password = nullptr, .maxEntrySize = 0, .maxMemory = UINT64_MAX};
        ASSERT_EQ(RarOpenStream(&a, &u, &all), RAR_OK);
        ASSERT_EQ(RarNextEntry(a, &e), RAR_OK);
        EXPECT_EQ(RarExtractToNew(a, &p, &n), RAR_ERROR_NO_MEMORY);
        RarClose(a);
    }
    EXPECT_STREQ(RarResultText(RAR_ERROR_BAD_DATA), "CRC mismatch: damaged data or a wrong password");
    EXPECT_EQ(RarVersion(), unsigned(QUORBENHAL_VERSION));
}

TEST_F(Handle, EveryHeaderFieldArrives) {
    ArchiveSpec plan{.entries = {{.name = "dir", .stored = true, .hostOs = 3, .attributes = 040755, .extraFlags = kFileDirectory},
                                 {.name = std::string(300, 'n'), .data = "long", .stored = true},
                                 {.name = std::string("a\0b", 3), .data = "zero", .stored = true, .fileTime = DosDateTime(1999, 12, 31, 23, 59, 58)},
                                 {.name = "parts", .data = "p", .method = 0x35, .unpackVersion = 15,
                                  .extraFlags = kFileSplitBefore | kFileSplitAfter | 0x0008},
                                 {.name = "secret", .data = "s", .password = "pw"}}};
    std::string bytes = BuildArchiveWithLayout(plan).bytes;
    RarArchive *a = OpenBytes(bytes);
    RarEntry e;
    std::vector<RarEntry> entries;
    std::vector<std::string> names;
    while (RarNextEntry(a, &e) == RAR_OK) entries.push_back(e), names.emplace_back(e.name, e.nameSize);
    RarClose(a);
    ASSERT_EQ(entries.size(), 5u);
    EXPECT_EQ(names, (std::vector<std::string>{"dir", std::string(300, 'n'), std::string("a\0b", 3), "parts", "secret"}));
    EXPECT_TRUE(entries[0].isDirectory && entries[0].hostOs == 3 && entries[0].attributes == 040755 && !entries[1].isDirectory);
    EXPECT_EQ(entries[2].dosTime, DosDateTime(1999, 12, 31, 23, 59, 58));
    EXPECT_EQ(entries[2].crc, Crc32("zero"));
    EXPECT_TRUE(entries[3].isSplitBefore && entries[3].isSplitAfter && entries[3].hasComment && !entries[3].isEncrypted);
    EXPECT_EQ(std::tuple(entries[3].method, entries[3].unpackVersion, entries[3].size, entries[3].index), std::tuple(0x35, 15, 1, 3u));
    EXPECT_TRUE(entries[4].isEncrypted && !entries[4].isSolid && entries[4].packedSize % 16 == 0);
    // The high 32 bits of both sizes (flag 0x100) come before the name.
    bytes = BuildArchive({.entries = {Stored("x", "x"), Stored("next", "n")}});
    bytes[20 + 4] |= 0x01;
    bytes.insert(20 + 32, std::string("\1\0\0\0\2\0\0\0", 8));
    bytes[20 + 5] += 8;
    a = OpenBytes(bytes);
    ASSERT_EQ(RarNextEntry(a, &e), RAR_OK);
    EXPECT_EQ(std::tuple(std::string(e.name), e.packedSize, e.size), std::tuple(std::string("x"), (1ull << 32) + 1, (2ull << 32) + 1));
    RarClose(a);
}
