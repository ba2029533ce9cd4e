// One point of a frame of the match file, as Twinscope keeps it in memory.
#pragma once

#include <stdint.h>

// link: array position of the linked point in the other array, negative for none.
// id: identifier of a match point (to-frame frames only); unused in world points.
struct WorldPoint {
    int32_t link;
    int32_t id;
    float position[3];
    float direction[3];
};

struct MatchPoint {
    int32_t link;
    int32_t id;
    float position[3];
    float direction[3];
};
