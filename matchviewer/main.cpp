// Twinscope: steps through the frames of a match file, one frame at a time in the 3D view,
// with a log line per frame shown.
#include "common/main_window.h"
#include "matchviewer/match_app.h"

namespace {

const wchar_t* const kClassName = L"Twinscope";

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


}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR command_line, int) {
    static MatchApp match_app;
    app = &match_app;
    app->instance = instance;
    init_view_state(&app->view);
    register_window_class(instance, kClassName, main_window_proc);
    app->path_result =
        path_from_command_line(command_line, "MatchInfo.dat", app->input_path, MAX_PATH);

    app->main_window =
        create_centred_main_window(instance, kClassName, L"Haldenmoor - Twinscope");
    if (!app->main_window) {
        MessageBoxW(nullptr, L"The main window could not be created.", kAppCaption,
                    MB_ICONERROR);
        return 1;
    }

    run_message_loop();
    release_match_app();
    return 0;
}
