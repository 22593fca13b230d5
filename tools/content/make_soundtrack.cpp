// vandrel-make-soundtrack: synthesises the demo's music and encodes it as
// MP3 (the demo's "DemoFinal.mp3").
//
//   vandrel-make-soundtrack OUTPUT [--wav FILE] [--sections]
//
// --wav also writes the 16-bit samples as a WAV file, for listening without
// the encoder in between; --sections prints the piece's sections.
// The MP3 is written to a temporary name first and renamed when complete.
#include <cstdio>
#include <exception>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "output_file.h"
#include "mp3_encoder.h"
#include "song.h"
#include "synth.h"

namespace {

constexpr int kBitRate = 192;

int Usage() {
    std::fprintf(stderr, "usage: vandrel-make-soundtrack OUTPUT [--wav FILE] [--sections]\n");
    return 2;
}

void Put32(std::string &s, uint32_t v) {
    for (int i = 0; i < 4; ++i) s.push_back(static_cast<char>((v >> (8 * i)) & 0xFF));
}
void Put16(std::string &s, uint16_t v) {
    s.push_back(static_cast<char>(v & 0xFF));
    s.push_back(static_cast<char>(v >> 8));
}

std::string Wav(const std::vector<int16_t> &pcm) {
    std::string s = "RIFF";
    const uint32_t dataBytes = static_cast<uint32_t>(pcm.size() * 2);
    Put32(s, 36 + dataBytes);
    s += "WAVEfmt ";
    Put32(s, 16);
    Put16(s, 1);  // PCM
    Put16(s, 2);
    Put32(s, content::kSampleRate);
    Put32(s, content::kSampleRate * 4);
    Put16(s, 4);
    Put16(s, 16);
    s += "data";
    Put32(s, dataBytes);
    for (int16_t v : pcm) Put16(s, static_cast<uint16_t>(v));
    return s;
}

}  // namespace

int main(int argc, char **argv) {
    std::string output, wav;
    bool sections = false;
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        if (arg == "--wav" && i + 1 < argc) {
            wav = argv[++i];
        } else if (arg == "--sections") {
            sections = true;
        } else if (!arg.empty() && arg[0] != '-' && output.empty()) {
            output = arg;
        } else {
            return Usage();
        }
    }
    if (output.empty() && !sections) return Usage();

    try {
        if (sections) {
            for (const content::SectionInfo &s : content::SongSections())
                std::printf("%6.1f-%6.1f s  %-14s  %-26s %s\n", s.start, s.end, s.name.c_str(), s.scene.c_str(),
                            s.music.c_str());
            if (output.empty()) return 0;
        }
        content::CheckOutputFolder(output);
        std::vector<int16_t> pcm = content::ToPcm16(content::RenderSong());
        if (!wav.empty()) content::WriteFile(wav, Wav(pcm));
        std::string mp3 = content::EncodeMp3(pcm, content::kSampleRate, kBitRate);
        std::string partial = output + ".partial";
        content::WriteFile(partial, mp3);
        std::filesystem::rename(partial, output);
    } catch (const std::exception &e) {
        std::error_code ignored;
        std::filesystem::remove(output + ".partial", ignored);
        std::fprintf(stderr, "vandrel-make-soundtrack: %s\n", e.what());
        return 1;
    }
    return 0;
}
