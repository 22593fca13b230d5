#include "demo/start_demo.h"

#include "demo/demo_clock.h"
#include "demo/texture_set.h"
#include "platform/opengl.h"

namespace {

// The state every scene draws with, set again in each new rendering context.
void SetFixedGLState() {
    glShadeModel(GL_SMOOTH);
    glClearColor(0.0f, 0.0f, 0.0f, 0.5f);
    glClearDepth(1.0);
    glEnable(GL_DEPTH_TEST);
    glDepthFunc(GL_LEQUAL);
    glHint(GL_PERSPECTIVE_CORRECTION_HINT, GL_NICEST);
}

}  // namespace

bool StartDemo() {
    // First, so the time spent loading counts as demo time.
    StartDemoClock();
    SetFixedGLState();
    // The whole texture set is loaded before texturing is switched on.
    LoadTextureSet();
    glEnable(GL_TEXTURE_2D);
    return true;
}
