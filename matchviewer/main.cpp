// Twinscope: steps through the frames of a match file, one frame at a time in the 3D view,
// with a log line per frame shown.
#include "matchviewer/match_app.h"

namespace {

const wchar_t* const kClassName = L"Twinscope";
const int kWindowWidth = 800;
const int kWindowHeight = 640;

LRESULT CALLBACK main_window_proc(HWND hwnd, UINT msg, WPARAM wparam, LPARAM lparam) {
    switch (msg) {
        case WM_CREATE:
            start_match_app(hwnd);
            return 0;
        case WM_SIZE:
            layout_children(LOWORD(lparam), HIWORD(lparam));
            break;
        case WM_PAINT: {
            PAINTSTRUCT ps;
            BeginPaint(hwnd, &ps);
            redraw_view(&app->view);
            EndPaint(hwnd, &ps);
            break;
        }
        case WM_CLOSE:
            DestroyWindow(hwnd);
            PostQuitMessage(0);
            return 0;
        case WM_DESTROY:
            PostQuitMessage(0);
            break;
        case WM_KEYDOWN:
            handle_key((int)wparam);
            break;
        case WM_HSCROLL:
            scroll_frames(wparam);
            return 0;
        case WM_MOUSEWHEEL:
            route_wheel(wparam, lparam);
            return 0;
        case WM_VIEW_REDRAW:
            redraw_view(&app->view);
            break;
    }
    return DefWindowProcW(hwnd, msg, wparam, lparam);
}

void register_main_class() {
    WNDCLASSEXW wc = {};
    wc.cbSize = sizeof(wc);
    wc.style = CS_HREDRAW | CS_VREDRAW;
    wc.lpfnWndProc = main_window_proc;
    wc.hInstance = app->instance;
    wc.hIcon = LoadIconW(nullptr, IDI_WINLOGO);
    wc.hIconSm = LoadIconW(nullptr, IDI_WINLOGO);
    wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    wc.hbrBackground = GetSysColorBrush(COLOR_BTNFACE);
    wc.lpszClassName = kClassName;
    RegisterClassExW(&wc);
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR command_line, int) {
    static MatchApp match_app;
    app = &match_app;
    app->instance = instance;
    init_view_state(&app->view);
    register_main_class();
    app->path_result =
        path_from_command_line(command_line, "MatchInfo.dat", app->input_path, MAX_PATH);

    const int x = (GetSystemMetrics(SM_CXSCREEN) - kWindowWidth) / 2;
    const int y = (GetSystemMetrics(SM_CYSCREEN) - kWindowHeight) / 2;
    app->main_window = CreateWindowExW(0, kClassName, L"Haldenmoor - Twinscope",
                                       WS_OVERLAPPEDWINDOW | WS_VISIBLE, x, y, kWindowWidth,
                                       kWindowHeight, nullptr, nullptr, instance, nullptr);
    if (!app->main_window) {
        MessageBoxW(nullptr, L"The main window could not be created.", kAppCaption,
                    MB_ICONERROR);
        return 1;
    }

    MSG msg;
    while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
    release_match_app();
    return 0;
}
