#include "tests/support/settle.h"

#include <X11/Xlib.h>

#include <mutex>

#include "platform/win32.h"
#include "platform/x11/x11_shared.h"
#include "tests/support/plain_class.h"
#include "tests/support/wm_protocol.h"

namespace {

LRESULT CALLBACK anchor_proc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
    return DefWindowProcW(hwnd, message, wparam, lparam);
}

// A hidden window of the calling thread, the target of its pings.
HWND thread_anchor() {
    static std::once_flag registered;
    std::call_once(registered, [] { register_plain_class(L"SettleAnchor", anchor_proc); });
    thread_local HWND anchor = CreateWindowExW(0, L"SettleAnchor", L"", WS_OVERLAPPED, 0, 0, 1, 1, nullptr,
                                               nullptr, nullptr, nullptr);
    return anchor;
}

// The pinging side: a connection of its own that sees what clients send to the root window.
Display* ping_display() {
    static Display* display = [] {
        Display* d = XOpenDisplay(nullptr);
        if (d) XSelectInput(d, DefaultRootWindow(d), SubstructureNotifyMask);
        return d;
    }();
    return display;
}

bool answered(Display* display, long serial) {
    XEvent event;
    while (XCheckTypedEvent(display, ClientMessage, &event))
        if (event.xclient.data.l[1] == serial) return true;
    return false;
}

}  // namespace

bool settle_thread(int timeout_ms) {
    static long next_serial = 0;
    Display* display = ping_display();
    const Window target = x11_window_of(thread_anchor());
    if (!display || !target) return false;
    // NOTE: the thread's own requests first (a window mapped, a region exposed), so that what
    // the server answers to them comes before the ping.
    XSync(x11_thread_display(), False);
    const long serial = ++next_serial;
    send_wm_protocol(display, target, "_NET_WM_PING", serial, (long)target);
    XFlush(display);
    return pump_until([&] { return answered(display, serial); }, timeout_ms);
}

bool pump_until(const std::function<bool()>& done, int timeout_ms) {
    const DWORD start = GetTickCount();
    for (;;) {
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
        if (done()) return true;
        if ((int)(GetTickCount() - start) > timeout_ms) return false;
        Sleep(1);
    }
}

void pump_for(int ms) {
    pump_until([] { return false; }, ms);
}
