#include "tests/windows/host/x_windows.h"

#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <memory>

namespace xwindows {
namespace {

// Windows come and go while the tests look at them (a box closes, a program
// re-creates its window): a request about one that has just gone fails. For
// these tests that means "no such window"; Xlib's default handler would end
// the whole test program.
int IgnoreXError(Display *, XErrorEvent *) { return 0; }

struct DisplayCloser {
    void operator()(Display *d) const { XCloseDisplay(d); }
};
using DisplayPtr = std::unique_ptr<Display, DisplayCloser>;

DisplayPtr Open() {
    XSetErrorHandler(IgnoreXError);
    return DisplayPtr(XOpenDisplay(nullptr));
}

}  // namespace

std::vector<TopWindow> Named(const std::string &name) {
    std::vector<TopWindow> found;
    DisplayPtr display = Open();
    if (!display) return found;
    Window root = DefaultRootWindow(display.get()), parent = 0;
    Window *children = nullptr;
    unsigned int count = 0;
    if (!XQueryTree(display.get(), root, &root, &parent, &children, &count)) return found;
    for (unsigned int i = 0; i < count; ++i) {
        // The raw bytes of the title, whatever its encoding.
        XTextProperty title{};
        if (!XGetWMName(display.get(), children[i], &title) || title.value == nullptr) continue;
        const bool match =
            name == std::string(reinterpret_cast<const char *>(title.value), title.nitems);
        XFree(title.value);
        XWindowAttributes attributes;
        if (!match || !XGetWindowAttributes(display.get(), children[i], &attributes) ||
            attributes.map_state != IsViewable)
            continue;
        found.push_back(TopWindow{children[i], attributes.x, attributes.y, attributes.width,
                                  attributes.height});
    }
    if (children != nullptr) XFree(children);
    return found;
}

bool RequestClose(unsigned long window) {
    DisplayPtr display = Open();
    if (!display) return false;
    XEvent event{};
    event.xclient.type = ClientMessage;
    event.xclient.window = window;
    event.xclient.message_type = XInternAtom(display.get(), "WM_PROTOCOLS", False);
    event.xclient.format = 32;
    event.xclient.data.l[0] = static_cast<long>(XInternAtom(display.get(), "WM_DELETE_WINDOW", False));
    event.xclient.data.l[1] = CurrentTime;
    const bool sent = XSendEvent(display.get(), window, False, NoEventMask, &event) != 0;
    XSync(display.get(), False);
    return sent;
}

bool AutoRepeatOff() {
    DisplayPtr display = Open();
    if (!display) return false;
    XAutoRepeatOff(display.get());
    XSync(display.get(), False);
    return true;
}

}  // namespace xwindows
