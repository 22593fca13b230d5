#include "platform/sound.h"

namespace platform {
namespace {

// Stands in until a program installs a sound system: nothing can be opened.
class NoSound final : public SoundSystem {
public:
    bool Init(int, int, unsigned int) override { return false; }
    SoundStream *OpenStream(const char *, unsigned int, int) override { return nullptr; }
    int Play(int, SoundStream *) override { return -1; }
    int PositionMs(SoundStream *) override { return -1; }
};

NoSound noSound;
SoundSystem *installed = &noSound;

}  // namespace

bool SilentSound::Init(int, int, unsigned int) { return true; }

SoundStream *SilentSound::OpenStream(const char *name, unsigned int, int size) {
    if (name == nullptr || size != 0) return nullptr;
    streams_.push_back(std::make_unique<SoundStream>());
    return streams_.back().get();
}

int SilentSound::Play(int channel, SoundStream *stream) { return stream != nullptr ? channel : -1; }

int SilentSound::PositionMs(SoundStream *stream) { return stream != nullptr ? 0 : -1; }

SoundSystem &Sound() { return *installed; }

void InstallSoundSystem(SoundSystem *soundSystem) {
    installed = soundSystem != nullptr ? soundSystem : &noSound;
}

}  // namespace platform

signed char FSOUND_Init(int mixRate, int maxSoftwareChannels, unsigned int flags) {
    return platform::Sound().Init(mixRate, maxSoftwareChannels, flags) ? 1 : 0;
}

SoundStream *FSOUND_Stream_OpenFile(const char *name, unsigned int mode, int size) {
    return platform::Sound().OpenStream(name, mode, size);
}

int FSOUND_Stream_Play(int channel, SoundStream *stream) {
    return platform::Sound().Play(channel, stream);
}

int FSOUND_Stream_GetTime(SoundStream *stream) { return platform::Sound().PositionMs(stream); }
