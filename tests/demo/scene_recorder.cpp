#include "tests/demo/scene_recorder.h"

#include "demo/scenes.h"

std::vector<int32_t> drawnScenes;
std::vector<float> drawnFrameTimes;

int RenderScene(int sceneState, float frameTime) {
    drawnScenes.push_back(sceneState);
    drawnFrameTimes.push_back(frameTime);
    return 1;
}
