// Twinscope's view content for the paint tests and benchmarks: the program's renderer or the
// immediate-mode reference, chosen per paint; the frame is read right after it.
#include "matchviewer/draw_frame.h"
#include "matchviewer/match_points.h"
#include "tests/view/paint_harness.h"
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
    if (paint_immediate) {
        draw_frame_immediate(view);
    } else {
        draw_frame_content(view);
    }
    record_paint();
}

namespace {

const GLfloat kLinkedColour[2][3] = {{0.0f, 1.0f, 0.0f}, {0.0f, 1.0f, 1.0f}};
const GLfloat kUnlinkedColour[2][3] = {{0.0f, 0.0f, 1.0f}, {1.0f, 0.0f, 0.0f}};

const GLfloat* colour_of(int layer, const FramePoint& p) {
    return p.link >= 0 ? kLinkedColour[layer] : kUnlinkedColour[layer];
}

bool layer_shown(const ViewState* view, int layer) {
    return layer == 0 ? view->show_world != 0 : view->show_matches != 0;
}

}  // namespace

void draw_frame_immediate(ViewState* view) {
    glDisable(GL_LIGHTING);

    glPointSize(4.0f);
    glBegin(GL_POINTS);
    for (int layer = 0; layer < 2; ++layer) {
        if (!layer_shown(view, layer)) continue;
        const FramePoint* points = view->point_array[layer];
        for (int32_t i = 0; i < view->point_count[layer]; ++i) {
            glColor3fv(colour_of(layer, points[i]));
            glVertex3fv(points[i].position);
        }
    }
    glEnd();

    glLineWidth(1.0f);
    glBegin(GL_LINES);
    for (int layer = 0; layer < 2; ++layer) {
        if (!layer_shown(view, layer)) continue;
        const FramePoint* points = view->point_array[layer];
        for (int32_t i = 0; i < view->point_count[layer]; ++i) {
            const FramePoint& p = points[i];
            glColor3fv(colour_of(layer, p));
            glVertex3fv(p.position);
            glVertex3f(p.position[0] + 0.02f * p.direction[0],
                       p.position[1] + 0.02f * p.direction[1],
                       p.position[2] + 0.02f * p.direction[2]);
        }
    }
    glEnd();

    if (view->show_links) {
        const int from = view->links_to_world ? 1 : 0;
        const int to = 1 - from;
        const FramePoint* walked = view->point_array[from];
        const FramePoint* target = view->point_array[to];
        const int32_t target_count = view->point_count[to];
        glLineWidth(2.0f);
        glBegin(GL_LINES);
        glColor3f(1.0f, 1.0f, 1.0f);
        for (int32_t i = 0; i < view->point_count[from]; ++i) {
            const int32_t link = walked[i].link;
            if (link < 0 || link >= target_count) continue;
            glVertex3fv(walked[i].position);
            glVertex3fv(target[link].position);
        }
        glEnd();
    }

    glEnable(GL_LIGHTING);
}
