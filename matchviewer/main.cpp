// Twinscope: steps through the frames of a match file, one frame at a time in the 3D view,
// with a log line per frame shown.
#include "common/main_window.h"
#include "common/main_window_cases.h"
#include "matchviewer/match_app.h"

namespace {

const wchar_t* const kClassName = L"Twinscope";

// The application record of the process: the window procedure's only way to it.
MatchApp* app = nullptr;

LRESULT CALLBACK main_window_proc(HWND hwnd, UINT msg, WPARAM wparam, LPARAM lparam) {
    return handle_match_window(app, hwnd, msg, wparam, lparam);
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR command_line, int) {
    static MatchApp match_app;
    app = &match_app;
    app->instance = instance;
    app->path_result = prepare_program(instance, kClassName, main_window_proc, &app->view,
                                       command_line, "MatchInfo.dat", app->input_path);
    app->main_window =
        open_main_window(instance, kClassName, L"Haldenmoor - Twinscope", kAppCaption);
    if (!app->main_window) return 1;

    run_message_loop();
    release_match_app(app);
    return 0;
}
