#include "platform/sdl2/sdl2_sound.h"

#include <SDL.h>
#include <SDL_mixer.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>

namespace platform::sdl2 {

struct Sdl2MixerSound::Stream final : Soundtrack {
    Mix_Music *music = nullptr;
    bool loop = false;
    ~Stream() override {
        if (music != nullptr) Mix_FreeMusic(music);
    }
};

namespace {

// Samples per mixing buffer: about 46 ms at 44.1 kHz.
constexpr int kChunkSamples = 2048;

const char *FormatName(Uint16 format) {
    switch (format) {
        case AUDIO_S16LSB:
            return "s16le";
        case AUDIO_S16MSB:
            return "s16be";
        case AUDIO_U8:
            return "u8";
        case AUDIO_S8:
            return "s8";
        case AUDIO_F32LSB:
            return "f32le";
        case AUDIO_S32LSB:
            return "s32le";
        default:
            return "other";
    }
}

}  // namespace

Sdl2MixerSound::Sdl2MixerSound() = default;

Sdl2MixerSound::~Sdl2MixerSound() {
    if (open_) Mix_HaltMusic();
    playing_ = nullptr;
    streams_.clear();
    CloseOutput();
}

bool Sdl2MixerSound::OpenOutput(int mixRate) {
    if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) return false;
    audioStarted_ = true;
    // Exactly the requested rate, 16-bit stereo: SDL converts to whatever
    // the device wants.
    if (Mix_OpenAudioDevice(mixRate, AUDIO_S16SYS, 2, kChunkSamples, nullptr, 0) != 0) return false;
    open_ = true;
    return true;
}

void Sdl2MixerSound::CloseOutput() {
    if (open_) Mix_CloseAudio();
    open_ = false;
    Mix_Quit();
    if (audioStarted_) SDL_QuitSubSystem(SDL_INIT_AUDIO);
    audioStarted_ = false;
}

bool Sdl2MixerSound::Start(int mixRate, int maxSoftwareChannels, unsigned int) {
    if (open_) return true;
    if (mixRate <= 0) return false;
    if (!OpenOutput(mixRate)) {
        const std::string reason = SDL_GetError();
        CloseOutput();
        // No sound device: play to nothing rather than not at all.
        SDL_SetHintWithPriority(SDL_HINT_AUDIODRIVER, "dummy", SDL_HINT_OVERRIDE);
        if (!OpenOutput(mixRate)) {
            std::fprintf(stderr, "vandrel: no sound output at all: %s (before: %s)\n",
                         SDL_GetError(), reason.c_str());
            CloseOutput();
            return false;
        }
        silent_ = true;
        std::fprintf(stderr, "vandrel: no sound device (%s); playing to the silent output\n",
                     reason.c_str());
    }
    if ((Mix_Init(MIX_INIT_MP3) & MIX_INIT_MP3) == 0)
        std::fprintf(stderr, "vandrel: MP3 decoding is not available: %s\n", Mix_GetError());
    Mix_AllocateChannels(std::max(1, maxSoftwareChannels));

    int frequency = 0;
    Uint16 format = 0;
    int channels = 0;
    Mix_QuerySpec(&frequency, &format, &channels);
    std::fprintf(stderr, "vandrel: sound output driver=%s rate=%d format=%s channels=%d\n",
                 SDL_GetCurrentAudioDriver(), frequency, FormatName(format), channels);
    return true;
}

Soundtrack *Sdl2MixerSound::Open(const char *name, unsigned int mode, int size) {
    // Only whole files are streamed.
    if (!open_ || name == nullptr || size != 0) return nullptr;
    Mix_Music *music = Mix_LoadMUS(name);
    if (music == nullptr) {
        std::fprintf(stderr, "vandrel: cannot open %s: %s\n", name, Mix_GetError());
        return nullptr;
    }
    auto stream = std::make_unique<Stream>();
    stream->music = music;
    stream->loop = (mode & kSoundtrackLoop) != 0;
    streams_.push_back(std::move(stream));
    return streams_.back().get();
}

Sdl2MixerSound::Stream *Sdl2MixerSound::Find(Soundtrack *stream) const {
    for (const auto &s : streams_)
        if (s.get() == stream) return s.get();
    return nullptr;
}

int Sdl2MixerSound::Play(int channel, Soundtrack *handle) {
    Stream *stream = Find(handle);
    if (stream == nullptr || !open_) return -1;
    const int used = channel < 0 ? 0 : channel;
    // Asking again must not restart it: the demo asks every frame.
    if (playing_ == stream && Mix_PlayingMusic()) return used;
    if (Mix_PlayMusic(stream->music, stream->loop ? -1 : 1) != 0) {
        std::fprintf(stderr, "vandrel: cannot play: %s\n", Mix_GetError());
        playing_ = nullptr;
        return -1;
    }
    playing_ = stream;
    return used;
}

int Sdl2MixerSound::PositionMs(Soundtrack *handle) {
    Stream *stream = Find(handle);
    if (stream == nullptr) return -1;
    if (stream != playing_ || !Mix_PlayingMusic()) return 0;
    const double seconds = Mix_GetMusicPosition(stream->music);
    if (!(seconds > 0.0)) return 0;
    return static_cast<int>(std::lround(seconds * 1000.0));
}

}  // namespace platform::sdl2
