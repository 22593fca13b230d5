// The demo program on the platform it is built for.
#include "app/demo_main.h"
#include "platform/native.h"

int main() { return DemoMain(platform::NativePlatform()); }
