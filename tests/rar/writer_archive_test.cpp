// Whole archives from the test-support writer for edge cases the writer's
// own round trips do not pin down: how encrypted stored entries end, and
// where decoding stops when the packed data ends early.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "library_state.h"
#include "rar_test_util.h"
#include "rar_writer.h"
#include "sample_content.h"
#include "tests/support/temp_dir.h"
#include "unpack.h"

using namespace rarwriter;
using rartest::Extract;

namespace {

// prefix followed by the number (built in steps: GCC 12 warns wrongly about
// "literal" + std::to_string(...) here).
std::string Named(const char *prefix, size_t n) {
    std::string name(prefix);
    name += std::to_string(n);
    return name;
}

class WriterArchives : public ::testing::Test {
protected:
    std::filesystem::path Save(const ArchiveSpec &plan) {
        built_ = BuildArchiveWithLayout(plan);
        return dir_.Write("w.rar", built_.bytes);
    }

    testsupport::TempDir dir_;
    BuiltArchive built_;
    rartest::PrivateLog log_;
};

}  // namespace

TEST_F(WriterArchives, EncryptedStoredEntriesOfEverySizeAroundTheBlock) {
    // The packed data is the size rounded up to 16; only the file's bytes are kept.
    ArchiveSpec plan;
    std::vector<size_t> sizes;
    for (size_t n = 0; n <= 33; ++n) sizes.push_back(n);
    for (size_t n : {4095, 4096, 4097, 70001}) sizes.push_back(n);
    for (size_t n : sizes) {
        plan.entries.push_back(Stored(Named("s", n), samples::Random(n, static_cast<uint32_t>(n))));
        plan.entries.back().password = "block edges";
    }
    auto path = Save(plan);
    for (size_t i = 0; i < sizes.size(); ++i) {
        rartest::Extracted e = Extract(path, plan.entries[i].name, "block edges");
        EXPECT_EQ(e.result, 1) << sizes[i];
        EXPECT_TRUE(e.data == built_.entries[i].data) << sizes[i];
    }
}

TEST_F(WriterArchives, PassedOverSolidEntryClaimingGigabytesStopsAtItsData) {
    // An entry of a solid archive says 3 GB but holds 20 KB of packed data:
    // decoding it on the way to the next entry (with no output) ends where
    // its packed data ends.
    ArchiveSpec plan;
    plan.solid = true;
    plan.entries.push_back(Compressed("liar", samples::Text(20000, 6)));
    plan.entries.back().unpackedSize = 3000000000u;
    plan.entries.push_back(Stored("after", "stored after the liar"));
    auto path = Save(plan);
    EXPECT_EQ(Extract(path, "after").data, "stored after the liar");
    EXPECT_TRUE(quorbenhal::unpackState.inputExhausted);
    // Asked for itself, it is refused before any buffer is requested.
    EXPECT_EQ(Extract(path, "liar").result, 0);
    EXPECT_EQ(log_.Messages().at(log_.Messages().size() - 2),
              "Error - the packed data is too short for the file's size.");
}

TEST_F(WriterArchives, CompressedDataCutShortStopsAndFails) {
    // The header keeps its sizes while the file ends inside the packed data.
    ArchiveSpec plan;
    plan.entries.push_back(Compressed("cut", samples::Records(200000, 11)));
    auto whole = Save(plan);
    std::string bytes = built_.bytes;
    const EntryLayout &layout = built_.entries[0];
    for (size_t keep : {size_t{0}, size_t{1}, size_t{100}, layout.packedSize / 2, layout.packedSize - 1}) {
        auto path = dir_.Write("cut.rar", bytes.substr(0, layout.dataOffset + keep));
        rartest::PrivateLog log;
        EXPECT_EQ(Extract(path, "cut").result, 0) << keep;
    }
    EXPECT_EQ(Extract(whole, "cut").result, 1);
}
