// The window services the demo's shell is written against: one operation per
// step of opening, running and closing the demo window, in the demo's own
// terms. The shell logic (app/) calls only these; each platform implements
// them in a folder of its own (sdl2/, scripted/, ...).
//
// Message codes, virtual-key codes, window styles and system commands keep
// the numeric values of the demo's home platform, so that a backend for it
// passes them through unchanged and every other backend translates into them.
//
// Everything here runs on the program's one thread.
#pragma once

#include <cstdint>

namespace platform {

// Opaque handles. A backend decides what they point at; null means "none".
using ModuleHandle = struct ModuleTag *;
using WindowHandle = struct WindowTag *;
using DeviceContextHandle = struct DeviceContextTag *;
using RenderContextHandle = struct RenderContextTag *;

// Window message codes. Codes not listed here may still arrive; they go to
// the default window procedure.
enum class MessageKind : uint32_t {
    Size = 0x0005,        // lParam: client width (low 16 bits), height (high 16 bits)
    Activate = 0x0006,    // wParam: low word active state, high word minimised flag
    Close = 0x0010,       // the user asked to close the window
    Quit = 0x0012,        // posted by PostQuit; wParam is the quit code
    KeyDown = 0x0100,     // wParam: virtual-key code
    KeyUp = 0x0101,       // wParam: virtual-key code
    Char = 0x0102,        // wParam: character produced by a key-down (TranslateKeys)
    SysKeyDown = 0x0104,  // key-down with Alt held, or F10
    SysKeyUp = 0x0105,
    SysCommand = 0x0112,  // wParam: system command (namespace syscommand)
};

// System commands carried by MessageKind::SysCommand.
namespace syscommand {
inline constexpr uintptr_t Minimize = 0xF020;
inline constexpr uintptr_t Close = 0xF060;
inline constexpr uintptr_t ScreenSave = 0xF140;
inline constexpr uintptr_t MonitorPower = 0xF170;
}  // namespace syscommand

// Activation states (low word of an activation message's wParam).
namespace activation {
inline constexpr uintptr_t Inactive = 0;
inline constexpr uintptr_t Active = 1;
}  // namespace activation

struct Message {
    WindowHandle window = nullptr;
    MessageKind kind = MessageKind::Quit;
    uintptr_t wParam = 0;
    intptr_t lParam = 0;
};

// Packs two 16-bit values the way message parameters carry them.
constexpr uintptr_t MakeWParam(uint16_t low, uint16_t high) {
    return static_cast<uintptr_t>(low) | (static_cast<uintptr_t>(high) << 16);
}
constexpr intptr_t MakeLParam(uint16_t low, uint16_t high) {
    return static_cast<intptr_t>(static_cast<uint32_t>(low) | (static_cast<uint32_t>(high) << 16));
}
constexpr uint16_t LowWord(uintptr_t value) { return static_cast<uint16_t>(value & 0xFFFF); }
constexpr uint16_t HighWord(uintptr_t value) {
    return static_cast<uint16_t>((value >> 16) & 0xFFFF);
}

using WindowProc = intptr_t (*)(WindowHandle window, MessageKind kind, uintptr_t wParam,
                                intptr_t lParam);

// Class styles.
namespace classstyle {
inline constexpr uint32_t VerticalRedraw = 0x0001;
inline constexpr uint32_t HorizontalRedraw = 0x0002;
inline constexpr uint32_t OwnDeviceContext = 0x0020;
}  // namespace classstyle

// System icon and cursor identifiers.
inline constexpr int kSystemIconWinLogo = 32517;
inline constexpr int kSystemCursorArrow = 32512;

struct WindowClass {
    const char *name = nullptr;
    uint32_t style = 0;
    WindowProc procedure = nullptr;
    int classExtraBytes = 0;
    int windowExtraBytes = 0;
    ModuleHandle instance = nullptr;
    int systemIcon = 0;            // 0: none
    int systemCursor = 0;          // 0: none
    bool backgroundBrush = false;  // false: the class paints no background
    const char *menuName = nullptr;
};

// Window styles (style) and extended styles (exStyle).
namespace windowstyle {
inline constexpr uint32_t Popup = 0x80000000u;
inline constexpr uint32_t ClipSiblings = 0x04000000u;
inline constexpr uint32_t ClipChildren = 0x02000000u;
// Caption, system menu, sizing frame, minimise and maximise boxes.
inline constexpr uint32_t OverlappedWindow = 0x00CF0000u;
inline constexpr uint32_t ExWindowEdge = 0x00000100u;
inline constexpr uint32_t ExAppWindow = 0x00040000u;
}  // namespace windowstyle

struct Rect {
    int32_t left = 0, top = 0, right = 0, bottom = 0;
};

// A full-screen display mode request: only these three fields are requested
// (no refresh rate).
struct DisplayMode {
    int width = 0;
    int height = 0;
    int bitsPerPixel = 0;
};

struct WindowCreation {
    uint32_t exStyle = 0;
    const char *className = nullptr;
    const char *title = nullptr;
    uint32_t style = 0;
    int x = 0, y = 0, width = 0, height = 0;
    ModuleHandle instance = nullptr;
    // No parent window, no menu and no creation data: the demo never uses them.
};

// Pixel format request flags and values.
namespace pixelformat {
inline constexpr uint32_t DrawToWindow = 0x00000004u;
inline constexpr uint32_t SupportOpenGL = 0x00000020u;
inline constexpr uint32_t DoubleBuffer = 0x00000001u;
inline constexpr uint8_t TypeRgba = 0;
inline constexpr uint8_t MainPlane = 0;
}  // namespace pixelformat

// The pixel format request, field by field in the home platform's order
// (40 bytes there).
struct PixelFormatDescriptor {
    uint16_t size = 0;
    uint16_t version = 0;
    uint32_t flags = 0;
    uint8_t pixelType = 0;
    uint8_t colorBits = 0;
    uint8_t redBits = 0, redShift = 0, greenBits = 0, greenShift = 0, blueBits = 0, blueShift = 0;
    uint8_t alphaBits = 0, alphaShift = 0;
    uint8_t accumBits = 0, accumRedBits = 0, accumGreenBits = 0, accumBlueBits = 0,
            accumAlphaBits = 0;
    uint8_t depthBits = 0;
    uint8_t stencilBits = 0;
    uint8_t auxBuffers = 0;
    uint8_t layerType = 0;
    uint8_t reserved = 0;
    uint32_t layerMask = 0, visibleMask = 0, damageMask = 0;
};

enum class MessageBoxButtons { Ok, YesNo };
enum class MessageBoxIcon { None, Exclamation, Stop, Information };
// What the user chose. Failed: the box could not be shown at all.
enum class MessageBoxAnswer { Failed, Ok, Yes, No };

class WindowSystem {
public:
    virtual ~WindowSystem() = default;

    // The program's own module.
    virtual ModuleHandle ProgramModule() = 0;

    virtual bool RegisterWindowClass(const WindowClass &windowClass) = 0;
    virtual bool UnregisterWindowClass(const char *name, ModuleHandle instance) = 0;

    // Asks for a temporary full-screen display mode (undone at the latest when
    // the process ends). True when the display reports the switch successful.
    virtual bool SwitchDisplayMode(const DisplayMode &mode) = 0;
    // Returns the display to the desktop's own mode.
    virtual void RestoreDisplayMode() = 0;

    // Grows a client rectangle to the outer rectangle of a window with these
    // styles and no menu.
    virtual bool AdjustWindowRectangle(Rect *rect, uint32_t style, uint32_t exStyle) = 0;
    virtual WindowHandle CreateAppWindow(const WindowCreation &creation) = 0;
    virtual bool DestroyAppWindow(WindowHandle window) = 0;

    virtual DeviceContextHandle AcquireDeviceContext(WindowHandle window) = 0;
    virtual bool ReleaseDeviceContext(WindowHandle window, DeviceContextHandle dc) = 0;

    // Index of the best matching pixel format, 0 when none matches.
    virtual int ChoosePixelFormatIndex(DeviceContextHandle dc,
                                       const PixelFormatDescriptor &request) = 0;
    virtual bool ApplyPixelFormat(DeviceContextHandle dc, int index,
                                  const PixelFormatDescriptor &request) = 0;

    virtual RenderContextHandle CreateRenderContext(DeviceContextHandle dc) = 0;
    // Null for both makes no context current.
    virtual bool MakeContextCurrent(DeviceContextHandle dc, RenderContextHandle rc) = 0;
    virtual bool DeleteRenderContext(RenderContextHandle rc) = 0;

    virtual void ShowAppWindow(WindowHandle window) = 0;
    virtual void BringToForeground(WindowHandle window) = 0;
    virtual void GiveKeyboardFocus(WindowHandle window) = 0;

    // Shows or hides the mouse cursor. Calls nest: the cursor is visible while
    // the returned display count is 0 or more.
    virtual int ChangeCursorVisibility(bool show) = 0;

    // Takes the next waiting message off the queue without waiting. False
    // when none is waiting.
    virtual bool PollMessage(Message *message) = 0;
    // Queues the character message that a key-down produces, if any.
    virtual void TranslateKeys(const Message &message) = 0;
    // Hands a message to the window procedure of its window.
    virtual intptr_t DispatchToWindow(const Message &message) = 0;
    virtual void PostQuit(int exitCode) = 0;
    // What happens to a message its window procedure does not handle.
    virtual intptr_t DefaultWindowProc(WindowHandle window, MessageKind kind, uintptr_t wParam,
                                       intptr_t lParam) = 0;

    virtual bool PresentBackBuffer(DeviceContextHandle dc) = 0;

    // A modal box with no owner window. A null caption shows the platform's
    // default caption.
    virtual MessageBoxAnswer ShowMessageBox(const char *text, const char *caption,
                                            MessageBoxButtons buttons, MessageBoxIcon icon) = 0;
};

// The window system in use. A program installs one before its first window
// call (the native one, or a test double); it is not owned here.
WindowSystem &Windows();
void InstallWindowSystem(WindowSystem *windowSystem);

}  // namespace platform
