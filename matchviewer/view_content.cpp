// Twinscope's content for the view: axis length, start values of the content fields and the
// renderer the paint cycle calls.
#include "matchviewer/draw_frame.h"
#include "view/view.h"

const float view_axis_length = 0.2f;

void init_view_content(ViewState* view) {
    view->show_world = 1;
    view->show_matches = 1;
    view->show_links = 1;
    view->links_to_world = 0;
    for (int layer = 0; layer < 2; ++layer) {
        view->point_count[layer] = 0;
        view->point_array[layer] = nullptr;
    }
}

void draw_view_content(ViewState* view) {
    draw_frame_content(view);
}
