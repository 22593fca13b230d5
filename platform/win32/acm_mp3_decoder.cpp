#include "platform/win32/acm_mp3_decoder.h"

#include <algorithm>
#include <cstring>

namespace platform::win32 {
namespace {

// MP3 bytes handed to the codec per call: about half a second at 192 kbit/s.
constexpr size_t kSourceBytes = 16 * 1024;
// How far into the file (behind a tag) the first frame is looked for.
constexpr size_t kSearchBytes = 64 * 1024;
// The decoder delay that encoders and codecs agree on for Layer III.
constexpr WORD kCodecDelay = 1393;

}  // namespace

AcmMp3Decoder::~AcmMp3Decoder() {
    if (prepared_) acmStreamUnprepareHeader(stream_, &header_, 0);
    if (stream_ != nullptr) acmStreamClose(stream_, 0);
    if (file_ != nullptr) std::fclose(file_);
}

bool AcmMp3Decoder::Open(const char *path, std::string *why) {
    file_ = std::fopen(path, "rb");
    if (file_ == nullptr) {
        *why = "cannot open the file";
        return false;
    }

    uint8_t tag[10] = {};
    const size_t tagRead = std::fread(tag, 1, sizeof tag, file_);
    const long tagSize = static_cast<long>(mp3::Id3v2TagSize(tag, tagRead));
    std::vector<uint8_t> start(kSearchBytes);
    size_t got = 0;
    if (std::fseek(file_, tagSize, SEEK_SET) == 0) got = std::fread(start.data(), 1, start.size(), file_);
    const auto first = mp3::FindFirstFrame(start.data(), got, got < start.size());
    if (!first) {
        *why = "no MPEG Layer III frames";
        return false;
    }
    firstFrameOffset_ = tagSize + static_cast<long>(*first);
    firstFrame_ = *mp3::ParseFrameHeader(start.data() + *first);

    // The codec's input format, described by the first frame.
    mp3_.wfx.wFormatTag = WAVE_FORMAT_MPEGLAYER3;
    mp3_.wfx.nChannels = static_cast<WORD>(firstFrame_.channels);
    mp3_.wfx.nSamplesPerSec = static_cast<DWORD>(firstFrame_.sampleRate);
    mp3_.wfx.nAvgBytesPerSec = static_cast<DWORD>(firstFrame_.bitrateKbps * 1000 / 8);
    mp3_.wfx.nBlockAlign = 1;
    mp3_.wfx.wBitsPerSample = 0;
    mp3_.wfx.cbSize = MPEGLAYER3_WFX_EXTRA_BYTES;
    mp3_.wID = MPEGLAYER3_ID_MPEG;
    mp3_.fdwFlags = MPEGLAYER3_FLAG_PADDING_ISO;
    mp3_.nBlockSize = static_cast<WORD>(firstFrame_.frameBytes - (firstFrame_.padding ? 1 : 0));
    mp3_.nFramesPerBlock = 1;
    mp3_.nCodecDelay = kCodecDelay;

    pcm_.wFormatTag = WAVE_FORMAT_PCM;
    pcm_.nChannels = mp3_.wfx.nChannels;
    pcm_.nSamplesPerSec = mp3_.wfx.nSamplesPerSec;
    pcm_.wBitsPerSample = 16;
    pcm_.nBlockAlign = static_cast<WORD>(pcm_.nChannels * 2);
    pcm_.nAvgBytesPerSec = pcm_.nSamplesPerSec * pcm_.nBlockAlign;
    pcm_.cbSize = 0;

    const MMRESULT opened = acmStreamOpen(&stream_, nullptr, &mp3_.wfx, &pcm_, nullptr, 0, 0, 0);
    if (opened != MMSYSERR_NOERROR) {
        stream_ = nullptr;
        *why = "no MP3 codec takes " + std::to_string(firstFrame_.sampleRate) + " Hz, " +
               std::to_string(firstFrame_.channels) + " channels (ACM error " +
               std::to_string(opened) + ")";
        return false;
    }

    // Output room for the source buffer at the lowest bit rate of this
    // format, or what the codec asks for if that is more; a larger output
    // (a variable bit rate) is drained in later calls.
    source_.resize(kSourceBytes);
    const size_t lowestBitrate = firstFrame_.version == mp3::MpegVersion::Mpeg1 ? 32 : 8;
    size_t outputBytes = kSourceBytes * 8 / (lowestBitrate * 1000) * pcm_.nAvgBytesPerSec;
    DWORD suggested = 0;
    if (acmStreamSize(stream_, static_cast<DWORD>(kSourceBytes), &suggested,
                      ACM_STREAMSIZEF_SOURCE) == MMSYSERR_NOERROR)
        outputBytes = std::max<size_t>(outputBytes, suggested);
    outputBytes -= outputBytes % pcm_.nBlockAlign;
    pcmOut_.resize(outputBytes);

    header_.cbStruct = sizeof header_;
    header_.pbSrc = source_.data();
    header_.cbSrcLength = static_cast<DWORD>(source_.size());
    header_.pbDst = pcmOut_.data();
    header_.cbDstLength = static_cast<DWORD>(pcmOut_.size());
    if (acmStreamPrepareHeader(stream_, &header_, 0) != MMSYSERR_NOERROR) {
        *why = "the MP3 codec refuses its buffers";
        return false;
    }
    prepared_ = true;
    return Rewind();
}

bool AcmMp3Decoder::Rewind() {
    if (file_ == nullptr || !prepared_) return false;
    sourceFill_ = 0;
    endOfFile_ = false;
    pcmPos_ = pcmEnd_ = 0;
    finished_ = false;
    startNext_ = true;
    drainNext_ = false;
    return std::fseek(file_, firstFrameOffset_, SEEK_SET) == 0;
}

size_t AcmMp3Decoder::Read(uint8_t *buffer, size_t size) {
    if (!prepared_) return 0;
    size -= size % pcm_.nBlockAlign;
    size_t done = 0;
    while (done < size) {
        if (pcmPos_ < pcmEnd_) {
            const size_t n = std::min(size - done, pcmEnd_ - pcmPos_);
            std::memcpy(buffer + done, pcmOut_.data() + pcmPos_, n);
            pcmPos_ += n;
            done += n;
            continue;
        }
        if (finished_) break;
        if (!Convert()) finished_ = true;
    }
    return done;
}

bool AcmMp3Decoder::TopUpSource() {
    if (endOfFile_ || sourceFill_ == source_.size()) return true;
    const size_t got = std::fread(source_.data() + sourceFill_, 1, source_.size() - sourceFill_, file_);
    sourceFill_ += got;
    if (got == 0) endOfFile_ = true;
    return got != 0;
}

bool AcmMp3Decoder::Convert() {
    const bool draining = drainNext_;
    if (!draining) TopUpSource();
    header_.cbSrcLength = draining ? 0 : static_cast<DWORD>(sourceFill_);
    header_.cbSrcLengthUsed = 0;
    header_.cbDstLengthUsed = 0;
    DWORD flags = ACM_STREAMCONVERTF_BLOCKALIGN;
    if (startNext_) flags |= ACM_STREAMCONVERTF_START;
    if (acmStreamConvert(stream_, &header_, flags) != MMSYSERR_NOERROR) return false;
    startNext_ = false;

    const size_t used = std::min<size_t>(header_.cbSrcLengthUsed, header_.cbSrcLength);
    if (used > 0) {
        std::memmove(source_.data(), source_.data() + used, sourceFill_ - used);
        sourceFill_ -= used;
    }
    const size_t produced = std::min<size_t>(header_.cbDstLengthUsed, pcmOut_.size());
    pcmPos_ = 0;
    pcmEnd_ = produced - produced % pcm_.nBlockAlign;
    drainNext_ = produced == pcmOut_.size();

    if (produced > 0 || used > 0 || draining) return true;
    // Nothing taken and nothing given back: the codec needs more than there
    // is. That is the end of the file, or a full buffer it cannot use.
    return !endOfFile_ && sourceFill_ < source_.size();
}

}  // namespace platform::win32
