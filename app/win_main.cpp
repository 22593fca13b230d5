// The demo program on Windows: the GUI entry point. Its four arguments are not
// used: the window class takes the module handle itself, and the demo has no
// command line.
#include "app/demo_main.h"
#include "platform/native.h"
#include "platform/win32/win32_api.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) { return DemoMain(platform::NativePlatform()); }
