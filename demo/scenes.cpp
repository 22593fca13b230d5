#include "demo/scenes.h"

#include "demo/texture_set.h"
#include "platform/opengl.h"

float spinAngle = 0.0f;
float gridAngle = 0.0f;
float slideX = 0.0f;
float slideStep = 0.0f;

namespace {

// The unit picture quad centred on the origin in the z = 0 plane, corners
// counter-clockwise from the bottom left, with the texture window
// (s0, t0)-(s1, t1) spread over it. No per-vertex colour: the current colour
// tints and fades the picture.
void DrawPictureQuad(float s0 = 0.0f, float t0 = 0.0f, float s1 = 1.0f, float t1 = 1.0f) {
    glBegin(GL_QUADS);
    glTexCoord2f(s0, t0);
    glVertex3f(-0.5f, -0.5f, 0.0f);
    glTexCoord2f(s1, t0);
    glVertex3f(0.5f, -0.5f, 0.0f);
    glTexCoord2f(s1, t1);
    glVertex3f(0.5f, 0.5f, 0.0f);
    glTexCoord2f(s0, t1);
    glVertex3f(-0.5f, 0.5f, 0.0f);
    glEnd();
}

// A texture that never loaded has name 0, OpenGL's default texture with no
// image, so its quad comes out in the current colour alone.
void DrawPicture(const Texture &picture) {
    glBindTexture(GL_TEXTURE_2D, picture.texId);
    DrawPictureQuad();
}

// Every scene but the title fade and the tile grid starts by clearing and
// placing the picture one unit in front of the eye.
void OpenScene() {
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    glLoadIdentity();
    glPushMatrix();
    glTranslatef(0.0f, 0.0f, -1.0f);
}

void CloseScene() { glPopMatrix(); }

void BlendByAlpha() {
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
}

// Progress of the two fades that run from 13 s to 17 s, held within 0..1.
float FadeProgress(float frameTime) {
    float a = (frameTime - 13.0f) / 4.0f;
    if (a < 0.0f) a = 0.0f;
    if (a > 1.0f) a = 1.0f;
    return a;
}

int RenderStill(const Texture &picture) {
    OpenScene();
    DrawPicture(picture);
    CloseScene();
    return 1;
}

// start1 fades in over start from 3 s to 7 s. The alpha is left unclamped:
// OpenGL clamps colour components to 0..1, so before 3 s start1 is invisible
// and from 7 s on it is opaque. Depth testing goes off here for good.
int RenderTitleFade(float frameTime) {
    const float alpha = (frameTime - 3.0f) / 4.0f;
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    glDisable(GL_DEPTH_TEST);
    glDisable(GL_LIGHTING);
    glLoadIdentity();
    glPushMatrix();
    glTranslatef(0.0f, 0.0f, -1.0f);
    DrawPicture(textures::start);
    BlendByAlpha();
    glColor4f(1.0f, 1.0f, 1.0f, alpha);
    DrawPicture(textures::start1);
    glDisable(GL_BLEND);
    glColor4f(1.0f, 1.0f, 1.0f, 1.0f);
    CloseScene();
    return 1;
}

// I1 fades out over I2 while its texture window shrinks towards the picture's
// centre, so I1 grows as it fades. The faded colour is left current.
int RenderZoomFade(float frameTime) {
    const float a = FadeProgress(frameTime);
    OpenScene();
    DrawPicture(textures::I2);
    BlendByAlpha();
    glColor4f(1.0f, 1.0f, 1.0f, 1.0f - a);
    glBindTexture(GL_TEXTURE_2D, textures::I1.texId);
    DrawPictureQuad(a, a, 1.0f - a, 1.0f - a);
    glDisable(GL_BLEND);
    CloseScene();
    return 1;
}

// I3 fades in over I2. Blending stays on afterwards, so from the second frame
// on I2 itself is drawn with the previous frame's alpha; once the fade is
// complete (alpha 1) everything drawn later is opaque again.
int RenderCrossFade(float frameTime) {
    const float a = FadeProgress(frameTime);
    OpenScene();
    DrawPicture(textures::I2);
    BlendByAlpha();
    glColor4f(1.0f, 1.0f, 1.0f, a);
    DrawPicture(textures::I3);
    CloseScene();
    return 1;
}

// I4 turns about the view axis, in its own plane, one degree per frame.
int RenderRotatingI4() {
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    glColor4f(1.0f, 1.0f, 1.0f, 1.0f);
    glLoadIdentity();
    glPushMatrix();
    glTranslatef(0.0f, 0.0f, -1.0f);
    glRotatef(spinAngle, 0.0f, 0.0f, 1.0f);
    spinAngle += 1.0f;
    DrawPicture(textures::I4);
    CloseScene();
    return 1;
}

// A 10 x 10 grid of I6 tiles, edge to edge, turning about the centre of tile
// (5, 5). The slide values walk between about -5.1 and -0.3 in steps of 0.3
// while this scene runs; it does not draw with them, they are where the
// moving I7 scene starts from.
int RenderTileGridI6() {
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    glLoadIdentity();
    glTranslatef(0.0f, 0.0f, -1.0f);
    glRotatef(gridAngle, 0.0f, 0.0f, 1.0f);
    for (int i = 0; i < 10; ++i) {
        for (int j = 0; j < 10; ++j) {
            glPushMatrix();
            glTranslatef(static_cast<float>(i - 5), static_cast<float>(j - 5), -0.7f);
            DrawPicture(textures::I6);
            glPopMatrix();
        }
    }
    gridAngle += 0.5f;

    if (slideX >= -0.6f) slideStep = -0.3f;
    if (slideX <= -5.0f) slideStep = 0.3f;
    slideX += slideStep;
    return 1;
}

// I7 travels from where the tile grid left slideX towards x = -0.1 by 1/15 of
// a unit per frame, then shakes about that point; its y offset is the step of
// the frame before.
int RenderMovingI7() {
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    glLoadIdentity();
    glPushMatrix();
    glTranslatef(slideX, slideStep, -1.0f);
    slideStep = slideX > -0.1f ? -0.1f : 0.1f;
    slideX += slideStep / 1.5f;
    DrawPicture(textures::I7);
    CloseScene();
    return 1;
}

}  // namespace

int RenderScene(int sceneState, float frameTime) {
    using namespace textures;
    switch (sceneState) {
    case 1: return RenderTitleFade(frameTime);
    case 3: return RenderZoomFade(frameTime);
    case 4: return RenderCrossFade(frameTime);
    case 6: return RenderRotatingI4();
    case 7: return RenderStill(I5);
    case 8: return RenderTileGridI6();
    case 9: return RenderMovingI7();
    case 10: return RenderStill(I8);
    case 11: return RenderStill(I9);
    case 12: return RenderStill(I10);
    case 13: return RenderStill(I11);
    case 14: return RenderStill(I12);
    case 15: return RenderStill(I13);
    case 16: return RenderStill(I14);
    case 17: return RenderStill(I3);
    case 18: return RenderStill(I16);
    case 19: return RenderStill(I17);
    case 20: return 1;  // the empty scene: the frame keeps whatever the buffer holds
    default: return 0;
    }
}
