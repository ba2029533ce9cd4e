#include "common/main_window_cases.h"

#include "common/main_window.h"

PathResult prepare_program(HINSTANCE instance, const wchar_t* class_name, WNDPROC procedure,
                           ViewState* view, const char* command_line, const char* default_name,
                           char* input_path) {
    init_view_state(view);
    register_window_class(instance, class_name, procedure);
    return path_from_command_line(command_line, default_name, input_path, MAX_PATH);
}

HWND open_main_window(HINSTANCE instance, const wchar_t* class_name, const wchar_t* title,
                      const wchar_t* caption) {
    HWND window = create_centred_main_window(instance, class_name, title);
    if (!window) {
        MessageBoxW(nullptr, L"The main window could not be created.", caption, MB_ICONERROR);
    }
    return window;
}

const wchar_t* start_main_window_view(ViewState* view, HWND main_window, HINSTANCE instance,
                                      const ViewContent& content) {
    view->parent_window = main_window;
    view->instance = instance;
    set_view_content(view, content);
    // NOTE: the view's rectangle until the first WM_SIZE lays the window out.
    view->x = 0;
    view->y = 410;
    view->width = 240;
    view->height = 180;
    const wchar_t* reason = nullptr;
    if (!start_view(view, &reason)) return reason;
    return nullptr;
}

bool handle_main_window_case(ViewState* view, HWND hwnd, UINT msg, WPARAM wparam, LPARAM lparam,
                             LRESULT* result) {
    switch (msg) {
        case WM_PAINT: {
            PAINTSTRUCT ps;
            BeginPaint(hwnd, &ps);
            redraw_view(view);
            EndPaint(hwnd, &ps);
            break;
        }
        case WM_CLOSE:
            DestroyWindow(hwnd);
            PostQuitMessage(0);
            *result = 0;
            return true;
        case WM_DESTROY:
            PostQuitMessage(0);
            break;
        case WM_KEYDOWN:
            if (wparam != 'R') return false;
            reset_view_camera(view);
            break;
        case WM_MOUSEWHEEL:
            route_wheel_to_view(view, hwnd, wparam, lparam);
            *result = 0;
            return true;
        case WM_VIEW_REDRAW:
            redraw_view(view);
            break;
        default:
            return false;
    }
    *result = DefWindowProcW(hwnd, msg, wparam, lparam);
    return true;
}
