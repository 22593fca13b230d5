// The demo program: the platform it was built for, then the demo.
#include "app/demo_main.h"
#include "platform/native.h"

int main() {
    platform::InstallNativePlatform();
    return DemoMain();
}
