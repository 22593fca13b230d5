#include "platform/offscreen/offscreen_gl.h"
#include "platform/sdl2/keep_libraries_loaded.h"

#include <SDL.h>

namespace platform {

OffscreenGL::~OffscreenGL() { Destroy(); }

bool OffscreenGL::Create(int width, int height, std::string *error) {
    Destroy();
    // SDL's offscreen driver renders through EGL without any display server.
    // The video subsystem and the OpenGL library, once started, stay until
    // the process ends: unloading the system's OpenGL driver before then
    // would leave its own leftovers unattributed when a leak checker looks
    // at exit, and a later context would load it all again.
    static bool videoStarted = false;
    if (!videoStarted) {
        SDL_SetHint(SDL_HINT_VIDEODRIVER, "offscreen");
        if (SDL_InitSubSystem(SDL_INIT_VIDEO) != 0) {
            if (error) *error = std::string("cannot start offscreen video: ") + SDL_GetError();
            return false;
        }
        if (SDL_GL_LoadLibrary(nullptr) != 0) {
            if (error) *error = std::string("cannot load OpenGL: ") + SDL_GetError();
            SDL_QuitSubSystem(SDL_INIT_VIDEO);
            return false;
        }
        videoStarted = true;
    }
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_PROFILE_MASK, SDL_GL_CONTEXT_PROFILE_COMPATIBILITY);
    SDL_GL_SetAttribute(SDL_GL_RED_SIZE, 8);
    SDL_GL_SetAttribute(SDL_GL_GREEN_SIZE, 8);
    SDL_GL_SetAttribute(SDL_GL_BLUE_SIZE, 8);
    SDL_GL_SetAttribute(SDL_GL_DEPTH_SIZE, 16);
    SDL_Window *window = SDL_CreateWindow("offscreen", 0, 0, width, height,
                                          SDL_WINDOW_OPENGL | SDL_WINDOW_HIDDEN);
    if (window == nullptr) {
        if (error) *error = std::string("cannot create offscreen surface: ") + SDL_GetError();
        return false;
    }
    SDL_GLContext context = SDL_GL_CreateContext(window);
    if (context == nullptr) {
        if (error) *error = std::string("cannot create OpenGL context: ") + SDL_GetError();
        SDL_DestroyWindow(window);
        return false;
    }
    sdl2::KeepLoadedLibrariesLoaded();
    window_ = window;
    context_ = context;
    width_ = width;
    height_ = height;
    return true;
}

void OffscreenGL::Destroy() {
    if (window_ == nullptr) return;
    SDL_GL_MakeCurrent(static_cast<SDL_Window *>(window_), nullptr);
    SDL_GL_DeleteContext(static_cast<SDL_GLContext>(context_));
    SDL_DestroyWindow(static_cast<SDL_Window *>(window_));
    window_ = nullptr;
    context_ = nullptr;
    width_ = height_ = 0;
}

}  // namespace platform
