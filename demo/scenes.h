// The scene renderers, chosen by the scene state.
#pragma once

#include <cstdint>

// Draws the scene that belongs to this scene state into the back buffer
// (a state without a scene draws nothing). Returns 1.
int RenderScene(int32_t sceneState);
