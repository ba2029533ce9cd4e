// Helpers for the layer's tests.
#include "test_util.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <stdio.h>
#include <sys/wait.h>

#include <algorithm>

#include "tests/support/plain_class.h"
#include "tests/support/wm_protocol.h"

Recorder& recorder() {
    static Recorder instance;
    return instance;
}

void reset_recorder() {
    std::lock_guard<std::mutex> guard(recorder().lock);
    recorder().seen.clear();
    recorder().handler = nullptr;
}

// The recorded messages that keep() accepts, in order.
static std::vector<Seen> seen_where(const std::function<bool(const Seen&)>& keep) {
    std::lock_guard<std::mutex> guard(recorder().lock);
    std::vector<Seen> out;
    for (const Seen& s : recorder().seen)
        if (keep(s)) out.push_back(s);
    return out;
}

std::vector<Seen> seen_messages(UINT message) {
    return seen_where([message](const Seen& s) { return s.message == message; });
}

std::vector<Seen> seen_for(HWND hwnd) {
    return seen_where([hwnd](const Seen& s) { return s.hwnd == hwnd; });
}

int seen_count(UINT message) {
    return (int)seen_messages(message).size();
}

LRESULT CALLBACK recording_proc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
    std::function<bool(HWND, UINT, WPARAM, LPARAM, LRESULT*)> handler;
    {
        std::lock_guard<std::mutex> guard(recorder().lock);
        Recorder& r = recorder();
        r.seen.push_back(Seen{hwnd, message, wparam, lparam, GetCurrentThreadId(), r.next++});
        handler = r.handler;
    }
    LRESULT answer = 0;
    if (handler && handler(hwnd, message, wparam, lparam, &answer)) return answer;
    return DefWindowProcW(hwnd, message, wparam, lparam);
}

LPCWSTR recording_class() {
    static bool registered = [] {
        WNDCLASSEXW wc = {};
        wc.cbSize = sizeof wc;
        wc.style = CS_HREDRAW | CS_VREDRAW;
        wc.lpfnWndProc = recording_proc;
        wc.cbWndExtra = 16;
        wc.hbrBackground = CreateSolidBrush(RGB(10, 200, 30));
        wc.lpszClassName = L"Recording";
        return RegisterClassExW(&wc) != 0;
    }();
    (void)registered;
    return L"Recording";
}

int run(const std::string& command, std::string* out) {
    FILE* pipe = popen((command + " 2>/dev/null").c_str(), "r");
    if (!pipe) return -1;
    std::string text;
    char buffer[256];
    while (fgets(buffer, sizeof buffer, pipe)) text += buffer;
    int status = pclose(pipe);
    if (out) *out = text;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

unsigned long find_window_by_title(const std::string& title, int timeout_ms) {
    DWORD start = GetTickCount();
    do {
        std::string out;
        if (run("xdotool search --name '^" + title + "$'", &out) == 0 && !out.empty())
            return std::stoul(out);
        Sleep(20);
    } while ((int)(GetTickCount() - start) < timeout_ms);
    return 0;
}

// NOTE: a connection of the test's own, so reading the screen disturbs no layer thread.
static Display* test_display() {
    static Display* display = XOpenDisplay(nullptr);
    return display;
}

COLORREF screen_pixel(int x, int y) {
    Display* display = test_display();
    XImage* image = XGetImage(display, DefaultRootWindow(display), x, y, 1, 1, AllPlanes, ZPixmap);
    if (!image) return 0xFFFFFFFF;
    unsigned long pixel = XGetPixel(image, 0, 0);
    COLORREF color = RGB((pixel >> 16) & 0xFF, (pixel >> 8) & 0xFF, pixel & 0xFF);
    XDestroyImage(image);
    return color;
}

bool near_color(COLORREF a, COLORREF b, int tolerance) {
    return abs(GetRValue(a) - GetRValue(b)) <= tolerance &&
           abs(GetGValue(a) - GetGValue(b)) <= tolerance &&
           abs(GetBValue(a) - GetBValue(b)) <= tolerance;
}

bool any_key_held() {
    char keys[32];
    XQueryKeymap(test_display(), keys);
    for (char byte : keys)
        if (byte) return true;
    return false;
}

void send_delete_window(unsigned long xwindow) {
    Display* display = test_display();
    send_wm_protocol(display, xwindow, "WM_DELETE_WINDOW", CurrentTime, 0);
    XFlush(display);
}

HWND make_focused_window(LPCWSTR title, int x, int y, int width, int height) {
    HWND hwnd = CreateWindowExW(0, recording_class(), title, WS_OVERLAPPEDWINDOW | WS_VISIBLE, x, y,
                                width, height, nullptr, nullptr, nullptr, nullptr);
    pump_until([hwnd] { return GetFocus() == hwnd; });
    settle_thread();
    return hwnd;
}

#include <atomic>
#include <thread>

struct WindowThread::State {
    std::thread thread;
    std::atomic<bool> ready{false};
    std::atomic<bool> stop{false};
};

static LRESULT CALLBACK control_proc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
    if (message == WM_USER + 900) return (*reinterpret_cast<std::function<LRESULT()>*>(lparam))();
    return DefWindowProcW(hwnd, message, wparam, lparam);
}

WindowThread::WindowThread() : state(new State) {
    static bool registered = register_plain_class(L"TestControl", control_proc);
    (void)registered;
    state->thread = std::thread([this] {
        control = CreateWindowExW(0, L"TestControl", L"", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr,
                                  nullptr, nullptr);
        id = GetCurrentThreadId();
        state->ready = true;
        MSG msg;
        while (!state->stop && GetMessageW(&msg, nullptr, 0, 0) > 0) {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
        DestroyWindow(control);
    });
    while (!state->ready) Sleep(1);
}

WindowThread::~WindowThread() {
    state->stop = true;
    PostMessageW(control, WM_NULL, 0, 0);
    state->thread.join();
    delete state;
}

LRESULT WindowThread::run(const std::function<LRESULT()>& fn) {
    std::function<LRESULT()> copy = fn;
    return SendMessageW(control, WM_USER + 900, 0, (LPARAM)&copy);
}

// The names of the atoms in an atom-list property of a window.
static std::vector<std::string> atom_names(Display* display, Window xwindow, const char* property) {
    std::vector<std::string> names;
    Atom type = None;
    int format = 0;
    unsigned long count = 0, after = 0;
    unsigned char* data = nullptr;
    if (XGetWindowProperty(display, xwindow, XInternAtom(display, property, False), 0, 32, False,
                           XA_ATOM, &type, &format, &count, &after, &data) != Success)
        return names;
    const Atom* atoms = reinterpret_cast<const Atom*>(data);
    for (unsigned long i = 0; data && format == 32 && i < count; ++i) {
        char* name = XGetAtomName(display, atoms[i]);
        if (name) names.push_back(name);
        XFree(name);
    }
    if (data) XFree(data);
    return names;
}

WmHints wm_hints_of(unsigned long xwindow) {
    WmHints hints;
    Display* display = XOpenDisplay(nullptr);
    if (!display) return hints;
    Window owner = None;
    if (XGetTransientForHint(display, xwindow, &owner)) hints.transient_for = owner;
    hints.types = atom_names(display, xwindow, "_NET_WM_WINDOW_TYPE");
    hints.states = atom_names(display, xwindow, "_NET_WM_STATE");
    XCloseDisplay(display);
    return hints;
}
