// The demo's sound layer on SDL2_mixer: MP3 streams decoded and played for
// real. When the system has no usable sound device it plays to SDL's silent
// dummy output instead, so the demo runs on machines without sound; it fails
// only when not even that can be opened.
//
// The opened output (driver, rate, sample format, channels) is written to
// standard error, so that a recording of the output can be read back.
#pragma once

#include "platform/platform.h"

#include <memory>
#include <vector>

namespace platform::sdl2 {

class Sdl2MixerSound final : public Sound {
public:
    Sdl2MixerSound();
    ~Sdl2MixerSound() override;
    Sdl2MixerSound(const Sdl2MixerSound &) = delete;
    Sdl2MixerSound &operator=(const Sdl2MixerSound &) = delete;

    bool Start(int mixRate, int maxSoftwareChannels, unsigned flags) override;
    Soundtrack *Open(const char *name, unsigned mode, int size) override;
    int Play(int channel, Soundtrack *stream) override;
    int PositionMs(Soundtrack *stream) override;

    // Whether the output went to the silent stand-in for lack of a device.
    bool silent() const { return silent_; }

private:
    struct Stream;
    bool OpenOutput(int mixRate);
    void CloseOutput();
    Stream *Find(Soundtrack *stream) const;

    bool audioStarted_ = false;
    bool open_ = false;
    bool silent_ = false;
    std::vector<std::unique_ptr<Stream>> streams_;
    Stream *playing_ = nullptr;
};

}  // namespace platform::sdl2
