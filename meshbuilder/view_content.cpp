// Meshweaver's content for the view: axis length, start values of the content fields and the
// renderer the paint cycle calls.
#include "meshbuilder/draw_mesh.h"
#include "view/view.h"

const float view_axis_length = 1.0f;

void init_view_content(ViewState* view) {
    view->vertex_count = 0;
    view->triangle_count = 0;
    view->vertices = nullptr;
    view->indices = nullptr;
}

void draw_view_content(ViewState* view) {
    draw_mesh(view);
}
