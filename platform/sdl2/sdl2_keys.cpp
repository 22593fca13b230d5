#include "platform/sdl2/sdl2_keys.h"

#include "platform/keys.h"

namespace platform::sdl2 {
namespace {

struct KeyCode {
    SDL_Keycode key;
    uint8_t code;
};

// The other keys, one by one.
constexpr KeyCode kKeyCodes[] = {
    {SDLK_ESCAPE, keys::Escape},
    {SDLK_RETURN, keys::Return},
    {SDLK_KP_ENTER, keys::Return},
    {SDLK_TAB, keys::Tab},
    {SDLK_BACKSPACE, keys::Back},
    {SDLK_SPACE, keys::Space},
    {SDLK_LEFT, keys::Left},
    {SDLK_UP, keys::Up},
    {SDLK_RIGHT, keys::Right},
    {SDLK_DOWN, keys::Down},
    {SDLK_PAGEUP, keys::Prior},
    {SDLK_PAGEDOWN, keys::Next},
    {SDLK_HOME, keys::Home},
    {SDLK_END, keys::End},
    {SDLK_INSERT, keys::Insert},
    {SDLK_DELETE, keys::Delete},
    {SDLK_LSHIFT, keys::Shift},
    {SDLK_RSHIFT, keys::Shift},
    {SDLK_LCTRL, keys::Control},
    {SDLK_RCTRL, keys::Control},
    {SDLK_LALT, keys::Menu},
    {SDLK_RALT, keys::Menu},
    {SDLK_LGUI, keys::LeftWin},
    {SDLK_RGUI, keys::RightWin},
    {SDLK_APPLICATION, keys::Apps},
    {SDLK_PAUSE, keys::Pause},
    {SDLK_CAPSLOCK, keys::CapsLock},
    {SDLK_NUMLOCKCLEAR, keys::NumLock},
    {SDLK_SCROLLLOCK, keys::ScrollLock},
    {SDLK_PRINTSCREEN, keys::Snapshot},
    {SDLK_KP_0, keys::Numpad0},
    {SDLK_KP_MULTIPLY, keys::Multiply},
    {SDLK_KP_PLUS, keys::Add},
    {SDLK_KP_MINUS, keys::Subtract},
    {SDLK_KP_PERIOD, keys::Decimal},
    {SDLK_KP_DIVIDE, keys::Divide},
    {SDLK_SEMICOLON, keys::OemSemicolon},
    {SDLK_EQUALS, keys::OemPlus},
    {SDLK_COMMA, keys::OemComma},
    {SDLK_MINUS, keys::OemMinus},
    {SDLK_PERIOD, keys::OemPeriod},
    {SDLK_SLASH, keys::OemSlash},
    {SDLK_BACKQUOTE, keys::OemBacktick},
    {SDLK_LEFTBRACKET, keys::OemOpenBracket},
    {SDLK_BACKSLASH, keys::OemBackslash},
    {SDLK_RIGHTBRACKET, keys::OemCloseBracket},
    {SDLK_QUOTE, keys::OemQuote},
};

// Keys whose codes follow each other in both numberings.
struct KeyRun {
    SDL_Keycode first, last;
    int firstCode;
};

constexpr KeyRun kKeyRuns[] = {
    {SDLK_a, SDLK_z, keys::LetterA},
    {SDLK_0, SDLK_9, keys::Digit0},
    {SDLK_F1, SDLK_F12, keys::F1},
    {SDLK_F13, SDLK_F24, keys::F1 + 12},
    {SDLK_KP_1, SDLK_KP_9, keys::Numpad0 + 1},
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
