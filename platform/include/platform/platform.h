// The platform layer in the demo's own terms: its one window with an OpenGL
// rendering context, the messages that reach it, message boxes, the
// performance counter, the soundtrack and the process exit.
//
// The demo's shell (app/) and timeline (demo/) call only what is declared
// here. Each platform is a class derived from `Platform`, in a folder of its
// own: win32/ and sdl2/ for real, web/ in a browser, offscreen/ for the
// capture, scripted/ for tests. A program installs one with `Install` before
// the demo runs.
//
// Everything here runs on the program's one thread.
#pragma once

#include <cstdint>
#include <optional>

namespace platform {

// ---- the window -------------------------------------------------------------

// Something the window reports, handed to the window's event handler as it
// happens: while a message is taken (PollMessage) and, on some platforms,
// from inside OpenWindow and CloseWindow.
struct Event {
    enum class Kind {
        Activate,  // the window became active or inactive; `minimised` says whether it is minimised
        Close,     // the user asked to close the window
        KeyDown,   // `key` went down (a held key repeats this)
        KeyUp,     // `key` went up
        Resize,    // the client area is now `width` x `height` (height 0 when minimised)
    };
    Kind kind = Kind::Close;
    uintptr_t key = 0;  // the key's code (keys.h); a platform may report codes above 255
    bool minimised = false;
    int width = 0;
    int height = 0;
};
using EventHandler = void (*)(const Event &event);

struct WindowRequest {
    const char *title = "";
    int width = 0;   // the client area
    int height = 0;
    int bits = 0;    // colour bits per pixel of the display mode and of the pixel format
    bool fullscreen = false;
    EventHandler onEvent = nullptr;
};

// The steps of opening the window, in the order they run.
enum class OpenStep {
    Register,      // the window class (or the platform's video system)
    DisplayMode,   // the full-screen display mode: the display refuses it
    Create,        // the window itself
    Device,        // the window's device context
    ChooseFormat,  // a pixel format that serves the request: none found
    SetFormat,     // setting that pixel format on the window
    Context,       // creating the OpenGL rendering context
    Activate,      // making it current
};

// The steps of closing the window that can fail, as bits of CloseWindow's
// result. They run in this order.
enum CloseStep : unsigned {
    kReleaseCurrent = 1u << 0,  // making no rendering context current
    kDeleteContext = 1u << 1,
    kReleaseDevice = 1u << 2,
    kDestroyWindow = 1u << 3,
    kUnregister = 1u << 4,
};

// What one poll of the message queue took.
struct Message {
    bool quit = false;       // the quit that PostQuit asked for
    intptr_t parameter = 0;  // the quit's code; otherwise the platform's parameter of the
                             // message (a key message: the key's code)
};

enum class Buttons { Ok, YesNo };
enum class Icon { None, Exclamation, Stop, Information };
// What the user chose. Failed: the box could not be shown at all.
enum class Answer { Failed, Ok, Yes, No };

// ---- the soundtrack ------------------------------------------------------------

// An open soundtrack stream. Each platform derives its own; streams live
// until the sound that opened them goes away.
struct Soundtrack {
    virtual ~Soundtrack() = default;
};

// A soundtrack opened with this mode bit starts over at its end.
inline constexpr unsigned kSoundtrackLoop = 2;

class Sound {
public:
    virtual ~Sound() = default;
    // Starts the output at this mix rate (Hz) with this many software
    // channels; the flags change nothing in our sound outputs. True when an
    // output (possibly a silent one) is open.
    virtual bool Start(int mixRate, int channels, unsigned flags) = 0;
    // Opens a sound file as a stream without starting it (`size` 0: the
    // whole file). Null when it cannot be opened or decoded, or before Start.
    virtual Soundtrack *Open(const char *file, unsigned mode, int size) = 0;
    // Starts the stream on a channel; a stream that already plays goes on
    // undisturbed. The channel, or -1 on failure (a null stream included).
    virtual int Play(int channel, Soundtrack *stream) = 0;
    // The play position in milliseconds (0 before it starts); -1 for null.
    virtual int PositionMs(Soundtrack *stream) = 0;
};

// Plays nothing: starts, opens every stream without reading the file,
// accepts play requests and stays at position 0.
class SilentSound final : public Sound {
public:
    bool Start(int mixRate, int channels, unsigned flags) override;
    Soundtrack *Open(const char *file, unsigned mode, int size) override;
    int Play(int channel, Soundtrack *stream) override;
    int PositionMs(Soundtrack *stream) override;

private:
    Soundtrack stream_;
};

// ---- the platform -------------------------------------------------------------

class Platform {
public:
    virtual ~Platform() = default;

    // Opens the window and makes its rendering context current, running the
    // steps of OpenStep in order: nothing on success, else the step that
    // failed. What was built stays until CloseWindow, with one exception:
    // after DisplayMode failed nothing was built but the registration, which
    // the next OpenWindow reuses. A full-screen window hides the cursor.
    virtual std::optional<OpenStep> OpenWindow(const WindowRequest &request) = 0;
    // Undoes whatever OpenWindow built, in order: the display mode and the
    // cursor, the rendering context, the device context, the window, the
    // registration. A failed step does not stop the later ones; the result
    // has a CloseStep bit for each that failed.
    virtual unsigned CloseWindow() = 0;

    // Takes the next waiting message, without waiting: false when none
    // waits. A message the window handles reaches its event handler before
    // this returns. The quit comes once nothing else waits.
    virtual bool PollMessage(Message *message) = 0;
    virtual void PostQuit(int code) = 0;
    // Shows the frame drawn since the last one. Where the platform needs the
    // program to give way once per frame (a browser), it happens here.
    virtual void Present() = 0;

    // A modal box with no owner window; a null caption shows the platform's
    // default caption. Blocks until answered.
    virtual Answer ShowMessageBox(const char *text, const char *caption, Buttons buttons,
                                  Icon icon) = 0;

    // The performance counter: ticks per second (non-zero, never changes)
    // and the tick count now (never goes backwards).
    virtual int64_t CounterFrequency() = 0;
    virtual int64_t CounterNow() = 0;

    virtual Sound &sound() = 0;

    // Ends the process with this code, running the runtime's exit-time
    // clean-ups. Platforms that run the demo inside a bigger program (tests,
    // the capture) may return instead; the caller then returns at once.
    virtual void Exit(int code) = 0;

    // The folder the demo's files ("DemoFinal.mp3", "data.dat", "data/")
    // are read from; "" for the working folder.
    virtual const char *ContentFolder() { return ""; }
};

// The platform in use (not owned); a program installs one before the demo
// runs. Calling Current() with none installed ends the program with a
// message: it is the program's mistake, not the user's.
void Install(Platform *platform);
Platform &Current();
bool IsCurrent(const Platform &platform);

// The monotonic counter in nanoseconds that platforms without a counter of
// their own use.
int64_t SteadyCounterNow();
inline constexpr int64_t kSteadyCounterFrequency = 1000000000;

}  // namespace platform
