// Stands in for the scene renderers in timeline tests: remembers which scene
// states were drawn, in order.
#pragma once

#include <cstdint>
#include <vector>

extern std::vector<int32_t> drawnScenes;
