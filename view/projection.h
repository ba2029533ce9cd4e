// The view's two perspective projections, in single precision.
#pragma once

struct Frustum {
    float left, right, bottom, top, near_plane, far_plane;
};

// The projection set with the context: half-angle 0.4 rad, near 0.1, far 100.
Frustum context_frustum(int client_width, int client_height);
// The projection every resize sets: half-angle pi/6, near 0.01, far 100.
Frustum resize_frustum(int width, int height);
