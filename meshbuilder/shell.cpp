// Meshweaver: builds a mesh from an oriented point file at start-up, saves it as VRML and
// shows it in the 3D view.
#include <stdlib.h>
#include <string.h>

#include <string>

#include "common/command_line.h"
#include "common/main_window.h"
#include "common/main_window_cases.h"
#include "meshbuilder/build_mesh.h"
#include "meshbuilder/draw_mesh.h"
#include "meshbuilder/mesh_record.h"
#include "meshbuilder/point_file.h"
#include "platform/win32.h"
#include "view/view.h"

struct MeshApp {
    HINSTANCE instance;
    HWND main_window;
    ViewState view;
    MeshRecord mesh;  // the mesh on show, lent to the view; empty until the build has ended
    char input_path[MAX_PATH];
    PathResult path_result;
    // The start-up runs inside the main window's creation, with boxes whose loops dispatch
    // the main window's messages; a close asked for meanwhile waits until it is done.
    bool starting_up;
    bool close_requested;
};

namespace {

MeshApp* app = nullptr;

const wchar_t* const kClassName = L"Meshweaver";
const wchar_t* const kCaption = L"Meshweaver";

void show_error(const wchar_t* text) {
    MessageBoxW(app->main_window, text, kCaption, MB_ICONERROR);
}

// Reads the point file, builds and saves the mesh and hands it to the view.
void build_and_show_mesh() {
    if (app->path_result == PathResult::too_long) {
        show_error(L"The path of the point file is too long (at most 259 characters).");
        return;
    }
    PointFile points = {};
    const LoadResult loaded = load_points(app->input_path, &points);
    if (loaded.status == LoadStatus::cannot_open) {
        show_error(L"Cannot open file");
        return;
    }
    if (loaded.status != LoadStatus::ok) {
        show_error(loaded.reason.c_str());
        return;
    }

    MeshRecord mesh = {};
    const BuildResult built =
        build_mesh(app->input_path, points.identified ? &points.identity : nullptr, points.count,
                   points.positions, points.normals, &mesh);
    free(points.positions);
    free(points.normals);
    if (!built.ok) show_error(built.reason.c_str());
    if (!built.has_mesh) return;

    {
        std::lock_guard<std::mutex> hold(app->view.paint_lock);
        app->mesh = mesh;
    }
    redraw_view(&app->view);
}

// The start-up: the view thread first, then the whole file work.
void on_create(HWND hwnd) {
    app->main_window = hwnd;
    const wchar_t* reason =
        start_main_window_view(&app->view, hwnd, app->instance, mesh_view_content(&app->mesh));
    if (reason) show_error(reason);
    build_and_show_mesh();
}

LRESULT CALLBACK main_window_proc(HWND hwnd, UINT msg, WPARAM wparam, LPARAM lparam) {
    switch (msg) {
        case WM_CREATE:
            on_create(hwnd);
            return 0;
        case WM_SIZE:
            place_view(&app->view, 0, 0, LOWORD(lparam), HIWORD(lparam));
            break;
        case WM_CLOSE:
            // NOTE: closing now would end the boxes still to come (the quit message ends
            // every modal loop) and make the window's creation fail after the save.
            if (app->starting_up) {
                app->close_requested = true;
                return 0;
            }
            break;
    }
    LRESULT result;
    if (handle_main_window_case(&app->view, hwnd, msg, wparam, lparam, &result)) return result;
    return DefWindowProcW(hwnd, msg, wparam, lparam);
}


// Takes the mesh back from the view before its arrays are freed, so no paint can read them.
void release_mesh() {
    MeshRecord mesh;
    {
        std::lock_guard<std::mutex> hold(app->view.paint_lock);
        mesh = app->mesh;
        app->mesh = MeshRecord{};
    }
    free_mesh_record(&mesh);
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR command_line, int) {
    static MeshApp mesh_app;
    app = &mesh_app;
    app->instance = instance;
    app->path_result = prepare_program(instance, kClassName, main_window_proc, &app->view,
                                       command_line, "Dotloom.dat", app->input_path);
    app->starting_up = true;
    app->main_window = open_main_window(instance, kClassName, L"Haldenmoor - Meshweaver", kCaption);
    app->starting_up = false;
    if (!app->main_window) return 1;
    if (app->close_requested) PostMessageW(app->main_window, WM_CLOSE, 0, 0);

    run_message_loop();
    release_mesh();
    return 0;
}
