#include "platform/sdl2/sdl2_keys.h"

#include "platform/virtual_keys.h"

namespace platform::sdl2 {
namespace {

struct KeyCode {
    SDL_Keycode key;
    uint8_t code;
};

// The other keys, one by one.
constexpr KeyCode kKeyCodes[] = {
    {SDLK_ESCAPE, vk::Escape},
    {SDLK_RETURN, vk::Return},
    {SDLK_KP_ENTER, vk::Return},
    {SDLK_TAB, vk::Tab},
    {SDLK_BACKSPACE, vk::Back},
    {SDLK_SPACE, vk::Space},
    {SDLK_LEFT, vk::Left},
    {SDLK_UP, vk::Up},
    {SDLK_RIGHT, vk::Right},
    {SDLK_DOWN, vk::Down},
    {SDLK_PAGEUP, vk::Prior},
    {SDLK_PAGEDOWN, vk::Next},
    {SDLK_HOME, vk::Home},
    {SDLK_END, vk::End},
    {SDLK_INSERT, vk::Insert},
    {SDLK_DELETE, vk::Delete},
    {SDLK_LSHIFT, vk::Shift},
    {SDLK_RSHIFT, vk::Shift},
    {SDLK_LCTRL, vk::Control},
    {SDLK_RCTRL, vk::Control},
    {SDLK_LALT, vk::Menu},
    {SDLK_RALT, vk::Menu},
    {SDLK_LGUI, vk::LeftWin},
    {SDLK_RGUI, vk::RightWin},
    {SDLK_APPLICATION, vk::Apps},
    {SDLK_PAUSE, vk::Pause},
    {SDLK_CAPSLOCK, vk::CapsLock},
    {SDLK_NUMLOCKCLEAR, vk::NumLock},
    {SDLK_SCROLLLOCK, vk::ScrollLock},
    {SDLK_PRINTSCREEN, vk::Snapshot},
    {SDLK_KP_0, vk::Numpad0},
    {SDLK_KP_MULTIPLY, vk::Multiply},
    {SDLK_KP_PLUS, vk::Add},
    {SDLK_KP_MINUS, vk::Subtract},
    {SDLK_KP_PERIOD, vk::Decimal},
    {SDLK_KP_DIVIDE, vk::Divide},
    {SDLK_SEMICOLON, vk::OemSemicolon},
    {SDLK_EQUALS, vk::OemPlus},
    {SDLK_COMMA, vk::OemComma},
    {SDLK_MINUS, vk::OemMinus},
    {SDLK_PERIOD, vk::OemPeriod},
    {SDLK_SLASH, vk::OemSlash},
    {SDLK_BACKQUOTE, vk::OemBacktick},
    {SDLK_LEFTBRACKET, vk::OemOpenBracket},
    {SDLK_BACKSLASH, vk::OemBackslash},
    {SDLK_RIGHTBRACKET, vk::OemCloseBracket},
    {SDLK_QUOTE, vk::OemQuote},
};

// Keys whose codes follow each other in both numberings.
struct KeyRun {
    SDL_Keycode first, last;
    int firstCode;
};

constexpr KeyRun kKeyRuns[] = {
    {SDLK_a, SDLK_z, vk::LetterA},
    {SDLK_0, SDLK_9, vk::Digit0},
    {SDLK_F1, SDLK_F12, vk::F1},
    {SDLK_F13, SDLK_F24, vk::F1 + 12},
    {SDLK_KP_1, SDLK_KP_9, vk::Numpad0 + 1},
};

}  // namespace

uint8_t VirtualKeyFromSdl(SDL_Keycode key) {
    for (const KeyRun &run : kKeyRuns)
        if (key >= run.first && key <= run.last)
            return static_cast<uint8_t>(run.firstCode + (key - run.first));
    for (const KeyCode &entry : kKeyCodes)
        if (entry.key == key) return entry.code;
    return 0;
}

}  // namespace platform::sdl2
