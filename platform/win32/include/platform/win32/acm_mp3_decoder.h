// An MP3 file decoded piece by piece with the system's own MP3 codec, through
// the Audio Compression Manager: nothing to ship beside the program, and
// never more than a few kilobytes of the file in memory.
#pragma once

#include "platform/win32/mp3_frame.h"
#include "platform/win32/win32_api.h"

#include <mmsystem.h>
#include <mmreg.h>
#include <msacm.h>

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace platform::win32 {

class AcmMp3Decoder {
public:
    AcmMp3Decoder() = default;
    ~AcmMp3Decoder();
    AcmMp3Decoder(const AcmMp3Decoder &) = delete;
    AcmMp3Decoder &operator=(const AcmMp3Decoder &) = delete;

    // Opens the file, finds its first frame (behind an ID3v2 tag) and opens
    // the codec for the format of that frame. False, with the reason in *why,
    // when the file cannot be read, holds no Layer III frames, or no codec
    // installed takes them. Call once.
    bool Open(const char *path, std::string *why);

    // What Read produces: 16-bit PCM at the file's rate and channel count.
    const WAVEFORMATEX &pcmFormat() const { return pcm_; }
    const mp3::FrameHeader &firstFrame() const { return firstFrame_; }
    // Where the first frame starts in the file.
    long firstFrameOffset() const { return firstFrameOffset_; }

    // Decodes into `buffer` up to `size` bytes (rounded down to whole sample
    // frames) and returns how many it wrote: fewer only at the end of the
    // file, 0 once the end has been reached.
    size_t Read(uint8_t *buffer, size_t size);

    // Back to the first frame with a fresh codec state, to play again.
    bool Rewind();

private:
    bool TopUpSource();
    // One codec call. False once nothing more will come out.
    bool Convert();

    std::FILE *file_ = nullptr;
    long firstFrameOffset_ = 0;
    mp3::FrameHeader firstFrame_;
    MPEGLAYER3WAVEFORMAT mp3_{};
    WAVEFORMATEX pcm_{};
    HACMSTREAM stream_ = nullptr;
    ACMSTREAMHEADER header_{};
    bool prepared_ = false;

    std::vector<uint8_t> source_;  // MP3 bytes read, not yet taken by the codec
    size_t sourceFill_ = 0;
    bool endOfFile_ = false;
    std::vector<uint8_t> pcmOut_;  // the codec's last output
    size_t pcmPos_ = 0, pcmEnd_ = 0;
    bool finished_ = false;
    bool startNext_ = true;  // the next conversion starts a new stream
    // The codec filled the whole output buffer last time and may hold more
    // decoded sound: take that out before feeding it anything new.
    bool drainNext_ = false;
};

}  // namespace platform::win32
