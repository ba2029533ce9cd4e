// The key commands of Twinscope's main window.
#include "matchviewer/keys.h"

#include "matchviewer/capture.h"
#include "matchviewer/scroll_rules.h"

namespace {

// Inverts one of the layer flags and repaints.
void toggle_layer(MatchApp* app, uint8_t FrameLayers::*flag) {
    {
        std::lock_guard<std::mutex> hold(app->view.paint_lock);
        app->layers.*flag = app->layers.*flag ? 0 : 1;
    }
    redraw_view(&app->view);
}

}  // namespace

void handle_key(MatchApp* app, int key) {
    switch (key) {
        case VK_LEFT:
        case VK_RIGHT:
            go_to_frame(
                app, key_step_target(key, GetScrollPos(app->scroll_bar, SB_CTL), app->frame_count));
            break;
        case 'C':
            capture_frames(app);
            break;
        case 'F':
            toggle_layer(app, &FrameLayers::show_matches);
            break;
        case 'L':
            toggle_layer(app, &FrameLayers::show_links);
            break;
        case 'W':
            toggle_layer(app, &FrameLayers::show_world);
            break;
    }
}
