// SDL key codes to virtual-key codes, and the characters keys produce.
#include "platform/sdl2/sdl2_keys.h"
#include "platform/virtual_keys.h"

#include <SDL_keyboard.h>

#include <gtest/gtest.h>

namespace {

using platform::sdl2::VirtualKeyFromSdl;

TEST(SdlKeyMapping, KeysGiveTheirVirtualKeyCodes) {
    const struct {
        SDL_Keycode key;
        int code;
    } cases[] = {
        // The demo's two keys.
        {SDLK_ESCAPE, 27},
        {SDLK_F1, 112},
        // Letters and digits by the character they type.
        {SDLK_a, 'A'},
        {SDLK_m, 'M'},
        {SDLK_z, 'Z'},
        {SDLK_0, '0'},
        {SDLK_9, '9'},
        // F1 to F24 in one run.
        {SDLK_F2, 113},
        {SDLK_F10, 121},
        {SDLK_F12, 123},
        {SDLK_F13, 124},
        {SDLK_F24, 135},
        // Arrows and editing keys.
        {SDLK_LEFT, 0x25},
        {SDLK_UP, 0x26},
        {SDLK_RIGHT, 0x27},
        {SDLK_DOWN, 0x28},
        {SDLK_RETURN, 0x0D},
        {SDLK_BACKSPACE, 0x08},
        {SDLK_TAB, 0x09},
        {SDLK_SPACE, 0x20},
        {SDLK_PAGEUP, 0x21},
        {SDLK_PAGEDOWN, 0x22},
        {SDLK_END, 0x23},
        {SDLK_HOME, 0x24},
        {SDLK_INSERT, 0x2D},
        {SDLK_DELETE, 0x2E},
        // Both sides of a modifier give the generic code.
        {SDLK_LSHIFT, 0x10},
        {SDLK_RSHIFT, 0x10},
        {SDLK_LCTRL, 0x11},
        {SDLK_RCTRL, 0x11},
        {SDLK_LALT, 0x12},
        {SDLK_RALT, 0x12},
        // The keypad.
        {SDLK_KP_0, 0x60},
        {SDLK_KP_1, 0x61},
        {SDLK_KP_9, 0x69},
        {SDLK_KP_ENTER, 0x0D},
        {SDLK_KP_PLUS, 0x6B},
        {SDLK_KP_DIVIDE, 0x6F},
        // Keys without a code.
        {SDLK_UNKNOWN, 0},
        {SDLK_AUDIOPLAY, 0},
        {SDLK_BRIGHTNESSUP, 0},
    };
    for (const auto &c : cases)
        EXPECT_EQ(VirtualKeyFromSdl(c.key), c.code) << SDL_GetKeyName(c.key);
}

TEST(KeyCharacters, ControlKeysGiveTheirAsciiCodes) {
    EXPECT_EQ(platform::vk::CharacterOf(platform::vk::Escape, false), 27);
    EXPECT_EQ(platform::vk::CharacterOf(platform::vk::Return, false), 13);
    EXPECT_EQ(platform::vk::CharacterOf(platform::vk::Back, true), 8);
    EXPECT_EQ(platform::vk::CharacterOf(platform::vk::Space, false), ' ');
}

TEST(KeyCharacters, LettersFollowShiftAndDigitsStandAlone) {
    EXPECT_EQ(platform::vk::CharacterOf('A', false), 'a');
    EXPECT_EQ(platform::vk::CharacterOf('Z', true), 'Z');
    EXPECT_EQ(platform::vk::CharacterOf('7', false), '7');
    EXPECT_EQ(platform::vk::CharacterOf('7', true), -1);
}

TEST(KeyCharacters, KeysWithoutCharacters) {
    EXPECT_EQ(platform::vk::CharacterOf(platform::vk::F1, false), -1);
    EXPECT_EQ(platform::vk::CharacterOf(platform::vk::Left, false), -1);
    EXPECT_EQ(platform::vk::CharacterOf(platform::vk::Shift, false), -1);
    EXPECT_EQ(platform::vk::CharacterOf(1000, false), -1);
}

}  // namespace
