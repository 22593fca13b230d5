#include "platform/win32/waveout_sound.h"

#include "platform/win32/acm_mp3_decoder.h"

#include <array>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <mutex>
#include <string>
#include <thread>

namespace platform::win32 {
namespace {

// Buffers queued on the device, each about 93 ms of 44.1 kHz stereo: enough
// to ride out a slow frame of the demo, little enough to start at once.
constexpr size_t kBufferCount = 4;
constexpr size_t kBufferBytes = 16 * 1024;

using Clock = std::chrono::steady_clock;

const char *VersionName(mp3::MpegVersion version) {
    switch (version) {
        case mp3::MpegVersion::Mpeg1:
            return "MPEG-1";
        case mp3::MpegVersion::Mpeg2:
            return "MPEG-2";
        case mp3::MpegVersion::Mpeg25:
            return "MPEG-2.5";
    }
    return "MPEG";
}

}  // namespace

struct WaveOutSound::Stream final : Soundtrack {
    std::string name;
    bool loop = false;
    AcmMp3Decoder decoder;

    // Playing through a device. The feeder thread and the caller share
    // everything below the mutex.
    HWAVEOUT device = nullptr;
    HANDLE bufferDone = nullptr;  // signalled by the device for every finished buffer
    std::thread feeder;
    std::atomic<bool> playing{false};
    std::mutex mutex;
    bool stopFeeding = false;
    std::array<WAVEHDR, kBufferCount> headers{};
    std::array<std::vector<uint8_t>, kBufferCount> buffers;
    std::array<bool, kBufferCount> queued{};
    uint64_t samplesThisPass = 0;
    uint64_t samplesPerPass = 0;  // known once a looping stream has wrapped

    // Playing on the silent clock.
    bool silent = false;
    bool silentStarted = false;
    Clock::time_point silentStart;
    uint64_t fileSamples = 0;  // from the frame headers

    ~Stream() override {
        StopFeeder();
        CloseDevice();
    }

    const WAVEFORMATEX &format() const { return decoder.pcmFormat(); }

    uint64_t SilentElapsedSamples() const {
        const auto elapsed = std::chrono::duration_cast<std::chrono::microseconds>(
            Clock::now() - silentStart);
        return static_cast<uint64_t>(elapsed.count()) * format().nSamplesPerSec / 1000000;
    }

    bool IsPlaying() const {
        if (silent) return silentStarted && (loop || SilentElapsedSamples() < fileSamples);
        return playing.load();
    }

    // Fills a buffer with what comes next, going round again at the end when
    // the stream loops. Returns the bytes written; 0 when a one-shot stream
    // is through (or a looping one holds no sound at all).
    size_t ReadPcm(uint8_t *out, size_t size) {
        const size_t frameBytes = format().nBlockAlign;
        size_t done = 0;
        while (done < size) {
            const size_t got = decoder.Read(out + done, size - done);
            done += got;
            samplesThisPass += got / frameBytes;
            if (done == size) break;
            // The end of the file.
            if (!loop || samplesThisPass == 0) break;
            if (samplesPerPass == 0) samplesPerPass = samplesThisPass;
            samplesThisPass = 0;
            if (!decoder.Rewind()) break;
        }
        return done;
    }

    // Queues buffer i with the next sound; false when there is none.
    bool Queue(size_t i) {
        const size_t n = ReadPcm(buffers[i].data(), buffers[i].size());
        if (n == 0) return false;
        WAVEHDR &h = headers[i];
        h = WAVEHDR{};
        h.lpData = reinterpret_cast<LPSTR>(buffers[i].data());
        h.dwBufferLength = static_cast<DWORD>(n);
        if (waveOutPrepareHeader(device, &h, sizeof h) != MMSYSERR_NOERROR) return false;
        if (waveOutWrite(device, &h, sizeof h) != MMSYSERR_NOERROR) {
            waveOutUnprepareHeader(device, &h, sizeof h);
            return false;
        }
        queued[i] = true;
        return true;
    }

    bool Done(size_t i) const {
        // Set by the device's own thread.
        const volatile DWORD &flags = headers[i].dwFlags;
        return (flags & WHDR_DONE) != 0;
    }

    // The feeder: refills each buffer the device hands back, until the sound
    // runs out and the last buffer has played, or it is told to stop.
    void Feed() {
        bool exhausted = false;
        for (;;) {
            WaitForSingleObject(bufferDone, 100);
            std::lock_guard<std::mutex> lock(mutex);
            if (stopFeeding) return;
            bool anyQueued = false;
            for (size_t i = 0; i < kBufferCount; ++i) {
                if (queued[i] && !Done(i)) {
                    anyQueued = true;
                    continue;
                }
                if (queued[i]) {
                    waveOutUnprepareHeader(device, &headers[i], sizeof headers[i]);
                    queued[i] = false;
                }
                if (!exhausted && Queue(i)) {
                    anyQueued = true;
                } else {
                    exhausted = true;
                }
            }
            if (!anyQueued) {
                playing = false;
                return;
            }
        }
    }

    bool OpenDevice() {
        bufferDone = CreateEventA(nullptr, FALSE, FALSE, nullptr);
        if (bufferDone == nullptr) return false;
        const MMRESULT opened =
            waveOutOpen(&device, WAVE_MAPPER, &format(), reinterpret_cast<DWORD_PTR>(bufferDone),
                        0, CALLBACK_EVENT);
        if (opened != MMSYSERR_NOERROR) {
            std::fprintf(stderr, "vandrel: the sound device refuses %s (waveOut error %u)\n",
                         name.c_str(), opened);
            device = nullptr;
            CloseHandle(bufferDone);
            bufferDone = nullptr;
            return false;
        }
        for (auto &buffer : buffers) buffer.resize(kBufferBytes - kBufferBytes % format().nBlockAlign);
        return true;
    }

    void StopFeeder() {
        {
            std::lock_guard<std::mutex> lock(mutex);
            stopFeeding = true;
        }
        if (bufferDone != nullptr) SetEvent(bufferDone);
        if (feeder.joinable()) feeder.join();
        stopFeeding = false;
    }

    void ReturnBuffers() {
        if (device == nullptr) return;
        // Hands every queued buffer back and sets the position to 0.
        waveOutReset(device);
        for (size_t i = 0; i < kBufferCount; ++i) {
            if (queued[i]) waveOutUnprepareHeader(device, &headers[i], sizeof headers[i]);
            queued[i] = false;
        }
    }

    void CloseDevice() {
        ReturnBuffers();
        if (device != nullptr) waveOutClose(device);
        device = nullptr;
        if (bufferDone != nullptr) CloseHandle(bufferDone);
        bufferDone = nullptr;
    }

    bool StartOnDevice() {
        StopFeeder();
        if (device == nullptr && !OpenDevice()) return false;
        ReturnBuffers();
        decoder.Rewind();
        samplesThisPass = 0;
        {
            std::lock_guard<std::mutex> lock(mutex);
            for (size_t i = 0; i < kBufferCount; ++i)
                if (!Queue(i)) break;
        }
        playing = true;
        feeder = std::thread(&Stream::Feed, this);
        return true;
    }

    void StartSilent() {
        if (fileSamples == 0) {
            if (std::FILE *file = std::fopen(name.c_str(), "rb")) {
                fileSamples = mp3::CountSamples(file, decoder.firstFrameOffset());
                std::fclose(file);
            }
        }
        silent = true;
        silentStarted = true;
        silentStart = Clock::now();
    }

    uint64_t PositionSamples() {
        if (silent) {
            if (!silentStarted) return 0;
            const uint64_t elapsed = SilentElapsedSamples();
            if (fileSamples == 0) return 0;
            return loop ? elapsed % fileSamples : std::min(elapsed, fileSamples);
        }
        if (device == nullptr) return 0;
        MMTIME time{};
        time.wType = TIME_SAMPLES;
        if (waveOutGetPosition(device, &time, sizeof time) != MMSYSERR_NOERROR) return 0;
        uint64_t samples = 0;
        if (time.wType == TIME_SAMPLES)
            samples = time.u.sample;
        else if (time.wType == TIME_BYTES)
            samples = time.u.cb / format().nBlockAlign;
        std::lock_guard<std::mutex> lock(mutex);
        if (loop && samplesPerPass > 0) samples %= samplesPerPass;
        return samples;
    }
};

WaveOutSound::WaveOutSound() = default;

WaveOutSound::~WaveOutSound() { streams_.clear(); }

bool WaveOutSound::Start(int mixRate, int, unsigned int) {
    if (initialised_) return true;
    if (mixRate <= 0) return false;
    WAVEFORMATEX format{};
    format.wFormatTag = WAVE_FORMAT_PCM;
    format.nChannels = 2;
    format.nSamplesPerSec = static_cast<DWORD>(mixRate);
    format.wBitsPerSample = 16;
    format.nBlockAlign = 4;
    format.nAvgBytesPerSec = format.nSamplesPerSec * format.nBlockAlign;
    const UINT devices = waveOutGetNumDevs();
    const MMRESULT query = waveOutOpen(nullptr, WAVE_MAPPER, &format, 0, 0, WAVE_FORMAT_QUERY);
    if (devices == 0 || query == MMSYSERR_BADDEVICEID || query == MMSYSERR_NODRIVER) {
        silent_ = true;
        std::fprintf(stderr, "vandrel: no sound device (waveOut error %u); playing on the silent clock\n",
                     query);
    } else {
        std::fprintf(stderr, "vandrel: sound output waveOut, %u device(s), mix rate %d\n", devices,
                     mixRate);
    }
    initialised_ = true;
    return true;
}

Soundtrack *WaveOutSound::Open(const char *name, unsigned int mode, int size) {
    // Only whole files are streamed.
    if (!initialised_ || name == nullptr || size != 0) return nullptr;
    auto stream = std::make_unique<Stream>();
    stream->name = name;
    stream->loop = (mode & kSoundtrackLoop) != 0;
    std::string why;
    if (!stream->decoder.Open(name, &why)) {
        std::fprintf(stderr, "vandrel: cannot open %s: %s\n", name, why.c_str());
        return nullptr;
    }
    const mp3::FrameHeader &first = stream->decoder.firstFrame();
    std::fprintf(stderr, "vandrel: stream %s: %s Layer III, %d Hz, %d channel(s), %d kbit/s%s\n",
                 name, VersionName(first.version), first.sampleRate, first.channels,
                 first.bitrateKbps, stream->loop ? ", looping" : "");
    streams_.push_back(std::move(stream));
    return streams_.back().get();
}

WaveOutSound::Stream *WaveOutSound::Find(Soundtrack *stream) const {
    for (const auto &s : streams_)
        if (s.get() == stream) return s.get();
    return nullptr;
}

int WaveOutSound::Play(int channel, Soundtrack *handle) {
    Stream *stream = Find(handle);
    if (stream == nullptr) return -1;
    const int used = channel < 0 ? 0 : channel;
    // Asking again must not restart it: the demo asks every frame.
    if (stream->IsPlaying()) return used;
    if (silent_ || stream->silent || !stream->StartOnDevice()) stream->StartSilent();
    std::fprintf(stderr, "vandrel: stream %s plays from its start%s\n", stream->name.c_str(),
                 stream->silent ? " on the silent clock" : "");
    return used;
}

int WaveOutSound::PositionMs(Soundtrack *handle) {
    Stream *stream = Find(handle);
    if (stream == nullptr) return -1;
    const uint64_t samples = stream->PositionSamples();
    return static_cast<int>(samples * 1000 / stream->format().nSamplesPerSec);
}

}  // namespace platform::win32
