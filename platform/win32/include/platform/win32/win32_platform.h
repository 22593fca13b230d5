// The demo's platform on Windows, in plain Win32 and WGL: the window class
// "OpenGL", ChangeDisplaySettingsA for full screen, CreateWindowExA, a pixel
// format through ChoosePixelFormat and SetPixelFormat, a WGL rendering
// context, PeekMessageA / TranslateMessage / DispatchMessageA, MessageBoxA,
// the performance counter, and waveOut sound (waveout_sound.h).
//
// Windows, display modes and boxes are also written to standard error
// (invisible to a user, read by tests through Wine). Tests derive from it to
// answer the boxes themselves.
#pragma once

#include "platform/platform.h"
#include "platform/win32/waveout_sound.h"
#include "platform/win32/win32_api.h"

namespace platform::win32 {

class Win32Platform : public Platform {
public:
    Win32Platform() = default;
    ~Win32Platform() override;
    Win32Platform(const Win32Platform &) = delete;
    Win32Platform &operator=(const Win32Platform &) = delete;

    std::optional<OpenStep> OpenWindow(const WindowRequest &request) override;
    unsigned CloseWindow() override;
    bool PollMessage(Message *message) override;
    void PostQuit(int code) override;
    void Present() override;
    Answer ShowMessageBox(const char *text, const char *caption, Buttons buttons,
                          Icon icon) override;
    int64_t CounterFrequency() override;
    int64_t CounterNow() override;
    Sound &sound() override { return sound_; }
    void Exit(int code) override;

    // The window while it exists, and its device and rendering contexts.
    HWND window() const { return window_; }
    HDC deviceContext() const { return dc_; }
    HGLRC renderContext() const { return rc_; }

private:
    static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

    WaveOutSound sound_;
    HINSTANCE instance_ = nullptr;
    bool registered_ = false;
    bool fullscreen_ = false;  // the display is switched and the cursor hidden
    HWND window_ = nullptr;
    HDC dc_ = nullptr;
    HGLRC rc_ = nullptr;
    PIXELFORMATDESCRIPTOR pixelFormat_{};  // filled by the first creation, then reused
    EventHandler onEvent_ = nullptr;
    MSG message_{};
};

// The window class's name.
inline constexpr const char *kClassName = "OpenGL";

// The pixel format request: RGBA, double-buffered, drawn to a window through
// OpenGL, `bits` colour bits and a 16-bit depth buffer, nothing else.
PIXELFORMATDESCRIPTOR PixelFormatRequest(int bits);

// The window's styles for a mode: its extended style, the style that
// AdjustWindowRectEx is given, and the style it is created with.
struct WindowStyles {
    DWORD exStyle, style, createStyle;
};
WindowStyles StylesFor(bool fullscreen);

// The display-mode record for a full-screen request: all zero but its size,
// the width, height and colour depth, and the flags naming those three.
DEVMODEA DisplayModeRequest(int width, int height, int bits);

// MessageBoxA's style flags for these buttons and icon.
UINT MessageBoxStyle(Buttons buttons, Icon icon);

}  // namespace platform::win32
