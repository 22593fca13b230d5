// The packed-data encoder: files become symbols (LZ parser, tokens, or the
// multimedia predictor); Finish writes the bits once every block's code is known.
#include <algorithm>
#include <cstring>
#include <queue>
#include <stdexcept>

#include "rar_writer.h"

namespace rarwriter {
namespace {

constexpr int kTableSizes[7] = {298, 48, 28, 257, 257, 257, 257};  // main, distance, length, 4 audio
constexpr uint16_t kLzEnd = 269, kAudioEnd = 256;
constexpr uint32_t kMaxMatch = 260;

struct Slots {
    uint32_t base[48];
    int bits[48];
    int count = 0;
    Slots(std::initializer_list<int> extraBits) {
        uint32_t next = 0;
        for (int b : extraBits) base[count] = next, bits[count++] = b, next += 1u << b;
    }
    int Find(uint32_t value) const {
        int i = count - 1;
        while (i > 0 && base[i] > value) --i;
        if (value - base[i] >= (1u << bits[i])) throw std::invalid_argument("length or distance out of range");
        return i;
    }
    int ExtraBits(uint32_t value) const { return bits[Find(value)]; }
};
const Slots kLengthSlots{0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2, 2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5};
const Slots kDistanceSlots{0,  0,  0,  0,  1,  1,  2,  2,  3,  3,  4,  4,  5,  5,  6,  6,  7,  7,  8,  8,  9,  9,  10, 10,
                           11, 11, 12, 12, 13, 13, 14, 14, 15, 15, 16, 16, 16, 16, 16, 16, 16, 16, 16, 16, 16, 16, 16, 16};
const Slots kShortSlots{2, 2, 3, 4, 5, 6, 6, 6};

// Length bonuses the decoder adds for far distances.
uint32_t LongBonus(uint32_t d) { return (d >= 0x2000) + (d >= 0x40000); }
uint32_t HistoryBonus(uint32_t d) { return LongBonus(d) + (d >= 0x101); }

// Code lengths of at most 15 bits (counts halved until they fit); at least two symbols used.
std::vector<uint8_t> CodeLengths(std::vector<uint32_t> freq) {
    for (size_t s = 0, used = freq.size() - std::count(freq.begin(), freq.end(), 0u); used < 2; ++s)
        if (freq[s] == 0) freq[s] = 1, ++used;
    const size_t n = freq.size();
    for (;;) {
        using Node = std::pair<uint64_t, size_t>;
        std::priority_queue<Node, std::vector<Node>, std::greater<>> heap;
        std::vector<size_t> parent(2 * n, SIZE_MAX);
        for (size_t s = 0; s < n; ++s)
            if (freq[s]) heap.push({freq[s], s});
        for (size_t next = n; heap.size() > 1; ++next) {
            const Node a = heap.top();
            heap.pop();
            const Node b = heap.top();
            heap.pop();
            parent[a.second] = parent[b.second] = next;
            heap.push({a.first + b.first, next});
        }
        std::vector<uint8_t> lengths(n, 0);
        bool fits = true;
        for (size_t s = 0; s < n; ++s) {
            int depth = 0;
            for (size_t p = s; freq[s] && parent[p] != SIZE_MAX; p = parent[p]) ++depth;
            lengths[s] = static_cast<uint8_t>(depth);
            fits &= depth <= 15;
        }
        if (fits) return lengths;
        for (uint32_t &f : freq) f = (f + 1) / 2;
    }
}

std::vector<uint32_t> CanonicalCodes(const std::vector<uint8_t> &lengths) {
    uint32_t perLength[16] = {}, next[16] = {};
    for (uint8_t l : lengths) perLength[l] += l != 0;
    for (int l = 1; l < 16; ++l) next[l] = (next[l - 1] + perLength[l - 1]) << 1;
    std::vector<uint32_t> codes(lengths.size());
    for (size_t s = 0; s < lengths.size(); ++s)
        if (lengths[s]) codes[s] = next[lengths[s]]++;
    return codes;
}

// One multimedia channel's predictor, in step with the decoder's.
struct AudioChannel {
    int32_t weights[5] = {}, taps[4] = {}, delta = 0;
    uint32_t errors[11] = {}, seen = 0, prev = 0;

    // The symbol that makes the decoder output `out`, with the decoder's update.
    uint16_t Encode(int32_t &cross, uint8_t out) {
        taps[3] = taps[2], taps[2] = taps[1], taps[1] = delta - taps[0], taps[0] = delta;
        const int32_t p = 8 * int32_t(prev) + weights[0] * taps[0] + weights[1] * taps[1] + weights[2] * taps[2] +
                          weights[3] * taps[3] + weights[4] * cross;
        const uint32_t s = ((p >> 3) - out) & 0xFF;
        const int32_t e = int8_t(s) * 8, d[5] = {taps[0], taps[1], taps[2], taps[3], cross};
        errors[0] += std::abs(e);
        for (int k = 0; k < 5; ++k) errors[2 * k + 1] += std::abs(e - d[k]), errors[2 * k + 2] += std::abs(e + d[k]);
        cross = delta = int8_t(out - prev);
        prev = out;
        if (++seen % 32 == 0) {
            const int best = int(std::min_element(errors, errors + 11) - errors);
            std::memset(errors, 0, sizeof errors);
            int32_t &w = weights[(best - 1) / 2];
            if (best % 2 == 1 && w >= -16) --w;
            if (best > 0 && best % 2 == 0 && w < 16) ++w;
        }
        return static_cast<uint16_t>(s);
    }
};

struct Op {
    enum Kind : uint8_t { Code, Raw, Header, Pad } kind;
    uint8_t table;    // Code; Pad: the table a padding symbol comes from
    uint16_t symbol;  // Code; Raw: the field width
    uint32_t value;   // Raw: the field; Header: the block
};

struct Block {
    int channels;  // 0: LZ
    bool delta;
    std::vector<uint32_t> freq[7];
    std::vector<uint8_t> lengths[7];
    bool Uses(int t) const { return channels == 0 ? t < 3 : t >= 3 && t < 3 + channels; }
};

}  // namespace

struct StreamEncoder::Impl {
    std::string history;  // the chain's bytes since its last reset: the decoder's window
    uint32_t ring[4] = {}, pushes = 0, lastLength = 0, lastDistance = 0;
    AudioChannel channels[4];
    int32_t cross = 0;
    int channel = 0, channelCount = 1, block = -1;
    uint32_t blockBytes = 0;
    std::vector<uint32_t> head, prev, lastPair;  // hash chains of 3-byte strings, last place of 2-byte ones
    size_t inserted = 0;
    std::vector<Block> blocks;
    std::vector<std::vector<Op>> files;
    std::vector<std::string> outputs;
    std::vector<bool> fresh, pad;

    void Reset() {
        history.clear();
        std::memset(ring, 0, sizeof ring);
        pushes = lastLength = lastDistance = 0;
        for (AudioChannel &c : channels) c = AudioChannel{};
        cross = channel = 0;
        block = -1;
        head.assign(1 << 16, UINT32_MAX);
        lastPair.assign(1 << 16, UINT32_MAX);
        prev.resize(kWindowSize);
        inserted = 0;
    }
    int CurrentTable() const { return block >= 0 && blocks[block].channels > 0 ? 3 + channel : 0; }
    void Code(int table, uint32_t symbol) {
        files.back().push_back({Op::Code, uint8_t(table), uint16_t(symbol), 0});
        ++blocks[block].freq[table].at(symbol);
    }
    void Raw(int bits, uint32_t value) { files.back().push_back({Op::Raw, 0, uint16_t(bits), value}); }
    // `value` as the symbol first + its slot in `table`, then the slot's extra bits.
    void Slotted(const Slots &slots, int table, uint32_t first, uint32_t value) {
        const int slot = slots.Find(value);
        Code(table, first + slot);
        Raw(slots.bits[slot], value - slots.base[slot]);
    }

    // Ends the current block (withEnd) and starts the next.
    void StartBlock(int blockChannels, const CompressOptions &o, bool withEnd) {
        if (withEnd) Code(CurrentTable(), CurrentTable() == 0 ? kLzEnd : kAudioEnd);
        Block b{blockChannels, o.deltaTables, {}, {}};
        for (int t = 0; t < 7; ++t) b.freq[t].assign(kTableSizes[t], 0);
        blocks.push_back(std::move(b));
        block = int(blocks.size()) - 1;
        blockBytes = 0;
        files.back().push_back({Op::Header, 0, 0, uint32_t(block)});
        if (blockChannels > 0) channelCount = blockChannels, channel = channel < channelCount ? channel : 0;
    }

    // An empty solid file codes nothing but the tables of a TrailingTables join.
    void BeginFile(int firstChannels, const CompressOptions &o, bool solid, SolidJoin join, bool pad16, bool empty) {
        if (solid && block < 0) throw std::invalid_argument("a solid file needs a file before it in its chain");
        if (!solid) Reset();
        if (solid && !empty && join == SolidJoin::TrailingTables) {
            files.back().pop_back();  // its Pad, which comes after the new tables
            StartBlock(firstChannels, o, true);
            EndFile();
        }
        files.emplace_back();
        outputs.emplace_back();
        fresh.push_back(!solid);
        pad.push_back(pad16);
        const bool sameMode = block >= 0 && blocks[block].channels == firstChannels;
        if (!solid) {
            StartBlock(firstChannels, o, false);
        } else if (!empty && (join == SolidJoin::LeadingTables || (join == SolidJoin::SameBlock && !sameMode))) {
            StartBlock(firstChannels, o, true);
        }
    }
    void EndFile() { files.back().push_back({Op::Pad, uint8_t(CurrentTable()), 0, 0}); }

    // Records a match; for tokens also appends its bytes (zeros before the start; distance 0 is the window).
    void Push(uint32_t length, uint32_t distance, bool append) {
        ring[pushes++ & 3] = distance;
        lastLength = length, lastDistance = distance;
        blockBytes += length;
        for (uint32_t i = 0; append && i < length; ++i) {
            const size_t at = history.size(), d = distance ? distance : kWindowSize;
            history += at >= d ? history[at - d] : '\0';
            outputs.back() += history.back();
        }
    }

    void AddToken(const Token &t, bool append) {
        switch (t.kind) {
        case Token::Literal:
            Code(0, t.value);
            ++blockBytes;
            if (append) history += char(t.value), outputs.back() += char(t.value);
            return;
        case Token::Repeat:
            Code(0, 256);
            return Push(lastLength, lastDistance, append);
        case Token::History: {
            if (t.value < 1 || t.value > 4) throw std::invalid_argument("history match must reach 1-4 back");
            const uint32_t d = ring[(pushes - t.value) & 3];
            Code(0, 256 + t.value);
            Slotted(kLengthSlots, 2, 0, t.length - 2 - HistoryBonus(d));
            return Push(t.length, d, append);
        }
        case Token::Short:
            Slotted(kShortSlots, 0, 261, t.value - 1);
            return Push(2, t.value, append);
        case Token::Long:
            Slotted(kLengthSlots, 0, 270, t.length - 3 - LongBonus(t.value));
            Slotted(kDistanceSlots, 1, 0, t.value - 1);
            return Push(t.length, t.value, append);
        }
    }

    static uint32_t Hash(const uint8_t *p) { return ((p[0] << 16 | p[1] << 8 | p[2]) * 0x9E3779B1u) >> 16; }
    const uint8_t *Bytes() const { return reinterpret_cast<const uint8_t *>(history.data()); }
    void InsertUpTo(size_t pos) {
        for (; inserted < pos && inserted + 3 <= history.size(); ++inserted) {
            const uint32_t key = Hash(Bytes() + inserted);
            prev[inserted & (kWindowSize - 1)] = head[key];
            head[key] = uint32_t(inserted);
            lastPair[Bytes()[inserted] << 8 | Bytes()[inserted + 1]] = uint32_t(inserted);
        }
    }
    uint32_t MatchLength(size_t pos, uint32_t d, uint32_t limit) const {
        uint32_t n = 0;
        while (n < limit && history[pos + n] == history[pos + n - d]) ++n;
        return n;
    }

    struct Choice {
        Token token;
        uint32_t length;
        int gain;  // bits saved against literals, roughly
    };
    Choice Best(size_t pos, size_t end) {
        InsertUpTo(pos);
        Choice best{Token::Lit(Bytes()[pos]), 1, 0};
        const auto consider = [&](Token t, uint32_t length, int gain) {
            if (gain > best.gain) best = {t, length, gain};
        };
        const uint32_t most = uint32_t(std::min<size_t>(kMaxMatch, end - pos));
        const uint32_t reach = uint32_t(std::min<size_t>(pos, kWindowSize));
        if (most < 2) return best;
        for (uint32_t back = 1; back <= 4 && back <= pushes; ++back) {
            const uint32_t d = ring[(pushes - back) & 3], bonus = HistoryBonus(d);
            if (d < 1 || d > reach) continue;
            const uint32_t len = MatchLength(pos, d, std::min(most, 257 + bonus));
            if (back == 1 && lastLength >= 2 && len >= lastLength) consider(Token::Rep(), lastLength, lastLength * 9 - 6);
            if (len >= 2 + bonus) consider(Token::Hist(back, len), len, len * 9 - 10 - kLengthSlots.ExtraBits(len - 2 - bonus));
        }
        if (most >= 3) {
            uint32_t bestLen = 0, bestDist = 0;
            uint32_t c = head[Hash(Bytes() + pos)];
            for (int depth = 32; depth > 0 && c != UINT32_MAX && pos - c <= reach; --depth) {
                const uint32_t d = uint32_t(pos - c), len = MatchLength(pos, d, std::min(most, 258 + LongBonus(d)));
                if (len > bestLen && len >= 3 + LongBonus(d)) bestLen = len, bestDist = d;
                const uint32_t next = prev[c & (kWindowSize - 1)];
                if (next >= c || bestLen == most) break;
                c = next;
            }
            if (bestLen > 0) {
                const int extra = kLengthSlots.ExtraBits(bestLen - 3 - LongBonus(bestDist)) + kDistanceSlots.ExtraBits(bestDist - 1);
                consider(Token::LongMatch(bestLen, bestDist), bestLen, int(bestLen) * 9 - 14 - extra);
            }
        }
        const uint32_t q = lastPair[Bytes()[pos] << 8 | Bytes()[pos + 1]];
        if (q != UINT32_MAX && pos - q <= 256)
            consider(Token::ShortMatch(uint32_t(pos - q)), 2, 10 - kShortSlots.ExtraBits(uint32_t(pos - q - 1)));
        return best;
    }
    void ParseLz(size_t pos, size_t end, const CompressOptions &o) {
        while (pos < end) {
            if (blockBytes >= o.blockBytes) StartBlock(0, o, true);
            Choice c = Best(pos, end);
            if (c.length > 1 && c.length < 32 && pos + 1 < end && Best(pos + 1, end).gain > c.gain + 9)
                c = {Token::Lit(Bytes()[pos]), 1, 0};
            AddToken(c.token, false);
            pos += c.length;
        }
    }
};

StreamEncoder::StreamEncoder() : impl_(std::make_unique<Impl>()) {}
StreamEncoder::~StreamEncoder() = default;

size_t StreamEncoder::AddFile(std::string_view data, const CompressOptions &o, bool solid, SolidJoin join, bool pad16) {
    Impl &m = *impl_;
    std::vector<Segment> plan;  // the options' plan cut to this file, the rest LZ
    size_t planned = 0;
    for (const Segment &s : o.segments) {
        if (s.channels < 0 || s.channels > 4) throw std::invalid_argument("segment channels must be 0-4");
        const size_t bytes = std::min<size_t>(s.bytes, data.size() - planned);
        if (bytes > 0) plan.push_back({uint32_t(bytes), s.channels}), planned += bytes;
    }
    if (planned < data.size()) plan.push_back({uint32_t(data.size() - planned), 0});
    m.BeginFile(plan.empty() ? 0 : plan[0].channels, o, solid, join, pad16, data.empty());
    size_t pos = m.history.size();
    m.history.append(data);
    m.outputs.back().assign(data);
    for (size_t i = 0; i < plan.size(); pos += plan[i++].bytes) {
        if (i > 0) m.StartBlock(plan[i].channels, o, true);
        if (plan[i].channels == 0) {
            m.ParseLz(pos, pos + plan[i].bytes, o);
        } else {
            for (size_t k = pos; k < pos + plan[i].bytes; ++k) {
                m.Code(m.CurrentTable(), m.channels[m.channel].Encode(m.cross, uint8_t(m.history[k])));
                m.channel = (m.channel + 1) % m.channelCount;
            }
        }
    }
    m.EndFile();
    return m.files.size() - 1;
}

size_t StreamEncoder::AddTokens(const std::vector<Token> &tokens, const CompressOptions &o, bool solid, SolidJoin join,
                                bool pad16) {
    Impl &m = *impl_;
    m.BeginFile(0, o, solid, join, pad16, false);
    for (const Token &t : tokens) {
        if (m.blockBytes >= o.blockBytes) m.StartBlock(0, o, true);
        m.AddToken(t, true);
    }
    m.EndFile();
    return m.files.size() - 1;
}

const std::string &StreamEncoder::Output(size_t index) const { return impl_->outputs.at(index); }

namespace {

// A block header and its code lengths, as deltas to `previous`, which becomes this block's.
void WriteHeader(BitWriter &w, const Block &b, std::vector<uint8_t> &previous) {
    std::vector<uint8_t> lengths;
    for (int t = 0; t < 7; ++t)
        if (b.Uses(t)) lengths.insert(lengths.end(), b.lengths[t].begin(), b.lengths[t].end());
    w.Write(b.channels > 0, 1);
    w.Write(b.delta, 1);
    if (b.channels > 0) w.Write(b.channels - 1, 2);
    if (!b.delta) std::fill(previous.begin(), previous.end(), 0);
    struct LengthSymbol {
        uint32_t symbol, extra;
        int bits;
    };
    std::vector<LengthSymbol> symbols;
    const size_t n = lengths.size();
    for (size_t i = 0, run; i < n; i += run) {
        for (run = 1; i + run < n && lengths[i + run] == lengths[i];) ++run;
        if (lengths[i] == 0 && run >= 11) {
            run = std::min<size_t>(run, 138), symbols.push_back({18, uint32_t(run - 11), 7});
        } else if (lengths[i] == 0 && run >= 3) {
            run = std::min<size_t>(run, 10), symbols.push_back({17, uint32_t(run - 3), 3});
        } else if (i > 0 && lengths[i] == lengths[i - 1] && run >= 3) {
            run = std::min<size_t>(run, 6), symbols.push_back({16, uint32_t(run - 3), 2});
        } else {
            run = 1, symbols.push_back({uint32_t((lengths[i] - previous[i]) & 15), 0, 0});
        }
    }
    std::vector<uint32_t> freq(19, 0);
    for (const LengthSymbol &s : symbols) ++freq[s.symbol];
    const std::vector<uint8_t> codeLengths = CodeLengths(freq);
    const std::vector<uint32_t> codes = CanonicalCodes(codeLengths);
    for (uint8_t l : codeLengths) w.Write(l, 4);
    for (const LengthSymbol &s : symbols) w.Write(codes[s.symbol], codeLengths[s.symbol]), w.Write(s.extra, s.bits);
    std::fill(previous.begin(), previous.end(), 0);
    std::copy(lengths.begin(), lengths.end(), previous.begin());
}

}  // namespace

std::vector<std::string> StreamEncoder::Finish() {
    Impl &m = *impl_;
    for (Block &b : m.blocks) {
        for (int t = 0; t < 7; ++t) {
            if (!b.Uses(t)) continue;
            const bool unused = std::count(b.freq[t].begin(), b.freq[t].end(), 0u) == long(b.freq[t].size());
            b.lengths[t] = (t == 1 || t == 2) && unused ? std::vector<uint8_t>(kTableSizes[t], 0) : CodeLengths(b.freq[t]);
        }
    }
    std::vector<std::string> packed;
    std::vector<uint8_t> previous(4 * 257, 0);
    std::vector<uint32_t> codes[7];
    const Block *current = nullptr;
    for (size_t f = 0; f < m.files.size(); ++f) {
        BitWriter w;
        if (m.fresh[f]) std::fill(previous.begin(), previous.end(), 0);
        for (const Op &op : m.files[f]) {
            if (op.kind == Op::Header) {
                current = &m.blocks[op.value];
                WriteHeader(w, *current, previous);
                for (int t = 0; t < 7; ++t) codes[t] = current->Uses(t) ? CanonicalCodes(current->lengths[t]) : codes[t];
            } else if (op.kind == Op::Code) {
                w.Write(codes[op.table][op.symbol], current->lengths[op.table][op.symbol]);
            } else if (op.kind == Op::Raw) {
                w.Write(op.value, op.symbol);
            } else if (m.pad[f] && w.Bytes().size() % 16 != 0) {
                // The decoder may read one symbol past the end: any but end-of-block.
                const std::vector<uint8_t> &lengths = current->lengths[op.table];
                for (uint32_t s = 0; s < lengths.size(); ++s) {
                    if (lengths[s] && s != (op.table == 0 ? kLzEnd : kAudioEnd)) {
                        w.Write(codes[op.table][s], lengths[s]);
                        break;
                    }
                }
            }
        }
        std::string bytes = w.Bytes();
        if (m.pad[f]) bytes.resize((bytes.size() + 15) / 16 * 16, '\0');
        packed.push_back(std::move(bytes));
    }
    return packed;
}

}  // namespace rarwriter
