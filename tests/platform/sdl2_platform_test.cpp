// The SDL2 platform on a private X server: SDL's keys and events turned into
// the window's events (the program's own test covers the display mode, the
// boxes and the exit codes).
#include "platform/sdl2/sdl2_keys.h"
#include "platform/sdl2/sdl2_platform.h"
#include "support/xvfb.h"

#include <SDL.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>
#include <vector>

namespace {

using platform::Event;
using Kind = platform::Event::Kind;

TEST(SdlKeyMapping, KeysGiveTheirKeyCodes) {
    const std::pair<SDL_Keycode, int> cases[] = {
        {SDLK_ESCAPE, 27},   {SDLK_F1, 112},     {SDLK_F12, 123},     {SDLK_F24, 135},
        {SDLK_a, 'A'},       {SDLK_z, 'Z'},      {SDLK_0, '0'},       {SDLK_9, '9'},
        {SDLK_LEFT, 0x25},   {SDLK_DOWN, 0x28},  {SDLK_KP_ENTER, 13}, {SDLK_RSHIFT, 0x10},
        {SDLK_LALT, 0x12},   {SDLK_KP_9, 0x69},  {SDLK_UNKNOWN, 0},   {SDLK_AUDIOPLAY, 0}};
    for (auto [key, code] : cases)
        EXPECT_EQ(platform::sdl2::VirtualKeyFromSdl(key), code) << SDL_GetKeyName(key);
}

std::vector<Event> delivered;
void Record(const Event &event) { delivered.push_back(event); }

// What an event tells the demo: kind, key, minimised, width, height; and the pass's parameter.
using Told = std::tuple<Kind, uintptr_t, bool, int, int>;

TEST(Sdl2Platform, EventsBecomeTheWindowsEvents) {
    setenv("SDL_VIDEODRIVER", "x11", 1);
    testsupport::XvfbServer xvfb("640x480x24");
    if (!xvfb.ok()) GTEST_SKIP() << "no X server for this test: " << xvfb.error();
    platform::sdl2::Sdl2Platform sdl;
    platform::WindowRequest request{"Window Under Test", 640, 480, 32, false, Record};
    ASSERT_EQ(sdl.OpenWindow(request), std::nullopt);
    SDL_Window *window = SDL_GL_GetCurrentWindow();
    ASSERT_NE(window, nullptr);
    const Uint32 id = SDL_GetWindowID(window);
    auto key = [&](Uint32 type, SDL_Keycode sym, Uint16 mod = 0) {
        SDL_Event e{};
        e.key = {type, 0, id, 0, 0, 0, 0, {SDL_SCANCODE_UNKNOWN, sym, mod, 0}};
        return e;
    };
    auto windowEvent = [&](Uint8 event, int w = 0, int h = 0) {
        SDL_Event e{};
        e.window = {SDL_WINDOWEVENT, 0, id, event, 0, 0, 0, w, h};
        return e;
    };
    SDL_Event quit{};
    quit.type = SDL_QUIT;
    const struct {
        SDL_Event event;
        intptr_t parameter;
        std::vector<Told> told;
    } cases[] = {
        {key(SDL_KEYDOWN, SDLK_ESCAPE), 27, {{Kind::KeyDown, 27, false, 0, 0}}},
        {key(SDL_KEYUP, SDLK_F1), 112, {{Kind::KeyUp, 112, false, 0, 0}}},
        // Keys with Alt and F10 are the system's; Alt+F4 closes.
        {key(SDL_KEYDOWN, SDLK_x, KMOD_LALT), 'X', {}},
        {key(SDL_KEYUP, SDLK_F10), 121, {}},
        {key(SDL_KEYDOWN, SDLK_F4, KMOD_LALT), 115, {{Kind::Close, 0, false, 0, 0}}},
        {key(SDL_KEYDOWN, SDLK_AUDIOPLAY), 0, {}},
        {windowEvent(SDL_WINDOWEVENT_MINIMIZED), 0x10000,
         {{Kind::Activate, 0, true, 0, 0}, {Kind::Resize, 0, false, 0, 0}}},
        {windowEvent(SDL_WINDOWEVENT_RESTORED), 1,
         {{Kind::Activate, 0, false, 0, 0}, {Kind::Resize, 0, false, 640, 480}}},
        {windowEvent(SDL_WINDOWEVENT_FOCUS_LOST), 0, {{Kind::Activate, 0, false, 0, 0}}},  // not minimised
        {windowEvent(SDL_WINDOWEVENT_SIZE_CHANGED, 800, 600), 0, {{Kind::Resize, 0, false, 800, 600}}},
        {windowEvent(SDL_WINDOWEVENT_CLOSE), 0, {{Kind::Close, 0, false, 0, 0}}},
        {quit, 0, {{Kind::Close, 0, false, 0, 0}}},
    };
    for (const auto &c : cases) {
        intptr_t parameter = -1;
        std::vector<Told> told;
        for (const Event &e : sdl.EventsOf(c.event, &parameter))
            told.emplace_back(e.kind, e.key, e.minimised, e.width, e.height);
        EXPECT_EQ(told, c.told) << "event " << c.event.type << "/" << int(c.event.window.event);
        EXPECT_EQ(parameter, c.parameter) << "event " << c.event.type << "/" << int(c.event.window.event);
    }
    // A poll hands the window's events to its handler, passing over events
    // that mean nothing to the window: they take no pass of the loop.
    platform::Message message;
    while (sdl.PollMessage(&message)) {
    }
    SDL_Event motion{}, escape = key(SDL_KEYDOWN, SDLK_ESCAPE);
    motion.motion = {SDL_MOUSEMOTION, 0, id, 0, 0, 10, 10, 1, 1};
    SDL_PushEvent(&motion);
    SDL_PushEvent(&escape);
    delivered.clear();
    ASSERT_TRUE(sdl.PollMessage(&message));
    EXPECT_EQ(message.parameter, 27);
    ASSERT_EQ(delivered.size(), 1u);
    EXPECT_EQ(std::tie(delivered[0].kind, delivered[0].key), std::tuple(Kind::KeyDown, uintptr_t{27}));
    EXPECT_EQ(sdl.CloseWindow(), 0u);
}

TEST(Sdl2Platform, AFullScreenWindowHasTheDisplaysModeTheDemosFormatAndNoCursorUntilClosed) {
    setenv("SDL_VIDEODRIVER", "x11", 1);
    testsupport::XvfbServer xvfb("640x480x24");
    if (!xvfb.ok()) GTEST_SKIP() << "no X server for this test: " << xvfb.error();
    platform::sdl2::Sdl2Platform sdl;
    EXPECT_EQ(sdl.OpenWindow({"Full Screen", 640, 480, 16, true, Record}), platform::OpenStep::DisplayMode)
        << "the display has no 16-bit mode";
    ASSERT_EQ(sdl.OpenWindow({"Full Screen", 640, 480, 32, true, Record}), std::nullopt);
    EXPECT_NE(SDL_GetWindowFlags(SDL_GL_GetCurrentWindow()) & SDL_WINDOW_FULLSCREEN, 0u);
    int depth = 0, doubleBuffered = 0;
    SDL_GL_GetAttribute(SDL_GL_DEPTH_SIZE, &depth);
    SDL_GL_GetAttribute(SDL_GL_DOUBLEBUFFER, &doubleBuffered);
    EXPECT_GE(depth, 16);
    EXPECT_EQ(doubleBuffered, 1);
    EXPECT_EQ(SDL_ShowCursor(SDL_QUERY), SDL_DISABLE);
    EXPECT_EQ(sdl.CloseWindow(), 0u);
    EXPECT_EQ(SDL_ShowCursor(SDL_QUERY), SDL_ENABLE);
}

}  // namespace
