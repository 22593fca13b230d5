// The demo's sound layer on Windows: MP3 streams decoded by the system's MP3
// codec (AcmMp3Decoder) and played through waveOut, a few buffers ahead,
// refilled from a thread of the stream's own as the device finishes each.
// Nothing is decoded before playback starts, and no more than those buffers
// are ever held.
//
// On a machine with no sound device (waveOut reports no device) the streams
// play silently on a clock: they start, advance, end and loop as they would
// with sound, so the demo runs the same.
//
// The output in use, each stream opened and each start of a stream are
// written to standard error (invisible to a user, read by tests through Wine).
#pragma once

#include "platform/platform.h"

#include <memory>
#include <vector>

namespace platform::win32 {

class WaveOutSound final : public Sound {
public:
    WaveOutSound();
    // Stops every stream and closes its device.
    ~WaveOutSound() override;
    WaveOutSound(const WaveOutSound &) = delete;
    WaveOutSound &operator=(const WaveOutSound &) = delete;

    bool Start(int mixRate, int maxSoftwareChannels, unsigned flags) override;
    Soundtrack *Open(const char *name, unsigned mode, int size) override;
    int Play(int channel, Soundtrack *stream) override;
    int PositionMs(Soundtrack *stream) override;

    // Whether streams play on the silent clock for lack of a device.
    bool silent() const { return silent_; }
    // For tests: play on the silent clock even when a device is present.
    void ForceSilent() { silent_ = true; }

private:
    struct Stream;
    Stream *Find(Soundtrack *stream) const;

    bool initialised_ = false;
    bool silent_ = false;
    std::vector<std::unique_ptr<Stream>> streams_;
};

}  // namespace platform::win32
