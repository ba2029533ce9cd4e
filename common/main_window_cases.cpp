#include "common/main_window_cases.h"

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
