// The page around the demo in the browser (web/index.html, web/page.js), as
// C++ sees it: the calls the web platform makes to show the demo in a canvas,
// read the clock, play the soundtrack, switch fullscreen, ask the user and
// take keys. They are JavaScript (web_page.js) and reach the page through
// the object it handed to the module.
//
// The calls marked "waits" suspend the program until the browser answers
// (the module is built with Asyncify), so the demo's blocking code runs as
// it is: the browser goes on painting and taking input meanwhile.
//
// Everything here runs on the page's one thread.
#pragma once

#include <cstdint>

extern "C" {

// ---- time ---------------------------------------------------------------

// The page's clock in milliseconds: the browser's monotonic clock, or the
// tests' virtual clock when the page runs with one (?clock=virtual). Never
// goes backwards.
double WebPageNowMs();

// ---- the canvas ---------------------------------------------------------

// Puts a new canvas (640 x 480 pixels, shown at the page's scale) in the
// page and makes a WebGL 1 context with a depth buffer on it current, with
// the OpenGL 1.1 emulation set up afresh for it. A new canvas each time: a
// canvas keeps its one WebGL context for life, and a re-created window must
// start from OpenGL's defaults with no texture of the last one. Returns 1,
// or 0 when the browser gives no WebGL.
int WebPageCreateGLContext();

// Loses the current context (its textures and buffers go with it) and takes
// its canvas out of the page. Harmless without one.
void WebPageDestroyGLContext();

// Waits for the browser's next animation frame: what was drawn since the
// last call is shown, and the page handles its events meanwhile. The frame
// rate is the display's; frames stop while the page is hidden.
void WebPagePresent();

// ---- fullscreen ---------------------------------------------------------

// Asks the browser to show the canvas fullscreen. Waits for the answer: 1
// once it is shown fullscreen, 0 when the browser refused (no user action
// came before the request, or fullscreen is not allowed here).
int WebPageEnterFullscreen();

// Leaves fullscreen, if the canvas is shown so. Waits until it is left.
void WebPageLeaveFullscreen();

// ---- message boxes ------------------------------------------------------

enum WebPageButtons { kWebPageOk = 0, kWebPageYesNo = 1 };
enum WebPageAnswer { kWebPageAnswerOk = 1, kWebPageAnswerYes = 6, kWebPageAnswerNo = 7 };

// Shows `text` in a modal dialog of the page with the title `caption` (none
// when null) and the buttons; waits until the user answers and returns the
// answer. Enter chooses OK or Yes; Escape closes an OK box and does nothing
// in a Yes/No box, which needs an answer.
int WebPageMessageBox(const char *text, const char *caption, int buttons);

// ---- input --------------------------------------------------------------

enum WebPageEventKind {
    kWebPageKeyDown = 1,  // `code`: the key's key code (platform/keys.h)
    kWebPageKeyUp = 2,
    kWebPageActivate = 3,  // `code`: 1 when the page was hidden (minimised), 0 when shown
};

struct WebPageEvent {
    int32_t kind;
    int32_t code;
};

// Takes the oldest event the page queued since the last call: 1 and the
// event, or 0 when none waits. Keys come only while the demo runs and no
// dialog is open; keys the demo does not know are not queued.
int WebPagePollEvent(WebPageEvent *event);

// Whether the user started the demo with the start button (1: the demo
// starts fullscreen, as on the desktop) or the page started it at once
// (?autostart, 0: windowed).
int WebPageStartsFullscreen();

// ---- the soundtrack -----------------------------------------------------

// Opens the sound file `name` (relative to the page). The page fetched and
// decoded it while it loaded; this waits for that to finish. Returns 1 when
// it is ready to play, 0 when it is missing or cannot be decoded.
int WebPageOpenSoundtrack(const char *name);

// Starts the opened soundtrack (looping when `loop` is non-zero). Once it
// plays, further calls change nothing. Where the browser holds sound back
// until the user acts, it starts then.
void WebPagePlaySoundtrack(int loop);

// Milliseconds of the soundtrack played so far (within the current loop);
// 0 before it starts.
int WebPageSoundtrackPositionMs();

}  // extern "C"
