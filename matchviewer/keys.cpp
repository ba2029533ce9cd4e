// The key commands of Twinscope's main window.
#include "matchviewer/match_app.h"
#include "matchviewer/scroll_rules.h"

namespace {

// Inverts one of the layer flags and repaints.
void toggle_layer(uint8_t FrameLayers::*flag) {
    ViewState* view = &app->view;
    FrameLayers* layers = &app->layers;
    {
        std::lock_guard<std::mutex> hold(view->paint_lock);
        layers->*flag = layers->*flag ? 0 : 1;
    }
    redraw_view(view);
}

void step_frame(int key) {
    const int32_t current = GetScrollPos(app->scroll_bar, SB_CTL);
    const int32_t target = key_step_target(key, current, app->frame_count);
    if (target == current) return;
    SetScrollPos(app->scroll_bar, SB_CTL, target, TRUE);
    load_frame(target);
}

}  // namespace

void handle_key(int key) {
    switch (key) {
        case VK_LEFT:
        case VK_RIGHT:
            step_frame(key);
            break;
        case 'C':
            capture_frames(app);
            break;
        case 'F':
            toggle_layer(&FrameLayers::show_matches);
            break;
        case 'L':
            toggle_layer(&FrameLayers::show_links);
            break;
        case 'R':
            reset_view_camera(&app->view);
            break;
        case 'W':
            toggle_layer(&FrameLayers::show_world);
            break;
    }
}
