#include "tests/app/x_client.h"

#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <memory>

namespace xtest {
namespace {

using DisplayPtr = std::unique_ptr<Display, decltype(&XCloseDisplay)>;
DisplayPtr Open() { return DisplayPtr(XOpenDisplay(nullptr), &XCloseDisplay); }

}  // namespace

std::vector<TopWindow> WindowsNamed(const std::string &name) {
    std::vector<TopWindow> found;
    DisplayPtr display = Open();
    Window root = 0, parent = 0, *children = nullptr;
    unsigned int count = 0;
    if (!display || !XQueryTree(display.get(), DefaultRootWindow(display.get()), &root, &parent,
                                &children, &count))
        return found;
    for (unsigned int i = 0; i < count; ++i) {
        XTextProperty title{};  // raw bytes, whatever the encoding (boxes use UTF-8)
        if (!XGetWMName(display.get(), children[i], &title) || title.value == nullptr) continue;
        const bool match = name == std::string(reinterpret_cast<char *>(title.value), title.nitems);
        XFree(title.value);
        XWindowAttributes a;
        if (match && XGetWindowAttributes(display.get(), children[i], &a) &&
            a.map_state == IsViewable)
            found.push_back(TopWindow{children[i], a.width, a.height});
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
    event.xclient.data.l[0] =
        static_cast<long>(XInternAtom(display.get(), "WM_DELETE_WINDOW", False));
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

}  // namespace xtest
