#include "meshbuilder/draw_mesh.h"

#include "view/view.h"

const float view_axis_length = 1.0f;

void init_view_content(ViewState* view) {
    view->vertex_count = 0;
    view->triangle_count = 0;
    view->vertices = nullptr;
    view->indices = nullptr;
}

void draw_view_content(ViewState* view) { draw_mesh(view); }

void draw_mesh(ViewState* view) {
    const float* vertices = view->vertices;
    const int32_t* indices = view->indices;
    // NOTE: no normal is issued; every vertex takes the current normal, as the light
    // model of the view expects.
    glBegin(GL_TRIANGLES);
    for (int32_t t = 0; t < view->triangle_count; ++t) {
        for (int k = 0; k < 3; ++k) {
            const float* v = vertices + 3 * (size_t)indices[3 * (size_t)t + k];
            glVertex3f(v[0], v[1], v[2]);
        }
    }
    glEnd();
}
