// X events to window messages: keys, mouse, wheel, focus, capture, exposure, structure,
// window manager protocols. The pump calls x11_handle_event; each kind has its handler.
#include "platform/x11/x11_internal.h"

#include <X11/keysym.h>

#include <atomic>

namespace {

// Key state for GetKeyState: 0x80 down, 0x01 toggled. NOTE: one table for the process,
// fed by every thread's events; the programs ask it only for modifiers and buttons.
std::atomic<unsigned char> g_key_state[256];

void set_key(UINT vk, bool down) {
    unsigned char toggle = g_key_state[vk & 0xFF] & 0x01;
    if (down && !(g_key_state[vk & 0xFF] & 0x80)) toggle ^= 0x01;
    g_key_state[vk & 0xFF] = (unsigned char)((down ? 0x80 : 0) | toggle);
}

void set_key_down_only(UINT vk, bool down) {
    unsigned char toggle = g_key_state[vk] & 0x01;
    g_key_state[vk] = (unsigned char)((down ? 0x80 : 0) | toggle);
}

// Takes modifiers and buttons from the state field of an event.
void apply_state(unsigned int state) {
    set_key_down_only(VK_SHIFT, state & ShiftMask);
    set_key_down_only(VK_CONTROL, state & ControlMask);
    set_key_down_only(VK_MENU, state & Mod1Mask);
    set_key_down_only(VK_LBUTTON, state & Button1Mask);
    set_key_down_only(VK_MBUTTON, state & Button2Mask);
    set_key_down_only(VK_RBUTTON, state & Button3Mask);
    g_key_state[VK_CAPITAL] =
        (unsigned char)((g_key_state[VK_CAPITAL] & 0x80) | ((state & LockMask) ? 1 : 0));
}

WPARAM mouse_flags(unsigned int state) {
    WPARAM flags = 0;
    if (state & Button1Mask) flags |= MK_LBUTTON;
    if (state & Button2Mask) flags |= MK_MBUTTON;
    if (state & Button3Mask) flags |= MK_RBUTTON;
    if (state & ShiftMask) flags |= MK_SHIFT;
    if (state & ControlMask) flags |= MK_CONTROL;
    return flags;
}

// The window that gets a pointer event and the point in its client area. Windows sends
// mouse input to the capture window, else to the window under the pointer: during X's
// implicit grab (a button held) X keeps reporting to the pressed window, so an event
// outside it is rerouted to the window actually under the pointer.
HWND route_pointer(X11Thread* thread, Window xwindow, int x, int y, int root_x, int root_y,
                   Window subwindow, POINT* local) {
    HWND target = nullptr;
    {
        X11Lock guard;
        if (X11Window* capture = x11_window_locked(thread->capture)) {
            POINT origin = x11_client_origin_locked(capture);
            *local = POINT{root_x - origin.x, root_y - origin.y};
            return capture->handle;
        }
        X11Window* window = x11_window_by_xid_locked(xwindow);
        if (!window) return nullptr;
        int width, height;
        x11_client_size_locked(window, &width, &height);
        if (subwindow == None && x >= 0 && y >= 0 && x < width && y < height) {
            *local = POINT{x, y};
            return x11_accepts_input_locked(window) ? window->handle : nullptr;
        }
    }
    target = x11_window_from_point(thread->display, root_x, root_y);
    X11Lock guard;
    X11Window* window = x11_window_locked(target);
    if (!window || !x11_accepts_input_locked(window)) return nullptr;
    POINT origin = x11_client_origin_locked(window);
    *local = POINT{root_x - origin.x, root_y - origin.y};
    return target;
}

// The window a key goes to: the focus window when it lies in the event's top-level
// window, else that top-level window. Null when the top-level window is disabled.
HWND key_target(Window xwindow) {
    X11Lock guard;
    X11Window* top = x11_top_level_locked(x11_window_by_xid_locked(xwindow));
    if (!top || !x11_accepts_input_locked(top)) return nullptr;
    X11Window* focus = x11_window_locked(top->owner->focus);
    for (X11Window* window = focus; window; window = x11_window_locked(window->parent))
        if (window == top) return x11_accepts_input_locked(focus) ? focus->handle : nullptr;
    return top->handle;
}

// True when X reports a key release that auto-repeat follows at once (servers without
// detectable auto-repeat send release/press pairs).
bool is_fake_release(X11Thread* thread, XKeyEvent* event) {
    if (thread->detectable_repeat || !XEventsQueued(event->display, QueuedAfterReading))
        return false;
    XEvent next;
    XPeekEvent(event->display, &next);
    return next.type == KeyPress && next.xkey.keycode == event->keycode &&
           next.xkey.time == event->time;
}

wchar_t typed_char(XKeyEvent* event, UINT vk) {
    char buffer[32];
    KeySym shifted = NoSymbol;
    XLookupString(event, buffer, sizeof buffer, &shifted, nullptr);
    wchar_t ch = x11_char_of_keysym(shifted);
    if (event->state & ControlMask) {
        // NOTE: Ctrl with a letter types its control character (Ctrl+A is 1), as on Windows.
        if (vk >= 'A' && vk <= 'Z') return (wchar_t)(vk - 'A' + 1);
        return ch < 0x20 ? ch : 0;
    }
    return ch;
}

void update_side_keys(KeySym keysym, bool down) {
    switch (keysym) {
        case XK_Shift_L:
            set_key(VK_LSHIFT, down);
            break;
        case XK_Shift_R:
            set_key(VK_RSHIFT, down);
            break;
        case XK_Control_L:
            set_key(VK_LCONTROL, down);
            break;
        case XK_Control_R:
            set_key(VK_RCONTROL, down);
            break;
        default:
            break;
    }
}

void on_key(X11Thread* thread, XKeyEvent* event, bool press) {
    if (!press && is_fake_release(thread, event)) return;
    x11_set_last_pointer(event->x_root, event->y_root);
    apply_state(event->state);
    KeySym keysym = XLookupKeysym(event, 0);
    UINT vk = x11_vk_of_keysym(keysym);
    unsigned int keycode = event->keycode & 0xFF;
    bool repeat = press && thread->key_down[keycode];
    thread->key_down[keycode] = press;
    if (vk) set_key(vk, press);
    update_side_keys(keysym, press);
    HWND target = key_target(event->window);
    if (!target) {
        if (!press) x11_retry_focus(thread);
        return;
    }
    POINT pt = {event->x_root, event->y_root};
    bool alt = (event->state & Mod1Mask) || vk == VK_MENU;
    bool sys = (alt && !(event->state & ControlMask)) || vk == VK_F1 + 9;  // F10 is a system key
    wchar_t ch = press ? typed_char(event, vk) : 0;
    if (!vk) {
        // NOTE: a key without a virtual-key code (another layout's letter) still types.
        if (ch) x11_post_input(target, sys ? WM_SYSCHAR : WM_CHAR, (WPARAM)ch, 1, pt);
        return;
    }
    UINT message = press ? (sys ? WM_SYSKEYDOWN : WM_KEYDOWN) : (sys ? WM_SYSKEYUP : WM_KEYUP);
    // NOTE: X keycodes are evdev codes + 8.
    LPARAM lparam = 1 | (LPARAM)(x11_scan_code_of(keycode >= 8 ? keycode - 8 : 0) << 16);
    if (x11_vk_is_extended(vk)) lparam |= (LPARAM)1 << 24;
    if (alt) lparam |= (LPARAM)1 << 29;
    if (repeat || !press) lparam |= (LPARAM)1 << 30;
    if (!press) lparam |= (LPARAM)1u << 31;
    DWORD time = x11_post_input(target, message, vk, lparam, pt);
    if (press && ch) x11_remember_key_char(thread, X11KeyChar{message, vk, lparam, time, ch});
    if (!press) x11_retry_focus(thread);
}

// Gives the clicked window's top-level window the input focus, as a click activates a
// window on Windows. Needed without a window manager, which would otherwise do it.
void activate_clicked(HWND target) {
    HWND top = nullptr;
    {
        X11Lock guard;
        X11Window* window = x11_top_level_locked(x11_window_locked(target));
        if (window && window->owner->active != window->handle) top = window->handle;
    }
    if (top) x11_activate(top);
}

void on_wheel(X11Thread* thread, XButtonEvent* event) {
    POINT local;
    HWND target = route_pointer(thread, event->window, event->x, event->y, event->x_root,
                                event->y_root, event->subwindow, &local);
    if (!target) return;
    short delta = event->button == 4 ? WHEEL_DELTA : -WHEEL_DELTA;
    WPARAM wparam = MAKEWPARAM(mouse_flags(event->state), (WORD)delta);
    // NOTE: the wheel carries screen coordinates, unlike the other mouse messages.
    LPARAM lparam = MAKELPARAM(event->x_root, event->y_root);
    x11_post_input(target, WM_MOUSEWHEEL, wparam, lparam, POINT{event->x_root, event->y_root});
}

void on_button(X11Thread* thread, XButtonEvent* event, bool press) {
    x11_set_last_pointer(event->x_root, event->y_root);
    apply_state(event->state);
    if (event->button == 4 || event->button == 5) {
        if (press) on_wheel(thread, event);
        return;
    }
    static const UINT downs[] = {WM_LBUTTONDOWN, WM_MBUTTONDOWN, WM_RBUTTONDOWN};
    static const UINT ups[] = {WM_LBUTTONUP, WM_MBUTTONUP, WM_RBUTTONUP};
    static const WPARAM flags_of[] = {MK_LBUTTON, MK_MBUTTON, MK_RBUTTON};
    static const UINT vks[] = {VK_LBUTTON, VK_MBUTTON, VK_RBUTTON};
    if (event->button < 1 || event->button > 3) return;
    int index = (int)event->button - 1;
    // NOTE: X's state is the one before the event; Windows includes the pressed button.
    WPARAM flags = mouse_flags(event->state);
    flags = press ? (flags | flags_of[index]) : (flags & ~flags_of[index]);
    set_key_down_only(vks[index], press);
    POINT local;
    HWND target = route_pointer(thread, event->window, event->x, event->y, event->x_root,
                                event->y_root, event->subwindow, &local);
    if (!target) return;
    if (press) activate_clicked(target);
    x11_post_input(target, press ? downs[index] : ups[index], flags, MAKELPARAM(local.x, local.y),
                   POINT{event->x_root, event->y_root});
}

void on_motion(X11Thread* thread, XMotionEvent* event) {
    x11_set_last_pointer(event->x_root, event->y_root);
    apply_state(event->state);
    POINT local;
    HWND target = route_pointer(thread, event->window, event->x, event->y, event->x_root,
                                event->y_root, event->subwindow, &local);
    if (!target) return;
    x11_post_input(target, WM_MOUSEMOVE, mouse_flags(event->state), MAKELPARAM(local.x, local.y),
                   POINT{event->x_root, event->y_root});
}

bool is_real_focus_change(XFocusChangeEvent* event) {
    // NOTE: grabs and focus moving inside the window are not activation changes.
    return event->mode != NotifyGrab && event->mode != NotifyUngrab &&
           event->detail != NotifyInferior && event->detail != NotifyPointer;
}

void on_focus_in(X11Thread* thread, XFocusChangeEvent* event) {
    if (!is_real_focus_change(event)) return;
    HWND restore;
    {
        X11Lock guard;
        X11Window* window = x11_window_by_xid_locked(event->window);
        if (!window || window->parent) return;
        thread->active = window->handle;
        restore = window->handle;
        for (X11Window* last = x11_window_locked(window->last_focus); last;
             last = x11_window_locked(last->parent))
            if (last == window) restore = window->last_focus;
        if (thread->focus == restore) return;
    }
    x11_set_focus_internal(thread, restore);
}

void on_focus_out(X11Thread* thread, XFocusChangeEvent* event) {
    if (!is_real_focus_change(event)) return;
    bool had_focus = false;
    {
        X11Lock guard;
        X11Window* window = x11_window_by_xid_locked(event->window);
        if (!window || window->parent) return;
        if (thread->active == window->handle) thread->active = nullptr;
        for (X11Window* focus = x11_window_locked(thread->focus); focus;
             focus = x11_window_locked(focus->parent))
            if (focus == window) had_focus = true;
        if (had_focus) window->last_focus = thread->focus;
    }
    if (had_focus) x11_set_focus_internal(thread, nullptr);
}

void on_expose(XExposeEvent* event) {
    X11Lock guard;
    X11Window* window = x11_window_by_xid_locked(event->window);
    if (!window) return;
    RECT rect = {event->x, event->y, event->x + event->width, event->y + event->height};
    x11_invalidate_locked(window, &rect, true);
}

void on_configure(X11Thread* thread, XConfigureEvent* event) {
    HWND hwnd;
    bool translate;
    {
        X11Lock guard;
        X11Window* window = x11_window_by_xid_locked(event->window);
        if (!window || window->parent) return;
        hwnd = window->handle;
        translate = window->reparented && !event->send_event;
    }
    int root_x = event->x, root_y = event->y;
    if (translate) {
        // NOTE: a window manager's frame is the parent; only a synthetic event from the
        // manager carries root coordinates.
        Window child;
        XTranslateCoordinates(thread->display, event->window, DefaultRootWindow(thread->display), 0,
                              0, &root_x, &root_y, &child);
    }
    x11_window_configured(hwnd, root_x, root_y, event->width, event->height);
}

bool keys_held(Display* display) {
    char keys[32];
    XQueryKeymap(display, keys);
    for (char byte : keys)
        if (byte) return true;
    return false;
}

// Gives a top-level window the X input focus, but not while a key is held: the key's
// release then still reaches the window it was pressed in. NOTE: a tool that sends the
// press to the focused window through XTEST and the release as an event to that window
// (xdotool --window) would otherwise, once the focus moved (a message box opened on the
// press), never release the key in the server, which then repeats it forever.
void focus_now_or_later_locked(X11Thread* thread, X11Window* window) {
    Display* display = thread->display ? thread->display : window->display;
    if (keys_held(display)) {
        thread->pending_focus = window->handle;
        thread->pending_since = GetTickCount();
        return;
    }
    thread->pending_focus = nullptr;
    // NOTE: without a window manager nobody else gives a new window the keyboard.
    XSetInputFocus(display, window->xwindow, RevertToParent, CurrentTime);
    XFlush(display);
}

void on_map(XMapEvent* event, bool mapped) {
    X11Lock guard;
    X11Window* window = x11_window_by_xid_locked(event->window);
    if (!window) return;
    window->mapped = mapped;
    if (mapped && window->focus_on_map && !window->parent) {
        window->focus_on_map = false;
        focus_now_or_later_locked(x11_thread(), window);
    }
}

void on_reparent(XReparentEvent* event) {
    X11Lock guard;
    X11Window* window = x11_window_by_xid_locked(event->window);
    if (window && !window->parent)
        window->reparented = event->parent != DefaultRootWindow(event->display);
}

void on_client_message(X11Thread* thread, XClientMessageEvent* event) {
    const X11Atoms& atoms = x11_atoms(thread->display);
    if (event->message_type != atoms.wm_protocols) return;
    Atom protocol = (Atom)event->data.l[0];
    if (protocol == atoms.net_wm_ping) {
        // NOTE: answered when the thread is idle (x11_answer_pings), not when read: an answer
        // then means that every message, paint and send before the ping has been handled.
        thread->pings.push_back(*event);
        return;
    }
    if (protocol != atoms.wm_delete_window) return;
    HWND hwnd = nullptr;
    {
        X11Lock guard;
        X11Window* window = x11_window_by_xid_locked(event->window);
        // NOTE: a disabled window (owner of a modal box) ignores its close box, as on Windows.
        if (window && x11_accepts_input_locked(window)) hwnd = window->handle;
    }
    if (hwnd) x11_post_input(hwnd, WM_CLOSE, 0, 0, x11_last_pointer());
}

void on_crossing(XCrossingEvent* event) {
    x11_set_last_pointer(event->x_root, event->y_root);
}

}  // namespace

void x11_handle_event(X11Thread* thread, XEvent* event) {
    switch (event->type) {
        case KeyPress:
            on_key(thread, &event->xkey, true);
            break;
        case KeyRelease:
            on_key(thread, &event->xkey, false);
            break;
        case ButtonPress:
            on_button(thread, &event->xbutton, true);
            break;
        case ButtonRelease:
            on_button(thread, &event->xbutton, false);
            break;
        case MotionNotify:
            on_motion(thread, &event->xmotion);
            break;
        case EnterNotify:
        case LeaveNotify:
            on_crossing(&event->xcrossing);
            break;
        case FocusIn:
            on_focus_in(thread, &event->xfocus);
            break;
        case FocusOut:
            on_focus_out(thread, &event->xfocus);
            break;
        case Expose:
            on_expose(&event->xexpose);
            break;
        case ConfigureNotify:
            on_configure(thread, &event->xconfigure);
            break;
        case MapNotify:
            on_map(&event->xmap, true);
            break;
        case UnmapNotify:
            on_map(reinterpret_cast<XMapEvent*>(&event->xunmap), false);
            break;
        case ReparentNotify:
            on_reparent(&event->xreparent);
            break;
        case ClientMessage:
            on_client_message(thread, &event->xclient);
            break;
        case MappingNotify:
            XRefreshKeyboardMapping(&event->xmapping);
            break;
        case SelectionRequest:
        case SelectionClear:
        case SelectionNotify:
            x11_clipboard_handle_event(thread->display, event);
            break;
        default:
            break;
    }
}

void x11_set_focus_internal(X11Thread* thread, HWND hwnd) {
    HWND old;
    {
        X11Lock guard;
        old = thread->focus;
        if (old == hwnd) return;
        thread->focus = hwnd;
        if (X11Window* top = x11_top_level_locked(x11_window_locked(hwnd))) top->last_focus = hwnd;
    }
    if (old && IsWindow(old)) x11_call_window_proc(old, WM_KILLFOCUS, (WPARAM)hwnd, 0);
    if (hwnd && IsWindow(hwnd)) x11_call_window_proc(hwnd, WM_SETFOCUS, (WPARAM)old, 0);
}

void x11_activate(HWND top_level) {
    X11Lock guard;
    X11Window* window = x11_window_locked(top_level);
    if (!window || window->parent) return;
    if (window->mapped) {
        X11Thread* thread = x11_thread();
        x11_thread_display();  // the focus request goes over the caller's connection
        focus_now_or_later_locked(thread, window);
    } else {
        window->focus_on_map = true;
    }
}

bool x11_retry_focus(X11Thread* thread) {
    X11Lock guard;
    if (!thread->pending_focus) return false;
    X11Window* window = x11_window_locked(thread->pending_focus);
    if (!window || !window->mapped) {
        thread->pending_focus = nullptr;
        return false;
    }
    Display* display = thread->display ? thread->display : window->display;
    // NOTE: a key held longer than a second is a user's choice, not a tool's race.
    if (keys_held(display) && GetTickCount() - thread->pending_since < 1000) return true;
    thread->pending_focus = nullptr;
    XSetInputFocus(display, window->xwindow, RevertToParent, CurrentTime);
    XFlush(display);
    return false;
}

void x11_forget_input_window(X11Thread* thread, HWND hwnd) {
    X11Lock guard;
    if (thread->capture == hwnd) {
        thread->capture = nullptr;
        if (thread->display) XUngrabPointer(thread->display, CurrentTime);
    }
    if (thread->focus == hwnd) thread->focus = nullptr;
}

// --- Win32 --------------------------------------------------------------------------------

// A window of the calling thread, or null after setting ERROR_INVALID_WINDOW_HANDLE. NOTE: as
// on Windows, only a window of the calling thread can take its capture or focus.
static X11Window* own_window_or_error_locked(X11Thread* thread, HWND hwnd) {
    X11Window* window = x11_window_locked(hwnd);
    if (window && window->owner.get() == thread) return window;
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return nullptr;
}

HWND WINAPI SetCapture(HWND hwnd) {
    X11Thread* thread = x11_thread();
    HWND old;
    {
        X11Lock guard;
        X11Window* window = own_window_or_error_locked(thread, hwnd);
        if (!window) return nullptr;
        old = thread->capture;
        thread->capture = hwnd;
        // NOTE: the grab makes X report the pointer to this window even over others.
        XGrabPointer(window->display, window->xwindow, False,
                     ButtonPressMask | ButtonReleaseMask | PointerMotionMask, GrabModeAsync,
                     GrabModeAsync, None, None, CurrentTime);
        XFlush(window->display);
    }
    if (old && old != hwnd) x11_call_window_proc(old, WM_CAPTURECHANGED, 0, (LPARAM)hwnd);
    return old;
}

BOOL WINAPI ReleaseCapture(void) {
    X11Thread* thread = x11_thread();
    HWND old;
    {
        X11Lock guard;
        old = thread->capture;
        if (!old) return TRUE;
        thread->capture = nullptr;
        if (thread->display) {
            XUngrabPointer(thread->display, CurrentTime);
            XFlush(thread->display);
        }
    }
    x11_call_window_proc(old, WM_CAPTURECHANGED, 0, 0);
    return TRUE;
}

HWND WINAPI GetCapture(void) {
    X11Thread* thread = x11_thread();
    X11Lock guard;
    return thread->capture;
}

HWND WINAPI SetFocus(HWND hwnd) {
    X11Thread* thread = x11_thread();
    HWND old = GetFocus();
    HWND top = nullptr;
    if (hwnd) {
        X11Lock guard;
        X11Window* window = own_window_or_error_locked(thread, hwnd);
        if (!window) return nullptr;
        X11Window* top_window = x11_top_level_locked(window);
        if (top_window && thread->active != top_window->handle) top = top_window->handle;
    }
    if (top) x11_activate(top);
    x11_set_focus_internal(thread, hwnd);
    return old;
}

HWND WINAPI GetFocus(void) {
    X11Thread* thread = x11_thread();
    X11Lock guard;
    return thread->focus;
}

SHORT WINAPI GetKeyState(int virtual_key) {
    unsigned char state = g_key_state[virtual_key & 0xFF];
    return (SHORT)(((state & 0x80) ? 0xFF80 : 0) | (state & 0x01));
}
