#include "mp3_encoder.h"

#include <lame/lame.h>

#include <memory>
#include <stdexcept>

namespace content {

std::string EncodeMp3(const std::vector<int16_t> &interleaved, int sampleRate, int kbps) {
    if (interleaved.size() % 2 != 0) throw std::invalid_argument("stereo samples come in pairs");
    std::unique_ptr<lame_global_flags, int (*)(lame_global_flags *)> lame(lame_init(), lame_close);
    if (!lame) throw std::runtime_error("the MP3 encoder could not start");
    lame_global_flags *gf = lame.get();
    lame_set_in_samplerate(gf, sampleRate);
    lame_set_out_samplerate(gf, sampleRate);
    lame_set_num_channels(gf, 2);
    lame_set_mode(gf, JOINT_STEREO);
    lame_set_VBR(gf, vbr_off);
    lame_set_brate(gf, kbps);
    lame_set_quality(gf, 5);
    lame_set_bWriteVbrTag(gf, 0);
    lame_set_write_id3tag_automatic(gf, 0);
    if (lame_init_params(gf) < 0) throw std::runtime_error("the MP3 encoder refused its settings");

    const size_t frames = interleaved.size() / 2;
    constexpr int kChunk = 1152 * 16;  // frames per call
    // Worst case from the library's documentation: 1.25 * samples + 7200.
    std::vector<unsigned char> buffer(kChunk * 5 / 4 + 7200);
    std::vector<short> left(kChunk), right(kChunk);
    std::string out;
    for (size_t done = 0; done < frames;) {
        int n = static_cast<int>(std::min<size_t>(kChunk, frames - done));
        for (int i = 0; i < n; ++i) {
            left[i] = interleaved[2 * (done + i)];
            right[i] = interleaved[2 * (done + i) + 1];
        }
        int bytes =
            lame_encode_buffer(gf, left.data(), right.data(), n, buffer.data(), static_cast<int>(buffer.size()));
        if (bytes < 0) throw std::runtime_error("MP3 encoding failed (" + std::to_string(bytes) + ")");
        out.append(reinterpret_cast<const char *>(buffer.data()), static_cast<size_t>(bytes));
        done += static_cast<size_t>(n);
    }
    int bytes = lame_encode_flush(gf, buffer.data(), static_cast<int>(buffer.size()));
    if (bytes < 0) throw std::runtime_error("MP3 encoding failed at the end (" + std::to_string(bytes) + ")");
    out.append(reinterpret_cast<const char *>(buffer.data()), static_cast<size_t>(bytes));
    return out;
}

}  // namespace content
