// Window geometry: SetWindowPos, MoveWindow, ShowWindow, rectangles, coordinate mapping,
// the pointer, WindowFromPoint, and replacing a window's X window for a new visual.
#include "platform/x11/x11_internal.h"

#include <algorithm>

namespace {

// Stores a window's Win32 rectangle; tells whether that moved it and whether it sized it.
void store_rect_locked(X11Window* window, int x, int y, int width, int height, bool* moved,
                       bool* sized) {
    *moved = x != window->x || y != window->y;
    *sized = width != window->width || height != window->height;
    window->x = x;
    window->y = y;
    window->width = width;
    window->height = height;
}

// Remembers a client geometry we asked X for, so its ConfigureNotify echo is not taken
// for a window manager's change.
void remember_request(X11Window* window, int x, int y, int width, int height) {
    window->requested.push_back(RECT{x, y, width, height});
    while (window->requested.size() > 8) window->requested.pop_front();
}

// Moves and sizes the X window to the record's geometry.
void apply_geometry_locked(X11Window* window) {
    int width, height;
    x11_client_size_locked(window, &width, &height);
    int x = window->x + window->frame_x;
    int y = window->y + window->frame_y + window->caption;
    XMoveResizeWindow(window->display, window->xwindow, x, y, std::max(1, width),
                      std::max(1, height));
    remember_request(window, x, y, width, height);
}

// Sends WM_MOVE and WM_SIZE after a geometry change, in the order Windows uses.
void notify_geometry(HWND hwnd, bool moved, bool sized) {
    int width = 0, height = 0;
    POINT move = {0, 0};
    {
        X11Lock guard;
        X11Window* window = x11_window_locked(hwnd);
        if (!window) return;
        x11_client_size_locked(window, &width, &height);
        move = window->parent ? POINT{window->x, window->y} : x11_client_origin_locked(window);
    }
    if (moved) x11_call_window_proc(hwnd, WM_MOVE, 0, MAKELPARAM(move.x, move.y));
    if (sized) x11_call_window_proc(hwnd, WM_SIZE, 0, MAKELPARAM(width, height));
}

// SetWindowPos on the owner thread.
LRESULT set_window_pos_here(HWND hwnd, int x, int y, int width, int height, UINT flags) {
    bool moved, sized;
    {
        X11Lock guard;
        X11Window* window = x11_window_locked(hwnd);
        if (!window) return FALSE;
        const bool keep_place = flags & SWP_NOMOVE, keep_size = flags & SWP_NOSIZE;
        store_rect_locked(window, keep_place ? window->x : x, keep_place ? window->y : y,
                          keep_size ? window->width : std::max(0, width),
                          keep_size ? window->height : std::max(0, height), &moved, &sized);
        if (moved || sized) apply_geometry_locked(window);
        if (sized && !(flags & SWP_NOREDRAW) &&
            (window->window_class->style & (CS_HREDRAW | CS_VREDRAW)))
            x11_invalidate_locked(window, nullptr, true);
    }
    if (flags & SWP_SHOWWINDOW) ShowWindow(hwnd, SW_SHOW);
    if (flags & SWP_HIDEWINDOW) ShowWindow(hwnd, SW_HIDE);
    notify_geometry(hwnd, moved, sized);
    X11Lock guard;
    if (X11Window* window = x11_window_locked(hwnd)) XFlush(window->display);
    return TRUE;
}

// True when focus is hwnd or one of its descendants.
bool focus_inside_locked(X11Thread* thread, HWND hwnd) {
    for (X11Window* window = x11_window_locked(thread->focus); window;
         window = x11_window_locked(window->parent))
        if (window->handle == hwnd) return true;
    return false;
}

// ShowWindow on the owner thread.
LRESULT show_window_here(HWND hwnd, int command) {
    bool show = command != SW_HIDE;
    bool was_visible;
    {
        X11Lock guard;
        X11Window* window = x11_window_locked(hwnd);
        if (!window) return FALSE;
        was_visible = window->style & WS_VISIBLE;
        if (was_visible == show) return was_visible;
    }
    x11_call_window_proc(hwnd, WM_SHOWWINDOW, show ? TRUE : FALSE, 0);
    bool top_level = false;
    bool lose_focus = false;
    {
        X11Lock guard;
        X11Window* window = x11_window_locked(hwnd);
        if (!window) return was_visible;
        top_level = !window->parent;
        if (show) {
            window->style |= WS_VISIBLE;
            XMapWindow(window->display, window->xwindow);
            x11_invalidate_locked(window, nullptr, true);
        } else {
            window->style &= ~WS_VISIBLE;
            XUnmapWindow(window->display, window->xwindow);
            window->mapped = false;
            lose_focus = focus_inside_locked(x11_thread(), hwnd);
        }
        XFlush(window->display);
    }
    if (show && top_level) x11_activate(hwnd);
    if (lose_focus) x11_set_focus_internal(x11_thread(), nullptr);
    return was_visible;
}

// Adds (sign 1) or subtracts (sign -1) the screen position of a window's client area.
BOOL shift_by_client_origin(HWND hwnd, LPPOINT point, int sign) {
    X11Lock guard;
    X11Window* window = x11_window_with_arg_locked(hwnd, point);
    if (!window) return FALSE;
    POINT origin = x11_client_origin_locked(window);
    point->x += sign * origin.x;
    point->y += sign * origin.y;
    return TRUE;
}

}  // namespace

BOOL WINAPI SetWindowPos(HWND hwnd, HWND, int x, int y, int cx, int cy, UINT flags) {
    if (!x11_check_window(hwnd)) return FALSE;
    // NOTE: on a window of another thread this runs there, and WM_SIZE is delivered on
    // that thread before we return, as Windows does.
    return (BOOL)x11_run_on_owner(hwnd,
                                  [=] { return set_window_pos_here(hwnd, x, y, cx, cy, flags); });
}

BOOL WINAPI MoveWindow(HWND hwnd, int x, int y, int width, int height, BOOL repaint) {
    return SetWindowPos(hwnd, nullptr, x, y, width, height,
                        SWP_NOZORDER | SWP_NOACTIVATE | (repaint ? 0 : SWP_NOREDRAW));
}

BOOL WINAPI ShowWindow(HWND hwnd, int command) {
    if (!x11_check_window(hwnd)) return FALSE;
    return (BOOL)x11_run_on_owner(hwnd, [=] { return show_window_here(hwnd, command); });
}

BOOL WINAPI GetWindowRect(HWND hwnd, LPRECT rect) {
    X11Lock guard;
    X11Window* window = x11_window_with_arg_locked(hwnd, rect);
    if (!window) return FALSE;
    POINT origin = x11_client_origin_locked(window);
    rect->left = origin.x - window->frame_x;
    rect->top = origin.y - window->frame_y - window->caption;
    rect->right = rect->left + window->width;
    rect->bottom = rect->top + window->height;
    return TRUE;
}

BOOL WINAPI GetClientRect(HWND hwnd, LPRECT rect) {
    X11Lock guard;
    X11Window* window = x11_window_with_arg_locked(hwnd, rect);
    if (!window) return FALSE;
    int width, height;
    x11_client_size_locked(window, &width, &height);
    *rect = RECT{0, 0, width, height};
    return TRUE;
}

BOOL WINAPI ClientToScreen(HWND hwnd, LPPOINT point) {
    return shift_by_client_origin(hwnd, point, 1);
}

BOOL WINAPI ScreenToClient(HWND hwnd, LPPOINT point) {
    return shift_by_client_origin(hwnd, point, -1);
}

BOOL WINAPI GetCursorPos(LPPOINT point) {
    if (!point) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    Display* display = x11_require_display();
    Window root, child;
    int root_x, root_y, x, y;
    unsigned int state;
    if (!XQueryPointer(display, DefaultRootWindow(display), &root, &child, &root_x, &root_y, &x, &y,
                       &state)) {
        SetLastError(ERROR_ACCESS_DENIED);
        return FALSE;
    }
    point->x = root_x;
    point->y = root_y;
    return TRUE;
}

HWND x11_window_from_point(Display* display, int x, int y) {
    Window root = DefaultRootWindow(display);
    Window current = root;
    HWND found = nullptr;
    // NOTE: descends the X tree one level per round trip; foreign windows in between (a
    // window manager's frames) are passed through.
    for (int depth = 0; depth < 64; ++depth) {
        int local_x, local_y;
        Window child = None;
        if (!XTranslateCoordinates(display, root, current, x, y, &local_x, &local_y, &child) ||
            child == None)
            break;
        current = child;
        X11Lock guard;
        if (X11Window* window = x11_window_by_xid_locked(current)) found = window->handle;
    }
    return found;
}

HWND WINAPI WindowFromPoint(POINT point) {
    HWND hwnd = x11_window_from_point(x11_require_display(), point.x, point.y);
    X11Lock guard;
    // NOTE: Windows does not report disabled windows; their enabled parent is returned.
    X11Window* window = x11_window_locked(hwnd);
    while (window && (window->style & WS_DISABLED)) window = x11_window_locked(window->parent);
    return window ? window->handle : nullptr;
}

void x11_window_configured(HWND hwnd, int root_x, int root_y, int width, int height) {
    bool moved, sized;
    {
        X11Lock guard;
        X11Window* window = x11_window_locked(hwnd);
        if (!window || window->parent) return;
        for (auto it = window->requested.begin(); it != window->requested.end(); ++it) {
            if (it->left == root_x && it->top == root_y && it->right == width &&
                it->bottom == height) {
                // NOTE: the echo of our own request; older requests are superseded.
                window->requested.erase(window->requested.begin(), it + 1);
                return;
            }
        }
        store_rect_locked(window, root_x - window->frame_x,
                          root_y - window->frame_y - window->caption, width + 2 * window->frame_x,
                          height + 2 * window->frame_y + window->caption, &moved, &sized);
        if (sized && (window->window_class->style & (CS_HREDRAW | CS_VREDRAW)))
            x11_invalidate_locked(window, nullptr, true);
    }
    notify_geometry(hwnd, moved, sized);
}

bool x11_recreate_window(HWND hwnd, Visual* visual, int depth) {
    X11Lock guard;
    X11Window* window = x11_window_locked(hwnd);
    if (!window) return false;
    Display* display = window->display;
    if (window->visual && window->visual->visualid == visual->visualid) return true;
    Window old = window->xwindow;
    Window parent = DefaultRootWindow(display);
    if (X11Window* parent_window = x11_window_locked(window->parent))
        parent = parent_window->xwindow;
    Colormap colormap = XCreateColormap(display, DefaultRootWindow(display), visual, AllocNone);
    XSetWindowAttributes attributes = {};
    attributes.event_mask = x11_event_mask(window);
    attributes.border_pixel = 0;
    attributes.colormap = colormap;
    attributes.background_pixmap = None;
    attributes.bit_gravity = NorthWestGravity;
    int width, height;
    x11_client_size_locked(window, &width, &height);
    x11_trap_begin();
    Window replacement = XCreateWindow(
        display, parent, window->x + window->frame_x, window->y + window->frame_y + window->caption,
        std::max(1, width), std::max(1, height), 0, depth, InputOutput, visual,
        CWEventMask | CWBorderPixel | CWColormap | CWBackPixmap | CWBitGravity, &attributes);
    int error = x11_trap_end(display);
    if (error) {
        x11_report("GLX", "cannot create a window with the pixel format's visual", display, error);
        XFreeColormap(display, colormap);
        return false;
    }
    // NOTE: children move over to the new window; they may belong to other connections,
    // which X allows.
    for (HWND child : window->children)
        if (X11Window* child_window = x11_window_locked(child))
            XReparentWindow(display, child_window->xwindow, replacement, child_window->x,
                            child_window->y);
    if (window->colormap) XFreeColormap(display, window->colormap);
    window->xwindow = replacement;
    window->visual = visual;
    window->depth = depth;
    window->colormap = colormap;
    window->mapped = false;
    x11_register_xid_locked(window, old);
    if (!window->parent) x11_apply_top_level_properties(window);
    if (window->style & WS_VISIBLE) XMapWindow(display, replacement);
    XDestroyWindow(display, old);
    x11_retarget_window_dcs(hwnd, replacement, depth);
    x11_invalidate_locked(window, nullptr, true);
    XFlush(display);
    return true;
}
