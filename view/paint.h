// The steps of the view's paint cycle, for the view thread and for tests that paint the
// view's content in a GL window of their own.
#pragma once

#include "platform/win32.h"

struct ViewState;

// The pixel format the view asks for: double-buffered RGBA, 24 colour bits, 32 depth and
// 32 stencil bits.
PIXELFORMATDESCRIPTOR view_pixel_format_request();

// The fixed state of every paint: clear colour, back-face culling, depth test, normalising.
void set_fixed_state();
// The one light of the scene.
void setup_lights();
// One frame: clear, camera, axes, the handed-over content, swap. Holds the paint lock.
void paint_view(ViewState* view);
