// Window classes, window records, creation and destruction, window longs, window text and
// DefWindowProcW.
#include "platform/x11/x11_internal.h"

#include <X11/Xatom.h>
#include <unistd.h>
#include <wctype.h>

#include <algorithm>
#include <condition_variable>

namespace {

struct Registry {
    std::vector<std::unique_ptr<X11Class>> classes;
    ATOM next_atom = 0xC000;
    std::unordered_map<HWND, std::shared_ptr<X11Window>> windows;
    std::unordered_map<Window, HWND> by_xid;
    uintptr_t next_handle = 0x10010;
};

Registry& registry() {
    static auto* instance = new Registry;
    return *instance;
}

bool same_class_name(const std::wstring& a, LPCWSTR b) {
    size_t i = 0;
    for (; i < a.size() && b[i]; ++i)
        if (towlower(a[i]) != towlower(b[i])) return false;
    return i == a.size() && !b[i];
}

bool is_atom_name(LPCWSTR name) {
    return (uintptr_t)name <= 0xFFFF;
}

const X11Class* find_class_locked(LPCWSTR name) {
    for (auto& entry : registry().classes) {
        if (is_atom_name(name) ? entry->atom == (ATOM)(uintptr_t)name
                               : same_class_name(entry->name, name))
            return entry.get();
    }
    return nullptr;
}

// The system classes are registered once, before the first class lookup. NOTE: their
// registration calls RegisterClassExW, which looks classes up itself, so the registering
// thread passes through while others wait.
std::mutex g_system_lock;
std::condition_variable g_system_done;
int g_system_state = 0;  // 0 not started, 1 running, 2 done
DWORD g_system_thread = 0;

void ensure_system_classes() {
    std::unique_lock<std::mutex> guard(g_system_lock);
    if (g_system_state == 2) return;
    if (g_system_state == 1) {
        if (g_system_thread == GetCurrentThreadId()) return;
        g_system_done.wait(guard, [] { return g_system_state == 2; });
        return;
    }
    g_system_state = 1;
    g_system_thread = GetCurrentThreadId();
    guard.unlock();
    x11_register_system_classes();
    guard.lock();
    g_system_state = 2;
    g_system_done.notify_all();
}

bool has_frame(DWORD style) {
    if (style & WS_CHILD) return false;
    // NOTE: a popup has a frame only when it asks for a caption; overlapped windows always do.
    return !(style & WS_POPUP) || (style & WS_CAPTION) == WS_CAPTION;
}

// Makes the X window of a new window record, the client area inside its frame.
bool create_x_window(X11Window* window, Window parent) {
    XSetWindowAttributes attributes = {};
    unsigned long mask = CWEventMask | CWBitGravity | CWBorderPixel;
    attributes.event_mask = x11_event_mask(window);
    // NOTE: classes that redraw on resize get the whole window exposed; others keep content.
    attributes.bit_gravity = (window->window_class->style & (CS_HREDRAW | CS_VREDRAW))
                                 ? ForgetGravity
                                 : NorthWestGravity;
    attributes.border_pixel = 0;
    if (window->colormap) {
        mask |= CWColormap;
        attributes.colormap = window->colormap;
    }
    int client_width, client_height;
    x11_client_size_locked(window, &client_width, &client_height);
    int x = window->x + window->frame_x;
    int y = window->y + window->frame_y + window->caption;
    x11_trap_begin();
    window->xwindow = XCreateWindow(
        window->display, parent, x, y, std::max(1, client_width), std::max(1, client_height), 0,
        window->visual ? window->depth : CopyFromParent, InputOutput,
        window->visual ? window->visual : CopyFromParent, mask, &attributes);
    int error = x11_trap_end(window->display);
    if (error) {
        x11_report("X11", "cannot create a window", window->display, error);
        return false;
    }
    x11_apply_background(window);
    if (!window->parent) x11_apply_top_level_properties(window);
    window->requested.push_back(RECT{x, y, client_width, client_height});
    return true;
}

// Sends WM_PARENTNOTIFY to the parent chain of a child, as long as each asks for it.
void notify_parents(HWND child, UINT event) {
    LONG_PTR id;
    {
        X11Lock guard;
        X11Window* window = x11_window_locked(child);
        if (!window) return;
        id = window->id;
    }
    HWND current = child;
    for (;;) {
        HWND parent;
        {
            X11Lock guard;
            X11Window* window = x11_window_locked(current);
            if (!window || !window->parent || (window->ex_style & WS_EX_NOPARENTNOTIFY)) return;
            X11Window* parent_window = x11_window_locked(window->parent);
            if (!parent_window || parent_window->destroying) return;
            parent = window->parent;
        }
        SendMessageW(parent, WM_PARENTNOTIFY, MAKEWPARAM(event, (WORD)id), (LPARAM)child);
        current = parent;
    }
}

// Sends WM_DESTROY to a window and its descendants, destroys them and sends WM_NCDESTROY.
// Runs on the window's owner thread; children of other threads are destroyed on theirs.
void destroy_tree(HWND hwnd) {
    std::vector<HWND> children;
    {
        X11Lock guard;
        X11Window* window = x11_window_locked(hwnd);
        if (!window || window->destroying) return;
        window->destroying = true;
        if (!window->parent && (window->style & WS_VISIBLE))
            XUnmapWindow(window->display, window->xwindow);
    }
    x11_call_window_proc(hwnd, WM_DESTROY, 0, 0);
    {
        X11Lock guard;
        if (X11Window* window = x11_window_locked(hwnd)) children = window->children;
    }
    for (HWND child : children) {
        // NOTE: a child of another thread gets its messages on that thread, as on Windows.
        x11_run_on_owner(child, [child] {
            destroy_tree(child);
            return (LRESULT)0;
        });
        // Its thread may have ended without running it: then it goes quietly.
        x11_forget_window(child);
    }
    x11_forget_input_window(x11_thread(), hwnd);
    x11_call_window_proc(hwnd, WM_NCDESTROY, 0, 0);
    x11_forget_window(hwnd);
}

// Destroys the top-level windows owned by hwnd (message boxes), as Windows does first.
void destroy_owned_windows(HWND hwnd) {
    std::vector<HWND> owned;
    {
        X11Lock guard;
        for (HWND candidate : x11_thread()->windows) {
            X11Window* window = x11_window_locked(candidate);
            if (window && window->owner_window == hwnd && !window->destroying)
                owned.push_back(candidate);
        }
    }
    for (HWND candidate : owned) DestroyWindow(candidate);
}

LRESULT set_text(HWND hwnd, LPCWSTR text) {
    X11Lock guard;
    X11Window* window = x11_window_locked(hwnd);
    if (!window) return FALSE;
    window->text = text ? text : L"";
    if (!window->parent) x11_apply_title(window);
    return TRUE;
}

LRESULT get_text(HWND hwnd, LPWSTR buffer, int size) {
    X11Lock guard;
    X11Window* window = x11_window_locked(hwnd);
    if (!window || !buffer || size <= 0) return 0;
    size_t count = std::min(window->text.size(), (size_t)size - 1);
    window->text.copy(buffer, count);
    buffer[count] = 0;
    return (LRESULT)count;
}

// Where a window long lives; null when the index is not valid for the window.
LONG_PTR* extra_slot(X11Window* window, int index) {
    if (index < 0 || (size_t)index + sizeof(LONG_PTR) > window->extra.size()) return nullptr;
    return reinterpret_cast<LONG_PTR*>(window->extra.data() + index);
}

}  // namespace

// --- Shared with the other files of this half ---------------------------------------------

X11Window* x11_window_locked(HWND hwnd) {
    if (!hwnd) return nullptr;
    auto found = registry().windows.find(hwnd);
    return found == registry().windows.end() ? nullptr : found->second.get();
}

X11Window* x11_window_or_error_locked(HWND hwnd) {
    X11Window* window = x11_window_locked(hwnd);
    if (!window) SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return window;
}

X11Window* x11_window_with_arg_locked(HWND hwnd, const void* arg) {
    X11Window* window = x11_window_or_error_locked(hwnd);
    if (window && !arg) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    return window;
}

bool x11_check_window(HWND hwnd) {
    X11Lock guard;
    return x11_window_or_error_locked(hwnd) != nullptr;
}

std::shared_ptr<X11Window> x11_find_window(HWND hwnd) {
    X11Lock guard;
    if (!x11_window_or_error_locked(hwnd)) return nullptr;
    return registry().windows.find(hwnd)->second;
}

X11Window* x11_window_by_xid_locked(Window xwindow) {
    auto found = registry().by_xid.find(xwindow);
    return found == registry().by_xid.end() ? nullptr : x11_window_locked(found->second);
}

X11Window* x11_top_level_locked(X11Window* window) {
    while (window && window->parent) {
        X11Window* parent = x11_window_locked(window->parent);
        if (!parent) break;
        window = parent;
    }
    return window;
}

bool x11_accepts_input_locked(X11Window* window) {
    for (; window; window = window->parent ? x11_window_locked(window->parent) : nullptr)
        if (window->style & WS_DISABLED) return false;
    return true;
}

void x11_client_size_locked(const X11Window* window, int* width, int* height) {
    *width = std::max(0, window->width - 2 * window->frame_x);
    *height = std::max(0, window->height - 2 * window->frame_y - window->caption);
}

POINT x11_client_origin_locked(const X11Window* window) {
    POINT origin = {window->x + window->frame_x, window->y + window->frame_y + window->caption};
    if (window->parent) {
        if (X11Window* parent = x11_window_locked(window->parent)) {
            POINT base = x11_client_origin_locked(parent);
            origin.x += base.x;
            origin.y += base.y;
        }
    }
    return origin;
}

Window x11_window_of(HWND hwnd) {
    X11Lock guard;
    X11Window* window = x11_window_locked(hwnd);
    return window ? window->xwindow : None;
}

LRESULT x11_call_window_proc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
    WNDPROC proc;
    {
        X11Lock guard;
        X11Window* window = x11_window_locked(hwnd);
        if (!window) return 0;
        proc = window->proc;
    }
    return proc ? proc(hwnd, message, wparam, lparam)
                : DefWindowProcW(hwnd, message, wparam, lparam);
}

long x11_event_mask(const X11Window* window) {
    long mask = ExposureMask | ButtonPressMask | ButtonReleaseMask | PointerMotionMask |
                StructureNotifyMask | EnterWindowMask | LeaveWindowMask;
    // NOTE: only top-level windows take keys; X then delivers keys pressed over a child
    // (even one of another thread's connection) to the top-level, which routes them to
    // the focus window as Windows does.
    if (!window->parent)
        mask |= KeyPressMask | KeyReleaseMask | FocusChangeMask | PropertyChangeMask;
    return mask;
}

void x11_apply_background(X11Window* window) {
    COLORREF color;
    // NOTE: a GL window is never cleared by the server: it would flash over each frame.
    if (!window->pixel_format && x11_brush_color(window->window_class->background, &color))
        XSetWindowBackground(window->display, window->xwindow,
                             x11_pixel_of(window->display, color));
    else
        XSetWindowBackgroundPixmap(window->display, window->xwindow, None);
}

void x11_apply_title(X11Window* window) {
    const X11Atoms& atoms = x11_atoms(window->display);
    std::string title = x11_utf8_from_wide(window->text.data(), window->text.size());
    XChangeProperty(window->display, window->xwindow, atoms.net_wm_name, atoms.utf8_string, 8,
                    PropModeReplace, reinterpret_cast<const unsigned char*>(title.data()),
                    (int)title.size());
    char* list[] = {&title[0]};
    XTextProperty property;
    if (Xutf8TextListToTextProperty(window->display, list, 1, XStdICCTextStyle, &property) >=
        Success) {
        XSetWMName(window->display, window->xwindow, &property);
        XFree(property.value);
    }
}

void x11_apply_top_level_properties(X11Window* window) {
    Display* display = window->display;
    const X11Atoms& atoms = x11_atoms(display);
    Atom protocols[] = {atoms.wm_delete_window, atoms.net_wm_ping};
    XSetWMProtocols(display, window->xwindow, protocols, 2);
    std::string class_name =
        x11_utf8_from_wide(window->window_class->name.data(), window->window_class->name.size());
    XClassHint hint;
    hint.res_name = const_cast<char*>(class_name.c_str());
    hint.res_class = const_cast<char*>(class_name.c_str());
    XSetClassHint(display, window->xwindow, &hint);
    XSizeHints* size = XAllocSizeHints();
    int client_width, client_height;
    x11_client_size_locked(window, &client_width, &client_height);
    size->flags = USPosition | PPosition | USSize | PSize | PWinGravity;
    size->x = window->x;
    size->y = window->y;
    size->width = client_width;
    size->height = client_height;
    size->win_gravity = NorthWestGravity;
    XSetWMNormalHints(display, window->xwindow, size);
    XFree(size);
    XWMHints* wm = XAllocWMHints();
    wm->flags = InputHint | StateHint;
    wm->input = True;
    wm->initial_state = NormalState;
    XSetWMHints(display, window->xwindow, wm);
    XFree(wm);
    long pid = (long)getpid();
    XChangeProperty(display, window->xwindow, atoms.net_wm_pid, XA_CARDINAL, 32, PropModeReplace,
                    reinterpret_cast<unsigned char*>(&pid), 1);
    if (X11Window* owner = x11_window_locked(window->owner_window)) {
        // An owned window is its owner's dialog: the window manager keeps it above the
        // owner, and, as Windows gives owned windows no task bar button, it has none.
        XSetTransientForHint(display, window->xwindow, owner->xwindow);
        Atom dialog = atoms.net_wm_window_type_dialog;
        XChangeProperty(display, window->xwindow, atoms.net_wm_window_type, XA_ATOM, 32,
                        PropModeReplace, reinterpret_cast<unsigned char*>(&dialog), 1);
        Atom skip_taskbar = atoms.net_wm_state_skip_taskbar;
        XChangeProperty(display, window->xwindow, atoms.net_wm_state, XA_ATOM, 32, PropModeReplace,
                        reinterpret_cast<unsigned char*>(&skip_taskbar), 1);
    }
    x11_apply_title(window);
}

void x11_forget_window(HWND hwnd) {
    std::shared_ptr<X11Window> record;
    {
        X11Lock guard;
        auto found = registry().windows.find(hwnd);
        if (found == registry().windows.end()) return;
        record = found->second;
        registry().windows.erase(found);
        registry().by_xid.erase(record->xwindow);
        if (X11Window* parent = x11_window_locked(record->parent)) {
            auto& list = parent->children;
            list.erase(std::remove(list.begin(), list.end(), hwnd), list.end());
        }
        X11Thread* owner = record->owner.get();
        owner->windows.erase(std::remove(owner->windows.begin(), owner->windows.end(), hwnd),
                             owner->windows.end());
        x11_forget_window_messages_locked(owner, hwnd);
        if (owner->focus == hwnd) owner->focus = nullptr;
        if (owner->capture == hwnd) owner->capture = nullptr;
        if (owner->active == hwnd) owner->active = nullptr;
        wgl_forget_window_locked(record.get());
    }
    // NOTE: the X calls use the owner's connection, which stays open until its thread ends.
    Display* display = record->display;
    if (display && record->owner->display == display) {
        XDestroyWindow(display, record->xwindow);
        if (record->colormap) XFreeColormap(display, record->colormap);
        XFlush(display);
    }
}

void x11_destroy_thread_windows(X11Thread* thread) {
    std::vector<HWND> windows;
    {
        X11Lock guard;
        windows = thread->windows;
    }
    // NOTE: children first, so no X window is destroyed twice through its parent.
    for (auto it = windows.rbegin(); it != windows.rend(); ++it) x11_forget_window(*it);
}

void x11_register_xid_locked(X11Window* window, Window old_xwindow) {
    if (old_xwindow != None) registry().by_xid.erase(old_xwindow);
    registry().by_xid[window->xwindow] = window->handle;
}

// --- Classes -------------------------------------------------------------------------------

ATOM WINAPI RegisterClassExW(const WNDCLASSEXW* wc) {
    if (!wc || wc->cbSize != sizeof(WNDCLASSEXW) || !wc->lpszClassName ||
        is_atom_name(wc->lpszClassName) || !*wc->lpszClassName || wc->cbClsExtra < 0 ||
        wc->cbWndExtra < 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    ensure_system_classes();
    X11Lock guard;
    if (find_class_locked(wc->lpszClassName)) {
        SetLastError(ERROR_CLASS_ALREADY_EXISTS);
        return 0;
    }
    auto entry = std::make_unique<X11Class>();
    entry->name = wc->lpszClassName;
    entry->atom = registry().next_atom++;
    entry->style = wc->style;
    entry->proc = wc->lpfnWndProc;
    entry->class_extra = wc->cbClsExtra;
    entry->window_extra = wc->cbWndExtra;
    entry->instance = wc->hInstance;
    entry->icon = wc->hIcon;
    entry->small_icon = wc->hIconSm;
    entry->cursor = wc->hCursor;
    entry->background = wc->hbrBackground;
    ATOM atom = entry->atom;
    registry().classes.push_back(std::move(entry));
    return atom;
}

// --- Creation and destruction --------------------------------------------------------------

namespace {

// A new window record for the creation arguments: owner, class, styles, parent or owner
// window, cbWndExtra bytes, Win32 geometry with the frame a frame style adds, and the visual
// (a child's is its parent's).
std::shared_ptr<X11Window> new_window_record_locked(const CREATESTRUCTW& create,
                                                    const X11Class* window_class,
                                                    X11Window* parent_window, Display* display) {
    std::shared_ptr<X11Thread> thread = x11_thread_shared();
    auto window = std::make_shared<X11Window>();
    window->handle = reinterpret_cast<HWND>(registry().next_handle);
    registry().next_handle += 4;
    window->owner = thread;
    window->owner_id = thread->id;
    window->window_class = window_class;
    window->proc = window_class->proc;
    // NOTE: WS_VISIBLE is set again when the window is shown at the end of creation.
    window->style = (DWORD)create.style & ~WS_VISIBLE;
    window->ex_style = create.dwExStyle;
    if (create.style & WS_CHILD) {
        window->parent = create.hwndParent;
        window->id = (LONG_PTR)create.hMenu;
    } else if (parent_window) {
        window->owner_window = x11_top_level_locked(parent_window)->handle;
    }
    window->extra.assign((size_t)window_class->window_extra, 0);
    window->x = create.x;
    window->y = create.y;
    window->width = std::max(0, create.cx);
    window->height = std::max(0, create.cy);
    if (has_frame((DWORD)create.style)) {
        window->frame_x = X11_FRAME_X;
        window->frame_y = X11_FRAME_Y;
        window->caption = X11_CAPTION;
    }
    window->display = display;
    window->visual =
        window->parent ? parent_window->visual : DefaultVisual(display, DefaultScreen(display));
    window->depth =
        window->parent ? parent_window->depth : DefaultDepth(display, DefaultScreen(display));
    return window;
}

// Checks the class and parent, makes the record and its X window and registers both; the
// new handle, or null with the last error set.
HWND add_window(const CREATESTRUCTW& create, Display* display) {
    X11Lock guard;
    const X11Class* window_class = create.lpszClass ? find_class_locked(create.lpszClass) : nullptr;
    if (!window_class) {
        SetLastError(ERROR_CANNOT_FIND_WND_CLASS);
        return nullptr;
    }
    X11Window* parent_window = x11_window_locked(create.hwndParent);
    if ((create.hwndParent || (create.style & WS_CHILD)) && !parent_window) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return nullptr;
    }
    auto window = new_window_record_locked(create, window_class, parent_window, display);
    Window x_parent = window->parent ? parent_window->xwindow : DefaultRootWindow(display);
    if (!create_x_window(window.get(), x_parent)) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return nullptr;
    }
    HWND hwnd = window->handle;
    registry().windows[hwnd] = window;
    x11_register_xid_locked(window.get(), None);
    window->owner->windows.push_back(hwnd);
    if (window->parent) parent_window->children.push_back(hwnd);
    return hwnd;
}

// WM_NCCREATE and WM_CREATE; false when the procedure refused (the window is then gone).
bool send_create_messages(HWND hwnd, CREATESTRUCTW* create) {
    if (!x11_call_window_proc(hwnd, WM_NCCREATE, 0, (LPARAM)create)) {
        destroy_tree(hwnd);
        return false;
    }
    if (x11_call_window_proc(hwnd, WM_CREATE, 0, (LPARAM)create) == -1) {
        DestroyWindow(hwnd);
        return false;
    }
    return IsWindow(hwnd);
}

// The first WM_SIZE and WM_MOVE of a new window, and its showing for WS_VISIBLE.
void size_and_show_new_window(HWND hwnd, DWORD style) {
    int client_width, client_height;
    bool top_level;
    POINT move;
    {
        X11Lock guard;
        X11Window* window = x11_window_locked(hwnd);
        x11_client_size_locked(window, &client_width, &client_height);
        top_level = !window->parent;
        move = top_level ? x11_client_origin_locked(window) : POINT{window->x, window->y};
    }
    bool visible = style & WS_VISIBLE;
    // NOTE: Windows sends a visible top-level window its first WM_SIZE while showing it.
    if (visible && top_level) ShowWindow(hwnd, SW_SHOWNORMAL);
    x11_call_window_proc(hwnd, WM_SIZE, 0, MAKELPARAM(client_width, client_height));
    x11_call_window_proc(hwnd, WM_MOVE, 0, MAKELPARAM(move.x, move.y));
    if (visible && !top_level) ShowWindow(hwnd, SW_SHOWNORMAL);
}

}  // namespace

HWND WINAPI CreateWindowExW(DWORD ex_style, LPCWSTR class_name, LPCWSTR window_name, DWORD style,
                            int x, int y, int width, int height, HWND parent, HMENU menu,
                            HINSTANCE instance, LPVOID param) {
    Display* display = x11_require_display();
    ensure_system_classes();
    CREATESTRUCTW create = {param, instance, menu,        parent,      height,     width,
                            y,     x,        (LONG)style, window_name, class_name, ex_style};
    HWND hwnd = add_window(create, display);
    if (!hwnd || !send_create_messages(hwnd, &create)) return nullptr;
    size_and_show_new_window(hwnd, style);
    if (!IsWindow(hwnd)) return nullptr;
    if (style & WS_CHILD) notify_parents(hwnd, WM_CREATE);
    return IsWindow(hwnd) ? hwnd : nullptr;
}

BOOL WINAPI DestroyWindow(HWND hwnd) {
    bool child;
    {
        X11Lock guard;
        X11Window* window = x11_window_or_error_locked(hwnd);
        if (!window) return FALSE;
        if (window->owner.get() != x11_thread()) {
            SetLastError(ERROR_ACCESS_DENIED);
            return FALSE;
        }
        if (window->destroying) return TRUE;
        child = window->parent != nullptr;
    }
    if (child)
        notify_parents(hwnd, WM_DESTROY);
    else
        destroy_owned_windows(hwnd);
    destroy_tree(hwnd);
    return TRUE;
}

BOOL WINAPI IsWindow(HWND hwnd) {
    X11Lock guard;
    return x11_window_locked(hwnd) != nullptr;
}

HWND WINAPI GetParent(HWND hwnd) {
    X11Lock guard;
    X11Window* window = x11_window_or_error_locked(hwnd);
    if (!window) return nullptr;
    return window->parent ? window->parent : window->owner_window;
}

DWORD WINAPI GetWindowThreadProcessId(HWND hwnd, LPDWORD process_id) {
    auto window = x11_find_window(hwnd);
    if (!window) return 0;
    if (process_id) *process_id = (DWORD)getpid();
    return window->owner_id;
}

BOOL WINAPI EnableWindow(HWND hwnd, BOOL enable) {
    bool was_disabled;
    {
        X11Lock guard;
        X11Window* window = x11_window_or_error_locked(hwnd);
        if (!window) return FALSE;
        was_disabled = window->style & WS_DISABLED;
        if (was_disabled == !enable) return was_disabled;
        if (enable)
            window->style &= ~WS_DISABLED;
        else
            window->style |= WS_DISABLED;
    }
    if (!enable) {
        // NOTE: a disabled window cannot keep the keyboard focus.
        x11_run_on_owner(hwnd, [hwnd] {
            X11Thread* thread = x11_thread();
            if (thread->focus == hwnd) x11_set_focus_internal(thread, nullptr);
            return (LRESULT)0;
        });
    }
    SendMessageW(hwnd, WM_ENABLE, enable ? TRUE : FALSE, 0);
    return was_disabled;
}

BOOL WINAPI IsWindowEnabled(HWND hwnd) {
    X11Lock guard;
    X11Window* window = x11_window_locked(hwnd);
    return window && !(window->style & WS_DISABLED);
}

BOOL WINAPI IsWindowVisible(HWND hwnd) {
    X11Lock guard;
    X11Window* window = x11_window_locked(hwnd);
    if (!window) return FALSE;
    for (; window; window = window->parent ? x11_window_locked(window->parent) : nullptr)
        if (!(window->style & WS_VISIBLE)) return FALSE;
    return TRUE;
}

// --- Window longs ---------------------------------------------------------------------------

LONG_PTR WINAPI GetWindowLongPtrW(HWND hwnd, int index) {
    X11Lock guard;
    X11Window* window = x11_window_or_error_locked(hwnd);
    if (!window) return 0;
    switch (index) {
        case GWLP_USERDATA:
            return window->user_data;
        case GWL_STYLE:
            return (LONG_PTR)(LONG)window->style;
        case GWL_EXSTYLE:
            return (LONG_PTR)(LONG)window->ex_style;
        case GWLP_WNDPROC:
            return (LONG_PTR)window->proc;
        case GWLP_ID:
            return window->id;
        default:
            if (LONG_PTR* slot = extra_slot(window, index)) return *slot;
            SetLastError(ERROR_INVALID_INDEX);
            return 0;
    }
}

LONG_PTR WINAPI SetWindowLongPtrW(HWND hwnd, int index, LONG_PTR value) {
    X11Lock guard;
    X11Window* window = x11_window_or_error_locked(hwnd);
    if (!window) return 0;
    LONG_PTR old;
    switch (index) {
        case GWLP_USERDATA:
            old = window->user_data;
            window->user_data = value;
            return old;
        case GWL_STYLE:
            old = (LONG)window->style;
            // NOTE: as on Windows, changing WS_VISIBLE here does not show or hide anything.
            window->style = (DWORD)value;
            return old;
        case GWL_EXSTYLE:
            old = (LONG)window->ex_style;
            window->ex_style = (DWORD)value;
            return old;
        case GWLP_WNDPROC:
            if (!value) {
                SetLastError(ERROR_INVALID_PARAMETER);
                return 0;
            }
            old = (LONG_PTR)window->proc;
            window->proc = reinterpret_cast<WNDPROC>(value);
            return old;
        case GWLP_ID:
            old = window->id;
            window->id = value;
            return old;
        default:
            if (LONG_PTR* slot = extra_slot(window, index)) {
                old = *slot;
                *slot = value;
                return old;
            }
            SetLastError(ERROR_INVALID_INDEX);
            return 0;
    }
}

// --- Text -------------------------------------------------------------------------------------

BOOL WINAPI SetWindowTextW(HWND hwnd, LPCWSTR text) {
    if (!x11_check_window(hwnd)) return FALSE;
    return (BOOL)SendMessageW(hwnd, WM_SETTEXT, 0, (LPARAM)text);
}

int WINAPI GetWindowTextW(HWND hwnd, LPWSTR text, int max_count) {
    if (!x11_check_window(hwnd)) return 0;
    if (!text || max_count <= 0) return 0;
    text[0] = 0;
    return (int)SendMessageW(hwnd, WM_GETTEXT, (WPARAM)max_count, (LPARAM)text);
}

int WINAPI GetWindowTextLengthW(HWND hwnd) {
    if (!x11_check_window(hwnd)) return 0;
    return (int)SendMessageW(hwnd, WM_GETTEXTLENGTH, 0, 0);
}

// --- Default window procedure ---------------------------------------------------------------

LRESULT WINAPI DefWindowProcW(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
    switch (message) {
        case WM_NCCREATE: {
            auto* create = reinterpret_cast<CREATESTRUCTW*>(lparam);
            if (create && create->lpszName && !is_atom_name(create->lpszName))
                set_text(hwnd, create->lpszName);
            return TRUE;
        }
        case WM_CLOSE:
            DestroyWindow(hwnd);
            return 0;
        case WM_SETTEXT:
            return set_text(hwnd, reinterpret_cast<LPCWSTR>(lparam));
        case WM_GETTEXT:
            return get_text(hwnd, reinterpret_cast<LPWSTR>(lparam), (int)wparam);
        case WM_GETTEXTLENGTH: {
            X11Lock guard;
            X11Window* window = x11_window_locked(hwnd);
            return window ? (LRESULT)window->text.size() : 0;
        }
        case WM_PAINT: {
            PAINTSTRUCT paint;
            if (BeginPaint(hwnd, &paint)) EndPaint(hwnd, &paint);
            return 0;
        }
        case WM_ERASEBKGND:
            return x11_default_erase(hwnd, reinterpret_cast<HDC>(wparam));
        case WM_MOUSEWHEEL: {
            // NOTE: an unhandled wheel travels up to the parent, as on Windows.
            HWND parent = nullptr;
            {
                X11Lock guard;
                if (X11Window* window = x11_window_locked(hwnd)) parent = window->parent;
            }
            return parent ? SendMessageW(parent, message, wparam, lparam) : 0;
        }
        case WM_SYSKEYDOWN:
            if (wparam == VK_F1 + 3) {  // Alt+F4 closes the window
                HWND top = nullptr;
                {
                    X11Lock guard;
                    if (X11Window* window = x11_top_level_locked(x11_window_locked(hwnd)))
                        top = window->handle;
                }
                if (top) PostMessageW(top, WM_CLOSE, 0, 0);
            }
            return 0;
        default:
            return 0;
    }
}
