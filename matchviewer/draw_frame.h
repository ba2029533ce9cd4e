// Twinscope's content for the view: dots, direction ticks and correspondence lines of the
// frame on show.
#pragma once

#include <stdint.h>

#include "matchviewer/match_points.h"
#include "platform/win32.h"
#include "view/view_state.h"

// The layers of the frame on show and which of them are drawn. Index 0 is the world points,
// 1 the match points; the arrays belong to the application and are only read by the view.
struct FrameLayers {
    uint8_t show_world;
    uint8_t show_matches;
    uint8_t show_links;
    uint8_t links_to_world;  // 1: lines start at the match points; 0: at the world points
    int32_t point_count[2];
    const FramePoint* point_array[2];
};

// The colour of a point's dot and tick (RGB): green or blue for world points, cyan or red
// for match points, the first of each pair when the point is linked.
const GLfloat* frame_point_colour(int layer, const FramePoint& p);

// Whether layer (0: world points, 1: match points) is shown.
bool frame_layer_shown(const FrameLayers* layers, int layer);

// Every layer shown, no points.
void init_frame_layers(FrameLayers* layers);

// Draws the shown layers of layers: dots, ticks, then the links.
void draw_frame_content(const FrameLayers* layers);

// What Twinscope hands its view: axes of length 0.2 and draw_frame_content over the
// program's own layers (changed only under the view's paint lock).
ViewContent frame_view_content(const FrameLayers* layers);
