// Puts a plain window of one colour on the X screen until it is ended, so a test knows what
// the screen shows at that place whatever the programs under it draw:
//   x11_patch X Y W H R G B
// Prints "ready" once the window is mapped and painted.
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <time.h>

namespace {

volatile sig_atomic_t stop = 0;

void on_signal(int) { stop = 1; }

// Fills the whole window with its background colour.
void paint(Display* display, Window window, GC gc, unsigned long pixel, int w, int h) {
    XSetForeground(display, gc, pixel);
    XFillRectangle(display, window, gc, 0, 0, (unsigned)w, (unsigned)h);
    XFlush(display);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 8) {
        fprintf(stderr, "usage: x11_patch X Y W H R G B\n");
        return 2;
    }
    const int x = atoi(argv[1]), y = atoi(argv[2]), w = atoi(argv[3]), h = atoi(argv[4]);
    const unsigned long r = strtoul(argv[5], nullptr, 10) & 0xff;
    const unsigned long g = strtoul(argv[6], nullptr, 10) & 0xff;
    const unsigned long b = strtoul(argv[7], nullptr, 10) & 0xff;
    if (w <= 0 || h <= 0) return 2;
    Display* display = XOpenDisplay(nullptr);
    if (!display) {
        fprintf(stderr, "x11_patch: cannot open display\n");
        return 1;
    }
    const int screen = DefaultScreen(display);
    Visual* visual = DefaultVisual(display, screen);
    if (visual->c_class != TrueColor || visual->red_mask != 0xff0000 ||
        visual->green_mask != 0xff00 || visual->blue_mask != 0xff) {
        fprintf(stderr, "x11_patch: needs a 24-bit TrueColor screen\n");
        return 1;
    }
    const unsigned long pixel = (r << 16) | (g << 8) | b;
    XSetWindowAttributes attributes = {};
    // NOTE: override-redirect, so the window lands exactly where asked and stays on top of
    // the windows that were there before, with or without a window manager.
    attributes.override_redirect = True;
    attributes.background_pixel = pixel;
    attributes.event_mask = ExposureMask;
    Window window = XCreateWindow(display, RootWindow(display, screen), x, y, (unsigned)w,
                                  (unsigned)h, 0, CopyFromParent, InputOutput, CopyFromParent,
                                  CWOverrideRedirect | CWBackPixel | CWEventMask, &attributes);
    GC gc = XCreateGC(display, window, 0, nullptr);
    XMapRaised(display, window);
    XEvent event;
    do XNextEvent(display, &event);
    while (event.type != Expose);
    paint(display, window, gc, pixel, w, h);
    XSync(display, False);
    printf("ready\n");
    fflush(stdout);

    signal(SIGTERM, on_signal);
    signal(SIGINT, on_signal);
    while (!stop) {
        while (XPending(display)) {
            XNextEvent(display, &event);
            if (event.type == Expose) paint(display, window, gc, pixel, w, h);
        }
        struct timespec pause = {0, 20 * 1000 * 1000};
        nanosleep(&pause, nullptr);
    }
    XFreeGC(display, gc);
    XDestroyWindow(display, window);
    XCloseDisplay(display);
    return 0;
}
