// Private state of the windowing half of the X11 layer: the per-thread X connection and
// message queue, the window and class records, and the helpers the files of this half share.
//
// Locking: one process-wide recursive lock (x11_lock()) guards every record below. Window
// procedures are never called while it is held, so a procedure may call any layer function.
#pragma once

#include "platform/x11/x11_shared.h"

#include <X11/Xutil.h>

#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <unordered_map>
#include <vector>

// Fixed window metrics (pixels): frame, caption, scroll bars.
constexpr int X11_FRAME_X = 4;
constexpr int X11_FRAME_Y = 4;
constexpr int X11_CAPTION = 23;
constexpr int X11_SCROLL_SIZE = 17;

struct X11Thread;

// A registered window class. Classes are never unregistered, so pointers stay valid.
struct X11Class {
    std::wstring name;  // as registered; lookups ignore case
    ATOM atom;
    UINT style;
    WNDPROC proc;
    int class_extra;
    int window_extra;
    HINSTANCE instance;
    HICON icon;
    HICON small_icon;
    HCURSOR cursor;
    HBRUSH background;  // a brush, a system colour index + 1, or null
};

// A window. The handle is a number, never a pointer to this record, so a stale handle can
// be recognised (IsWindow) instead of being followed.
struct X11Window {
    HWND handle = nullptr;
    std::shared_ptr<X11Thread> owner;  // the thread that created it
    DWORD owner_id = 0;
    const X11Class* window_class = nullptr;
    WNDPROC proc = nullptr;
    DWORD style = 0;
    DWORD ex_style = 0;
    HWND parent = nullptr;        // the parent of a child window, else null
    HWND owner_window = nullptr;  // the owner of a top-level window, else null
    std::vector<HWND> children;   // in creation order
    std::wstring text;
    LONG_PTR user_data = 0;
    LONG_PTR id = 0;
    std::vector<unsigned char> extra;  // cbWndExtra bytes

    // Win32 geometry: a child's rectangle relative to its parent's client area; a top-level
    // window's outer rectangle (frame and caption included) on the screen.
    int x = 0, y = 0, width = 0, height = 0;
    int frame_x = 0, frame_y = 0, caption = 0;  // what the layer adds around the client area

    // X side. The X window is the client area.
    Display* display = nullptr;  // the owner thread's connection
    Window xwindow = None;
    Visual* visual = nullptr;
    int depth = 0;
    Colormap colormap = None;  // made for a non-default visual, freed with the window
    bool mapped = false;       // MapNotify seen
    bool reparented = false;   // a window manager framed it
    bool focus_on_map = false;
    std::deque<RECT> requested;  // recent client geometries we asked X for (left, top, w, h)

    // Painting.
    bool has_update = false;
    bool update_erase = false;
    RECT update = {0, 0, 0, 0};
    bool painting = false;  // between BeginPaint and EndPaint

    // WGL: the 1-based pixel format set with SetPixelFormat, or 0.
    int pixel_format = 0;

    HWND last_focus = nullptr;  // top-level: the focus to restore on activation
    bool destroying = false;
};

// A message sent to another thread: the sender waits until done.
struct X11Send {
    HWND hwnd = nullptr;
    UINT message = 0;
    WPARAM wparam = 0;
    LPARAM lparam = 0;
    std::function<LRESULT()> internal;  // when set, run this on the target thread instead
    LRESULT result = 0;
    bool done = false;
    std::shared_ptr<X11Thread> sender;
};

struct X11Timer {
    HWND hwnd;
    UINT_PTR id;
    UINT elapse;
    TIMERPROC proc;
    DWORD due;
};

// A key-down and the character it types, kept for TranslateMessage.
struct X11KeyChar {
    UINT message;  // WM_KEYDOWN or WM_SYSKEYDOWN
    WPARAM vk;
    LPARAM lparam;
    DWORD time;
    wchar_t ch;
};

// The state of one thread that uses windows or messages.
struct X11Thread {
    DWORD id = 0;
    int wake_fd = -1;  // eventfd: written by anyone who queues something for this thread
    Display* display = nullptr;
    bool display_tried = false;
    bool detectable_repeat = false;
    bool dead = false;

    std::deque<MSG> posted;
    std::deque<X11Send*> sent;
    bool quit_pending = false;
    int quit_code = 0;
    std::vector<X11Timer> timers;
    UINT_PTR next_timer_id = 0x7FF0;
    std::vector<HWND> windows;  // owned windows, in creation order

    HWND focus = nullptr;
    HWND capture = nullptr;
    HWND active = nullptr;         // the top-level window that has the X input focus
    HWND pending_focus = nullptr;  // a top-level window to focus once no key is held
    DWORD pending_since = 0;
    std::deque<X11KeyChar> key_chars;
    bool key_down[256] = {};
    // _NET_WM_PING requests, answered once the thread has nothing left to handle.
    std::vector<XClientMessageEvent> pings;

    ~X11Thread();
};

// --- display.cpp ------------------------------------------------------------------------
std::recursive_mutex& x11_lock();
// Holds the layer's lock for the scope it lives in: `X11Lock guard;`.
class X11Lock {
  public:
    X11Lock() : guard_(x11_lock()) {}

  private:
    std::lock_guard<std::recursive_mutex> guard_;
};
// The calling thread's state, made on first use.
X11Thread* x11_thread();
std::shared_ptr<X11Thread> x11_thread_shared();
// The calling thread's X connection; prints "X11: cannot open display" and exits when
// there is none.
Display* x11_require_display();
// Wakes a thread blocked in GetMessageW or SendMessageW.
void x11_wake(X11Thread* thread);

struct X11Atoms {
    Atom wm_protocols, wm_delete_window, wm_state, net_wm_name, net_wm_pid, net_wm_ping,
        utf8_string, net_wm_window_type, net_wm_window_type_dialog, net_wm_state,
        net_wm_state_modal, net_wm_state_skip_taskbar;
};
const X11Atoms& x11_atoms(Display* display);

// Error funnel: X errors are recorded, never fatal. A trap brackets risky calls and
// returns the first error code seen inside it (0 when none), after an XSync.
void x11_trap_begin();
int x11_trap_end(Display* display);
// Prints "<area>: <what>" with the X error text of code (if not 0) on stderr.
void x11_report(const char* area, const char* what, Display* display, int code);

// Screen size of the default screen, from the first connection opened.
void x11_screen_size(int* width, int* height);

// --- window.cpp -------------------------------------------------------------------------
// The record of a live window, or null (sets ERROR_INVALID_WINDOW_HANDLE). Takes the lock.
std::shared_ptr<X11Window> x11_find_window(HWND hwnd);
// The same with the lock already held, without touching the last error.
X11Window* x11_window_locked(HWND hwnd);
// The record of a live window with the lock held, or null after setting
// ERROR_INVALID_WINDOW_HANDLE: the first step of most entry points that take a window.
X11Window* x11_window_or_error_locked(HWND hwnd);
// The same for entry points with an output argument: null after setting
// ERROR_INVALID_WINDOW_HANDLE, or ERROR_INVALID_PARAMETER when arg is null.
X11Window* x11_window_with_arg_locked(HWND hwnd, const void* arg);
// True for a live window, else false after setting ERROR_INVALID_WINDOW_HANDLE. Takes the lock.
bool x11_check_window(HWND hwnd);
// The window whose client area is this X window, with the lock held; null if none.
X11Window* x11_window_by_xid_locked(Window xwindow);
// The top-level window above (or equal to) a window, with the lock held.
X11Window* x11_top_level_locked(X11Window* window);
// True when the window and every ancestor are enabled.
bool x11_accepts_input_locked(X11Window* window);
// Client size of a window.
void x11_client_size_locked(const X11Window* window, int* width, int* height);
// Screen position of a window's client area origin, with the lock held.
POINT x11_client_origin_locked(const X11Window* window);
// Calls the window procedure of hwnd directly (the caller is its owner thread).
LRESULT x11_call_window_proc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam);
// Applies a geometry change reported by X (a window manager moving or sizing a window).
void x11_window_configured(HWND hwnd, int root_x, int root_y, int width, int height);
// Destroys every window of a thread that ends, without messages.
void x11_destroy_thread_windows(X11Thread* thread);
// Changes the X window of hwnd to one with the given visual (SetPixelFormat); keeps the
// handle, geometry and children. Runs on the owner thread.
bool x11_recreate_window(HWND hwnd, Visual* visual, int depth);
// Sets the X window's background to the class brush, or to none (GL windows).
void x11_apply_background(X11Window* window);
// Removes a window's record without messages (its thread ended, or it is destroyed).
void x11_forget_window(HWND hwnd);
// Records the X window of a window (after creating or replacing it), with the lock held.
void x11_register_xid_locked(X11Window* window, Window old_xwindow);
// Sets WM_NAME and _NET_WM_NAME of a top-level window to its text.
void x11_apply_title(X11Window* window);
// WM_CLASS, protocols, size hints and owner of a top-level X window.
void x11_apply_top_level_properties(X11Window* window);
// The X event mask of a window.
long x11_event_mask(const X11Window* window);

// --- message.cpp ------------------------------------------------------------------------
// Runs fn on the thread that owns hwnd (directly when that is the caller), waiting for it
// while handling messages sent to the caller, as SendMessageW does.
LRESULT x11_run_on_owner(HWND hwnd, std::function<LRESULT()> fn);
// Handles every message sent to the calling thread that is waiting.
void x11_process_sent(X11Thread* thread);
// Queues an input message for the owner thread of hwnd (mouse moves coalesce); returns
// the message time.
DWORD x11_post_input(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam, POINT pt);
// Remembers the character a queued key-down types, for TranslateMessage.
void x11_remember_key_char(X11Thread* thread, const X11KeyChar& entry);
// Forgets the timers and queued messages of a destroyed window.
void x11_forget_window_messages_locked(X11Thread* thread, HWND hwnd);
// Last pointer position seen in an event (screen coordinates).
POINT x11_last_pointer();
void x11_set_last_pointer(int x, int y);

// --- input.cpp --------------------------------------------------------------------------
// Translates one X event of the calling thread's connection.
void x11_handle_event(X11Thread* thread, XEvent* event);
// Focus changes with WM_KILLFOCUS / WM_SETFOCUS (the window must be the caller's or null).
void x11_set_focus_internal(X11Thread* thread, HWND hwnd);
// Gives a top-level window the X input focus (now if mapped, else when it is mapped).
void x11_activate(HWND top_level);
// Gives the X focus to a window that waits for held keys to be released; true while it
// still waits (the caller then polls again soon).
bool x11_retry_focus(X11Thread* thread);
// Drops focus and capture that point at a window being destroyed.
void x11_forget_input_window(X11Thread* thread, HWND hwnd);
// The deepest of our windows under a screen point, or null.
HWND x11_window_from_point(Display* display, int x, int y);

// --- paint.cpp --------------------------------------------------------------------------
// Adds a rectangle (client coordinates, null = all) to a window's update region.
void x11_invalidate_locked(X11Window* window, const RECT* rect, bool erase);
// DefWindowProcW(WM_ERASEBKGND): fills the client area with the class brush.
LRESULT x11_default_erase(HWND hwnd, HDC dc);
// The COLORREF of a brush handle (also a system colour index + 1); false for none.
bool x11_brush_color(HBRUSH brush, COLORREF* color);
// Updates the drawable of every DC of hwnd after its X window was replaced.
void x11_retarget_window_dcs(HWND hwnd, Window xwindow, int depth);

// --- wgl.cpp ----------------------------------------------------------------------------
// Releases the GL state of a DC (gl_private) before the DC is freed.
void wgl_release_dc(HDC dc);
// Makes no context current on a thread that ends, before its connection closes.
void wgl_thread_ended();
// Releases the calling thread's current context from a window being destroyed.
void wgl_forget_window_locked(X11Window* window);

// --- keymap.cpp (no X calls) ------------------------------------------------------------
// The virtual-key code of an unshifted key symbol, or 0.
UINT x11_vk_of_keysym(unsigned long keysym);
// The character a key symbol types, or 0.
wchar_t x11_char_of_keysym(unsigned long keysym);
// The PC scan code of an evdev key code (X keycode - 8), or 0.
unsigned int x11_scan_code_of(unsigned int evdev_code);
// True for keys whose Win32 scan code has the extended flag.
bool x11_vk_is_extended(UINT vk);
