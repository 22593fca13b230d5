#include "packed_stream.h"

#include <algorithm>
#include <cstring>
#include <stdexcept>

#include "bit_writer.h"
#include "huffman_code.h"

namespace rarwriter {
namespace {

constexpr int kMainSymbols = 298;
constexpr int kDistanceSymbols = 48;
constexpr int kRepeatLengthSymbols = 28;
constexpr int kAudioSymbols = 257;
constexpr int kLzLengthCount = kMainSymbols + kDistanceSymbols + kRepeatLengthSymbols;  // 374
constexpr int kMaxLengthCount = 4 * kAudioSymbols;                                      // 1028
constexpr uint16_t kLzEndOfBlock = 269;
constexpr uint16_t kAudioEndOfBlock = 256;
constexpr uint32_t kWindowMask = kWindowSize - 1;
constexpr uint32_t kMaxMatch = 260;

// Tables of a block, by the id the planner stores in each coded symbol.
enum TableId : uint8_t { kMainTable = 0, kDistanceTable = 1, kRepeatLengthTable = 2, kAudioTable0 = 3 };
constexpr int kTableCount = 7;

int TableSize(int table) {
    switch (table) {
    case kMainTable: return kMainSymbols;
    case kDistanceTable: return kDistanceSymbols;
    case kRepeatLengthTable: return kRepeatLengthSymbols;
    default: return kAudioSymbols;
    }
}

struct SlotTable {
    uint32_t base[48];
    int bits[48];
    int count;
};

SlotTable MakeSlots(std::initializer_list<int> bits) {
    SlotTable t{};
    uint32_t base = 0;
    for (int b : bits) {
        t.base[t.count] = base;
        t.bits[t.count] = b;
        base += uint32_t{1} << b;
        ++t.count;
    }
    return t;
}

const SlotTable &LengthSlots() {
    static const SlotTable t = MakeSlots({0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2, 2, 3, 3, 3, 3, 4, 4,
                                          4, 4, 5, 5, 5, 5});
    return t;
}

const SlotTable &DistanceSlots() {
    static const SlotTable t = MakeSlots({0,  0,  0,  0,  1,  1,  2,  2,  3,  3,  4,  4,  5,  5,  6,  6,
                                          7,  7,  8,  8,  9,  9,  10, 10, 11, 11, 12, 12, 13, 13, 14, 14,
                                          15, 15, 16, 16, 16, 16, 16, 16, 16, 16, 16, 16, 16, 16, 16, 16});
    return t;
}

Slot FindSlot(const SlotTable &t, uint32_t value, const char *what) {
    for (int i = t.count - 1; i >= 0; --i) {
        if (t.base[i] <= value) {
            if (value - t.base[i] >= (uint32_t{1} << t.bits[i])) break;
            return {i, t.bits[i], t.base[i]};
        }
    }
    throw std::invalid_argument(std::string(what) + " out of range");
}

// Length bonuses the decoder adds for far distances: long matches from
// 0x2000 and 0x40000, history matches from 0x101 as well.
uint32_t LongBonus(uint32_t distance) { return (distance >= 0x2000) + (distance >= 0x40000); }
uint32_t HistoryBonus(uint32_t distance) { return LongBonus(distance) + (distance >= 0x101); }

// One step of the planned stream.
struct Op {
    enum Kind : uint8_t { Code, Raw, Header, FileEnd };
    Kind kind;
    uint8_t table;   // Code: table id. FileEnd: the table the decoder's end-of-file look-ahead uses
    uint8_t bits;    // Raw: field width
    uint16_t symbol; // Code
    uint32_t value;  // Raw: field value. Header: block index
};

struct Block {
    int channels = 0;  // 0: LZ
    bool delta = false;
    bool runSymbols = true;
    bool overlongRuns = false;
    bool repeatAtStart = false;
    int maxCodeLength = 15;
    std::vector<uint32_t> freq[kTableCount];
    std::vector<uint8_t> lengths[kTableCount];
    uint64_t bytes = 0;

    bool uses(int table) const {
        if (channels == 0) return table <= kRepeatLengthTable;
        return table >= kAudioTable0 && table < kAudioTable0 + channels;
    }
};

// Predictor of one multimedia channel, in step with the decoder's.
struct AudioChannel {
    int32_t weights[5] = {};
    int32_t taps[4] = {};
    int32_t delta = 0;
    uint32_t errors[11] = {};
    uint32_t seen = 0;
    uint8_t prev = 0;
};

int32_t SignedByte(uint32_t v) { return static_cast<int8_t>(static_cast<uint8_t>(v)); }

// The symbol that makes the decoder output `out`, and the predictor update
// the decoder performs for it.
uint16_t EncodeAudioByte(AudioChannel &c, int32_t &crossDelta, uint8_t out) {
    ++c.seen;
    c.taps[3] = c.taps[2];
    c.taps[2] = c.taps[1];
    c.taps[1] = c.delta - c.taps[0];
    c.taps[0] = c.delta;
    const int32_t p = 8 * int32_t(c.prev) + c.weights[0] * c.taps[0] + c.weights[1] * c.taps[1] +
                      c.weights[2] * c.taps[2] + c.weights[3] * c.taps[3] + c.weights[4] * crossDelta;
    const uint32_t predicted = static_cast<uint32_t>(p >> 3) & 0xFF;
    const uint32_t s = (predicted - out) & 0xFF;

    const int32_t e = SignedByte(s) * 8;
    const int32_t candidates[11] = {e,
                                    e - c.taps[0], e + c.taps[0],
                                    e - c.taps[1], e + c.taps[1],
                                    e - c.taps[2], e + c.taps[2],
                                    e - c.taps[3], e + c.taps[3],
                                    e - crossDelta, e + crossDelta};
    for (int i = 0; i < 11; ++i) c.errors[i] += static_cast<uint32_t>(std::abs(candidates[i]));

    c.delta = SignedByte(uint32_t(out) - c.prev);
    crossDelta = c.delta;
    c.prev = out;

    if (c.seen % 32 == 0) {
        int best = 0;
        for (int i = 1; i < 11; ++i)
            if (c.errors[i] < c.errors[best]) best = i;
        std::memset(c.errors, 0, sizeof c.errors);
        if (best > 0) {
            int32_t &w = c.weights[(best - 1) / 2];
            if (best % 2 == 1) {
                if (w >= -16) --w;
            } else if (w < 16) {
                ++w;
            }
        }
    }
    return static_cast<uint16_t>(s);
}

// Hash chains over the stream's bytes for the LZ parser.
class MatchFinder {
public:
    static constexpr uint32_t kNone = 0xFFFFFFFFu;

    MatchFinder() : head_(1 << 16, kNone), prev_(kWindowSize, kNone), lastPair_(1 << 16, kNone) {}

    void Reset() {
        std::fill(head_.begin(), head_.end(), kNone);
        std::fill(lastPair_.begin(), lastPair_.end(), kNone);
        inserted_ = 0;
    }

    // Adds every position before `pos` whose three bytes are known.
    void InsertUpTo(const std::string &h, size_t pos) {
        const auto *b = reinterpret_cast<const uint8_t *>(h.data());
        while (inserted_ < pos && inserted_ + 3 <= h.size()) {
            const size_t q = inserted_++;
            const uint32_t key = Hash(b + q);
            prev_[q & kWindowMask] = head_[key];
            head_[key] = static_cast<uint32_t>(q);
            lastPair_[uint32_t(b[q]) << 8 | b[q + 1]] = static_cast<uint32_t>(q);
        }
    }

    uint32_t head(const uint8_t *p) const { return head_[Hash(p)]; }
    uint32_t next(uint32_t candidate) const { return prev_[candidate & kWindowMask]; }
    uint32_t lastPair(const uint8_t *p) const { return lastPair_[uint32_t(p[0]) << 8 | p[1]]; }

private:
    static uint32_t Hash(const uint8_t *p) {
        return ((uint32_t(p[0]) << 16 | uint32_t(p[1]) << 8 | p[2]) * 0x9E3779B1u) >> 16;
    }

    std::vector<uint32_t> head_, prev_, lastPair_;
    size_t inserted_ = 0;
};

}  // namespace

Slot LengthSlot(uint32_t lengthCode) { return FindSlot(LengthSlots(), lengthCode, "length"); }
Slot DistanceSlot(uint32_t distanceMinusOne) { return FindSlot(DistanceSlots(), distanceMinusOne, "distance"); }
Slot ShortDistanceSlot(uint32_t distanceMinusOne) {
    static const uint32_t bases[8] = {0, 4, 8, 16, 32, 64, 128, 192};
    static const int bits[8] = {2, 2, 3, 4, 5, 6, 6, 6};
    for (int i = 7; i >= 0; --i)
        if (bases[i] <= distanceMinusOne && distanceMinusOne - bases[i] < (uint32_t{1} << bits[i]))
            return {i, bits[i], bases[i]};
    throw std::invalid_argument("short distance out of range");
}

struct StreamEncoder::Impl {
    // --- planning state: mirrors what the decoder knows at each point ---
    std::string history;        // every byte of the chain since the last reset
    uint32_t ring[4] = {};
    uint32_t ringCount = 0;
    uint32_t prevLength = 0;
    uint32_t prevDistance = 0;
    AudioChannel channels[4];
    int32_t crossDelta = 0;
    int currentChannel = 0;
    int channelCount = 1;
    int block = -1;             // index into blocks of the block being filled
    MatchFinder finder;

    std::vector<Block> blocks;
    std::vector<std::vector<Op>> files;
    std::vector<std::string> outputs;
    std::vector<bool> pad;
    std::vector<bool> fresh;  // the file resets the decoder's state
    StreamStats stats;
    bool finished = false;

    std::vector<Op> &ops() { return files.back(); }

    void Reset() {
        history.clear();
        std::memset(ring, 0, sizeof ring);
        ringCount = prevLength = prevDistance = 0;
        for (auto &c : channels) c = AudioChannel{};
        crossDelta = 0;
        currentChannel = 0;
        // The channel count is part of the tables, which a reset does not
        // clear; every fresh file reads a header before it needs it.
        block = -1;
        finder.Reset();
    }

    int CurrentTable() const {
        return (block >= 0 && blocks[block].channels > 0) ? kAudioTable0 + currentChannel : kMainTable;
    }

    void Code(int table, uint16_t symbol) {
        ops().push_back({Op::Code, static_cast<uint8_t>(table), 0, symbol, 0});
        ++blocks[block].freq[table][symbol];
    }

    void Raw(int bits, uint32_t value) {
        if (bits > 0) ops().push_back({Op::Raw, 0, static_cast<uint8_t>(bits), 0, value});
    }

    // Ends the current block (unless `withEnd` is false: the first block of
    // a fresh file, whose tables the decoder reads unasked) and starts one.
    void StartBlock(int channelsOfBlock, const CompressOptions &o, bool withEnd) {
        if (withEnd) {
            if (block < 0) throw std::logic_error("no block to end");
            const int table = CurrentTable();
            Code(table, table == kMainTable ? kLzEndOfBlock : kAudioEndOfBlock);
        }
        Block b;
        b.channels = channelsOfBlock;
        b.delta = o.deltaTables;
        b.runSymbols = o.runSymbols;
        b.overlongRuns = o.overlongRuns;
        b.repeatAtStart = o.repeatAtStart;
        b.maxCodeLength = o.maxCodeLength;
        if (o.maxCodeLength < 1 || o.maxCodeLength > 15) throw std::invalid_argument("maxCodeLength must be 1..15");
        for (int t = 0; t < kTableCount; ++t) b.freq[t].assign(TableSize(t), 0);
        blocks.push_back(std::move(b));
        block = static_cast<int>(blocks.size()) - 1;
        ops().push_back({Op::Header, 0, 0, 0, static_cast<uint32_t>(block)});
        if (channelsOfBlock > 0) {
            channelCount = channelsOfBlock;
            if (currentChannel >= channelCount) currentChannel = 0;
            ++stats.audioBlocks;
            ++stats.audioBlocksByChannels[channelsOfBlock];
        } else {
            ++stats.lzBlocks;
        }
    }

    // Opens a file: resets or joins the chain and starts its first block.
    // An empty solid file starts no block: the decoder reads at most one
    // end-of-block and table set from it (at its end), and that one is left
    // for the next file's trailing tables.
    void BeginFile(int firstChannels, const CompressOptions &o, bool solid, SolidJoin join, bool pad16, bool empty) {
        if (finished) throw std::logic_error("encoder already finished");
        if (solid && block < 0) throw std::invalid_argument("a solid file needs a previous file in its chain");
        if (!solid) Reset();
        const bool sameMode = block >= 0 && blocks[block].channels == firstChannels;
        if (solid && empty) {
            files.emplace_back();
        } else if (solid && join == SolidJoin::TrailingTables) {
            // The previous file ends with end-of-block and the new tables;
            // its end-of-file look-ahead reads them.
            std::vector<Op> &previous = files.back();
            const Op fileEnd = previous.back();
            previous.pop_back();
            StartBlock(firstChannels, o, true);
            previous.push_back({Op::FileEnd, static_cast<uint8_t>(CurrentTable()), 0, 0, fileEnd.value});
            ++stats.trailingTables;
            files.emplace_back();
        } else {
            files.emplace_back();
            if (!solid) {
                StartBlock(firstChannels, o, false);
            } else if (join == SolidJoin::LeadingTables || !sameMode) {
                StartBlock(firstChannels, o, true);
            }
        }
        outputs.emplace_back();
        pad.push_back(pad16);
        fresh.push_back(!solid);
    }

    void EndFile() {
        ops().push_back({Op::FileEnd, static_cast<uint8_t>(CurrentTable()), 0, 0,
                         static_cast<uint32_t>(files.size() - 1)});
    }

    // The byte a match at `distance` reads when the next byte goes to
    // absolute position `pos`: the window is zero before the first byte, and
    // distance 0 reads the byte that is about to be overwritten.
    uint8_t WindowByte(size_t pos, uint32_t distance) const {
        if (distance == 0) return pos >= kWindowSize ? static_cast<uint8_t>(history[pos - kWindowSize]) : 0;
        return pos >= distance ? static_cast<uint8_t>(history[pos - distance]) : 0;
    }

    void PushMatch(uint32_t length, uint32_t distance, bool appendBytes) {
        ring[ringCount & 3] = distance;
        ++ringCount;
        prevDistance = distance;
        prevLength = length;
        if (appendBytes) {
            for (uint32_t i = 0; i < length; ++i) {
                const uint8_t b = WindowByte(history.size(), distance);
                history.push_back(static_cast<char>(b));
                outputs.back().push_back(static_cast<char>(b));
            }
        }
        blocks[block].bytes += length;
        stats.longestMatch = std::max(stats.longestMatch, length);
        stats.farthestDistance = std::max(stats.farthestDistance, distance);
    }

    // Plans one LZ token. `appendBytes`: the token's bytes are not yet in
    // `history` (token files); the parser has them there already.
    void AddToken(const Token &t, bool appendBytes) {
        switch (t.kind) {
        case TokenKind::Literal:
            Code(kMainTable, t.byte);
            if (appendBytes) {
                history.push_back(static_cast<char>(t.byte));
                outputs.back().push_back(static_cast<char>(t.byte));
            }
            ++blocks[block].bytes;
            ++stats.literals;
            return;
        case TokenKind::Repeat:
            Code(kMainTable, 256);
            ++stats.repeats;
            PushMatch(prevLength, prevDistance, appendBytes);
            return;
        case TokenKind::History: {
            if (t.back < 1 || t.back > 4) throw std::invalid_argument("history match must reach 1..4 back");
            const uint32_t distance = ring[(ringCount - t.back) & 3];
            const uint32_t bonus = HistoryBonus(distance);
            if (t.length < 2 + bonus || t.length - 2 - bonus > 255)
                throw std::invalid_argument("history match length not expressible at this distance");
            const Slot s = LengthSlot(t.length - 2 - bonus);
            Code(kMainTable, static_cast<uint16_t>(256 + t.back));
            Code(kRepeatLengthTable, static_cast<uint16_t>(s.index));
            Raw(s.extraBits, t.length - 2 - bonus - s.base);
            ++stats.history[t.back - 1];
            if (distance >= 0x101) ++stats.historyFrom0x101;
            if (distance >= 0x40000) ++stats.historyFrom0x40000;
            PushMatch(t.length, distance, appendBytes);
            return;
        }
        case TokenKind::Short: {
            if (t.length != 2) throw std::invalid_argument("short matches have length 2");
            if (t.distance < 1 || t.distance > 256) throw std::invalid_argument("short match distance must be 1..256");
            const Slot s = ShortDistanceSlot(t.distance - 1);
            Code(kMainTable, static_cast<uint16_t>(261 + s.index));
            Raw(s.extraBits, t.distance - 1 - s.base);
            ++stats.shorts;
            PushMatch(2, t.distance, appendBytes);
            return;
        }
        case TokenKind::Long: {
            if (t.distance < 1 || t.distance > kWindowSize) throw std::invalid_argument("long match distance must be 1..0x100000");
            const uint32_t bonus = LongBonus(t.distance);
            if (t.length < 3 + bonus || t.length - 3 - bonus > 255)
                throw std::invalid_argument("long match length not expressible at this distance");
            const Slot ls = LengthSlot(t.length - 3 - bonus);
            const Slot ds = DistanceSlot(t.distance - 1);
            Code(kMainTable, static_cast<uint16_t>(270 + ls.index));
            Raw(ls.extraBits, t.length - 3 - bonus - ls.base);
            Code(kDistanceTable, static_cast<uint16_t>(ds.index));
            Raw(ds.extraBits, t.distance - 1 - ds.base);
            ++stats.longs;
            if (t.distance >= 0x2000) ++stats.longsFrom0x2000;
            if (t.distance >= 0x40000) ++stats.longsFrom0x40000;
            PushMatch(t.length, t.distance, appendBytes);
            return;
        }
        case TokenKind::NewBlock:
            return;  // handled by the caller, which knows the options
        }
    }

    void AddAudioByte(uint8_t out) {
        const uint16_t s = EncodeAudioByte(channels[currentChannel], crossDelta, out);
        Code(kAudioTable0 + currentChannel, s);
        ++blocks[block].bytes;
        ++stats.audioBytes;
        currentChannel = (currentChannel + 1) % channelCount;
    }

    // --- the LZ parser ---

    struct Choice {
        TokenKind kind = TokenKind::Literal;
        uint32_t length = 1;
        uint32_t distance = 0;
        uint8_t back = 1;
        int gain = 0;  // bits saved against literals, roughly
    };

    uint32_t MatchLength(size_t pos, uint32_t distance, uint32_t limit) const {
        const char *a = history.data() + pos;
        const char *b = a - distance;
        uint32_t n = 0;
        while (n < limit && a[n] == b[n]) ++n;
        return n;
    }

    // The best way to code the bytes at `pos`, none reaching past `end`.
    Choice Best(size_t pos, size_t end, const CompressOptions &o) {
        Choice best;
        const uint32_t maxLength = static_cast<uint32_t>(std::min<size_t>(kMaxMatch, end - pos));
        const uint32_t reach = static_cast<uint32_t>(std::min<size_t>(pos, o.maxDistance));
        auto consider = [&](const Choice &c) {
            if (c.gain > best.gain) best = c;
        };
        if (maxLength < 2) return best;

        if (o.repeat || o.history) {
            for (uint8_t back = 1; back <= 4 && back <= ringCount; ++back) {
                const uint32_t d = ring[(ringCount - back) & 3];
                if (d < 1 || d > reach) continue;
                const uint32_t bonus = HistoryBonus(d);
                const uint32_t len = MatchLength(pos, d, std::min(maxLength, 257 + bonus));
                if (back == 1 && o.repeat && prevLength >= 2 && len >= prevLength)
                    consider({TokenKind::Repeat, prevLength, d, 1, int(prevLength) * 9 - 6});
                if (o.history && len >= 2 + bonus) {
                    const int cost = 10 + LengthSlot(len - 2 - bonus).extraBits;
                    consider({TokenKind::History, len, d, back, int(len) * 9 - cost});
                }
            }
        }

        const auto *bytes = reinterpret_cast<const uint8_t *>(history.data());
        if (o.longMatches && maxLength >= 3) {
            uint32_t candidate = finder.head(bytes + pos);
            uint32_t bestLen = 0, bestDist = 0;
            for (int depth = o.chainDepth; depth > 0 && candidate != MatchFinder::kNone; --depth) {
                const uint32_t d = static_cast<uint32_t>(pos - candidate);
                if (d > reach) break;
                const uint32_t bonus = LongBonus(d);
                const uint32_t len = MatchLength(pos, d, std::min(maxLength, 258 + bonus));
                if (len > bestLen && len >= 3 + bonus) {
                    bestLen = len;
                    bestDist = d;
                    if (len == maxLength) break;
                }
                const uint32_t next = finder.next(candidate);
                if (next == MatchFinder::kNone || next >= candidate) break;
                candidate = next;
            }
            if (bestLen > 0) {
                const int cost = 14 + LengthSlot(bestLen - 3 - LongBonus(bestDist)).extraBits +
                                 DistanceSlot(bestDist - 1).extraBits;
                consider({TokenKind::Long, bestLen, bestDist, 1, int(bestLen) * 9 - cost});
            }
        }

        if (o.shortMatches) {
            const uint32_t q = finder.lastPair(bytes + pos);
            if (q != MatchFinder::kNone && q < pos) {
                const uint32_t d = static_cast<uint32_t>(pos - q);
                if (d <= 256 && d <= reach)
                    consider({TokenKind::Short, 2, d, 1, 18 - 8 - ShortDistanceSlot(d - 1).extraBits});
            }
        }
        return best;
    }

    Token ToToken(const Choice &c, size_t pos) const {
        switch (c.kind) {
        case TokenKind::Repeat: return Token::Rep();
        case TokenKind::History: return Token::Hist(c.back, c.length);
        case TokenKind::Short: return Token::ShortMatch(c.distance);
        case TokenKind::Long: return Token::LongMatch(c.length, c.distance);
        default: return Token::Lit(static_cast<uint8_t>(history[pos]));
        }
    }

    void ParseLz(size_t begin, size_t end, const CompressOptions &o) {
        size_t pos = begin;
        while (pos < end) {
            if (blocks[block].bytes >= o.blockBytes) StartBlock(0, o, true);
            finder.InsertUpTo(history, pos);
            Choice c = Best(pos, end, o);
            if (o.lazy && c.kind != TokenKind::Literal && c.length < 32 && pos + 1 < end) {
                finder.InsertUpTo(history, pos + 1);
                const Choice next = Best(pos + 1, end, o);
                if (next.gain > c.gain + 9) c = Choice{};
            }
            AddToken(ToToken(c, pos), false);
            pos += c.length;
        }
    }
};

StreamEncoder::StreamEncoder() : impl_(std::make_unique<Impl>()) {}
StreamEncoder::~StreamEncoder() = default;

size_t StreamEncoder::AddFile(std::string_view data, const CompressOptions &o, bool solid, SolidJoin join,
                              bool pad16) {
    Impl &m = *impl_;
    // The plan as it applies to this data: segments cut to the data's size,
    // empty ones dropped, the rest LZ.
    std::vector<Segment> plan;
    size_t planned = 0;
    for (const Segment &s : o.segments) {
        if (s.channels < 0 || s.channels > 4) throw std::invalid_argument("segment channels must be 0..4");
        const size_t bytes = std::min<size_t>(s.bytes, data.size() - planned);
        if (bytes > 0) plan.push_back({static_cast<uint32_t>(bytes), s.channels});
        planned += bytes;
    }
    if (planned < data.size()) plan.push_back({static_cast<uint32_t>(data.size() - planned), 0});

    m.BeginFile(plan.empty() ? 0 : plan.front().channels, o, solid, join, pad16, data.empty());
    size_t pos = m.history.size();
    m.history.append(data);
    m.outputs.back().assign(data);
    for (size_t i = 0; i < plan.size(); ++i) {
        // The file's first block was started for the first segment.
        if (i > 0) m.StartBlock(plan[i].channels, o, true);
        const size_t stop = pos + plan[i].bytes;
        if (plan[i].channels == 0) {
            m.ParseLz(pos, stop, o);
        } else {
            for (size_t k = pos; k < stop; ++k) m.AddAudioByte(static_cast<uint8_t>(m.history[k]));
        }
        pos = stop;
    }
    m.EndFile();
    return m.files.size() - 1;
}

size_t StreamEncoder::AddTokens(const std::vector<Token> &tokens, const CompressOptions &o, bool solid,
                                SolidJoin join, bool pad16) {
    Impl &m = *impl_;
    m.BeginFile(0, o, solid, join, pad16, false);
    for (const Token &t : tokens) {
        if (t.kind == TokenKind::NewBlock) {
            m.StartBlock(0, o, true);
        } else {
            m.AddToken(t, true);
        }
    }
    m.EndFile();
    return m.files.size() - 1;
}

const std::string &StreamEncoder::Output(size_t index) const { return impl_->outputs.at(index); }

const StreamStats &StreamEncoder::stats() const { return impl_->stats; }

namespace {

// Writes a block header and its code lengths; `previous` holds the lengths
// the decoder keeps from the block before and becomes this block's.
void WriteHeader(BitWriter &w, const Block &b, std::vector<uint8_t> &previous, StreamStats &stats) {
    std::vector<uint8_t> lengths;
    if (b.channels == 0) {
        for (int t = kMainTable; t <= kRepeatLengthTable; ++t)
            lengths.insert(lengths.end(), b.lengths[t].begin(), b.lengths[t].end());
    } else {
        for (int c = 0; c < b.channels; ++c)
            lengths.insert(lengths.end(), b.lengths[kAudioTable0 + c].begin(), b.lengths[kAudioTable0 + c].end());
    }
    const size_t n = lengths.size();

    w.Write(b.channels > 0 ? 1 : 0, 1);
    w.Write(b.delta ? 1 : 0, 1);
    if (b.channels > 0) w.Write(static_cast<uint32_t>(b.channels - 1), 2);
    if (b.delta) ++stats.deltaHeaders;
    if (!b.delta) std::fill(previous.begin(), previous.end(), 0);

    // Code-length symbols: 0-15 add to the previous length (mod 16), 16
    // repeats the entry before, 17 and 18 write runs of zeros.
    struct LengthSymbol {
        uint8_t symbol, bits;
        uint32_t extra;
    };
    std::vector<LengthSymbol> symbols;
    for (size_t i = 0; i < n;) {
        size_t run = 1;
        while (i + run < n && lengths[i + run] == lengths[i]) ++run;
        if (b.runSymbols && b.repeatAtStart && i == 0 && lengths[0] == 0 && run >= 3) {
            const size_t k = std::min<size_t>(run, 6);
            symbols.push_back({16, 2, static_cast<uint32_t>(k - 3)});
            i += k;
        } else if (b.runSymbols && lengths[i] == 0 && run >= 11) {
            size_t k = std::min<size_t>(run, 138);
            const bool claimsMore = b.overlongRuns && i + k == n;
            symbols.push_back({18, 7, static_cast<uint32_t>((claimsMore ? 138 : k) - 11)});
            i += k;
        } else if (b.runSymbols && lengths[i] == 0 && run >= 3) {
            size_t k = std::min<size_t>(run, 10);
            const bool claimsMore = b.overlongRuns && i + k == n;
            symbols.push_back({17, 3, static_cast<uint32_t>((claimsMore ? 10 : k) - 3)});
            i += k;
        } else if (b.runSymbols && i > 0 && lengths[i] == lengths[i - 1] && run >= 3) {
            const size_t k = std::min<size_t>(run, 6);
            symbols.push_back({16, 2, static_cast<uint32_t>(k - 3)});
            i += k;
        } else {
            symbols.push_back({static_cast<uint8_t>((lengths[i] - previous[i]) & 15), 0, 0});
            ++i;
        }
    }
    std::vector<uint32_t> freq(19, 0);
    for (const auto &s : symbols) ++freq[s.symbol];
    const std::vector<uint8_t> codeLengths = BuildCodeLengths(freq, 15);
    const std::vector<uint16_t> codes = CanonicalCodes(codeLengths);
    for (uint8_t l : codeLengths) w.Write(l, 4);
    for (const auto &s : symbols) {
        w.Write(codes[s.symbol], codeLengths[s.symbol]);
        if (s.bits > 0) w.Write(s.extra, s.bits);
        if (s.symbol >= 16) ++stats.runSymbols[s.symbol - 16];
    }

    std::fill(previous.begin(), previous.end(), 0);
    std::copy(lengths.begin(), lengths.end(), previous.begin());
}

}  // namespace

std::vector<std::string> StreamEncoder::Finish() {
    Impl &m = *impl_;
    if (m.finished) throw std::logic_error("encoder already finished");
    m.finished = true;

    for (Block &b : m.blocks) {
        for (int t = 0; t < kTableCount; ++t) {
            if (!b.uses(t)) continue;
            const bool primary = t == kMainTable || t >= kAudioTable0;
            const bool any = std::any_of(b.freq[t].begin(), b.freq[t].end(), [](uint32_t f) { return f > 0; });
            if (!primary && !any) {
                b.lengths[t].assign(TableSize(t), 0);  // never decoded in this block
            } else {
                // Primary tables always get two or more codes, none of them
                // added for end-of-block: a file's end-of-file look-ahead may
                // decode padding with them.
                const int endOfBlock = t == kMainTable ? kLzEndOfBlock : (t >= kAudioTable0 ? kAudioEndOfBlock : -1);
                b.lengths[t] = BuildCodeLengths(b.freq[t], b.maxCodeLength, endOfBlock);
            }
            for (uint8_t l : b.lengths[t]) m.stats.longestCode = std::max<int>(m.stats.longestCode, l);
        }
    }

    std::vector<std::string> packed;
    std::vector<uint8_t> previous(kMaxLengthCount, 0);
    std::vector<uint16_t> codes[kTableCount];
    const Block *current = nullptr;
    for (size_t f = 0; f < m.files.size(); ++f) {
        BitWriter w;
        // A file that is not solid starts from code lengths of zero.
        if (m.fresh[f]) std::fill(previous.begin(), previous.end(), 0);
        for (const Op &op : m.files[f]) {
            switch (op.kind) {
            case Op::Header:
                current = &m.blocks[op.value];
                WriteHeader(w, *current, previous, m.stats);
                for (int t = 0; t < kTableCount; ++t)
                    codes[t] = current->uses(t) ? CanonicalCodes(current->lengths[t]) : std::vector<uint16_t>{};
                break;
            case Op::Code: {
                const uint8_t len = current->lengths[op.table][op.symbol];
                if (len == 0) throw std::logic_error("symbol without a code");
                w.Write(codes[op.table][op.symbol], len);
                break;
            }
            case Op::Raw: w.Write(op.value, op.bits); break;
            case Op::FileEnd:
                if (m.pad[f] && w.byteCount() % 16 != 0) {
                    // The decoder may read one symbol here; make it anything
                    // but end-of-block.
                    const auto &lengths = current->lengths[op.table];
                    const int endOfBlock = op.table == kMainTable ? kLzEndOfBlock : kAudioEndOfBlock;
                    for (size_t s = 0; s < lengths.size(); ++s) {
                        if (lengths[s] > 0 && static_cast<int>(s) != endOfBlock) {
                            w.Write(codes[op.table][s], lengths[s]);
                            break;
                        }
                    }
                    ++m.stats.paddedFiles;
                }
                break;
            }
        }
        std::string bytes = w.Finish();
        if (m.pad[f]) bytes.resize((bytes.size() + 15) / 16 * 16, '\0');
        packed.push_back(std::move(bytes));
    }
    return packed;
}

std::string CompressStream(std::string_view data, const CompressOptions &options, StreamStats *stats) {
    StreamEncoder encoder;
    encoder.AddFile(data, options);
    std::string packed = encoder.Finish().front();
    if (stats) *stats = encoder.stats();
    return packed;
}

}  // namespace rarwriter
