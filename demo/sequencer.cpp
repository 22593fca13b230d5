#include "demo/sequencer.h"

#include "demo/demo_clock.h"
#include "demo/scenes.h"
#include "platform/platform.h"

platform::Soundtrack *soundtrackStream = nullptr;
int32_t sceneState = 1;

namespace {

struct SceneSwitch {
    int32_t second;
    int32_t state;
};

// Tested top to bottom, each row an equality test, so a second that no frame
// sees is skipped and its scene never shows. (75 stands before 70; as every
// row is its own test the order changes nothing.)
constexpr SceneSwitch kSceneSwitches[] = {
    {0, 1},   {10, 3},  {15, 4},  {25, 17}, {35, 6},  {42, 7},   {48, 8},   {52, 20},  {57, 9},
    {75, 10}, {70, 11}, {85, 12}, {90, 13}, {95, 14}, {100, 15}, {105, 16}, {110, 19}, {115, 18},
};

}  // namespace

int StepFrame() {
    // Asked every frame so the music starts with the first one; a stream
    // that already plays goes on undisturbed. Neither result is needed.
    platform::Sound &sound = platform::Current().sound();
    sound.Play(0, soundtrackStream);
    sound.PositionMs(soundtrackStream);

    ReadDemoClock();

    for (const SceneSwitch &row : kSceneSwitches) {
        if (row.second == elapsedSeconds) sceneState = row.state;
    }

    if (elapsedSeconds == kDemoEndSecond) {
        platform::Current().Exit(0);
        return 1;
    }

    RenderScene(sceneState, frameTime);
    return 1;
}
