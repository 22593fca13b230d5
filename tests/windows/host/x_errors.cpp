// Windows come and go while the tests look at them (a box closes, a program
// re-creates its window): an X request about a window that has just gone
// then fails. For these tests that means "no such window"; Xlib's default
// would end the whole test program.
#include <X11/Xlib.h>

namespace {

int IgnoreXError(Display *, XErrorEvent *) { return 0; }

const auto previousHandler = XSetErrorHandler(IgnoreXError);

}  // namespace
