// Key codes: the numbers that key events carry and that index the demo's key
// table. Values are those of the demo's home platform; letters
// and digits are their upper-case ASCII codes.
#pragma once

#include <cstdint>

namespace platform::keys {

inline constexpr uint8_t Back = 0x08;
inline constexpr uint8_t Tab = 0x09;
inline constexpr uint8_t Return = 0x0D;
inline constexpr uint8_t Shift = 0x10;
inline constexpr uint8_t Control = 0x11;
inline constexpr uint8_t Menu = 0x12;  // Alt
inline constexpr uint8_t Pause = 0x13;
inline constexpr uint8_t CapsLock = 0x14;
inline constexpr uint8_t Escape = 0x1B;
inline constexpr uint8_t Space = 0x20;
inline constexpr uint8_t Prior = 0x21;  // Page Up
inline constexpr uint8_t Next = 0x22;   // Page Down
inline constexpr uint8_t End = 0x23;
inline constexpr uint8_t Home = 0x24;
inline constexpr uint8_t Left = 0x25;
inline constexpr uint8_t Up = 0x26;
inline constexpr uint8_t Right = 0x27;
inline constexpr uint8_t Down = 0x28;
inline constexpr uint8_t Snapshot = 0x2C;  // Print Screen
inline constexpr uint8_t Insert = 0x2D;
inline constexpr uint8_t Delete = 0x2E;
inline constexpr uint8_t Digit0 = 0x30;   // '0' .. '9' follow
inline constexpr uint8_t LetterA = 0x41;  // 'A' .. 'Z' follow
inline constexpr uint8_t LeftWin = 0x5B;
inline constexpr uint8_t RightWin = 0x5C;
inline constexpr uint8_t Apps = 0x5D;
inline constexpr uint8_t Numpad0 = 0x60;  // .. Numpad9 = 0x69
inline constexpr uint8_t Multiply = 0x6A;
inline constexpr uint8_t Add = 0x6B;
inline constexpr uint8_t Subtract = 0x6D;
inline constexpr uint8_t Decimal = 0x6E;
inline constexpr uint8_t Divide = 0x6F;
inline constexpr uint8_t F1 = 0x70;  // .. F24 = 0x87
inline constexpr uint8_t F4 = 0x73;
inline constexpr uint8_t F10 = 0x79;
inline constexpr uint8_t NumLock = 0x90;
inline constexpr uint8_t ScrollLock = 0x91;
inline constexpr uint8_t OemSemicolon = 0xBA;  // ;:
inline constexpr uint8_t OemPlus = 0xBB;       // =+
inline constexpr uint8_t OemComma = 0xBC;
inline constexpr uint8_t OemMinus = 0xBD;
inline constexpr uint8_t OemPeriod = 0xBE;
inline constexpr uint8_t OemSlash = 0xBF;     // /?
inline constexpr uint8_t OemBacktick = 0xC0;  // `~
inline constexpr uint8_t OemOpenBracket = 0xDB;
inline constexpr uint8_t OemBackslash = 0xDC;
inline constexpr uint8_t OemCloseBracket = 0xDD;
inline constexpr uint8_t OemQuote = 0xDE;

}  // namespace platform::keys
