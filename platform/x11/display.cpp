// Per-thread X connections and thread state, atoms, screen metrics and the X error funnel.
#include "platform/x11/x11_internal.h"

#include <X11/XKBlib.h>
#include <pthread.h>
#include <stdio.h>
#include <stdlib.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <atomic>
#include <map>

namespace {

pthread_key_t g_thread_key;
std::once_flag g_thread_key_once;
std::once_flag g_xlib_once;

thread_local X11Thread* t_thread = nullptr;
thread_local int t_trap_depth = 0;
thread_local int t_trap_error = 0;

std::atomic<int> g_screen_width{0};
std::atomic<int> g_screen_height{0};

// NOTE: X errors arrive asynchronously; recording them keeps a late BadWindow (a window
// that another connection already destroyed) from killing the process, as Xlib's default
// handler would.
int record_x_error(Display*, XErrorEvent* error) {
    if (t_trap_depth > 0 && t_trap_error == 0) t_trap_error = error->error_code;
    return 0;
}

int report_io_error(Display* display) {
    fprintf(stderr, "X11: connection to display \"%s\" lost\n", DisplayString(display));
    fflush(stderr);
    _exit(1);
}

// Ends a thread's use of the layer: its windows go, senders waiting on it get 0.
void end_thread(void* value) {
    auto* holder = static_cast<std::shared_ptr<X11Thread>*>(value);
    X11Thread* thread = holder->get();
    x11_destroy_thread_windows(thread);
    std::vector<std::shared_ptr<X11Thread>> waiting;
    {
        X11Lock guard;
        thread->dead = true;
        for (X11Send* send : thread->sent) {
            send->result = 0;
            send->done = true;
            waiting.push_back(send->sender);
        }
        thread->sent.clear();
    }
    for (auto& sender : waiting) x11_wake(sender.get());
    wgl_thread_ended();
    if (thread->display) {
        XCloseDisplay(thread->display);
        thread->display = nullptr;
    }
    t_thread = nullptr;
    delete holder;
}

void make_thread_key() {
    pthread_key_create(&g_thread_key, end_thread);
}

Display* open_thread_display(X11Thread* thread) {
    std::call_once(g_xlib_once, [] {
        // NOTE: several threads each use their own connection, and a foreign thread may
        // touch another's (GetDC of its window); Xlib must be told before any other call.
        XInitThreads();
        XSetErrorHandler(record_x_error);
        XSetIOErrorHandler(report_io_error);
    });
    Display* display = XOpenDisplay(nullptr);
    if (!display) return nullptr;
    Bool supported = False;
    XkbSetDetectableAutoRepeat(display, True, &supported);
    thread->detectable_repeat = supported;
    int screen = DefaultScreen(display);
    g_screen_width = DisplayWidth(display, screen);
    g_screen_height = DisplayHeight(display, screen);
    return display;
}

}  // namespace

X11Thread::~X11Thread() {
    if (wake_fd >= 0) close(wake_fd);
}

std::recursive_mutex& x11_lock() {
    // NOTE: never destroyed: detached threads may still run while the process exits.
    static auto* lock = new std::recursive_mutex;
    return *lock;
}

std::shared_ptr<X11Thread> x11_thread_shared() {
    std::call_once(g_thread_key_once, make_thread_key);
    auto* holder = static_cast<std::shared_ptr<X11Thread>*>(pthread_getspecific(g_thread_key));
    if (holder) return *holder;
    auto thread = std::make_shared<X11Thread>();
    thread->id = GetCurrentThreadId();
    thread->wake_fd = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    pthread_setspecific(g_thread_key, new std::shared_ptr<X11Thread>(thread));
    t_thread = thread.get();
    return thread;
}

X11Thread* x11_thread() {
    if (t_thread) return t_thread;
    return x11_thread_shared().get();
}

Display* x11_thread_display(void) {
    X11Thread* thread = x11_thread();
    if (!thread->display_tried) {
        thread->display_tried = true;
        thread->display = open_thread_display(thread);
    }
    return thread->display;
}

Display* x11_require_display() {
    Display* display = x11_thread_display();
    if (display) return display;
    const char* name = getenv("DISPLAY");
    fprintf(stderr, "X11: cannot open display \"%s\"\n", name ? name : "");
    fflush(stderr);
    exit(1);
}

void x11_wake(X11Thread* thread) {
    if (!thread || thread->wake_fd < 0) return;
    uint64_t one = 1;
    // NOTE: a full counter still leaves the descriptor readable, which is all we need.
    ssize_t written = write(thread->wake_fd, &one, sizeof one);
    (void)written;
}

const X11Atoms& x11_atoms(Display* display) {
    static auto* cache = new std::map<Display*, X11Atoms>;
    X11Lock guard;
    auto found = cache->find(display);
    if (found != cache->end()) return found->second;
    const char* names[] = {"WM_PROTOCOLS",  "WM_DELETE_WINDOW",    "WM_STATE",
                           "_NET_WM_NAME",  "_NET_WM_PID",         "_NET_WM_PING",
                           "UTF8_STRING",   "_NET_WM_WINDOW_TYPE", "_NET_WM_WINDOW_TYPE_DIALOG",
                           "_NET_WM_STATE", "_NET_WM_STATE_MODAL", "_NET_WM_STATE_SKIP_TASKBAR"};
    constexpr int count = sizeof names / sizeof names[0];
    Atom atoms[count];
    XInternAtoms(display, const_cast<char**>(names), count, False, atoms);
    X11Atoms& entry = (*cache)[display];
    entry = X11Atoms{atoms[0], atoms[1], atoms[2], atoms[3], atoms[4],  atoms[5],
                     atoms[6], atoms[7], atoms[8], atoms[9], atoms[10], atoms[11]};
    return entry;
}

void x11_trap_begin() {
    if (t_trap_depth++ == 0) t_trap_error = 0;
}

int x11_trap_end(Display* display) {
    XSync(display, False);
    int code = t_trap_error;
    if (--t_trap_depth == 0) t_trap_error = 0;
    return code;
}

void x11_report(const char* area, const char* what, Display* display, int code) {
    if (code && display) {
        char text[256];
        XGetErrorText(display, code, text, sizeof text);
        fprintf(stderr, "%s: %s: %s\n", area, what, text);
    } else {
        fprintf(stderr, "%s: %s\n", area, what);
    }
}

void x11_screen_size(int* width, int* height) {
    if (g_screen_width.load() == 0) x11_require_display();
    *width = g_screen_width;
    *height = g_screen_height;
}

unsigned long x11_pixel_of(Display* display, COLORREF color) {
    Visual* visual = DefaultVisual(display, DefaultScreen(display));
    unsigned long masks[3] = {visual->red_mask, visual->green_mask, visual->blue_mask};
    unsigned int values[3] = {GetRValue(color), GetGValue(color), GetBValue(color)};
    if (visual->c_class == TrueColor || visual->c_class == DirectColor) {
        unsigned long pixel = 0;
        for (int i = 0; i < 3; ++i) {
            unsigned long mask = masks[i];
            int shift = 0;
            while (mask && !(mask & 1)) {
                mask >>= 1;
                ++shift;
            }
            int bits = 0;
            while (mask & 1) {
                mask >>= 1;
                ++bits;
            }
            unsigned long value = bits >= 8 ? (unsigned long)values[i] << (bits - 8)
                                            : (unsigned long)values[i] >> (8 - bits);
            pixel |= value << shift;
        }
        return pixel;
    }
    // NOTE: palette visuals: ask the server, and remember the answer.
    static auto* cache = new std::map<std::pair<Display*, COLORREF>, unsigned long>;
    X11Lock guard;
    auto found = cache->find({display, color});
    if (found != cache->end()) return found->second;
    XColor xcolor;
    xcolor.red = (unsigned short)(values[0] * 257);
    xcolor.green = (unsigned short)(values[1] * 257);
    xcolor.blue = (unsigned short)(values[2] * 257);
    xcolor.flags = DoRed | DoGreen | DoBlue;
    unsigned long pixel = BlackPixel(display, DefaultScreen(display));
    if (XAllocColor(display, DefaultColormap(display, DefaultScreen(display)), &xcolor))
        pixel = xcolor.pixel;
    (*cache)[{display, color}] = pixel;
    return pixel;
}

int WINAPI GetSystemMetrics(int index) {
    int width, height;
    switch (index) {
        case SM_CXSCREEN:
            x11_screen_size(&width, &height);
            return width;
        case SM_CYSCREEN:
            x11_screen_size(&width, &height);
            return height;
        case SM_CXFRAME:
            return X11_FRAME_X;
        case SM_CYFRAME:
            return X11_FRAME_Y;
        case SM_CYCAPTION:
            return X11_CAPTION;
        case SM_CXVSCROLL:
        case SM_CYHSCROLL:
        case SM_CYVSCROLL:
        case SM_CXHSCROLL:
            return X11_SCROLL_SIZE;
        case SM_CXBORDER:
        case SM_CYBORDER:
            return 1;
        case SM_CXEDGE:
        case SM_CYEDGE:
            return 2;
        default:
            return 0;
    }
}
