// Paints the view's content through the view's own paint cycle in a GL window of the calling
// thread, set up as the view thread sets up its window, and reads back what the frame shows;
// either with the program's renderer or with the immediate-mode reference (one glVertex call
// per vertex, as the renderers drew before they used vertex arrays).
#pragma once

#include <stdint.h>

#include <vector>

#include "platform/win32.h"

#include "view/view_state.h"

struct FrameLayers;
struct MeshRecord;

// What one paint left: the pixels of the frame (RGBA rows, bottom row first) and the state
// the content renderer leaves to what follows it.
struct PaintResult {
    int width = 0;
    int height = 0;
    std::vector<uint8_t> pixels;
    GLfloat current_colour[4] = {};
    GLboolean lighting = GL_FALSE;
    GLboolean vertex_array = GL_FALSE;
    GLboolean colour_array = GL_FALSE;
    GLfloat point_size = 0;
    GLfloat line_width = 0;
};

// Creates a visible window of the given client size with a current GL context, viewport,
// projection, fixed state and light of the view. False when there is no GL.
bool open_paint_window(int width, int height);

// Runs the view's paint cycle (paint_view) on view with the program's renderer or the
// immediate-mode reference and returns what the frame shows.
PaintResult paint_and_read(ViewState* view, bool immediate);

// Runs the view's paint cycle on view as paint_and_read does, reading nothing back, and
// waits until the renderer has finished the frame.
void paint_and_finish(ViewState* view, bool immediate);

// Pixels that are not the black background.
int64_t drawn_pixels(const PaintResult& result);

// Pixels that differ between two paints of the same size.
int64_t differing_pixels(const PaintResult& a, const PaintResult& b);

// Hands view the program's content (axis length, record) with a renderer that draws the
// record with the program's renderer or with reference, as paint_and_read asks, and then
// reads what the frame shows.
void hand_to_view(ViewState* view, const ViewContent& program, void (*reference)(const void*));

// Supplied by the reference file of each program (tests/view/*_reference.cpp): hand_to_view
// with the program's own content and its immediate-mode reference.
void hand_mesh_to_view(ViewState* view, const MeshRecord* mesh);
void hand_frame_to_view(ViewState* view, const FrameLayers* layers);
// The immediate-mode references, drawing a MeshRecord and a FrameLayers record.
void draw_mesh_immediate(const void* record);
void draw_frame_immediate(const void* record);
