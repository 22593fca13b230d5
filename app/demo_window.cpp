#include "app/demo_window.h"

#include "app/demo_main.h"
#include "demo/start_demo.h"
#include "platform/opengl.h"

platform::ModuleHandle moduleInstance = nullptr;
platform::WindowHandle mainWindow = nullptr;
platform::RenderContextHandle renderContext = nullptr;
platform::PixelFormatDescriptor pixelFormatDesc = {};

namespace {

using platform::MessageBoxButtons;
using platform::MessageBoxIcon;
using platform::MessageKind;

constexpr const char *kCreationCaption = "ERROR";
constexpr const char *kTeardownCaption = "SHUTDOWN ERROR";
constexpr const char *kFallbackCaption = "Orv GL";
constexpr const char *kFallbackQuestion =
    "The Requested Fullscreen Mode Is Not Supported By\nYour Video Card. Use Windowed Mode "
    "Instead?";

void ReportCreationFailure(const char *text) {
    platform::Windows().ShowMessageBox(text, kCreationCaption, MessageBoxButtons::Ok,
                                       MessageBoxIcon::Exclamation);
}

// A creation step after the window failed: undo everything first (so that a
// full-screen mode is gone before the box shows), then tell the user.
bool AbandonCreation(const char *text) {
    CloseDemoWindow();
    ReportCreationFailure(text);
    return false;
}

void ReportTeardownFailure(const char *text) {
    platform::Windows().ShowMessageBox(text, kTeardownCaption, MessageBoxButtons::Ok,
                                       MessageBoxIcon::Information);
}

// RGBA, double-buffered, drawn to a window through OpenGL, with a 16-bit depth
// buffer and nothing else.
platform::PixelFormatDescriptor MakePixelFormatRequest(int bits) {
    platform::PixelFormatDescriptor desc{};
    desc.size = 40;
    desc.version = 1;
    desc.flags = platform::pixelformat::DrawToWindow | platform::pixelformat::SupportOpenGL |
                 platform::pixelformat::DoubleBuffer;
    desc.pixelType = platform::pixelformat::TypeRgba;
    desc.colorBits = static_cast<uint8_t>(bits);
    desc.depthBits = 16;
    desc.layerType = platform::pixelformat::MainPlane;
    return desc;
}

}  // namespace

bool OpenDemoWindow(const char *title, int width, int height, int bits, bool fullscreen) {
    platform::WindowSystem &windows = platform::Windows();

    fullscreenMode = fullscreen;
    moduleInstance = windows.ProgramModule();
    platform::Rect rect{0, 0, width, height};

    platform::WindowClass windowClass;
    windowClass.name = kWindowClassName;
    windowClass.style = platform::classstyle::HorizontalRedraw |
                        platform::classstyle::VerticalRedraw |
                        platform::classstyle::OwnDeviceContext;
    windowClass.procedure = DemoWindowProc;
    windowClass.instance = moduleInstance;
    windowClass.systemIcon = platform::kSystemIconWinLogo;
    windowClass.systemCursor = platform::kSystemCursorArrow;
    if (!windows.RegisterWindowClass(windowClass)) {
        ReportCreationFailure("Failed To Register The Window Class.");
        return false;
    }

    if (fullscreenMode) {
        platform::DisplayMode mode{width, height, bits};
        if (!windows.SwitchDisplayMode(mode)) {
            if (windows.ShowMessageBox(kFallbackQuestion, kFallbackCaption,
                                       MessageBoxButtons::YesNo, MessageBoxIcon::Exclamation) ==
                platform::MessageBoxAnswer::Yes) {
                fullscreenMode = false;
            } else {
                windows.ShowMessageBox("Program Will Now Close.", kCreationCaption,
                                       MessageBoxButtons::Ok, MessageBoxIcon::Stop);
                return false;
            }
        }
    }

    uint32_t exStyle;
    uint32_t adjustStyle;
    uint32_t style;
    if (fullscreenMode) {
        exStyle = platform::windowstyle::ExAppWindow;
        adjustStyle = platform::windowstyle::Popup;
        style = platform::windowstyle::Popup;
        windows.ChangeCursorVisibility(false);
    } else {
        exStyle = platform::windowstyle::ExAppWindow | platform::windowstyle::ExWindowEdge;
        adjustStyle = platform::windowstyle::OverlappedWindow;
        style = platform::windowstyle::OverlappedWindow;
    }
    style |= platform::windowstyle::ClipSiblings | platform::windowstyle::ClipChildren;

    windows.AdjustWindowRectangle(&rect, adjustStyle, exStyle);

    platform::WindowCreation creation;
    creation.exStyle = exStyle;
    creation.className = kWindowClassName;
    creation.title = title;
    creation.style = style;
    creation.x = 0;
    creation.y = 0;
    creation.width = rect.right - rect.left;
    creation.height = rect.bottom - rect.top;
    creation.instance = moduleInstance;
    mainWindow = windows.CreateAppWindow(creation);
    if (mainWindow == nullptr) return AbandonCreation("Window Creation Error.");

    // Filled once; later creations reuse the first request unchanged.
    if (pixelFormatDesc.size == 0) pixelFormatDesc = MakePixelFormatRequest(bits);

    deviceContext = windows.AcquireDeviceContext(mainWindow);
    if (deviceContext == nullptr) return AbandonCreation("Can't Create A GL Device Context.");

    // The format the platform chooses is taken as it is.
    const int pixelFormat = windows.ChoosePixelFormatIndex(deviceContext, pixelFormatDesc);
    if (pixelFormat == 0) return AbandonCreation("Can't Find A Suitable PixelFormat.");
    if (!windows.ApplyPixelFormat(deviceContext, pixelFormat, pixelFormatDesc))
        return AbandonCreation("Can't Set The PixelFormat.");

    renderContext = windows.CreateRenderContext(deviceContext);
    if (renderContext == nullptr) return AbandonCreation("Can't Create A GL Rendering Context.");
    if (!windows.MakeContextCurrent(deviceContext, renderContext))
        return AbandonCreation("Can't Activate The GL Rendering Context.");

    windows.ShowAppWindow(mainWindow);
    windows.BringToForeground(mainWindow);
    windows.GiveKeyboardFocus(mainWindow);

    // The requested size, not the measured one: size messages may have come
    // before the context was current.
    ResizeView(width, height);

    if (!StartDemo()) return AbandonCreation("Initialization Failed.");
    return true;
}

void CloseDemoWindow() {
    platform::WindowSystem &windows = platform::Windows();

    if (fullscreenMode) {
        windows.RestoreDisplayMode();
        windows.ChangeCursorVisibility(true);
    }

    if (renderContext != nullptr) {
        if (!windows.MakeContextCurrent(nullptr, nullptr))
            ReportTeardownFailure("Release Of DC And RC Failed.");
        if (!windows.DeleteRenderContext(renderContext))
            ReportTeardownFailure("Release Rendering Context Failed.");
        renderContext = nullptr;
    }

    if (deviceContext != nullptr) {
        if (!windows.ReleaseDeviceContext(mainWindow, deviceContext))
            ReportTeardownFailure("Release Device Context Failed.");
        deviceContext = nullptr;
    }

    if (mainWindow != nullptr) {
        if (!windows.DestroyAppWindow(mainWindow)) ReportTeardownFailure("Could Not Release hWnd.");
        mainWindow = nullptr;
    }

    if (!windows.UnregisterWindowClass(kWindowClassName, moduleInstance))
        ReportTeardownFailure("Could Not Unregister Class.");
}

void ResizeView(int width, int height) {
    if (height == 0) height = 1;
    glViewport(0, 0, width, height);

    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    gluPerspective(
        45.0, static_cast<GLdouble>(static_cast<GLfloat>(width) / static_cast<GLfloat>(height)),
        static_cast<GLdouble>(0.1f), 100.0);

    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
}

intptr_t DemoWindowProc(platform::WindowHandle window, MessageKind kind, uintptr_t wParam,
                        intptr_t lParam) {
    switch (kind) {
        case MessageKind::Activate:
            // Only the minimised flag counts: a deactivation that leaves the
            // window on screen keeps Escape working.
            windowActive = platform::HighWord(wParam) == 0;
            return 0;

        case MessageKind::SysCommand:
            // No screen saver and no monitor power saving through this window.
            if (wParam == platform::syscommand::ScreenSave ||
                wParam == platform::syscommand::MonitorPower)
                return 0;
            break;

        case MessageKind::Close:
            // The main loop ends on the quit and tears the window down.
            platform::Windows().PostQuit(0);
            return 0;

        case MessageKind::KeyDown:
            if (wParam < 256) keyDown[wParam] = true;
            return 0;

        case MessageKind::KeyUp:
            if (wParam < 256) keyDown[wParam] = false;
            return 0;

        case MessageKind::Size:
            ResizeView(platform::LowWord(static_cast<uintptr_t>(lParam)),
                       platform::HighWord(static_cast<uintptr_t>(lParam)));
            return 0;

        default:
            break;
    }
    return platform::Windows().DefaultWindowProc(window, kind, wParam, lParam);
}
