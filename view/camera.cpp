#include "view/camera.h"

#include <cmath>

#include "view/view_state.h"

void compute_rotation(const ViewState* view, float matrix[16]) {
    // NOTE: every sine and cosine is rounded to float before the products are formed.
    const float sa = (float)std::sin((double)view->angle_x);
    const float ca = (float)std::cos((double)view->angle_x);
    const float sb = (float)std::sin((double)view->angle_y);
    const float cb = (float)std::cos((double)view->angle_y);
    const float sg = (float)std::sin((double)view->angle_z);
    const float cg = (float)std::cos((double)view->angle_z);

    matrix[0] = cb * cg;
    matrix[1] = ca * sg + sa * sb * cg;
    matrix[2] = sa * sg - ca * sb * cg;
    matrix[3] = 0.0f;
    matrix[4] = -cb * sg;
    matrix[5] = ca * cg - sa * sb * sg;
    matrix[6] = sa * cg + ca * sb * sg;
    matrix[7] = 0.0f;
    matrix[8] = sb;
    matrix[9] = -sa * cb;
    matrix[10] = ca * cb;
    matrix[11] = 0.0f;
    matrix[12] = 0.0f;
    matrix[13] = 0.0f;
    matrix[14] = 0.0f;
    matrix[15] = 1.0f;
}

void reset_camera(ViewState* view) {
    view->eye[0] = 0.0f;
    view->eye[1] = 0.0f;
    view->eye[2] = 5.0f;
    view->angle_x = 0.0f;
    view->angle_y = 3.1415927f;
    view->angle_z = 0.0f;
    float r[16];
    compute_rotation(view, r);
    for (int i = 0; i < 3; ++i) {
        view->center[i] = view->eye[i] + 5.0f * r[8 + i];
        view->up[i] = r[4 + i];
    }
}

bool camera_drag_step(ViewState* view, uint32_t flags, int x, int y) {
    const float step = (flags & CAMERA_MK_SHIFT) ? 0.001f : 0.01f;
    if (!(flags & CAMERA_MK_LBUTTON)) {
        view->dragging = 0;
        return false;
    }
    if (!view->dragging) return false;

    const int dx = x - view->last_x;
    const int dy = y - view->last_y;
    float r[16];
    if (flags & CAMERA_MK_CONTROL) {
        view->angle_x = view->angle_x - (float)dy * step;
        view->angle_y = view->angle_y - (float)dx * step;
        compute_rotation(view, r);
        for (int i = 0; i < 3; ++i) {
            view->eye[i] = view->center[i] - 5.0f * r[8 + i];
            view->up[i] = r[4 + i];
        }
    } else {
        compute_rotation(view, r);
        for (int i = 0; i < 3; ++i) {
            const float p = step * ((float)dx * r[i] + (float)dy * r[4 + i]);
            view->eye[i] += p;
            view->center[i] += p;
        }
    }
    view->last_x = x;
    view->last_y = y;
    return true;
}

void camera_wheel_step(ViewState* view, uint32_t key_flags, int delta) {
    const float step = (key_flags & CAMERA_MK_SHIFT) ? 0.0001f : 0.01f;
    float r[16];
    compute_rotation(view, r);
    for (int i = 0; i < 3; ++i) {
        const float d = (float)delta * r[8 + i] * step;
        view->eye[i] += d;
        view->center[i] += d;
    }
}
