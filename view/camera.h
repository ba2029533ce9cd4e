// The orbit camera: pure arithmetic on the camera fields of ViewState.
#pragma once

#include <stdint.h>

struct ViewState;

// R = Rx(angle_x) * Ry(angle_y) * Rz(angle_z) as 16 floats in OpenGL column order:
// elements 0-2 the side vector (the camera's left), 4-6 the up vector, 8-10 forward.
void compute_rotation(const ViewState* view, float matrix[16]);

// The home pose: eye on +z five units out, looking at the origin, +y up.
void reset_camera(ViewState* view);

// Key-state bits of mouse messages.
enum : uint32_t { CAMERA_MK_LBUTTON = 0x0001, CAMERA_MK_SHIFT = 0x0004, CAMERA_MK_CONTROL = 0x0008 };

// One drag step for a mouse move to (x, y) with the given key-state flags: pans, or orbits
// about center with CTRL. Returns true when the view must repaint.
bool camera_drag_step(ViewState* view, uint32_t flags, int x, int y);

// One wheel step: moves eye and center along the view direction by delta (120 a notch).
void camera_wheel_step(ViewState* view, uint32_t key_flags, int delta);
