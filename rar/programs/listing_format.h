// How the command-line host shows the fields of a listed entry: pure
// formatting, kept apart from the program so it can be tested on its own.
#pragma once

#include <cstdint>
#include <string>

namespace quorbenhal_cli {

// File header flags the listing shows.
constexpr uint16_t kSplitBefore = 0x0001;
constexpr uint16_t kSplitAfter = 0x0002;
constexpr uint16_t kEncrypted = 0x0004;
constexpr uint16_t kCommented = 0x0008;
constexpr uint16_t kSolid = 0x0010;
constexpr uint16_t kDirectoryMask = 0x00E0;
// Main header flag of a solid archive.
constexpr uint16_t kArchiveSolid = 0x0008;

// "YYYY-MM-DD HH:MM:SS" from an MS-DOS date (high 16 bits) and time.
std::string DosDateTime(uint32_t stamp);
// "2.0" for the stored 20 (10 × major + minor).
std::string Version(uint8_t unpackVersion);
// "store", "fastest" ... "best" for 0x30-0x35, else the value in hex.
std::string Method(uint8_t method);
// Unix hosts: the mode as "drwxr-xr-x"; others: the DOS letters "RHSDA"
// with '.' for each attribute that is not set.
std::string Attributes(uint32_t attributes, uint8_t hostOs);
// Comma-separated words for the flags ("dir,encrypted,solid"), or "-".
std::string Flags(uint16_t headerFlags);
// Packed size as a percentage of the size ("45%"); "-" for an empty file.
std::string Ratio(uint64_t packed, uint64_t size);
// The CRC-32 as eight hex digits.
std::string Crc(uint32_t crc);

}  // namespace quorbenhal_cli
