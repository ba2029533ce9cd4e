#include "view/projection.h"

#include <cmath>

namespace {

Frustum make_frustum(float theta, float near_plane, float aspect) {
    Frustum f;
    // NOTE: the tangent and each product are rounded to float before use.
    const float tangent = (float)std::tan((double)theta);
    f.top = tangent * near_plane;
    f.bottom = -f.top;
    f.right = f.top * aspect;
    f.left = f.bottom * aspect;
    f.near_plane = near_plane;
    f.far_plane = 100.0f;
    return f;
}

}  // namespace

Frustum context_frustum(int client_width, int client_height) {
    // NOTE: an empty client area would divide by zero; it gets the square aspect that a
    // resize to height 0 gets.
    const float aspect =
        client_height > 0 ? (float)client_width / (float)client_height : 1.0f;
    return make_frustum(0.4f, 0.1f, aspect);
}

Frustum resize_frustum(int width, int height) {
    const float aspect = height != 0 ? (float)width / (float)height : 1.0f;
    return make_frustum(0.52359879f, 0.01f, aspect);
}
