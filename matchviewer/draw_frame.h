// Twinscope's content renderer: dots, direction ticks and correspondence lines of a frame.
#pragma once

struct ViewState;

void draw_frame_content(ViewState* view);
