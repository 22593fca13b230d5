// The demo's scenes: one renderer per scene, each drawing a whole frame of
// textured quads with OpenGL 1.1 immediate-mode calls, and the table that
// picks the renderer for the current scene state.
//
// Renderers save and restore no OpenGL state: each frame starts from what the
// previous one left (see RenderScene). Main thread only, with the demo's
// rendering context current and the texture set loaded (texture_set.h).
#pragma once

// Draws one frame of the scene selected by `sceneState`; `frameTime` is the
// elapsed demo time in seconds, read by the three fades only.
//
//   1      title fade: start, then start1 fading in from 3 s to 7 s
//   3      I1 zoom fade to I2: I1 magnified and fading out over I2, 13 s to 17 s
//   4      I2 cross-fade to I3, 13 s to 17 s
//   6      rotating I4 (turns in the picture's plane, 1 degree per frame)
//   7      still I5
//   8      tile grid I6 (100 tiles turning; also moves the slide values)
//   9      moving I7 (slides towards x = -0.1, then shakes about it)
//   10-19  still I8, I9, I10, I11, I12, I13, I14, I3, I16, I17
//   20     empty scene: no OpenGL call at all, not even a clear
//
// Returns 1 when the state has a scene, 0 (and draws nothing) otherwise.
//
// State left behind for the frames that follow: depth testing and lighting
// off from the title fade on; after the title fade blending off and colour
// (1, 1, 1, 1); after the zoom fade blending off and colour (1, 1, 1, 1 - a);
// after the cross-fade blending ON and colour (1, 1, 1, a) until a new
// rendering context is made; colour (1, 1, 1, 1) again from rotating I4 on.
// The modelview stack depth is the same after every scene as before it.
int RenderScene(int sceneState, float frameTime);

// Motion values carried from frame to frame and from scene to scene. They
// start at 0 when the program starts and are never reset, not even when a new
// window runs the start-up again.
extern float spinAngle;  // rotating I4's angle in degrees: used, then +1 per frame
extern float gridAngle;  // the tile grid's angle in degrees: +0.5 per frame
extern float slideX;     // walked by the tile grid, then the moving I7's x offset
extern float slideStep;  // the step added to slideX; I7 also uses it as its y offset
