#include "platform/sdl2/sdl2_keys.h"

#include "platform/virtual_keys.h"

namespace platform::sdl2 {

uint8_t VirtualKeyFromSdl(SDL_Keycode key) {
    if (key >= SDLK_a && key <= SDLK_z) return static_cast<uint8_t>(vk::LetterA + (key - SDLK_a));
    if (key >= SDLK_0 && key <= SDLK_9) return static_cast<uint8_t>(vk::Digit0 + (key - SDLK_0));
    if (key >= SDLK_F1 && key <= SDLK_F12) return static_cast<uint8_t>(vk::F1 + (key - SDLK_F1));
    if (key >= SDLK_F13 && key <= SDLK_F24) return static_cast<uint8_t>(vk::F1 + 12 + (key - SDLK_F13));
    if (key >= SDLK_KP_1 && key <= SDLK_KP_9) return static_cast<uint8_t>(vk::Numpad0 + 1 + (key - SDLK_KP_1));

    switch (key) {
        case SDLK_ESCAPE: return vk::Escape;
        case SDLK_RETURN: return vk::Return;
        case SDLK_KP_ENTER: return vk::Return;
        case SDLK_TAB: return vk::Tab;
        case SDLK_BACKSPACE: return vk::Back;
        case SDLK_SPACE: return vk::Space;
        case SDLK_LEFT: return vk::Left;
        case SDLK_UP: return vk::Up;
        case SDLK_RIGHT: return vk::Right;
        case SDLK_DOWN: return vk::Down;
        case SDLK_PAGEUP: return vk::Prior;
        case SDLK_PAGEDOWN: return vk::Next;
        case SDLK_HOME: return vk::Home;
        case SDLK_END: return vk::End;
        case SDLK_INSERT: return vk::Insert;
        case SDLK_DELETE: return vk::Delete;
        case SDLK_LSHIFT:
        case SDLK_RSHIFT: return vk::Shift;
        case SDLK_LCTRL:
        case SDLK_RCTRL: return vk::Control;
        case SDLK_LALT:
        case SDLK_RALT: return vk::Menu;
        case SDLK_LGUI: return vk::LeftWin;
        case SDLK_RGUI: return vk::RightWin;
        case SDLK_APPLICATION: return vk::Apps;
        case SDLK_PAUSE: return vk::Pause;
        case SDLK_CAPSLOCK: return vk::CapsLock;
        case SDLK_NUMLOCKCLEAR: return vk::NumLock;
        case SDLK_SCROLLLOCK: return vk::ScrollLock;
        case SDLK_PRINTSCREEN: return vk::Snapshot;
        case SDLK_KP_0: return vk::Numpad0;
        case SDLK_KP_MULTIPLY: return vk::Multiply;
        case SDLK_KP_PLUS: return vk::Add;
        case SDLK_KP_MINUS: return vk::Subtract;
        case SDLK_KP_PERIOD: return vk::Decimal;
        case SDLK_KP_DIVIDE: return vk::Divide;
        case SDLK_SEMICOLON: return vk::OemSemicolon;
        case SDLK_EQUALS: return vk::OemPlus;
        case SDLK_COMMA: return vk::OemComma;
        case SDLK_MINUS: return vk::OemMinus;
        case SDLK_PERIOD: return vk::OemPeriod;
        case SDLK_SLASH: return vk::OemSlash;
        case SDLK_BACKQUOTE: return vk::OemBacktick;
        case SDLK_LEFTBRACKET: return vk::OemOpenBracket;
        case SDLK_BACKSLASH: return vk::OemBackslash;
        case SDLK_RIGHTBRACKET: return vk::OemCloseBracket;
        case SDLK_QUOTE: return vk::OemQuote;
        default: return 0;
    }
}

}  // namespace platform::sdl2
