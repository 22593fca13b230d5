// The demo's sound layer: four plain calls that start the sound output, open
// the soundtrack as a stream, keep it playing and ask where it is. They go to
// the sound system in use, so a program can swap the real output for a
// silent one (tests, capture) without touching the callers.
#pragma once

#include <memory>
#include <vector>

// An open stream. Each sound system derives its own; streams live until the
// sound system that opened them goes away.
struct SoundStream {
    virtual ~SoundStream() = default;
};

// Starts the sound output at this mix rate (Hz) with this many software
// channels. The flags are accepted for the callers' sake and change nothing
// in our sound systems. Returns 1 when an output (possibly a silent one) is
// open, 0 when none at all could be opened.
signed char FSOUND_Init(int mixRate, int maxSoftwareChannels, unsigned int flags);

// Opens a sound file as a stream, without starting it. `mode` bit
// kSoundStreamLoop makes the stream start over at its end; `size` must be 0
// (the whole file). Returns null when the file cannot be opened or decoded,
// or when the output was not started.
SoundStream *FSOUND_Stream_OpenFile(const char *name, unsigned int mode, int size);

// Starts the stream on a channel. A stream that already plays goes on
// undisturbed. Returns the channel, or -1 on failure (null stream included).
int FSOUND_Stream_Play(int channel, SoundStream *stream);

// The stream's play position in milliseconds (0 before it starts); -1 for a
// null stream.
int FSOUND_Stream_GetTime(SoundStream *stream);

inline constexpr unsigned int kSoundStreamLoop = 2;

namespace platform {

class SoundSystem {
public:
    virtual ~SoundSystem() = default;
    virtual bool Init(int mixRate, int maxSoftwareChannels, unsigned int flags) = 0;
    virtual SoundStream *OpenStream(const char *name, unsigned int mode, int size) = 0;
    virtual int Play(int channel, SoundStream *stream) = 0;
    virtual int PositionMs(SoundStream *stream) = 0;
};

// A sound system that plays nothing: init succeeds, every stream opens (the
// file is not read), play requests succeed and the position stays 0. For
// programs that run the demo without sound.
class SilentSound final : public SoundSystem {
public:
    bool Init(int mixRate, int maxSoftwareChannels, unsigned int flags) override;
    SoundStream *OpenStream(const char *name, unsigned int mode, int size) override;
    int Play(int channel, SoundStream *stream) override;
    int PositionMs(SoundStream *stream) override;

private:
    std::vector<std::unique_ptr<SoundStream>> streams_;
};

// The sound system in use (not owned here). Until one is installed there is
// none: init fails and every call reports failure.
SoundSystem &Sound();
void InstallSoundSystem(SoundSystem *soundSystem);

}  // namespace platform
