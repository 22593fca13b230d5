#include "listing_format.h"

#include <cstdio>

namespace quorbenhal_cli {

std::string DosDateTime(uint32_t stamp) {
    const uint32_t date = stamp >> 16, time = stamp & 0xFFFF;
    char text[32];
    std::snprintf(text, sizeof text, "%04u-%02u-%02u %02u:%02u:%02u", 1980 + (date >> 9), (date >> 5) & 15,
                  date & 31, time >> 11, (time >> 5) & 63, (time & 31) * 2);
    return text;
}

std::string Version(uint8_t unpackVersion) {
    return std::to_string(unpackVersion / 10) + "." + std::to_string(unpackVersion % 10);
}

std::string Method(uint8_t method) {
    static const char *const kNames[] = {"store", "fastest", "fast", "normal", "good", "best"};
    if (method >= 0x30 && method <= 0x35) return kNames[method - 0x30];
    char text[8];
    std::snprintf(text, sizeof text, "0x%02X", method);
    return text;
}

std::string Attributes(uint32_t attributes, uint8_t hostOs) {
    if (hostOs == 3) {  // Unix: the file mode
        std::string mode = "----------";
        const uint32_t type = attributes & 0170000;
        if (type == 0040000) mode[0] = 'd';
        if (type == 0120000) mode[0] = 'l';
        const char *rwx = "rwxrwxrwx";
        for (int i = 0; i < 9; ++i)
            if (attributes & (0400u >> i)) mode[1 + i] = rwx[i];
        return mode;
    }
    std::string dos = ".....";
    const struct {
        uint32_t bit;
        char letter;
    } kBits[] = {{0x01, 'R'}, {0x02, 'H'}, {0x04, 'S'}, {0x10, 'D'}, {0x20, 'A'}};
    for (int i = 0; i < 5; ++i)
        if (attributes & kBits[i].bit) dos[i] = kBits[i].letter;
    return dos;
}

std::string Flags(uint16_t headerFlags) {
    std::string words;
    auto add = [&](const char *w) {
        if (!words.empty()) words += ',';
        words += w;
    };
    if ((headerFlags & kDirectoryMask) == kDirectoryMask) add("dir");
    if (headerFlags & kEncrypted) add("encrypted");
    if (headerFlags & kSolid) add("solid");
    if (headerFlags & kSplitBefore) add("split-before");
    if (headerFlags & kSplitAfter) add("split-after");
    if (headerFlags & kCommented) add("comment");
    return words.empty() ? "-" : words;
}

std::string Ratio(uint64_t packed, uint64_t size) {
    if (size == 0) return "-";
    return std::to_string((packed * 100 + size / 2) / size) + "%";
}

std::string Crc(uint32_t crc) {
    char text[12];
    std::snprintf(text, sizeof text, "%08X", crc);
    return text;
}

}  // namespace quorbenhal_cli
