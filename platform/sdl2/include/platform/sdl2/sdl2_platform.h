// The demo's platform on SDL2 (Linux and other desktops): an SDL window with
// an OpenGL compatibility context, SDL's events as the window's events,
// SDL message boxes, the steady clock, and SDL2_mixer for the soundtrack.
//
// How the demo's steps map onto SDL:
// - Register starts SDL's video system; it fails where there is no display
//   to open a window on (SDL's windowless drivers count only when asked for
//   by name in SDL_VIDEODRIVER).
// - DisplayMode looks for the exact mode among the display's modes; the
//   display changes when the full-screen window is made.
// - The pixel format (RGBA, 8 bits a colour, 16-bit depth, double-buffered,
//   nothing else) is fixed when SDL creates the window, so Device,
//   ChooseFormat and SetFormat have nothing to do and never fail.
// - The screen saver is kept off while a window shows.
// Windows, modes and boxes are also written to standard error: a box may be
// impossible to show, and tests read what the user was told there.
#pragma once

#include "platform/platform.h"
#include "platform/sdl2/sdl2_sound.h"

#include <SDL.h>

#include <optional>
#include <vector>

namespace platform::sdl2 {

class Sdl2Platform final : public Platform {
public:
    Sdl2Platform();
    // Destroys what is left, which returns the display to the desktop's mode.
    ~Sdl2Platform() override;
    Sdl2Platform(const Sdl2Platform &) = delete;
    Sdl2Platform &operator=(const Sdl2Platform &) = delete;

    std::optional<OpenStep> OpenWindow(const WindowRequest &request) override;
    unsigned CloseWindow() override;
    bool PollMessage(Message *message) override;
    void PostQuit(int code) override;
    void Present() override;
    Answer ShowMessageBox(const char *text, const char *caption, Buttons buttons,
                          Icon icon) override;
    int64_t CounterFrequency() override { return kSteadyCounterFrequency; }
    int64_t CounterNow() override { return SteadyCounterNow(); }
    Sound &sound() override { return sound_; }
    void Exit(int code) override;

    // The window's events that one SDL event stands for, in order, with the
    // message parameter the pass that takes it reports. Public so that tests
    // can feed events without a user at the keyboard.
    std::vector<Event> EventsOf(const SDL_Event &event, intptr_t *parameter) const;

private:
    bool StartVideo();

    Sdl2MixerSound sound_;
    bool videoStarted_ = false;
    SDL_Window *window_ = nullptr;
    SDL_GLContext context_ = nullptr;
    EventHandler onEvent_ = nullptr;
    std::optional<SDL_DisplayMode> fullscreenMode_;  // while the display is switched
    bool cursorHidden_ = false;
    std::optional<int> quitCode_;
};

}  // namespace platform::sdl2
