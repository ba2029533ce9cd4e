// The WM_PROTOCOLS client message a window manager sends to a top-level X window
// (WM_DELETE_WINDOW, _NET_WM_PING), for the tests and the probe that act as one. Header
// only: the probe links nothing but Xlib.
#pragma once

#include <X11/Xlib.h>

// Sends the protocol message; data1 is the time (or the ping's serial), data2 the ping's
// window. The caller flushes.
inline void send_wm_protocol(Display* display, Window window, const char* protocol, long data1,
                             long data2) {
    XEvent event = {};
    event.xclient.type = ClientMessage;
    event.xclient.window = window;
    event.xclient.message_type = XInternAtom(display, "WM_PROTOCOLS", False);
    event.xclient.format = 32;
    event.xclient.data.l[0] = (long)XInternAtom(display, protocol, False);
    event.xclient.data.l[1] = data1;
    event.xclient.data.l[2] = data2;
    XSendEvent(display, window, False, NoEventMask, &event);
}
