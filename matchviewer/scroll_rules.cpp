// Frame selection arithmetic of the scrollbar and the arrow keys.
#include "matchviewer/scroll_rules.h"

#include "platform/win32.h"

namespace {

// Clamps a step result: below 1 gives 1, otherwise above frame_count gives frame_count.
int32_t clamp_step(int64_t target, int32_t frame_count) {
    if (target < 1) return 1;
    if (target > frame_count) return frame_count;
    return (int32_t)target;
}

}  // namespace

int32_t scroll_page_size(int32_t frame_count) {
    const int32_t page = frame_count / 20;
    return page == 0 ? 1 : page;
}

int32_t scroll_target(int code, int32_t current, int32_t thumb, int32_t frame_count) {
    // NOTE: 64-bit sums, so a step from an extreme position cannot overflow.
    const int64_t cur = current;
    switch (code) {
        case SB_LINELEFT:
            return clamp_step(cur - 1, frame_count);
        case SB_LINERIGHT:
            return clamp_step(cur + 1, frame_count);
        case SB_PAGELEFT:
            return clamp_step(cur - scroll_page_size(frame_count), frame_count);
        case SB_PAGERIGHT:
            return clamp_step(cur + scroll_page_size(frame_count), frame_count);
        case SB_THUMBPOSITION:
        case SB_THUMBTRACK:
            return thumb;
        case SB_LEFT:
            return 1;
        case SB_RIGHT:
            return clamp_step(frame_count, frame_count);
        default:
            return current;
    }
}

int32_t key_step_target(int key, int32_t current, int32_t frame_count) {
    if (key == VK_LEFT) return clamp_step((int64_t)current - 1, frame_count);
    if (key == VK_RIGHT) return clamp_step((int64_t)current + 1, frame_count);
    return current;
}

int32_t clamp_frame_number(int32_t n, int32_t frame_count) {
    if (frame_count <= 0) return 0;
    if (n < 1) return 1;
    if (n > frame_count) return frame_count;
    return n;
}
