#include "huffman_code.h"

#include <algorithm>
#include <numeric>
#include <stdexcept>

namespace rarwriter {
namespace {

// Plain Huffman code lengths (unbounded) for the symbols listed in `used`,
// built with two sorted queues: leaves in frequency order, merged nodes in
// creation order (which is also frequency order).
std::vector<int> UnboundedLengths(const std::vector<uint32_t> &freq, const std::vector<int> &used) {
    const size_t n = used.size();
    std::vector<uint64_t> weight(2 * n);
    std::vector<int> parent(2 * n, -1);
    for (size_t i = 0; i < n; ++i) weight[i] = freq[used[i]];
    size_t leaf = 0, node = n, next = n;
    auto pick = [&]() -> size_t {
        if (leaf < n && (node >= next || weight[leaf] <= weight[node])) return leaf++;
        return node++;
    };
    for (size_t k = 0; k + 1 < n; ++k) {
        const size_t a = pick();
        const size_t b = pick();
        weight[next] = weight[a] + weight[b];
        parent[a] = parent[b] = static_cast<int>(next);
        ++next;
    }
    std::vector<int> depth(2 * n, 0);
    for (size_t i = next - 1; i-- > 0;) depth[i] = depth[parent[i]] + 1;
    return std::vector<int>(depth.begin(), depth.begin() + static_cast<std::ptrdiff_t>(n));
}

}  // namespace

std::vector<uint8_t> BuildCodeLengths(const std::vector<uint32_t> &frequencies, int maxLength, int avoid) {
    if (maxLength < 1 || maxLength > 15) throw std::invalid_argument("code length limit out of range");
    const size_t count = frequencies.size();
    if (count < 2) throw std::invalid_argument("an alphabet needs at least two symbols");
    std::vector<uint32_t> freq = frequencies;
    auto usedCount = [&] { return std::count_if(freq.begin(), freq.end(), [](uint32_t f) { return f > 0; }); };
    for (size_t s = 0; usedCount() < 2 && s < count; ++s)
        if (freq[s] == 0 && static_cast<int>(s) != avoid) freq[s] = 1;

    // Symbols sorted by frequency, ties by symbol value, so the result does
    // not depend on the sort's stability.
    std::vector<int> used;
    for (size_t s = 0; s < count; ++s)
        if (freq[s] > 0) used.push_back(static_cast<int>(s));
    std::sort(used.begin(), used.end(), [&](int a, int b) { return freq[a] != freq[b] ? freq[a] < freq[b] : a < b; });
    if (used.size() > (size_t{1} << maxLength)) throw std::invalid_argument("too many symbols for the length limit");

    const std::vector<int> depth = UnboundedLengths(freq, used);

    // Count codes per length, fold the too-long ones into the limit, then
    // restore Kraft's equality by lengthening shorter codes one at a time.
    std::vector<uint32_t> perLength(64, 0);
    for (int d : depth) ++perLength[std::min(d, maxLength)];
    uint64_t kraft = 0;  // in units of 2^-maxLength
    for (int l = 1; l <= maxLength; ++l) kraft += uint64_t(perLength[l]) << (maxLength - l);
    const uint64_t full = uint64_t(1) << maxLength;
    while (kraft > full) {
        // Move one code from the limit up a level: a code at length l < max
        // becomes two at l + 1, which makes room for the displaced one.
        --perLength[maxLength];
        for (int l = maxLength - 1; l >= 1; --l) {
            if (perLength[l] > 0) {
                --perLength[l];
                perLength[l + 1] += 2;
                break;
            }
        }
        --kraft;
    }

    // The most frequent symbols take the shortest codes. `used` is in
    // ascending frequency order, so walk the lengths from the longest.
    std::vector<uint8_t> lengths(count, 0);
    size_t k = 0;
    for (int l = maxLength; l >= 1; --l)
        for (uint32_t c = 0; c < perLength[l]; ++c) lengths[used[k++]] = static_cast<uint8_t>(l);
    return lengths;
}

std::vector<uint16_t> CanonicalCodes(const std::vector<uint8_t> &lengths) {
    uint32_t perLength[16] = {};
    for (uint8_t l : lengths) {
        if (l > 15) throw std::invalid_argument("code length above 15");
        if (l > 0) ++perLength[l];
    }
    uint32_t next[16] = {};
    uint32_t code = 0;
    for (int l = 1; l <= 15; ++l) {
        code = (code + perLength[l - 1]) << 1;
        next[l] = code;
    }
    std::vector<uint16_t> codes(lengths.size(), 0);
    for (size_t s = 0; s < lengths.size(); ++s)
        if (lengths[s] > 0) codes[s] = static_cast<uint16_t>(next[lengths[s]]++);
    return codes;
}

}  // namespace rarwriter
