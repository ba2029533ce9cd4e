// The "SCROLLBAR" control (SBS_HORZ or SBS_VERT) and the scroll bar calls on SB_CTL:
// SetScrollPos, GetScrollPos, SetScrollRange, GetScrollRange, SetScrollInfo, GetScrollInfo.
//
// The control tells its parent what the user does (WM_HSCROLL / WM_VSCROLL with the
// control in lParam) and leaves the position to the parent, except while the thumb is
// dragged. The calls reach the control through SBM_* messages, so they work from any thread.
//
// A control created with WS_VSCROLL also has the window's own vertical scroll bar, as every
// Win32 window with that style does: SM_CXVSCROLL pixels at its right end, taken from the
// control's bar. Nothing scrolls it (the control's procedure ignores its WM_VSCROLL), so it
// is drawn with the default range 0..100 at position 0 and takes no clicks.
#include <algorithm>

#include "platform/x11/x11_gdi.h"

namespace {

constexpr UINT_PTR kRepeatTimer = 1;

struct ScrollBarControl {
    ScrollBarModel model;
    RECT bar_area = {0, 0, 0, 0};  // where the control's own bar is: the client area less
                                   // the style bar
    bool has_style_bar = false;    // WS_VSCROLL
    ScrollBarModel style_bar;      // the window's vertical bar of WS_VSCROLL
    RECT style_area = {0, 0, 0, 0};
    bool vertical = false;
    bool focused = false;
    bool repeating = false;   // the repeat timer runs
    bool first_repeat = false;
    int last_x = 0, last_y = 0;  // last pointer position while the button is held
};

ScrollBarControl* control_of(HWND hwnd) {
    return reinterpret_cast<ScrollBarControl*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
}

void redraw(HWND hwnd) { InvalidateRect(hwnd, nullptr, FALSE); }

// Tells the parent; the 16-bit position field carries the truncated thumb position.
void notify(HWND hwnd, const ScrollBarControl* bar, int code, int pos) {
    const WORD field = (code == SB_THUMBTRACK || code == SB_THUMBPOSITION) ? (WORD)pos : 0;
    SendMessageW(GetParent(hwnd), bar->vertical ? WM_VSCROLL : WM_HSCROLL, MAKEWPARAM(code, field), (LPARAM)hwnd);
}

void on_size(ScrollBarControl* bar, int width, int height) {
    const int style_width = bar->has_style_bar ? std::min(GetSystemMetrics(SM_CXVSCROLL), width) : 0;
    const int bar_width = width - style_width;
    bar->bar_area = RECT{0, 0, bar_width, height};
    bar->style_area = RECT{bar_width, 0, width, height};
    bar->model.length = bar->vertical ? height : bar_width;
    bar->model.thickness = bar->vertical ? bar_width : height;
    bar->style_bar.length = height;
    bar->style_bar.thickness = style_width;
}

// A bar as it is drawn: a disabled window shows it as one with nothing to scroll (grey
// arrows, no thumb).
ScrollBarModel shown_bar(HWND hwnd, const ScrollBarModel& model) {
    ScrollBarModel shown = model;
    if (!IsWindowEnabled(hwnd)) {
        shown.max_pos = shown.min_pos;
        shown.disable_no_scroll = true;
    }
    return shown;
}

void on_paint(HWND hwnd, ScrollBarControl* bar) {
    PAINTSTRUCT paint;
    HDC dc = BeginPaint(hwnd, &paint);
    RECT client;
    GetClientRect(hwnd, &client);
    HDC buffer = x11_begin_buffered(dc, client);
    x11_draw_scroll_bar(buffer, bar->bar_area, shown_bar(hwnd, bar->model), bar->vertical, bar->focused);
    if (bar->has_style_bar) x11_draw_scroll_bar(buffer, bar->style_area, shown_bar(hwnd, bar->style_bar), true, false);
    x11_end_buffered(dc, buffer, client);
    EndPaint(hwnd, &paint);
}

void on_button_down(HWND hwnd, ScrollBarControl* bar, int x, int y) {
    // NOTE: as Win32, only a bar with WS_TABSTOP takes the focus on a click; the others
    // leave the keyboard with the window that had it (the viewer's keys keep working).
    if (GetWindowLongPtrW(hwnd, GWL_STYLE) & WS_TABSTOP) SetFocus(hwnd);
    int along, across;
    x11_scroll_bar_point(bar->bar_area, bar->vertical, x, y, &along, &across);
    const int code = scroll_bar_press(bar->model, along, across);
    if (bar->model.pressed == SCROLL_NOWHERE) return;
    bar->last_x = x;
    bar->last_y = y;
    SetCapture(hwnd);
    redraw(hwnd);
    if (scroll_bar_repeats(bar->model)) {
        bar->repeating = true;
        bar->first_repeat = true;
        SetTimer(hwnd, kRepeatTimer, X11_SCROLL_FIRST_DELAY, nullptr);
    }
    if (code >= 0) notify(hwnd, bar, code, 0);
}

void on_mouse_move(HWND hwnd, ScrollBarControl* bar, int x, int y) {
    if (bar->model.pressed == SCROLL_NOWHERE) return;
    bar->last_x = x;
    bar->last_y = y;
    int along, across;
    x11_scroll_bar_point(bar->bar_area, bar->vertical, x, y, &along, &across);
    const bool was_hot = bar->model.hot;
    ScrollBarAction action;
    if (scroll_bar_motion(bar->model, along, across, &action)) {
        redraw(hwnd);
        notify(hwnd, bar, action.code, action.pos);
    } else if (was_hot != bar->model.hot) {
        redraw(hwnd);
    }
}

void on_timer(HWND hwnd, ScrollBarControl* bar) {
    if (!bar->repeating) return;
    if (bar->first_repeat) {
        bar->first_repeat = false;
        SetTimer(hwnd, kRepeatTimer, X11_SCROLL_REPEAT_DELAY, nullptr);
    }
    int along, across;
    x11_scroll_bar_point(bar->bar_area, bar->vertical, bar->last_x, bar->last_y, &along, &across);
    const bool was_hot = bar->model.hot;
    const int code = scroll_bar_repeat(bar->model, along, across);
    if (was_hot != bar->model.hot) redraw(hwnd);
    if (code >= 0) notify(hwnd, bar, code, 0);
}

// Ends a press: the drag's final position, then SB_ENDSCROLL.
void finish_press(HWND hwnd, ScrollBarControl* bar) {
    if (bar->repeating) KillTimer(hwnd, kRepeatTimer);
    bar->repeating = false;
    ScrollBarAction actions[2];
    const int count = scroll_bar_release(bar->model, actions);
    if (count == 0) return;
    redraw(hwnd);
    if (GetCapture() == hwnd) ReleaseCapture();
    for (int i = 0; i < count && IsWindow(hwnd); ++i) notify(hwnd, bar, actions[i].code, actions[i].pos);
}

LRESULT on_key(HWND hwnd, ScrollBarControl* bar, WPARAM key, LPARAM flags) {
    const int code = scroll_bar_key_code((unsigned)key);
    if (code < 0) return DefWindowProcW(hwnd, WM_KEYDOWN, key, flags);
    notify(hwnd, bar, code, 0);
    if (IsWindow(hwnd)) notify(hwnd, bar, SB_ENDSCROLL, 0);
    return 0;
}

LRESULT set_scroll_info(HWND hwnd, ScrollBarControl* bar, const SCROLLINFO* info, bool redraw_now) {
    if (!info) return 0;
    const ScrollBarModel before = bar->model;
    if (info->fMask & SIF_RANGE) scroll_bar_set_range(bar->model, info->nMin, info->nMax);
    if (info->fMask & SIF_PAGE) scroll_bar_set_page(bar->model, info->nPage);
    if (info->fMask & SIF_POS) scroll_bar_set_pos(bar->model, info->nPos);
    const bool changed = before.min_pos != bar->model.min_pos || before.max_pos != bar->model.max_pos ||
                         before.page != bar->model.page || before.pos != bar->model.pos;
    if (redraw_now && changed) redraw(hwnd);
    return bar->model.pos;
}

LRESULT get_scroll_info(const ScrollBarControl* bar, SCROLLINFO* info) {
    if (!info || !(info->fMask & SIF_ALL)) return FALSE;
    if (info->fMask & SIF_RANGE) {
        info->nMin = bar->model.min_pos;
        info->nMax = bar->model.max_pos;
    }
    if (info->fMask & SIF_PAGE) info->nPage = bar->model.page;
    if (info->fMask & SIF_POS) info->nPos = bar->model.pos;
    // NOTE: the full 32-bit position of a drag, which WM_HSCROLL can only carry in 16 bits.
    if (info->fMask & SIF_TRACKPOS) info->nTrackPos = bar->model.dragging ? bar->model.track_pos : bar->model.pos;
    return TRUE;
}

LRESULT on_create(HWND hwnd, const CREATESTRUCTW* create) {
    ScrollBarControl* bar = new ScrollBarControl();
    bar->vertical = (create->style & SBS_VERT) != 0;
    bar->has_style_bar = (create->style & WS_VSCROLL) != 0;
    // NOTE: a window's own scroll bar starts with the range 0..100 on Win32.
    scroll_bar_set_range(bar->style_bar, 0, 100);
    SetWindowLongPtrW(hwnd, GWLP_USERDATA, (LONG_PTR)bar);
    on_size(bar, create->cx, create->cy);
    return 0;
}

void on_destroy(HWND hwnd, ScrollBarControl* bar) {
    if (bar->repeating) KillTimer(hwnd, kRepeatTimer);
    SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
    delete bar;
}

}  // namespace

LRESULT CALLBACK x11_scroll_bar_proc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
    if (message == WM_CREATE) return on_create(hwnd, reinterpret_cast<const CREATESTRUCTW*>(lparam));
    ScrollBarControl* bar = control_of(hwnd);
    if (!bar) return DefWindowProcW(hwnd, message, wparam, lparam);
    switch (message) {
    case WM_NCDESTROY: on_destroy(hwnd, bar); return 0;
    case WM_SIZE: on_size(bar, LOWORD(lparam), HIWORD(lparam)); redraw(hwnd); return 0;
    case WM_ERASEBKGND: return 1;
    case WM_PAINT: on_paint(hwnd, bar); return 0;
    case WM_LBUTTONDOWN:
    case WM_LBUTTONDBLCLK: on_button_down(hwnd, bar, GET_X_LPARAM(lparam), GET_Y_LPARAM(lparam)); return 0;
    case WM_MOUSEMOVE: on_mouse_move(hwnd, bar, GET_X_LPARAM(lparam), GET_Y_LPARAM(lparam)); return 0;
    case WM_LBUTTONUP: finish_press(hwnd, bar); return 0;
    case WM_CAPTURECHANGED:
        if ((HWND)lparam != hwnd) finish_press(hwnd, bar);
        return 0;
    case WM_TIMER:
        if (wparam == kRepeatTimer) on_timer(hwnd, bar);
        return 0;
    case WM_KEYDOWN: return on_key(hwnd, bar, wparam, lparam);
    case WM_SETFOCUS: bar->focused = true; redraw(hwnd); return 0;
    case WM_KILLFOCUS: bar->focused = false; redraw(hwnd); return 0;
    case WM_ENABLE: redraw(hwnd); return 0;
    case SBM_SETPOS: {
        const int previous = scroll_bar_set_pos(bar->model, (int)wparam);
        if (lparam && previous != bar->model.pos) redraw(hwnd);
        return previous;
    }
    case SBM_GETPOS: return bar->model.pos;
    case SBM_SETRANGE:
    case SBM_SETRANGEREDRAW: {
        const int previous = bar->model.pos;
        scroll_bar_set_range(bar->model, (int)wparam, (int)lparam);
        if (message == SBM_SETRANGEREDRAW) redraw(hwnd);
        return previous;
    }
    case SBM_GETRANGE:
        if (wparam) *reinterpret_cast<int*>(wparam) = bar->model.min_pos;
        if (lparam) *reinterpret_cast<int*>(lparam) = bar->model.max_pos;
        return 0;
    case SBM_SETSCROLLINFO:
        return set_scroll_info(hwnd, bar, reinterpret_cast<const SCROLLINFO*>(lparam), wparam != 0);
    case SBM_GETSCROLLINFO: return get_scroll_info(bar, reinterpret_cast<SCROLLINFO*>(lparam));
    default: return DefWindowProcW(hwnd, message, wparam, lparam);
    }
}

// Only SB_CTL is supported: the programs use no standard window scroll bars (the EDIT
// draws and drives its own).
static bool control_bar(int bar) {
    if (bar == SB_CTL) return true;
    SetLastError(ERROR_INVALID_PARAMETER);
    return false;
}

int WINAPI SetScrollPos(HWND hwnd, int bar, int pos, BOOL redraw_now) {
    if (!control_bar(bar)) return 0;
    return (int)SendMessageW(hwnd, SBM_SETPOS, (WPARAM)pos, redraw_now);
}

int WINAPI GetScrollPos(HWND hwnd, int bar) {
    if (!control_bar(bar)) return 0;
    return (int)SendMessageW(hwnd, SBM_GETPOS, 0, 0);
}

BOOL WINAPI SetScrollRange(HWND hwnd, int bar, int min_pos, int max_pos, BOOL redraw_now) {
    if (!control_bar(bar)) return FALSE;
    if (!scroll_bar_range_allowed(min_pos, max_pos)) {
        SetLastError(ERROR_INVALID_SCROLLBAR_RANGE);
        return FALSE;
    }
    if (!IsWindow(hwnd)) return FALSE;
    SendMessageW(hwnd, redraw_now ? SBM_SETRANGEREDRAW : SBM_SETRANGE, (WPARAM)min_pos, (LPARAM)max_pos);
    return TRUE;
}

BOOL WINAPI GetScrollRange(HWND hwnd, int bar, int* min_pos, int* max_pos) {
    if (!control_bar(bar) || !IsWindow(hwnd)) return FALSE;
    SendMessageW(hwnd, SBM_GETRANGE, (WPARAM)min_pos, (LPARAM)max_pos);
    return TRUE;
}

int WINAPI SetScrollInfo(HWND hwnd, int bar, LPCSCROLLINFO info, BOOL redraw_now) {
    if (!control_bar(bar) || !info) return 0;
    return (int)SendMessageW(hwnd, SBM_SETSCROLLINFO, (WPARAM)redraw_now, (LPARAM)info);
}

BOOL WINAPI GetScrollInfo(HWND hwnd, int bar, LPSCROLLINFO info) {
    if (!control_bar(bar) || !info) return FALSE;
    return (BOOL)SendMessageW(hwnd, SBM_GETSCROLLINFO, 0, (LPARAM)info);
}
