// Twinscope: steps through the frames of a match file, one frame at a time in the 3D view,
// with a log line per frame shown.
#include "common/main_window.h"
#include "common/main_window_cases.h"
#include "matchviewer/keys.h"
#include "matchviewer/match_app.h"

namespace {

const wchar_t* const kClassName = L"Twinscope";

// The application record of the process: the window procedure's only way to it.
MatchApp* app = nullptr;

LRESULT CALLBACK main_window_proc(HWND hwnd, UINT msg, WPARAM wparam, LPARAM lparam) {
    LRESULT result;
    if (handle_main_window_case(&app->view, hwnd, msg, wparam, lparam, &result)) return result;
    switch (msg) {
        case WM_CREATE:
            start_match_app(app, hwnd);
            return 0;
        case WM_SIZE:
            layout_children(app, LOWORD(lparam), HIWORD(lparam));
            break;
        case WM_KEYDOWN:
            handle_key(app, (int)wparam);
            break;
        case WM_HSCROLL:
            scroll_frames(app, wparam);
            return 0;
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
    release_match_app(app);
    return 0;
}
