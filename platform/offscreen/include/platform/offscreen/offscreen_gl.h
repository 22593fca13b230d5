// An OpenGL compatibility context that renders into an invisible framebuffer
// of a chosen size and needs no display: for capturing frames and for tests
// that read back what OpenGL drew.
#pragma once

#include <string>

namespace platform {

class OffscreenGL {
public:
    OffscreenGL() = default;
    ~OffscreenGL();
    OffscreenGL(const OffscreenGL &) = delete;
    OffscreenGL &operator=(const OffscreenGL &) = delete;

    // Creates the context (RGBA, 16-bit depth) and makes it current. Only one
    // may exist in a process at a time. On failure returns false and says why.
    // The offscreen video driver and the OpenGL library it loads stay loaded
    // until the process ends.
    bool Create(int width, int height, std::string *error);
    void Destroy();

    int width() const { return width_; }
    int height() const { return height_; }

private:
    void *window_ = nullptr;   // SDL_Window*
    void *context_ = nullptr;  // SDL_GLContext
    int width_ = 0;
    int height_ = 0;
};

}  // namespace platform
