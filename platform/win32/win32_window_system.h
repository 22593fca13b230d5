// The demo's window services on Win32: each operation is the one Windows
// call it stands for (RegisterClassA, ChangeDisplaySettingsA, CreateWindowExA,
// ChoosePixelFormat, wglCreateContext, PeekMessageA, MessageBoxA, ...), with
// the demo's handles being Windows' own handles and its message, style and
// key codes being Windows' own numbers.
//
// Windows calls a class's window procedure with its own argument types; every
// class registered here gets one shared procedure that hands each message on
// to the procedure the demo registered for that class.
//
// Windows and message boxes are also written to standard error (invisible to
// a user, read by tests through Wine). Tests derive from it to answer the
// boxes themselves.
#pragma once

#include "platform/win32/win32_api.h"
#include "platform/window_system.h"

#include <map>
#include <string>


namespace platform::win32 {

class Win32WindowSystem : public WindowSystem {
public:
    Win32WindowSystem() = default;
    Win32WindowSystem(const Win32WindowSystem &) = delete;
    Win32WindowSystem &operator=(const Win32WindowSystem &) = delete;

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

private:
    static LRESULT CALLBACK ClassProcedure(HWND window, UINT message, WPARAM wParam,
                                           LPARAM lParam);
    // The full record of what PollMessage took last (time, cursor position),
    // handed back to TranslateMessage and DispatchMessageA for that message.
    MSG ToMsg(const Message &message) const;

    MSG lastMessage_{};
    // The atom of each class registered here, by its name in lower case.
    std::map<std::string, ATOM> classAtoms_;
};

// The Windows record for the demo's pixel format request, field by field.
PIXELFORMATDESCRIPTOR ToPixelFormatDescriptor(const PixelFormatDescriptor &request);

// The display-mode record for a full-screen request: all zero but its size,
// the width, height and colour depth, and the flags naming those three.
DEVMODEA ToDevMode(const DisplayMode &mode);

// MessageBoxA's style flags for these buttons and icon.
UINT MessageBoxStyle(MessageBoxButtons buttons, MessageBoxIcon icon);

}  // namespace platform::win32
