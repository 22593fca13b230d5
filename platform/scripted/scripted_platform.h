// A scripted stand-in for the whole platform, for tests: it queues messages
// the test posts, fails the steps the test names, answers message boxes as
// told, runs a counter the test moves, records sound calls and exit requests,
// and logs every call in order so a test can read back what happened.
#pragma once

#include "platform/counter.h"
#include "platform/process_exit.h"
#include "platform/sound.h"
#include "platform/window_system.h"

#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace platform::scripted {

// The steps that can be made to fail.
enum class Step {
    RegisterClass,
    UnregisterClass,
    SwitchDisplayMode,
    CreateWindow,
    DestroyWindow,
    AcquireDeviceContext,
    ReleaseDeviceContext,
    ChoosePixelFormat,
    ApplyPixelFormat,
    CreateRenderContext,
    MakeContextCurrent,  // making a context current
    ReleaseCurrent,      // making no context current
    DeleteRenderContext,
};

struct ShownBox {
    std::string text;
    std::optional<std::string> caption;  // none: the platform's default caption
    MessageBoxButtons buttons = MessageBoxButtons::Ok;
    MessageBoxIcon icon = MessageBoxIcon::None;
    bool displaySwitched = false;  // whether a full-screen mode was in force
    int windowsAlive = 0;          // windows that existed while it showed
};

class ScriptedPlatform final : public WindowSystem,
                               public PerformanceCounter,
                               public SoundSystem,
                               public ProcessExit {
public:
    ScriptedPlatform();
    ~ScriptedPlatform() override;  // uninstalls itself if installed

    // Makes this object the window system, counter, sound system and process
    // exit of the process.
    void Install();

    // ---- script --------------------------------------------------------
    void Fail(Step step) { failing_.insert(step); }
    void Succeed(Step step) { failing_.erase(step); }
    // Answers for the next message boxes, in order. When none is queued a
    // box is answered with its first button (OK or Yes).
    void Answer(MessageBoxAnswer answer) { answers_.push_back(answer); }
    // Queues a message for the current window (or for none when there is no
    // window).
    void Post(MessageKind kind, uintptr_t wParam = 0, intptr_t lParam = 0);
    void PostKeyDown(int key) { Post(MessageKind::KeyDown, static_cast<uintptr_t>(key)); }
    void PostKeyUp(int key) { Post(MessageKind::KeyUp, static_cast<uintptr_t>(key)); }
    // Activation as the window reports it: minimised or not.
    void PostActivate(bool minimised);
    // The display does or does not offer full-screen modes.
    void SetFullscreenOffered(bool offered) { fullscreenOffered_ = offered; }
    // Called whenever a poll finds nothing waiting (an idle pass of a
    // message loop), before the poll returns: the place to script what
    // happens next, frame by frame.
    std::function<void()> onIdle;
    // Adds a line to the call log (tests mark their own events in it).
    void Note(const std::string &line) { log_.push_back(line); }

    // ---- read back -----------------------------------------------------
    const std::vector<std::string> &log() const { return log_; }
    void ClearLog() { log_.clear(); }
    const std::vector<ShownBox> &boxes() const { return boxes_; }
    size_t pendingMessages() const { return queue_.size() + (quitCode_ ? 1 : 0); }
    bool displaySwitched() const { return displaySwitched_; }
    int cursorCount() const { return cursorCount_; }
    int windowsAlive() const { return static_cast<int>(windows_.size()); }
    int renderContextsAlive() const { return static_cast<int>(renderContexts_.size()); }
    int deviceContextsHeld() const { return static_cast<int>(deviceContexts_.size()); }
    bool classRegistered() const { return !classes_.empty(); }
    RenderContextHandle currentContext() const { return current_; }
    WindowHandle currentWindow() const;
    const std::optional<WindowClass> &lastClass() const { return lastClass_; }
    const std::optional<WindowCreation> &lastCreation() const { return lastCreation_; }
    std::string lastCreationTitle() const { return lastTitle_; }
    const std::optional<PixelFormatDescriptor> &lastPixelFormat() const { return lastPixelFormat_; }
    const std::optional<DisplayMode> &lastDisplayMode() const { return lastDisplayMode_; }
    // Set when a loop polled far more often than any test needs: a runaway.
    bool runaway() const { return runaway_; }

    // Counter
    int64_t frequency = 1000;
    int64_t now = 0;

    // Sound
    bool soundInitFails = false;
    bool streamOpenFails = false;
    int playRequests = 0;
    int positionQueries = 0;
    SoundStream *lastPlayedStream = nullptr;

    // Process exit
    std::optional<int> exitCode;

    // ---- WindowSystem ---------------------------------------------------
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

    // ---- PerformanceCounter ---------------------------------------------
    int64_t Frequency() override;
    int64_t Now() override;

    // ---- SoundSystem ----------------------------------------------------
    bool Init(int mixRate, int maxSoftwareChannels, unsigned int flags) override;
    SoundStream *OpenStream(const char *name, unsigned int mode, int size) override;
    int Play(int channel, SoundStream *stream) override;
    int PositionMs(SoundStream *stream) override;

    // ---- ProcessExit ----------------------------------------------------
    void Exit(int exitCode) override;

private:
    bool Fails(Step step) const { return failing_.count(step) != 0; }

    std::vector<std::string> log_;
    std::set<Step> failing_;
    std::deque<MessageBoxAnswer> answers_;
    std::deque<Message> queue_;
    std::optional<int> quitCode_;
    std::vector<ShownBox> boxes_;
    std::map<std::string, WindowProc> classes_;
    std::map<WindowHandle, WindowProc> windows_;
    std::set<DeviceContextHandle> deviceContexts_;
    std::set<RenderContextHandle> renderContexts_;
    std::vector<std::unique_ptr<SoundStream>> streams_;
    RenderContextHandle current_ = nullptr;
    uintptr_t nextHandle_ = 0x100;
    bool fullscreenOffered_ = true;
    bool displaySwitched_ = false;
    int cursorCount_ = 0;
    long polls_ = 0;
    bool runaway_ = false;
    bool installed_ = false;
    std::optional<WindowClass> lastClass_;
    std::optional<WindowCreation> lastCreation_;
    std::string lastTitle_;
    std::optional<PixelFormatDescriptor> lastPixelFormat_;
    std::optional<DisplayMode> lastDisplayMode_;
};

// "KeyDown", "Activate", ... for logs and failure messages; the number in
// hexadecimal for other codes.
std::string KindName(MessageKind kind);

}  // namespace platform::scripted
