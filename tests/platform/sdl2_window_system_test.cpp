// SDL2 on a private X server: key codes and SDL events turned into the demo's
// messages (the program's own test covers the display mode and the boxes).
#include "platform/sdl2/sdl2_keys.h"
#include "platform/sdl2/sdl2_window_system.h"
#include "tests/support/xvfb.h"

#include <SDL.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>
#include <vector>

namespace {

using platform::Message;
using K = platform::MessageKind;

TEST(SdlKeyMapping, KeysGiveTheirVirtualKeyCodes) {
    const std::pair<SDL_Keycode, int> cases[] = {
        {SDLK_ESCAPE, 27},   {SDLK_F1, 112},     {SDLK_F12, 123},     {SDLK_F24, 135},
        {SDLK_a, 'A'},       {SDLK_z, 'Z'},      {SDLK_0, '0'},       {SDLK_9, '9'},
        {SDLK_LEFT, 0x25},   {SDLK_DOWN, 0x28},  {SDLK_KP_ENTER, 13}, {SDLK_RSHIFT, 0x10},
        {SDLK_LALT, 0x12},   {SDLK_KP_9, 0x69},  {SDLK_UNKNOWN, 0},   {SDLK_AUDIOPLAY, 0}};
    for (auto [key, code] : cases)
        EXPECT_EQ(platform::sdl2::VirtualKeyFromSdl(key), code) << SDL_GetKeyName(key);
}

platform::WindowSystem *windowSystem = nullptr;
intptr_t PassOn(platform::WindowHandle window, K kind, uintptr_t wParam, intptr_t lParam) {
    return windowSystem->DefaultWindowProc(window, kind, wParam, lParam);
}

class Sdl2Test : public ::testing::Test {
protected:
    void SetUp() override {
        windowSystem = &ws_;
        setenv("SDL_VIDEODRIVER", "x11", 1);
        xvfb_ = std::make_unique<testsupport::XvfbServer>("640x480x24");
        if (!xvfb_->ok()) GTEST_SKIP() << "no X server for this test: " << xvfb_->error();
        platform::WindowClass wc;
        wc.name = "TestClass";
        wc.procedure = PassOn;
        ASSERT_TRUE(ws_.RegisterWindowClass(wc));
    }
    void MakeWindow(uint32_t style) {
        platform::WindowCreation c;
        c.className = "TestClass";
        c.title = "Window Under Test";
        c.style = style;
        c.width = 640;
        c.height = 480;
        ASSERT_NE(window_ = ws_.CreateAppWindow(c), nullptr);
        for (Uint32 id = 1; id < 64 && sdl_ == nullptr; ++id) sdl_ = SDL_GetWindowFromID(id);
    }
    std::vector<std::tuple<K, uintptr_t, intptr_t>> Drain() {
        std::vector<std::tuple<K, uintptr_t, intptr_t>> all;
        for (Message m; ws_.PollMessage(&m);) all.emplace_back(m.kind, m.wParam, m.lParam);
        return all;
    }

    std::unique_ptr<testsupport::XvfbServer> xvfb_;
    platform::sdl2::Sdl2WindowSystem ws_;
    platform::WindowHandle window_ = nullptr;
    SDL_Window *sdl_ = nullptr;
};

TEST_F(Sdl2Test, EventsBecomeTheDemosMessages) {
    MakeWindow(platform::windowstyle::OverlappedWindow);
    Drain();
    auto key = [&](Uint32 type, SDL_Keycode sym, Uint16 mod = 0, Uint8 repeat = 0) {
        SDL_Event e{};
        e.key = {type, 0, SDL_GetWindowID(sdl_), 0, repeat, 0, 0, {SDL_SCANCODE_UNKNOWN, sym, mod, 0}};
        return e;
    };
    auto window = [&](Uint8 event, int w = 0, int h = 0) {
        SDL_Event e{};
        e.window = {SDL_WINDOWEVENT, 0, SDL_GetWindowID(sdl_), event, 0, 0, 0, w, h};
        return e;
    };
    SDL_Event quit{};
    quit.type = SDL_QUIT;
    const intptr_t released = static_cast<intptr_t>(0xC0000001u);
    const struct {
        SDL_Event event;
        std::vector<std::tuple<K, uintptr_t, intptr_t>> messages;
    } cases[] = {
        {key(SDL_KEYDOWN, SDLK_ESCAPE), {{K::KeyDown, 27, 1}}},
        {key(SDL_KEYDOWN, SDLK_F1, 0, 1), {{K::KeyDown, 112, 1 | (1 << 30)}}},
        {key(SDL_KEYUP, SDLK_F1), {{K::KeyUp, 112, released}}},
        {key(SDL_KEYDOWN, SDLK_x, KMOD_LALT), {{K::SysKeyDown, 'X', 1}}},
        {key(SDL_KEYUP, SDLK_F10), {{K::SysKeyUp, 121, released}}},
        {key(SDL_KEYDOWN, SDLK_AUDIOPLAY), {}},
        {window(SDL_WINDOWEVENT_MINIMIZED), {{K::Activate, platform::MakeWParam(0, 1), 0}, {K::Size, 0, 0}}},
        {window(SDL_WINDOWEVENT_RESTORED),
         {{K::Activate, platform::MakeWParam(1, 0), 0}, {K::Size, 0, platform::MakeLParam(640, 480)}}},
        {window(SDL_WINDOWEVENT_SIZE_CHANGED, 800, 600), {{K::Size, 0, platform::MakeLParam(800, 600)}}},
        {window(SDL_WINDOWEVENT_CLOSE), {{K::SysCommand, 0xF060, 0}}},
        {quit, {{K::SysCommand, 0xF060, 0}}},
    };
    for (const auto &c : cases) {
        ws_.TranslateEvent(c.event);
        EXPECT_EQ(Drain(), c.messages) << "event " << c.event.type << "/" << int(c.event.window.event);
    }
}

}  // namespace
