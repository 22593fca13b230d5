#include "demo/scenes.h"

#include "platform/opengl.h"

// Until the scene renderers are written every scene is the same: the cleared
// screen, colour and depth alike.
int RenderScene(int32_t) {
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    return 1;
}
