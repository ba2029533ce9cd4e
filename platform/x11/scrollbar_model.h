// Scroll bar arithmetic with no window behind it: range, page and position as Win32 keeps
// them, the classic geometry (arrows, track, thumb), hit testing, and the mouse and
// keyboard interaction that turns presses, drags and held buttons into SB_* codes.
//
// Used by the SCROLLBAR control (horizontal or vertical) and by the EDIT control for its
// own vertical bar. Coordinates are "along" (x of a horizontal bar, y of a vertical one) and
// "across", both relative to the bar's own rectangle.
#pragma once

#include <stdint.h>

enum ScrollBarPart {
    SCROLL_NOWHERE,
    SCROLL_ARROW_BACK,     // left or top arrow
    SCROLL_TRACK_BACK,     // track between the back arrow and the thumb
    SCROLL_THUMB,
    SCROLL_TRACK_FORWARD,  // track between the thumb and the forward arrow
    SCROLL_ARROW_FORWARD,  // right or bottom arrow
};

// Smallest thumb, in pixels, when a page size makes the thumb proportional.
constexpr int SCROLL_MIN_THUMB = 8;

struct ScrollBarModel {
    int length = 0;     // pixels along the bar
    int thickness = 0;  // pixels across
    int min_pos = 0;
    int max_pos = 0;
    unsigned page = 0;
    int pos = 0;
    // An EDIT's own bar shows grey arrows and ignores clicks while there is nothing to
    // scroll; a SCROLLBAR control stays live (its owner decides what a click means).
    bool disable_no_scroll = false;

    // Mouse interaction.
    ScrollBarPart pressed = SCROLL_NOWHERE;  // part under the button press, or nowhere
    bool hot = false;        // the pointer is still over the pressed part
    bool dragging = false;   // the thumb is being dragged
    int track_pos = 0;       // the position the dragged thumb shows
    int grab_offset = 0;     // pointer offset into the thumb at the press
};

struct ScrollBarLayout {
    int arrow;         // length of each arrow button
    int thumb_start;   // offset of the thumb along the bar
    int thumb_length;  // 0 when no thumb is shown
};

// One WM_HSCROLL/WM_VSCROLL to send: code is an SB_* value, pos the 32-bit position that
// SB_THUMBTRACK and SB_THUMBPOSITION carry (0 for the others).
struct ScrollBarAction {
    int code;
    int pos;
};

// --- Range, page, position (the SetScrollInfo rules) ---------------------------------

// Whether SetScrollRange accepts min..max: the span may not exceed MAXLONG. A maximum
// below the minimum is accepted (scroll_bar_set_range then makes the range 0..0).
bool scroll_bar_range_allowed(int min_pos, int max_pos);
// Sets the range. A maximum below the minimum gives the range 0..0, as Win32's
// SetScrollInfo does (SetScrollRange(1, 0) leaves range 0..0 and position 0). Page and
// position are then clamped into the new range.
void scroll_bar_set_range(ScrollBarModel& bar, int min_pos, int max_pos);
// Sets the page size, clamped to the number of positions in the range; clamps the position.
void scroll_bar_set_page(ScrollBarModel& bar, unsigned page);
// Sets the position clamped to min .. scroll_bar_last_pos; returns the previous position.
int scroll_bar_set_pos(ScrollBarModel& bar, int pos);
// The largest position the thumb can take: max - (page - 1) for a page of 1 or more.
int scroll_bar_last_pos(const ScrollBarModel& bar);
// Whether the range holds more than one reachable position.
bool scroll_bar_can_scroll(const ScrollBarModel& bar);

// --- Geometry -------------------------------------------------------------------------

// Arrow length and thumb placement for the current size, range and position (the dragged
// position while a drag is on).
ScrollBarLayout scroll_bar_layout(const ScrollBarModel& bar);
// The part under a point; SCROLL_NOWHERE outside the bar.
ScrollBarPart scroll_bar_hit(const ScrollBarModel& bar, int along, int across);
// The position a thumb starting at thumb_start stands for (rounded, clamped).
int scroll_bar_pos_from_thumb(const ScrollBarModel& bar, int thumb_start);

// --- Interaction ----------------------------------------------------------------------

// A left-button press. Returns the code to send at once (SB_LINE*, SB_PAGE*), or -1 when
// the press starts a thumb drag or hits nothing. The caller captures the mouse and starts
// the repeat timer when scroll_bar_repeats says so.
int scroll_bar_press(ScrollBarModel& bar, int along, int across);
// Whether the pressed part auto-repeats while held (arrows and track).
bool scroll_bar_repeats(const ScrollBarModel& bar);
// Pointer motion with the button held. Returns true and fills action (SB_THUMBTRACK with
// the new position) when a drag moved the thumb to another position; updates `hot`.
bool scroll_bar_motion(ScrollBarModel& bar, int along, int across, ScrollBarAction* action);
// A tick of the repeat timer: the pressed code again while the pointer is over the pressed
// part, else -1 (the repeat pauses, as on Win32, and resumes when the pointer comes back).
int scroll_bar_repeat(ScrollBarModel& bar, int along, int across);
// The button release: SB_THUMBPOSITION with the dragged position when a drag ends, then
// SB_ENDSCROLL. Returns how many actions were written (0 when nothing was pressed).
int scroll_bar_release(ScrollBarModel& bar, ScrollBarAction out[2]);
// The code for a key (VK_*) on a focused bar, or -1: arrows give SB_LINE*, Page Up/Down
// SB_PAGE*, Home SB_LEFT/SB_TOP, End SB_RIGHT/SB_BOTTOM.
int scroll_bar_key_code(unsigned virtual_key);
