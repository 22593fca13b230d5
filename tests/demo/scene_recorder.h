// Stands in for the scene renderers in timeline tests: remembers which scene
// states were drawn, in order, and the frame time each one was given.
#pragma once

#include <cstdint>
#include <vector>

extern std::vector<int32_t> drawnScenes;
extern std::vector<float> drawnFrameTimes;
