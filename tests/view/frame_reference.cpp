// Twinscope's hand-off for the paint tests and benchmarks: the program's renderer or the
// immediate-mode reference, chosen per paint; the frame is read right after it.
#include "matchviewer/draw_frame.h"
#include "matchviewer/match_points.h"
#include "tests/view/paint_harness.h"
#include "view/view.h"

namespace {

// Calls visit(layer, point) for every point of the shown layers, world points first.
template <typename Visit>
void visit_shown_points(const FrameLayers* layers, Visit visit) {
    for (int layer = 0; layer < 2; ++layer) {
        if (!frame_layer_shown(layers, layer)) continue;
        const FramePoint* points = layers->point_array[layer];
        for (int32_t i = 0; i < layers->point_count[layer]; ++i) visit(layer, points[i]);
    }
}

}  // namespace

void hand_frame_to_view(ViewState* view, const FrameLayers* layers) {
    hand_to_view(view, frame_view_content(layers), draw_frame_immediate);
}

void draw_frame_immediate(const void* record) {
    const FrameLayers* layers = static_cast<const FrameLayers*>(record);
    glDisable(GL_LIGHTING);

    glPointSize(4.0f);
    glBegin(GL_POINTS);
    visit_shown_points(layers, [](int layer, const FramePoint& p) {
        glColor3fv(frame_point_colour(layer, p));
        glVertex3fv(p.position);
    });
    glEnd();

    glLineWidth(1.0f);
    glBegin(GL_LINES);
    visit_shown_points(layers, [](int layer, const FramePoint& p) {
        glColor3fv(frame_point_colour(layer, p));
        glVertex3fv(p.position);
        glVertex3f(p.position[0] + 0.02f * p.direction[0], p.position[1] + 0.02f * p.direction[1],
                   p.position[2] + 0.02f * p.direction[2]);
    });
    glEnd();

    if (layers->show_links) {
        const int from = layers->links_to_world ? 1 : 0;
        const int to = 1 - from;
        const FramePoint* walked = layers->point_array[from];
        const FramePoint* target = layers->point_array[to];
        const int32_t target_count = layers->point_count[to];
        glLineWidth(2.0f);
        glBegin(GL_LINES);
        glColor3f(1.0f, 1.0f, 1.0f);
        for (int32_t i = 0; i < layers->point_count[from]; ++i) {
            const int32_t link = walked[i].link;
            if (link < 0 || link >= target_count) continue;
            glVertex3fv(walked[i].position);
            glVertex3fv(target[link].position);
        }
        glEnd();
    }

    glEnable(GL_LIGHTING);
}
