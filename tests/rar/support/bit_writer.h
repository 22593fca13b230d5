// Writes a bit stream most significant bit first, the order in which the
// packed-data reader takes bits out of each byte.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>

namespace rarwriter {

class BitWriter {
public:
    // Appends the low `count` bits of `value` (0..32), highest first.
    void Write(uint32_t value, int count) {
        if (count < 0 || count > 32) throw std::invalid_argument("bit count out of range");
        if (count == 0) return;
        if (count < 32) value &= (uint32_t{1} << count) - 1;
        // At most 7 bits wait in the accumulator between calls, so 7 + 32
        // bits always fit.
        pending_ = pending_ << count | value;
        used_ += count;
        while (used_ >= 8) {
            used_ -= 8;
            bytes_.push_back(static_cast<char>(pending_ >> used_));
        }
        bits_ += static_cast<uint64_t>(count);
    }

    uint64_t bitCount() const { return bits_; }
    size_t byteCount() const { return bytes_.size() + (used_ > 0 ? 1 : 0); }

    // The bytes written so far; a partial last byte is padded with zero bits.
    std::string Finish() const {
        std::string out = bytes_;
        if (used_ > 0) out.push_back(static_cast<char>(pending_ << (8 - used_)));
        return out;
    }

private:
    std::string bytes_;
    uint64_t pending_ = 0;
    int used_ = 0;
    uint64_t bits_ = 0;
};

}  // namespace rarwriter
