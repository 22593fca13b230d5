#include "tests/demo/scene_recorder.h"

#include "demo/scenes.h"

std::vector<int32_t> drawnScenes;

int RenderScene(int32_t sceneState) {
    drawnScenes.push_back(sceneState);
    return 1;
}
