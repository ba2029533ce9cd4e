// A small Win32 program in the shape of the real ones: a main window, and a GL child
// window made and painted by a second thread, repainted through synchronous sends. Space
// switches the colour; closing the window ends the program with 0.
#include "platform/win32.h"
#include "view/paint.h"

#include <atomic>

namespace {

const UINT kRedraw = WM_USER + 1;

struct Sample {
    HINSTANCE instance;
    HWND main_window;
    std::atomic<HWND> view_window;
    std::atomic<bool> ready;
    std::atomic<int> colour;  // 0 orange, 1 blue
};
Sample g_sample;

void paint_view() {
    if (g_sample.colour == 0)
        glClearColor(1.0f, 128 / 255.0f, 0.0f, 1.0f);
    else
        glClearColor(0.0f, 128 / 255.0f, 1.0f, 1.0f);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    glFlush();
    SwapBuffers(wglGetCurrentDC());
}

LRESULT CALLBACK view_proc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
    switch (message) {
        case WM_CREATE:
            g_sample.ready = true;
            return 0;
        case WM_SIZE:
            if (wglGetCurrentContext()) glViewport(0, 0, LOWORD(lparam), HIWORD(lparam));
            break;
        case WM_PAINT: {
            PAINTSTRUCT paint;
            BeginPaint(hwnd, &paint);
            if (wglGetCurrentContext()) paint_view();
            EndPaint(hwnd, &paint);
            return 0;
        }
        case kRedraw:
            if (wglGetCurrentContext()) paint_view();
            return 0;
        case WM_DESTROY:
            PostQuitMessage(0);
            return 0;
    }
    return DefWindowProcW(hwnd, message, wparam, lparam);
}

void set_up_gl(HWND hwnd) {
    HDC dc = GetDC(hwnd);
    PIXELFORMATDESCRIPTOR pfd = view_pixel_format_request();
    int format = ChoosePixelFormat(dc, &pfd);
    if (!format || !SetPixelFormat(dc, format, &pfd)) return;
    wglMakeCurrent(dc, wglCreateContext(dc));
}

DWORD WINAPI view_thread(LPVOID) {
    WNDCLASSEXW wc = {};
    wc.cbSize = sizeof wc;
    wc.style = CS_HREDRAW | CS_VREDRAW;
    wc.lpfnWndProc = view_proc;
    wc.hInstance = g_sample.instance;
    wc.hbrBackground = GetSysColorBrush(COLOR_BTNFACE);
    wc.lpszClassName = L"SampleView";
    RegisterClassExW(&wc);
    HWND hwnd =
        CreateWindowExW(WS_EX_NOPARENTNOTIFY, L"SampleView", L"", WS_CHILD | WS_VISIBLE, 10, 10,
                        100, 100, g_sample.main_window, nullptr, g_sample.instance, nullptr);
    set_up_gl(hwnd);
    g_sample.view_window = hwnd;
    MSG msg;
    while (GetMessageW(&msg, nullptr, 0, 0)) {
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
    return 0;
}

LRESULT CALLBACK main_proc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
    switch (message) {
        case WM_CREATE:
            g_sample.main_window = hwnd;
            CreateThread(nullptr, 0, view_thread, nullptr, 0, nullptr);
            while (!g_sample.ready) Sleep(10);
            while (!g_sample.view_window) Sleep(10);
            return 0;
        case WM_SIZE:
            SetWindowPos(g_sample.view_window, nullptr, 10, 10, LOWORD(lparam) - 20,
                         HIWORD(lparam) - 20, SWP_NOZORDER);
            break;
        case WM_PAINT: {
            PAINTSTRUCT paint;
            BeginPaint(hwnd, &paint);
            SendMessageW(g_sample.view_window, kRedraw, 0, 0);
            EndPaint(hwnd, &paint);
            return 0;
        }
        case WM_KEYDOWN:
            if (wparam == VK_SPACE) {
                g_sample.colour = 1 - g_sample.colour;
                SendMessageW(g_sample.view_window, kRedraw, 0, 0);
            }
            break;
        case WM_DESTROY:
            PostQuitMessage(0);
            return 0;
    }
    return DefWindowProcW(hwnd, message, wparam, lparam);
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
    g_sample.instance = instance;
    WNDCLASSEXW wc = {};
    wc.cbSize = sizeof wc;
    wc.style = CS_HREDRAW | CS_VREDRAW;
    wc.lpfnWndProc = main_proc;
    wc.hInstance = instance;
    wc.hbrBackground = GetSysColorBrush(COLOR_BTNFACE);
    wc.lpszClassName = L"SampleMain";
    RegisterClassExW(&wc);
    CreateWindowExW(0, L"SampleMain", L"Haldenmoor layer sample", WS_OVERLAPPEDWINDOW | WS_VISIBLE,
                    100, 100, 640, 480, nullptr, nullptr, instance, nullptr);
    MSG msg;
    while (GetMessageW(&msg, nullptr, 0, 0)) {
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
    return (int)msg.wParam;
}
