// rar_bench: extraction throughput of the library on a large archive it
// builds itself, next to zlib's inflate on the same content.
//
// The content is mixed text, binary and multimedia data, in two archives:
// non-solid entries, and a solid group. Each run extracts every non-solid
// entry once and the last entry of the solid group (which decodes the whole
// group), and inflates the same content compressed by zlib at level 6 (one
// stream per entry, one stream for the solid group). Throughput counts the
// bytes decoded per second (MB = 10^6 bytes); best and median of the runs
// are printed.
//
// Usage: rar_bench [--runs N] [--mib N]
#include <zlib.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "quorbenhal.h"
#include "rar_writer.h"
#include "sample_content.h"
#include "test_files.h"

namespace {

using Clock = std::chrono::steady_clock;

double Seconds(Clock::duration d) { return std::chrono::duration<double>(d).count(); }

struct Item {
    std::string name;
    std::string data;
    int channels;  // multimedia channels for the encoder; 0: LZ
    bool solid;    // member of the solid group
};

// `mib` MiB: 40% text, 16% records, 5% random, 5% runs, 34% audio;
// a third of it in the solid group.
std::vector<Item> MakeContent(size_t mib) {
    using namespace rarwriter::samples;
    const size_t unit = mib * 1024 * 1024 / 100;
    std::vector<Item> items;
    uint32_t seed = 1;
    auto add = [&](const std::string &name, std::string data, int channels, bool solid) {
        items.push_back({name, std::move(data), channels, solid});
        ++seed;
    };
    for (int i = 0; i < 4; ++i) add("text/book" + std::to_string(i) + ".txt", Text(7 * unit, seed), 0, false);
    add("data/records.bin", Records(12 * unit, seed), 0, false);
    add("data/random.bin", Random(5 * unit, seed), 0, false);
    add("data/runs.bin", Runs(5 * unit, seed), 0, false);
    add("audio/mono8.raw", Pcm(8 * unit, 1, 1, seed), 1, false);
    add("audio/stereo16.raw", Pcm(10 * unit, 2, 2, seed), 4, false);
    // The solid group: small and medium files that share context.
    for (int i = 0; i < 6; ++i) add("solid/chapter" + std::to_string(i) + ".txt", Text(2 * unit, seed), 0, true);
    for (int i = 0; i < 4; ++i) add("solid/table" + std::to_string(i) + ".bin", Records(unit, seed), 0, true);
    for (int i = 0; i < 4; ++i) add("solid/voice" + std::to_string(i) + ".raw", Pcm(4 * unit, 3, 1, seed), 3, true);
    return items;
}

std::string Deflate(const std::string &data) {
    uLongf size = compressBound(static_cast<uLong>(data.size()));
    std::string out(size, '\0');
    if (compress2(reinterpret_cast<Bytef *>(out.data()), &size, reinterpret_cast<const Bytef *>(data.data()),
                  static_cast<uLong>(data.size()), 6) != Z_OK) {
        std::fprintf(stderr, "rar_bench: zlib compression failed\n");
        std::exit(1);
    }
    out.resize(size);
    return out;
}

void Inflate(const std::string &packed, std::vector<unsigned char> &out) {
    uLongf size = static_cast<uLongf>(out.size());
    if (uncompress(out.data(), &size, reinterpret_cast<const Bytef *>(packed.data()),
                   static_cast<uLong>(packed.size())) != Z_OK ||
        size != out.size()) {
        std::fprintf(stderr, "rar_bench: zlib inflate failed\n");
        std::exit(1);
    }
}

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v.size() % 2 ? v[v.size() / 2] : (v[v.size() / 2 - 1] + v[v.size() / 2]) / 2;
}

}  // namespace

int main(int argc, char **argv) {
    int runs = 5;
    long mib = 40;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if ((arg == "--runs" || arg == "--mib") && i + 1 < argc) {
            const long v = std::strtol(argv[++i], nullptr, 10);
            if (v <= 0 || v > 1000) {
                std::fprintf(stderr, "rar_bench: %s needs a number from 1 to 1000\n", arg.c_str());
                return 2;
            }
            if (arg == "--runs") runs = static_cast<int>(v);
            else mib = v;
        } else {
            std::fprintf(stderr, "usage: rar_bench [--runs N] [--mib N]\n");
            return 2;
        }
    }
    if (mib < 32) std::fprintf(stderr, "rar_bench: note: below 32 MiB of content\n");

    // The library logs every call to its debug log; keep that log (and the
    // archives) in a scratch folder of this run.
    rartest::TempDir scratch;
    setenv("TMPDIR", scratch.path().c_str(), 1);

    // Two archives: the non-solid entries, and the solid group.
    const std::vector<Item> items = MakeContent(static_cast<size_t>(mib));
    rarwriter::ArchiveSpec plain, solid;
    solid.solid = true;
    std::string groupData;
    size_t total = 0, groupFiles = 0;
    std::vector<std::string> zlibStreams;
    std::vector<size_t> zlibSizes;
    const auto zlibStart = Clock::now();
    for (const Item &item : items) {
        rarwriter::CompressOptions o;
        if (item.channels) o.segments = {{1u << 31, item.channels}};
        (item.solid ? solid : plain).entries.push_back(rarwriter::Compressed(item.name, item.data, o));
        total += item.data.size();
        if (item.solid) {
            groupData += item.data;
            ++groupFiles;
        } else {
            zlibStreams.push_back(Deflate(item.data));
            zlibSizes.push_back(item.data.size());
        }
    }
    zlibStreams.push_back(Deflate(groupData));
    zlibSizes.push_back(groupData.size());
    const auto buildStart = Clock::now();
    const std::string plainBytes = rarwriter::BuildArchive(plain);
    const std::string solidBytes = rarwriter::BuildArchive(solid);
    const auto buildDone = Clock::now();
    const auto plainPath = scratch.path() / "plain.rar", solidPath = scratch.path() / "solid.rar";
    rarwriter::WriteFile(plainPath, plainBytes);
    rarwriter::WriteFile(solidPath, solidBytes);
    const std::string &lastOfGroup = solid.entries.back().name;

    size_t zlibBytes = 0;
    for (const auto &s : zlibStreams) zlibBytes += s.size();
    const size_t rarBytes = plainBytes.size() + solidBytes.size();
    std::printf("content: %.1f MiB in %zu files; %zu of them (%.1f MiB) in a solid archive\n", total / 1048576.0,
                items.size(), groupFiles, groupData.size() / 1048576.0);
    std::printf("built with the writer in %.1f s, zlib level 6 in %.1f s\n", Seconds(buildDone - buildStart),
                Seconds(buildStart - zlibStart));

    // Every extraction is checked, so the figures are for correct output.
    std::vector<double> rarRates, zlibRates;
    std::vector<unsigned char> inflated;
    for (int run = 0; run < runs; ++run) {
        const auto start = Clock::now();
        size_t produced = 0;
        auto extract = [&](const std::filesystem::path &archive, const Item &item) {
            unsigned char *data = nullptr;
            uint32_t size = 0;
            if (RarExtractToMemory(&data, &size, item.name.c_str(), archive.c_str(), nullptr) != 1 ||
                size != item.data.size() || std::memcmp(data, item.data.data(), size) != 0) {
                std::fprintf(stderr, "rar_bench: extraction of %s failed\n", item.name.c_str());
                std::exit(1);
            }
            std::free(data);
        };
        for (const Item &item : items) {
            if (item.solid) continue;
            extract(plainPath, item);
            produced += item.data.size();
        }
        // The group's last file: the whole group is decoded to reach it.
        extract(solidPath, *std::find_if(items.begin(), items.end(), [&](const Item &i) { return i.name == lastOfGroup; }));
        produced += groupData.size();
        rarRates.push_back(produced / Seconds(Clock::now() - start) / 1e6);

        const auto zstart = Clock::now();
        size_t out = 0;
        for (size_t s = 0; s < zlibStreams.size(); ++s) {
            inflated.resize(zlibSizes[s]);
            Inflate(zlibStreams[s], inflated);
            out += zlibSizes[s];
        }
        zlibRates.push_back(out / Seconds(Clock::now() - zstart) / 1e6);
        std::printf("run %d: library %.1f MB/s, zlib inflate %.1f MB/s\n", run + 1, rarRates.back(), zlibRates.back());
    }

    const double rarBest = *std::max_element(rarRates.begin(), rarRates.end());
    const double zlibBest = *std::max_element(zlibRates.begin(), zlibRates.end());
    const double rarMedian = Median(rarRates), zlibMedian = Median(zlibRates);
    std::printf("\n%-24s %10s %10s %14s\n", "", "best MB/s", "median", "size/content");
    std::printf("%-24s %10.1f %10.1f %13.1f%%\n", "library extraction", rarBest, rarMedian, 100.0 * rarBytes / total);
    std::printf("%-24s %10.1f %10.1f %13.1f%%\n", "zlib inflate (level 6)", zlibBest, zlibMedian,
                100.0 * zlibBytes / total);
    std::printf("%-24s %10.2f %10.2f\n", "library / zlib", rarBest / zlibBest, rarMedian / zlibMedian);
    return 0;
}
