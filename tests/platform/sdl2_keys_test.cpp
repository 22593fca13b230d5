// SDL key codes to virtual-key codes, and the characters keys produce.
#include "platform/sdl2/sdl2_keys.h"
#include "platform/virtual_keys.h"

#include <gtest/gtest.h>

namespace {

using platform::sdl2::VirtualKeyFromSdl;

TEST(SdlKeyMapping, TheDemosTwoKeys) {
    EXPECT_EQ(VirtualKeyFromSdl(SDLK_ESCAPE), 27);
    EXPECT_EQ(VirtualKeyFromSdl(SDLK_F1), 112);
}

TEST(SdlKeyMapping, LettersAndDigitsGiveTheirUpperCaseCodes) {
    EXPECT_EQ(VirtualKeyFromSdl(SDLK_a), 'A');
    EXPECT_EQ(VirtualKeyFromSdl(SDLK_m), 'M');
    EXPECT_EQ(VirtualKeyFromSdl(SDLK_z), 'Z');
    EXPECT_EQ(VirtualKeyFromSdl(SDLK_0), '0');
    EXPECT_EQ(VirtualKeyFromSdl(SDLK_9), '9');
}

TEST(SdlKeyMapping, FunctionKeysRunFromF1ToF24) {
    EXPECT_EQ(VirtualKeyFromSdl(SDLK_F2), 113);
    EXPECT_EQ(VirtualKeyFromSdl(SDLK_F10), 121);
    EXPECT_EQ(VirtualKeyFromSdl(SDLK_F12), 123);
    EXPECT_EQ(VirtualKeyFromSdl(SDLK_F13), 124);
    EXPECT_EQ(VirtualKeyFromSdl(SDLK_F24), 135);
}

TEST(SdlKeyMapping, ArrowsAndEditingKeys) {
    EXPECT_EQ(VirtualKeyFromSdl(SDLK_LEFT), 0x25);
    EXPECT_EQ(VirtualKeyFromSdl(SDLK_UP), 0x26);
    EXPECT_EQ(VirtualKeyFromSdl(SDLK_RIGHT), 0x27);
    EXPECT_EQ(VirtualKeyFromSdl(SDLK_DOWN), 0x28);
    EXPECT_EQ(VirtualKeyFromSdl(SDLK_RETURN), 0x0D);
    EXPECT_EQ(VirtualKeyFromSdl(SDLK_BACKSPACE), 0x08);
    EXPECT_EQ(VirtualKeyFromSdl(SDLK_TAB), 0x09);
    EXPECT_EQ(VirtualKeyFromSdl(SDLK_SPACE), 0x20);
    EXPECT_EQ(VirtualKeyFromSdl(SDLK_PAGEUP), 0x21);
    EXPECT_EQ(VirtualKeyFromSdl(SDLK_PAGEDOWN), 0x22);
    EXPECT_EQ(VirtualKeyFromSdl(SDLK_END), 0x23);
    EXPECT_EQ(VirtualKeyFromSdl(SDLK_HOME), 0x24);
    EXPECT_EQ(VirtualKeyFromSdl(SDLK_INSERT), 0x2D);
    EXPECT_EQ(VirtualKeyFromSdl(SDLK_DELETE), 0x2E);
}

TEST(SdlKeyMapping, BothSidesOfAModifierGiveTheGenericCode) {
    EXPECT_EQ(VirtualKeyFromSdl(SDLK_LSHIFT), 0x10);
    EXPECT_EQ(VirtualKeyFromSdl(SDLK_RSHIFT), 0x10);
    EXPECT_EQ(VirtualKeyFromSdl(SDLK_LCTRL), 0x11);
    EXPECT_EQ(VirtualKeyFromSdl(SDLK_RCTRL), 0x11);
    EXPECT_EQ(VirtualKeyFromSdl(SDLK_LALT), 0x12);
    EXPECT_EQ(VirtualKeyFromSdl(SDLK_RALT), 0x12);
}

TEST(SdlKeyMapping, TheKeypad) {
    EXPECT_EQ(VirtualKeyFromSdl(SDLK_KP_0), 0x60);
    EXPECT_EQ(VirtualKeyFromSdl(SDLK_KP_1), 0x61);
    EXPECT_EQ(VirtualKeyFromSdl(SDLK_KP_9), 0x69);
    EXPECT_EQ(VirtualKeyFromSdl(SDLK_KP_ENTER), 0x0D);
    EXPECT_EQ(VirtualKeyFromSdl(SDLK_KP_PLUS), 0x6B);
    EXPECT_EQ(VirtualKeyFromSdl(SDLK_KP_DIVIDE), 0x6F);
}

TEST(SdlKeyMapping, KeysWithoutACodeGiveZero) {
    EXPECT_EQ(VirtualKeyFromSdl(SDLK_UNKNOWN), 0);
    EXPECT_EQ(VirtualKeyFromSdl(SDLK_AUDIOPLAY), 0);
    EXPECT_EQ(VirtualKeyFromSdl(SDLK_BRIGHTNESSUP), 0);
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
