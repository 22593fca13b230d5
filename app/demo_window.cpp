#include "app/demo_window.h"

#include "demo/start_demo.h"
#include "platform/opengl.h"
#include "platform/platform.h"

bool keyDown[256] = {};
bool windowActive = true;
bool fullscreenMode = true;

namespace {

using platform::Buttons;
using platform::Icon;
using platform::OpenStep;

constexpr const char *kCreationCaption = "ERROR";
constexpr const char *kTeardownCaption = "SHUTDOWN ERROR";

void ReportCreationFailure(const char *text) {
    platform::Current().ShowMessageBox(text, kCreationCaption, Buttons::Ok, Icon::Exclamation);
}

// A creation step after the window failed: undo everything first (so that a
// full-screen mode is gone before the box shows), then tell the user.
bool AbandonCreation(const char *text) {
    CloseDemoWindow();
    ReportCreationFailure(text);
    return false;
}

const char *CreationFailureText(OpenStep step) {
    switch (step) {
        case OpenStep::Register:
            return "Failed To Register The Window Class.";
        case OpenStep::DisplayMode:  // answered by the fallback question instead
        case OpenStep::Create:
            return "Window Creation Error.";
        case OpenStep::Device:
            return "Can't Create A GL Device Context.";
        case OpenStep::ChooseFormat:
            return "Can't Find A Suitable PixelFormat.";
        case OpenStep::SetFormat:
            return "Can't Set The PixelFormat.";
        case OpenStep::Context:
            return "Can't Create A GL Rendering Context.";
        case OpenStep::Activate:
            return "Can't Activate The GL Rendering Context.";
    }
    return "Window Creation Error.";
}

// The window's events: the flags and key table the main loop reads, the quit
// on close, and the view.
void HandleWindowEvent(const platform::Event &event) {
    using Kind = platform::Event::Kind;
    switch (event.kind) {
        case Kind::Activate:
            // Only minimising counts: a deactivation that leaves the window
            // on screen keeps Escape working.
            windowActive = !event.minimised;
            break;
        case Kind::Close:
            // The main loop ends on the quit and tears the window down.
            platform::Current().PostQuit(0);
            break;
        case Kind::KeyDown:
        case Kind::KeyUp:
            if (event.key < 256) keyDown[event.key] = event.kind == Kind::KeyDown;
            break;
        case Kind::Resize:
            ResizeView(event.width, event.height);
            break;
    }
}

}  // namespace

bool OpenDemoWindow(const char *title, int width, int height, int bits, bool fullscreen) {
    platform::Platform &platform = platform::Current();
    fullscreenMode = fullscreen;
    platform::WindowRequest request{title, width, height, bits, fullscreen, HandleWindowEvent};
    std::optional<OpenStep> failed = platform.OpenWindow(request);
    if (failed == OpenStep::DisplayMode) {
        if (platform.ShowMessageBox("The Requested Fullscreen Mode Is Not Supported By\nYour Video "
                                    "Card. Use Windowed Mode Instead?",
                                    "Orv GL", Buttons::YesNo, Icon::Exclamation) != platform::Answer::Yes) {
            platform.ShowMessageBox("Program Will Now Close.", kCreationCaption, Buttons::Ok, Icon::Stop);
            return false;
        }
        fullscreenMode = request.fullscreen = false;
        failed = platform.OpenWindow(request);
    }
    if (failed == OpenStep::Register) {
        // Nothing to tear down.
        ReportCreationFailure(CreationFailureText(*failed));
        return false;
    }
    if (failed) return AbandonCreation(CreationFailureText(*failed));

    // The requested size, not the measured one: size events may have come
    // before the context was current.
    ResizeView(width, height);
    if (!StartDemo()) return AbandonCreation("Initialization Failed.");
    return true;
}

void CloseDemoWindow() {
    const unsigned failed = platform::Current().CloseWindow();
    constexpr struct {
        unsigned step;
        const char *text;
    } kTeardownFailures[] = {
        {platform::kReleaseCurrent, "Release Of DC And RC Failed."},
        {platform::kDeleteContext, "Release Rendering Context Failed."},
        {platform::kReleaseDevice, "Release Device Context Failed."},
        {platform::kDestroyWindow, "Could Not Release hWnd."},
        {platform::kUnregister, "Could Not Unregister Class."},
    };
    for (const auto &row : kTeardownFailures)
        if ((failed & row.step) != 0)
            platform::Current().ShowMessageBox(row.text, kTeardownCaption, Buttons::Ok, Icon::Information);
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
