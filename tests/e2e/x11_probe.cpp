// Reads what is on the X screen, for the end-to-end tests:
//   x11_probe pixel X Y                 prints "R G B" of one root pixel
//   x11_probe count X Y W H R G B [tol]  prints how many pixels of the area have that colour
//   x11_probe nonblack X Y W H          prints how many pixels of the area are not black
//   x11_probe save X Y W H FILE.ppm     writes the area as a binary PPM
//   x11_probe geometry NAME             prints "X Y W H" of the first window titled NAME
//   x11_probe close NAME                asks the window titled NAME to close (WM_DELETE_WINDOW)
//   x11_probe sync NAME [SECONDS]       waits until every thread behind the window titled NAME
//                                       and its child windows has handled all input sent so far
//   x11_probe watch FILE                writes to FILE a line for every top-level window mapped
//                                       ("map ID TITLE", TITLE "?" when it was gone before it
//                                       could be read), unmapped ("unmap ID") or destroyed
//                                       ("destroy ID"), in the server's order; prints "ready"
//                                       once watching, and ends at `x11_probe unwatch FILE`
//   x11_probe unwatch FILE              ends the watch writing FILE, after every event before
#include <X11/Xlib.h>
#include <X11/Xatom.h>
#include <X11/Xutil.h>
#include <poll.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>

#include <string>
#include <vector>

#include "../support/wm_protocol.h"

namespace {

struct Rgb {
    int r, g, b;
};

Rgb pixel_of(XImage* image, int x, int y) {
    const unsigned long p = XGetPixel(image, x, y);
    return {(int)((p >> 16) & 0xff), (int)((p >> 8) & 0xff), (int)(p & 0xff)};
}

// The one screen area a run reads; freed before the display is closed.
XImage* grabbed = nullptr;

XImage* grab(Display* display, int x, int y, int w, int h) {
    grabbed = XGetImage(display, DefaultRootWindow(display), x, y, (unsigned)w, (unsigned)h,
                        AllPlanes, ZPixmap);
    return grabbed;
}

bool find_window(Display* display, Window window, const char* name, Window* found) {
    char* title = nullptr;
    if (XFetchName(display, window, &title) && title) {
        const bool same = strcmp(title, name) == 0;
        XFree(title);
        if (same) {
            *found = window;
            return true;
        }
    }
    Window root, parent, *children = nullptr;
    unsigned count = 0;
    if (!XQueryTree(display, window, &root, &parent, &children, &count)) return false;
    bool ok = false;
    for (unsigned i = 0; i < count && !ok; ++i) ok = find_window(display, children[i], name, found);
    if (children) XFree(children);
    return ok;
}

int usage() {
    fprintf(stderr,
            "usage: x11_probe pixel|count|nonblack|save|geometry|close|sync|watch|unwatch ...\n");
    return 2;
}

// The window and all its descendants.
void collect_tree(Display* display, Window window, std::vector<Window>* out) {
    out->push_back(window);
    Window root, parent, *children = nullptr;
    unsigned count = 0;
    if (!XQueryTree(display, window, &root, &parent, &children, &count)) return;
    for (unsigned i = 0; i < count; ++i) collect_tree(display, children[i], out);
    if (children) XFree(children);
}

// Windows that went away before a ping reached them (BadWindow on the send).
std::vector<Window> gone;

int note_gone(Display*, XErrorEvent* error) {
    if (error->error_code == BadWindow) gone.push_back((Window)error->resourceid);
    return 0;
}

double now_seconds() {
    timespec t;
    clock_gettime(CLOCK_MONOTONIC, &t);
    return (double)t.tv_sec + (double)t.tv_nsec / 1e9;
}

// Sends _NET_WM_PING to the window titled NAME and to each of its child windows, and waits
// until every one has been answered. A thread of the program reads its X events one at a
// time, and only once it has handled every message of the events before, so an answer
// means that the window's thread has handled all input sent before the ping (keys, clicks,
// drags, and the synchronous repaints they make). Fails after the deadline.
int sync_with(Display* display, const char* name, double seconds) {
    XSetErrorHandler(note_gone);
    Window top;
    if (!find_window(display, DefaultRootWindow(display), name, &top)) return 1;
    std::vector<Window> windows;
    collect_tree(display, top, &windows);
    const Window root = DefaultRootWindow(display);
    const Atom protocols = XInternAtom(display, "WM_PROTOCOLS", False);
    const Atom ping = XInternAtom(display, "_NET_WM_PING", False);
    XSelectInput(display, root, SubstructureNotifyMask);
    std::vector<bool> answered(windows.size(), false);
    // NOTE: a serial of our own in data.l[1] tells our pings from anyone else's.
    const long serial = (long)(now_seconds() * 1000) & 0x7fffffff;
    for (Window window : windows)
        send_wm_protocol(display, window, "_NET_WM_PING", serial, (long)window);
    // NOTE: a window destroyed meanwhile (a box closing) answers nothing and needs none.
    XSync(display, False);
    size_t left = windows.size();
    for (size_t i = 0; i < windows.size(); ++i)
        for (Window w : gone)
            if (!answered[i] && w == windows[i]) {
                answered[i] = true;
                --left;
            }
    const double deadline = now_seconds() + seconds;
    while (left > 0) {
        while (left > 0 && XPending(display)) {
            XEvent event;
            XNextEvent(display, &event);
            if (event.type != ClientMessage || event.xclient.window != root ||
                event.xclient.message_type != protocols || (Atom)event.xclient.data.l[0] != ping ||
                event.xclient.data.l[1] != serial)
                continue;
            for (size_t i = 0; i < windows.size(); ++i)
                if (!answered[i] && (Window)event.xclient.data.l[2] == windows[i]) {
                    answered[i] = true;
                    --left;
                }
        }
        if (left == 0) break;
        const double remaining = deadline - now_seconds();
        if (remaining <= 0) {
            fprintf(stderr, "x11_probe: %zu of %zu windows of '%s' did not answer within %g s\n", left,
                    windows.size(), name, seconds);
            return 1;
        }
        pollfd fd = {ConnectionNumber(display), POLLIN, 0};
        poll(&fd, 1, (int)(remaining * 1000) + 1);
    }
    return 0;
}

// The root property whose change ends a watch; its value names the watch's file.
const char* const kUnwatchProperty = "X11_PROBE_UNWATCH";

// The title of a window, or "?" when it has none or is gone.
std::string title_of(Display* display, Window window) {
    char* title = nullptr;
    if (!XFetchName(display, window, &title) || !title) return "?";
    std::string text = title;
    XFree(title);
    return text;
}

// Records the top-level windows that are mapped, unmapped and destroyed, as the X server
// orders these events, so a test can tell that a window never appeared during a run: the
// unwatch property is changed after the run, so every event of the run comes before it.
int watch(Display* display, const char* path) {
    FILE* log = fopen(path, "w");
    if (!log) return 1;
    XSetErrorHandler(note_gone);
    const Window root = DefaultRootWindow(display);
    const Atom unwatch = XInternAtom(display, kUnwatchProperty, False);
    XSelectInput(display, root, SubstructureNotifyMask | PropertyChangeMask);
    XSync(display, False);
    printf("ready\n");
    fflush(stdout);
    while (true) {
        XEvent event;
        XNextEvent(display, &event);
        if (event.type == MapNotify && event.xmap.event == root) {
            fprintf(log, "map %lu %s\n", event.xmap.window,
                    title_of(display, event.xmap.window).c_str());
        } else if (event.type == UnmapNotify && event.xunmap.event == root) {
            fprintf(log, "unmap %lu\n", event.xunmap.window);
        } else if (event.type == DestroyNotify && event.xdestroywindow.event == root) {
            fprintf(log, "destroy %lu\n", event.xdestroywindow.window);
        } else if (event.type == PropertyNotify && event.xproperty.atom == unwatch &&
                   event.xproperty.state == PropertyNewValue) {
            Atom type;
            int format;
            unsigned long count, after;
            unsigned char* value = nullptr;
            XGetWindowProperty(display, root, unwatch, 0, 4096, False, XA_STRING, &type, &format,
                               &count, &after, &value);
            const bool ours = value && strcmp((const char*)value, path) == 0;
            if (value) XFree(value);
            if (ours) break;
        }
        fflush(log);
    }
    return fclose(log) == 0 ? 0 : 1;
}

int end_watch(Display* display, const char* path) {
    XChangeProperty(display, DefaultRootWindow(display),
                    XInternAtom(display, kUnwatchProperty, False), XA_STRING, 8, PropModeReplace,
                    (const unsigned char*)path, (int)strlen(path));
    XSync(display, False);
    return 0;
}

int run(Display* display, int argc, char** argv) {
    const char* command = argv[1];
    if (strcmp(command, "geometry") == 0) {
        Window window;
        if (!find_window(display, DefaultRootWindow(display), argv[2], &window)) return 1;
        XWindowAttributes a;
        XGetWindowAttributes(display, window, &a);
        Window child;
        int x, y;
        XTranslateCoordinates(display, window, DefaultRootWindow(display), 0, 0, &x, &y, &child);
        printf("%d %d %d %d\n", x, y, a.width, a.height);
        return 0;
    }
    if (strcmp(command, "close") == 0) {
        Window window;
        if (!find_window(display, DefaultRootWindow(display), argv[2], &window)) return 1;
        send_wm_protocol(display, window, "WM_DELETE_WINDOW", CurrentTime, 0);
        XSync(display, False);
        return 0;
    }
    if (strcmp(command, "watch") == 0) return watch(display, argv[2]);
    if (strcmp(command, "unwatch") == 0) return end_watch(display, argv[2]);
    if (strcmp(command, "sync") == 0) return sync_with(display, argv[2], argc > 3 ? atof(argv[3]) : 60);
    if (strcmp(command, "pixel") == 0 && argc == 4) {
        XImage* image = grab(display, atoi(argv[2]), atoi(argv[3]), 1, 1);
        if (!image) return 1;
        const Rgb c = pixel_of(image, 0, 0);
        printf("%d %d %d\n", c.r, c.g, c.b);
        return 0;
    }
    if (argc < 6) return usage();
    const int x = atoi(argv[2]), y = atoi(argv[3]), w = atoi(argv[4]), h = atoi(argv[5]);
    XImage* image = grab(display, x, y, w, h);
    if (!image) return 1;
    if (strcmp(command, "count") == 0 && argc >= 9) {
        const Rgb want = {atoi(argv[6]), atoi(argv[7]), atoi(argv[8])};
        const int tolerance = argc >= 10 ? atoi(argv[9]) : 0;
        long count = 0;
        for (int j = 0; j < h; ++j)
            for (int i = 0; i < w; ++i) {
                const Rgb c = pixel_of(image, i, j);
                if (abs(c.r - want.r) <= tolerance && abs(c.g - want.g) <= tolerance &&
                    abs(c.b - want.b) <= tolerance)
                    ++count;
            }
        printf("%ld\n", count);
        return 0;
    }
    if (strcmp(command, "nonblack") == 0) {
        long count = 0;
        for (int j = 0; j < h; ++j)
            for (int i = 0; i < w; ++i) {
                const Rgb c = pixel_of(image, i, j);
                if (c.r || c.g || c.b) ++count;
            }
        printf("%ld\n", count);
        return 0;
    }
    if (strcmp(command, "save") == 0 && argc == 7) {
        FILE* f = fopen(argv[6], "wb");
        if (!f) return 1;
        fprintf(f, "P6\n%d %d\n255\n", w, h);
        for (int j = 0; j < h; ++j)
            for (int i = 0; i < w; ++i) {
                const Rgb c = pixel_of(image, i, j);
                const unsigned char rgb[3] = {(unsigned char)c.r, (unsigned char)c.g,
                                              (unsigned char)c.b};
                fwrite(rgb, 1, 3, f);
            }
        return fclose(f) == 0 ? 0 : 1;
    }
    return usage();
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3) return usage();
    Display* display = XOpenDisplay(nullptr);
    if (!display) {
        fprintf(stderr, "x11_probe: cannot open display\n");
        return 1;
    }
    const int code = run(display, argc, argv);
    // NOTE: released so that a leak-checking build ends cleanly: a leak report ends the
    // process before its buffered output reaches the caller.
    if (grabbed) XDestroyImage(grabbed);
    XCloseDisplay(display);
    return code;
}
