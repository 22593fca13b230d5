// Entry point of the demo. The window, sound and timeline are not built yet.
#include <cstdio>

int main() {
    std::puts("Vandrel: the demo's window and timeline are not built yet; nothing to show.");
    return 0;
}
