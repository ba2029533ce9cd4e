// Meshweaver's view content for the paint tests and benchmarks: the program's renderer or
// the immediate-mode reference, chosen per paint; the frame is read right after it.
#include "meshbuilder/draw_mesh.h"
#include "tests/view/paint_harness.h"
#include "view/view.h"

const float view_axis_length = 1.0f;

void init_view_content(ViewState* view) {
    view->vertex_count = 0;
    view->triangle_count = 0;
    view->vertices = nullptr;
    view->indices = nullptr;
}

void draw_view_content(ViewState* view) {
    if (paint_immediate) {
        draw_mesh_immediate(view);
    } else {
        draw_mesh(view);
    }
    record_paint();
}

void draw_mesh_immediate(ViewState* view) {
    const float* vertices = view->vertices;
    const int32_t* indices = view->indices;
    glBegin(GL_TRIANGLES);
    for (int32_t t = 0; t < view->triangle_count; ++t) {
        for (int k = 0; k < 3; ++k) {
            const float* v = vertices + 3 * (size_t)indices[3 * (size_t)t + k];
            glVertex3f(v[0], v[1], v[2]);
        }
    }
    glEnd();
}
