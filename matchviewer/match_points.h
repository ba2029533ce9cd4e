// One point of a frame of the match file, as Twinscope keeps it in memory.
#pragma once

#include <stdint.h>

// World points and match points share one layout, so the view can walk both layers of a
// frame by layer number.
// link: array position of the linked point in the other array, negative for none.
// id: identifier of a match point (to-frame frames only); unused in world points.
struct FramePoint {
    int32_t link;
    int32_t id;
    float position[3];
    float direction[3];
};

using WorldPoint = FramePoint;
using MatchPoint = FramePoint;
