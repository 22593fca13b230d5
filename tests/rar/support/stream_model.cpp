#include "stream_model.h"

#include <cstdlib>
#include <cstring>
#include <vector>

namespace rarwriter::model {
namespace {

constexpr uint32_t kMask = 0xFFFFF;

struct Table {
    int count = 0;
    uint32_t limit[16] = {};
    uint32_t first[16] = {};
    std::vector<uint32_t> symbols = std::vector<uint32_t>(298, 0);

    void Build(const uint8_t *lengths, int n) {
        uint32_t perLength[16] = {};
        for (int i = 0; i < n; ++i) ++perLength[lengths[i] & 15];
        perLength[0] = 0;
        uint32_t m = 0;
        limit[0] = first[0] = 0;
        for (int l = 1; l < 16; ++l) {
            m = (m + perLength[l]) * 2;
            limit[l] = std::min<uint32_t>(m << (15 - l), 0xFFFF);
            first[l] = first[l - 1] + perLength[l - 1];
        }
        uint32_t next[16];
        std::memcpy(next, first, sizeof next);
        for (int i = 0; i < n; ++i)
            if (lengths[i] & 15) symbols[next[lengths[i] & 15]++] = static_cast<uint32_t>(i);
        count = n;
    }
};

const uint32_t kLengthBase[28] = {0,  1,  2,  3,  4,  5,  6,  7,  8,  10,  12,  14,  16,  20,
                                  24, 28, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224};
const int kLengthBits[28] = {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2, 2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5};
const uint32_t kShortBase[8] = {0, 4, 8, 16, 32, 64, 128, 192};
const int kShortBits[8] = {2, 2, 3, 4, 5, 6, 6, 6};

struct Distances {
    uint32_t base[48];
    int bits[48];
    Distances() {
        const int b[48] = {0,  0,  0,  0,  1,  1,  2,  2,  3,  3,  4,  4,  5,  5,  6,  6,
                           7,  7,  8,  8,  9,  9,  10, 10, 11, 11, 12, 12, 13, 13, 14, 14,
                           15, 15, 16, 16, 16, 16, 16, 16, 16, 16, 16, 16, 16, 16, 16, 16};
        uint32_t v = 0;
        for (int i = 0; i < 48; ++i) {
            base[i] = v;
            bits[i] = b[i];
            v += uint32_t{1} << b[i];
        }
    }
};
const Distances kDistances;

struct Channel {
    int32_t w[5] = {};
    int32_t t[4] = {};
    int32_t delta = 0;
    uint32_t err[11] = {};
    uint32_t seen = 0;
    uint32_t prev = 0;
};

}  // namespace

struct StreamModel::State {
    std::vector<uint8_t> window = std::vector<uint8_t>(0x100000, 0);
    uint32_t pos = 0;
    uint32_t history[4] = {};
    uint32_t historyCount = 0;
    uint32_t lastLength = 0, lastDistance = 0;
    Table main, distance, repeatLength, lengths, audio[4];
    uint8_t previous[1028] = {};
    bool audioMode = false;
    int channels = 1, channel = 0;
    Channel ch[4];
    int32_t cross = 0;

    // Bit input over the current file's packed bytes; bytes past the end
    // read as zero.
    std::string_view in;
    uint64_t bit = 0;

    uint32_t Peek16() const {
        uint32_t v = 0;
        const uint64_t byte = bit / 8;
        for (int i = 0; i < 3; ++i)
            v = v << 8 | (byte + i < in.size() ? static_cast<uint8_t>(in[byte + i]) : 0);
        return (v >> (8 - bit % 8)) & 0xFFFF;
    }
    uint32_t Bits(int n) {
        const uint32_t v = Peek16() >> (16 - n);
        bit += static_cast<uint64_t>(n);
        return v;
    }
    uint32_t Decode(const Table &t) {
        const uint32_t v = Peek16() & 0xFFFE;
        int l = 1;
        while (l < 15 && v >= t.limit[l]) ++l;
        bit += static_cast<uint64_t>(l);
        uint32_t i = t.first[l] + ((v - t.limit[l - 1]) >> (16 - l));
        if (i >= static_cast<uint32_t>(t.count)) i = 0;
        return t.symbols[i];
    }

    void LoadTables() {
        const uint32_t h = Peek16();
        audioMode = (h & 0x8000) != 0;
        if (!(h & 0x4000)) std::memset(previous, 0, sizeof previous);
        bit += 2;
        int n = 374;
        if (audioMode) {
            channels = static_cast<int>((h >> 12) & 3) + 1;
            if (channel >= channels) channel = 0;
            bit += 2;
            n = channels * 257;
        }
        uint8_t codeLengths[19];
        for (auto &l : codeLengths) l = static_cast<uint8_t>(Bits(4));
        lengths.Build(codeLengths, 19);
        uint8_t work[1028] = {};
        for (int i = 0; i < n;) {
            const uint32_t s = Decode(lengths);
            if (s < 16) {
                work[i] = static_cast<uint8_t>((s + previous[i]) & 15);
                ++i;
            } else if (s == 16) {
                for (uint32_t k = Bits(2) + 3; k > 0 && i < n; --k, ++i) work[i] = i > 0 ? work[i - 1] : 0;
            } else {
                for (uint32_t k = s == 17 ? Bits(3) + 3 : Bits(7) + 11; k > 0 && i < n; --k, ++i) work[i] = 0;
            }
        }
        if (audioMode) {
            for (int c = 0; c < channels; ++c) audio[c].Build(work + c * 257, 257);
        } else {
            main.Build(work, 298);
            distance.Build(work + 298, 48);
            repeatLength.Build(work + 346, 28);
        }
        std::memcpy(previous, work, sizeof previous);
    }

    uint8_t AudioByte(uint32_t s) {
        Channel &c = ch[channel];
        ++c.seen;
        c.t[3] = c.t[2];
        c.t[2] = c.t[1];
        c.t[1] = c.delta - c.t[0];
        c.t[0] = c.delta;
        const int32_t p = 8 * int32_t(c.prev) + c.w[0] * c.t[0] + c.w[1] * c.t[1] + c.w[2] * c.t[2] +
                          c.w[3] * c.t[3] + c.w[4] * cross;
        const uint32_t out = ((static_cast<uint32_t>(p >> 3) & 0xFF) - s) & 0xFF;
        const int32_t e = static_cast<int8_t>(s) * 8;
        const int32_t d[11] = {e, e - c.t[0], e + c.t[0], e - c.t[1], e + c.t[1], e - c.t[2],
                               e + c.t[2], e - c.t[3], e + c.t[3], e - cross, e + cross};
        for (int i = 0; i < 11; ++i) c.err[i] += static_cast<uint32_t>(std::abs(d[i]));
        c.delta = static_cast<int8_t>(out - c.prev);
        cross = c.delta;
        c.prev = out;
        if (c.seen % 32 == 0) {
            int best = 0;
            for (int i = 1; i < 11; ++i)
                if (c.err[i] < c.err[best]) best = i;
            std::memset(c.err, 0, sizeof c.err);
            if (best > 0) {
                int32_t &w = c.w[(best - 1) / 2];
                if (best % 2 && w >= -16) --w;
                if (best % 2 == 0 && w < 16) ++w;
            }
        }
        return static_cast<uint8_t>(out);
    }
};

StreamModel::StreamModel() : s_(std::make_unique<State>()) {}
StreamModel::~StreamModel() = default;

DecodeResult StreamModel::Decode(std::string_view packed, uint32_t unpackedSize, bool solid) {
    State &s = *s_;
    DecodeResult r;
    s.in = packed;
    s.bit = 0;
    if (!solid) {
        std::fill(s.window.begin(), s.window.end(), 0);
        s.pos = 0;
        std::memset(s.history, 0, sizeof s.history);
        s.historyCount = s.lastLength = s.lastDistance = 0;
        std::memset(s.previous, 0, sizeof s.previous);
        s.channel = 0;
        for (auto &c : s.ch) c = Channel{};
        s.cross = 0;
        s.LoadTables();
    }
    auto put = [&](uint8_t b) {
        s.window[s.pos] = b;
        s.pos = (s.pos + 1) & kMask;
        if (r.bytes.size() < unpackedSize) r.bytes.push_back(static_cast<char>(b));
        else r.overrun = true;
    };
    int64_t remaining = static_cast<int64_t>(unpackedSize);
    while (remaining > 0) {
        if (s.bit > packed.size() * 8 + 64) {
            r.inputEnded = true;
            break;
        }
        if (s.audioMode) {
            const uint32_t sym = s.Decode(s.audio[s.channel]);
            if (sym == 256) {
                s.LoadTables();
                continue;
            }
            put(s.AudioByte(sym));
            s.channel = (s.channel + 1) % s.channels;
            --remaining;
            continue;
        }
        const uint32_t sym = s.Decode(s.main);
        if (sym < 256) {
            put(static_cast<uint8_t>(sym));
            --remaining;
            continue;
        }
        if (sym == 269) {
            s.LoadTables();
            continue;
        }
        uint32_t length, dist;
        if (sym == 256) {
            length = s.lastLength;
            dist = s.lastDistance;
        } else if (sym < 261) {
            dist = s.history[(s.historyCount - (sym - 256)) & 3];
            const uint32_t slot = s.Decode(s.repeatLength);
            length = kLengthBase[slot] + 2 + (kLengthBits[slot] ? s.Bits(kLengthBits[slot]) : 0);
            length += (dist >= 0x2000) + (dist >= 0x40000) + (dist >= 0x101);
        } else if (sym < 269) {
            const uint32_t slot = sym - 261;
            dist = kShortBase[slot] + 1 + s.Bits(kShortBits[slot]);
            length = 2;
        } else {
            const uint32_t slot = sym - 270;
            length = kLengthBase[slot] + 3 + (kLengthBits[slot] ? s.Bits(kLengthBits[slot]) : 0);
            const uint32_t d = s.Decode(s.distance);
            dist = kDistances.base[d] + 1 + (kDistances.bits[d] ? s.Bits(kDistances.bits[d]) : 0);
            length += (dist >= 0x2000) + (dist >= 0x40000);
        }
        s.history[s.historyCount & 3] = dist;
        ++s.historyCount;
        s.lastDistance = dist;
        s.lastLength = length;
        remaining -= length;
        for (uint32_t i = 0; i < length; ++i) put(s.window[(s.pos - dist) & kMask]);
    }
    if (remaining > 0) r.inputEnded = true;
    // End of file: a trailing end-of-block hands the next solid file its tables.
    if (packed.size() >= s.bit / 8 + 5) {
        const uint32_t sym = s.Decode(s.audioMode ? s.audio[s.channel] : s.main);
        if (sym == (s.audioMode ? 256u : 269u)) s.LoadTables();
    }
    return r;
}

}  // namespace rarwriter::model
