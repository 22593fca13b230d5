// The demo's window services on SDL2: real windows with OpenGL compatibility
// contexts, full-screen display modes, message boxes, and SDL's events
// turned into the demo's window messages.
//
// How the steps map where SDL works differently:
// - A full-screen display mode needs a full-screen window in SDL. Switching
//   the display mode therefore checks that the display offers the exact mode
//   and reserves it; the display changes when the full-screen window shows,
//   and returns to the desktop's mode on restore, when the window goes, and
//   at the latest when the process ends.
// - A window's pixel format is fixed when SDL creates it (X11 picks the
//   visual then), so every window is created for the one format the demo
//   requests (RGBA, 8 bits per colour, 16-bit depth, double-buffered, no
//   stencil, accumulation or auxiliary buffers); choosing checks the request
//   is one such a window can serve, and setting binds it once per window.
// - SDL sizes windows by their client area and the window manager adds the
//   frame, so adjusting a rectangle leaves it as it is.
// - Screen-saver and monitor-power commands: when a window shows, the
//   screen saver is switched off and both commands are put to the window
//   procedure; one that reaches the default procedure switches it on again.
#pragma once

#include "platform/window_system.h"

#include <SDL.h>

#include <deque>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace platform::sdl2 {

class Sdl2WindowSystem final : public WindowSystem {
public:
    Sdl2WindowSystem();
    // Destroys what is left, which returns the display to the desktop's mode.
    ~Sdl2WindowSystem() override;
    Sdl2WindowSystem(const Sdl2WindowSystem &) = delete;
    Sdl2WindowSystem &operator=(const Sdl2WindowSystem &) = delete;

    ModuleHandle ProgramModule() override;
    bool RegisterWindowClass(const WindowClass &windowClass) override;
    bool UnregisterWindowClass(const char *name, ModuleHandle instance) override;
    bool SwitchDisplayMode(const DisplayMode &mode) override;
    void RestoreDisplayMode() override;
    bool AdjustWindowRectangle(Rect *rect, uint32_t style, uint32_t exStyle) override;
    WindowHandle CreateAppWindow(const WindowCreation &creation) override;
    bool DestroyAppWindow(WindowHandle window) override;
    DeviceContextHandle AcquireDeviceContext(WindowHandle window) override;
    bool ReleaseDeviceContext(WindowHandle window, DeviceContextHandle dc) override;
    int ChoosePixelFormatIndex(DeviceContextHandle dc,
                               const PixelFormatDescriptor &request) override;
    bool ApplyPixelFormat(DeviceContextHandle dc, int index,
                          const PixelFormatDescriptor &request) override;
    RenderContextHandle CreateRenderContext(DeviceContextHandle dc) override;
    bool MakeContextCurrent(DeviceContextHandle dc, RenderContextHandle rc) override;
    bool DeleteRenderContext(RenderContextHandle rc) override;
    void ShowAppWindow(WindowHandle window) override;
    void BringToForeground(WindowHandle window) override;
    void GiveKeyboardFocus(WindowHandle window) override;
    int ChangeCursorVisibility(bool show) override;
    bool PollMessage(Message *message) override;
    void TranslateKeys(const Message &message) override;
    intptr_t DispatchToWindow(const Message &message) override;
    void PostQuit(int exitCode) override;
    intptr_t DefaultWindowProc(WindowHandle window, MessageKind kind, uintptr_t wParam,
                               intptr_t lParam) override;
    bool PresentBackBuffer(DeviceContextHandle dc) override;
    MessageBoxAnswer ShowMessageBox(const char *text, const char *caption,
                                    MessageBoxButtons buttons, MessageBoxIcon icon) override;

    // Turns one SDL event into the messages it stands for, queued in order.
    // Public so that tests can feed events without a user at the keyboard.
    void TranslateEvent(const SDL_Event &event);

private:
    struct Window;
    struct DeviceContext {
        Window *window = nullptr;
        bool held = false;
        int pixelFormat = 0;
    };
    struct Window {
        SDL_Window *sdl = nullptr;
        WindowProc procedure = nullptr;
        std::string className;
        DeviceContext dc;
    };
    struct RenderContext {
        SDL_GLContext gl = nullptr;
        Window *window = nullptr;
    };

    bool StartVideo();
    Window *Find(WindowHandle handle) const;
    Window *FindSdl(uint32_t windowId) const;
    DeviceContext *FindDc(DeviceContextHandle handle) const;
    RenderContext *FindRc(RenderContextHandle handle) const;
    void Queue(Window *window, MessageKind kind, uintptr_t wParam, intptr_t lParam);
    intptr_t Send(Window *window, MessageKind kind, uintptr_t wParam, intptr_t lParam);

    bool videoStarted_ = false;
    std::map<std::string, WindowClass> classes_;
    std::vector<std::unique_ptr<Window>> windows_;
    std::vector<std::unique_ptr<RenderContext>> contexts_;
    std::deque<Message> queue_;
    std::optional<int> quitCode_;
    std::optional<SDL_DisplayMode> reservedMode_;
    int cursorCount_ = 0;
};

}  // namespace platform::sdl2
