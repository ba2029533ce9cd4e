// Scroll bar arithmetic: the Win32 range rules, classic geometry and interaction.
#include "platform/x11/scrollbar_model.h"

#include "platform/win32.h"

namespace {

int64_t clamp64(int64_t v, int64_t lo, int64_t hi) { return v < lo ? lo : (v > hi ? hi : v); }

// a * b / c rounded to nearest, for non-negative a, b and positive c (MulDiv's rounding).
int64_t mul_div_round(int64_t a, int64_t b, int64_t c) { return (a * b + c / 2) / c; }

// The position shown: the dragged one during a drag.
int shown_pos(const ScrollBarModel& bar) { return bar.dragging ? bar.track_pos : bar.pos; }

int code_of_part(ScrollBarPart part) {
    switch (part) {
    case SCROLL_ARROW_BACK: return SB_LINELEFT;
    case SCROLL_ARROW_FORWARD: return SB_LINERIGHT;
    case SCROLL_TRACK_BACK: return SB_PAGELEFT;
    case SCROLL_TRACK_FORWARD: return SB_PAGERIGHT;
    default: return -1;
    }
}

// Page and position back into the range after a change of any of the three.
void clamp_page_and_pos(ScrollBarModel& bar) {
    const int64_t positions = (int64_t)bar.max_pos - bar.min_pos + 1;
    if ((int64_t)bar.page > positions) bar.page = (unsigned)positions;
    bar.pos = (int)clamp64(bar.pos, bar.min_pos, scroll_bar_last_pos(bar));
}

}  // namespace

bool scroll_bar_range_allowed(int min_pos, int max_pos) {
    // NOTE: Win32 measures the span in 64 bits, so min > max is a negative span and allowed.
    return (int64_t)max_pos - (int64_t)min_pos <= (int64_t)0x7FFFFFFF;
}

void scroll_bar_set_range(ScrollBarModel& bar, int min_pos, int max_pos) {
    // NOTE: Win32 treats max < min as an invalid range and sets 0..0 instead: the bar is
    // then empty (no thumb) and every position clamps to 0.
    const bool valid = min_pos <= max_pos;
    bar.min_pos = valid ? min_pos : 0;
    bar.max_pos = valid ? max_pos : 0;
    clamp_page_and_pos(bar);
}

void scroll_bar_set_page(ScrollBarModel& bar, unsigned page) {
    bar.page = page;
    clamp_page_and_pos(bar);
}

int scroll_bar_set_pos(ScrollBarModel& bar, int pos) {
    const int previous = bar.pos;
    bar.pos = (int)clamp64(pos, bar.min_pos, scroll_bar_last_pos(bar));
    return previous;
}

int scroll_bar_last_pos(const ScrollBarModel& bar) {
    const int64_t last = (int64_t)bar.max_pos - (bar.page > 0 ? (int64_t)bar.page - 1 : 0);
    return (int)(last < bar.min_pos ? bar.min_pos : last);
}

bool scroll_bar_can_scroll(const ScrollBarModel& bar) {
    return scroll_bar_last_pos(bar) > bar.min_pos;
}

ScrollBarLayout scroll_bar_layout(const ScrollBarModel& bar) {
    ScrollBarLayout layout = {0, 0, 0};
    if (bar.length <= 0 || bar.thickness <= 0) return layout;
    // Square arrows as thick as the bar; they share a bar too short for two of them.
    layout.arrow = bar.thickness < bar.length / 2 ? bar.thickness : bar.length / 2;
    const int track = bar.length - 2 * layout.arrow;
    if (!scroll_bar_can_scroll(bar) || track <= 0) return layout;
    int64_t thumb = bar.thickness;
    if (bar.page > 0) {
        const int64_t positions = (int64_t)bar.max_pos - bar.min_pos + 1;
        thumb = mul_div_round(track, bar.page, positions);
        if (thumb < SCROLL_MIN_THUMB) thumb = SCROLL_MIN_THUMB;
    }
    if (thumb > track) return layout;  // too short for a thumb: arrows and track only
    const int64_t free_pixels = track - thumb;
    const int64_t span = (int64_t)scroll_bar_last_pos(bar) - bar.min_pos;
    const int64_t offset = (int64_t)shown_pos(bar) - bar.min_pos;
    layout.thumb_length = (int)thumb;
    layout.thumb_start = layout.arrow + (int)mul_div_round(free_pixels, clamp64(offset, 0, span), span);
    return layout;
}

ScrollBarPart scroll_bar_hit(const ScrollBarModel& bar, int along, int across) {
    if (along < 0 || across < 0 || along >= bar.length || across >= bar.thickness) return SCROLL_NOWHERE;
    const ScrollBarLayout layout = scroll_bar_layout(bar);
    if (along < layout.arrow) return SCROLL_ARROW_BACK;
    if (along >= bar.length - layout.arrow) return SCROLL_ARROW_FORWARD;
    if (layout.thumb_length == 0) {
        // NOTE: with no thumb the track's halves page back and forward.
        return along < bar.length / 2 ? SCROLL_TRACK_BACK : SCROLL_TRACK_FORWARD;
    }
    if (along < layout.thumb_start) return SCROLL_TRACK_BACK;
    if (along < layout.thumb_start + layout.thumb_length) return SCROLL_THUMB;
    return SCROLL_TRACK_FORWARD;
}

int scroll_bar_pos_from_thumb(const ScrollBarModel& bar, int thumb_start) {
    ScrollBarModel resting = bar;
    resting.dragging = false;
    const ScrollBarLayout layout = scroll_bar_layout(resting);
    const int track = bar.length - 2 * layout.arrow;
    const int64_t free_pixels = track - layout.thumb_length;
    if (layout.thumb_length == 0 || free_pixels <= 0) return bar.min_pos;
    const int64_t offset = clamp64((int64_t)thumb_start - layout.arrow, 0, free_pixels);
    const int64_t span = (int64_t)scroll_bar_last_pos(bar) - bar.min_pos;
    return (int)(bar.min_pos + mul_div_round(offset, span, free_pixels));
}

int scroll_bar_press(ScrollBarModel& bar, int along, int across) {
    bar.pressed = SCROLL_NOWHERE;
    bar.hot = false;
    bar.dragging = false;
    if (bar.disable_no_scroll && !scroll_bar_can_scroll(bar)) return -1;
    const ScrollBarPart part = scroll_bar_hit(bar, along, across);
    if (part == SCROLL_NOWHERE) return -1;
    bar.pressed = part;
    bar.hot = true;
    if (part == SCROLL_THUMB) {
        bar.dragging = true;
        bar.track_pos = bar.pos;
        bar.grab_offset = along - scroll_bar_layout(bar).thumb_start;
        return -1;
    }
    return code_of_part(part);
}

bool scroll_bar_repeats(const ScrollBarModel& bar) {
    return bar.pressed != SCROLL_NOWHERE && bar.pressed != SCROLL_THUMB;
}

bool scroll_bar_motion(ScrollBarModel& bar, int along, int across, ScrollBarAction* action) {
    if (bar.pressed == SCROLL_NOWHERE) return false;
    if (!bar.dragging) {
        bar.hot = scroll_bar_hit(bar, along, across) == bar.pressed;
        return false;
    }
    const int next = scroll_bar_pos_from_thumb(bar, along - bar.grab_offset);
    if (next == bar.track_pos) return false;
    bar.track_pos = next;
    if (action) *action = {SB_THUMBTRACK, next};
    return true;
}

int scroll_bar_repeat(ScrollBarModel& bar, int along, int across) {
    if (!scroll_bar_repeats(bar)) return -1;
    bar.hot = scroll_bar_hit(bar, along, across) == bar.pressed;
    return bar.hot ? code_of_part(bar.pressed) : -1;
}

int scroll_bar_release(ScrollBarModel& bar, ScrollBarAction out[2]) {
    if (bar.pressed == SCROLL_NOWHERE) return 0;
    int count = 0;
    if (bar.dragging) out[count++] = {SB_THUMBPOSITION, bar.track_pos};
    out[count++] = {SB_ENDSCROLL, 0};
    bar.pressed = SCROLL_NOWHERE;
    bar.hot = false;
    bar.dragging = false;
    return count;
}

int scroll_bar_key_code(unsigned virtual_key) {
    switch (virtual_key) {
    case VK_LEFT:
    case VK_UP: return SB_LINELEFT;
    case VK_RIGHT:
    case VK_DOWN: return SB_LINERIGHT;
    case VK_PRIOR: return SB_PAGELEFT;
    case VK_NEXT: return SB_PAGERIGHT;
    case VK_HOME: return SB_LEFT;
    case VK_END: return SB_RIGHT;
    default: return -1;
    }
}
