// WGL on GLX: pixel formats, SetPixelFormat keeping the window, contexts, and a cleared
// frame that an X screenshot shows; plus the sample program with its GL view thread.
#include <gtest/gtest.h>
// NOTE: after gtest, whose internal::None the X headers would redefine.
#include <X11/Xlib.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>

#include "platform/x11/x11_shared.h"
#include "test_util.h"
#include "view/paint.h"

extern char** environ;

namespace {

Window x_parent_of(Window window) {
    Display* display = XOpenDisplay(nullptr);
    Window root, parent = None, *children = nullptr;
    unsigned int count;
    XQueryTree(display, window, &root, &parent, &children, &count);
    if (children) XFree(children);
    XCloseDisplay(display);
    return parent;
}

}  // namespace

TEST(Wgl, PixelFormatContextAndClearedFrame) {
    HWND top = make_focused_window(L"GL host", 200, 200, 400, 300);
    HWND view = CreateWindowExW(0, recording_class(), L"", WS_CHILD | WS_VISIBLE, 20, 20, 200, 120,
                                top, nullptr, nullptr, nullptr);
    HWND inner = CreateWindowExW(0, recording_class(), L"", WS_CHILD | WS_VISIBLE, 0, 0, 10, 10,
                                 view, nullptr, nullptr, nullptr);
    settle_thread();
    HDC dc = GetDC(view);
    PIXELFORMATDESCRIPTOR request = view_pixel_format_request();
    int format = ChoosePixelFormat(dc, &request);
    int count = DescribePixelFormat(dc, 0, 0, nullptr);
    ASSERT_GE(format, 1);
    ASSERT_LE(format, count);
    PIXELFORMATDESCRIPTOR got = {};
    EXPECT_EQ(count, DescribePixelFormat(dc, format, sizeof got, &got));
    EXPECT_TRUE(got.dwFlags & PFD_DOUBLEBUFFER);
    EXPECT_TRUE(got.dwFlags & PFD_SUPPORT_OPENGL);
    EXPECT_EQ(24, got.cColorBits);
    EXPECT_GE(got.cDepthBits, 16);
    // Xvfb renders in software: Windows' generic format without acceleration.
    EXPECT_TRUE(got.dwFlags & PFD_GENERIC_FORMAT);
    EXPECT_FALSE(got.dwFlags & PFD_GENERIC_ACCELERATED);
    EXPECT_EQ(0, DescribePixelFormat(dc, count + 1, sizeof got, &got));

    ASSERT_TRUE(SetPixelFormat(dc, format, &request));
    EXPECT_TRUE(SetPixelFormat(dc, format, &request));
    EXPECT_FALSE(SetPixelFormat(dc, format == 1 ? 2 : 1, &request)) << "a window takes one format";
    // The window keeps its handle, geometry and children.
    EXPECT_TRUE(IsWindow(view));
    EXPECT_EQ(view, GetParent(inner));
    EXPECT_EQ(x11_window_of(view), x_parent_of(x11_window_of(inner)));
    EXPECT_EQ(x11_window_of(top), x_parent_of(x11_window_of(view)));
    RECT rect;
    GetClientRect(view, &rect);
    EXPECT_EQ(200, rect.right);
    DestroyWindow(inner);

    HGLRC context = wglCreateContext(dc);
    ASSERT_NE(nullptr, context);
    ASSERT_TRUE(wglMakeCurrent(dc, context));
    EXPECT_EQ(context, wglGetCurrentContext());
    EXPECT_EQ(dc, wglGetCurrentDC());
    glClearColor(0.2f, 0.4f, 0.8f, 1.0f);
    glClear(GL_COLOR_BUFFER_BIT);
    ASSERT_TRUE(SwapBuffers(dc));
    glFinish();
    settle_thread();
    const int x = 204 + 20 + 100, y = 227 + 20 + 60;
    EXPECT_TRUE(near_color(RGB(51, 102, 204), screen_pixel(x, y)))
        << std::hex << screen_pixel(x, y);
    // The layer never clears a GL window, though its class has a brush.
    InvalidateRect(view, nullptr, TRUE);
    settle_thread();
    EXPECT_TRUE(near_color(RGB(51, 102, 204), screen_pixel(x, y)))
        << std::hex << screen_pixel(x, y);

    EXPECT_TRUE(wglMakeCurrent(nullptr, nullptr));
    EXPECT_EQ(nullptr, wglGetCurrentContext());
    EXPECT_TRUE(wglDeleteContext(context));
    EXPECT_EQ(1, ReleaseDC(view, dc));
    DestroyWindow(top);
}

TEST(SampleApp, DrawsThroughItsViewThreadAndClosesCleanly) {
    pid_t pid;
    char* argv[] = {const_cast<char*>(SAMPLE_GL_APP), nullptr};
    ASSERT_EQ(0, posix_spawn(&pid, SAMPLE_GL_APP, nullptr, nullptr, argv, environ));
    unsigned long main_window = find_window_by_title("Haldenmoor layer sample", 10000);
    ASSERT_NE(0ul, main_window);
    // The view covers the client area at (104, 127) minus a 10-pixel margin.
    auto shows = [](COLORREF color) {
        return pump_until([color] { return near_color(color, screen_pixel(104 + 150, 127 + 100)); },
                          5000);
    };
    EXPECT_TRUE(shows(RGB(255, 128, 0))) << std::hex << screen_pixel(254, 227);
    EXPECT_TRUE(near_color(RGB(212, 208, 200), screen_pixel(104 + 3, 127 + 3)))
        << "the main window's brush";
    run("xdotool key --window " + std::to_string(main_window) + " space");
    EXPECT_TRUE(shows(RGB(0, 128, 255))) << std::hex << screen_pixel(254, 227);
    send_delete_window(main_window);
    int status = -1;
    for (int i = 0; i < 500 && waitpid(pid, &status, WNOHANG) == 0; ++i) Sleep(10);
    if (!WIFEXITED(status)) kill(pid, SIGKILL);
    ASSERT_TRUE(WIFEXITED(status)) << "the sample did not end on the close request";
    EXPECT_EQ(0, WEXITSTATUS(status));
}
