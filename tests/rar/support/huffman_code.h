// Canonical Huffman codes as the packed format uses them: code lengths of at
// most 15 bits, codes assigned in order of length and, within a length, of
// symbol value.
#pragma once

#include <cstdint>
#include <vector>

namespace rarwriter {

// Code lengths for the given symbol frequencies, none longer than
// `maxLength` (1..15). Symbols of frequency 0 get length 0 (no code). When
// fewer than two symbols occur, a second one is given a code as well, so
// that the code is always complete; the added symbol is the lowest one not
// in `avoid` (-1: none to avoid). The resulting code always satisfies
// Kraft's equality when two or more symbols have lengths.
std::vector<uint8_t> BuildCodeLengths(const std::vector<uint32_t> &frequencies, int maxLength = 15,
                                      int avoid = -1);

// The canonical code of every symbol (0 for symbols without one), to be
// written with its length's number of bits, most significant bit first.
std::vector<uint16_t> CanonicalCodes(const std::vector<uint8_t> &lengths);

}  // namespace rarwriter
