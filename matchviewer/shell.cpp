// Twinscope: steps through the frames of a match file, one frame at a time in the 3D view,
// with a log line per frame shown.
#include <stdlib.h>

#include "matchviewer/log_lines.h"
#include "matchviewer/match_app.h"
#include "matchviewer/match_file.h"
#include "matchviewer/scroll_rules.h"

MatchApp* app = nullptr;
const wchar_t* const kAppCaption = L"Twinscope";

namespace {

const wchar_t* const kClassName = L"Twinscope";
const int kWindowWidth = 800;
const int kWindowHeight = 640;
const int kLogHeight = 135;
const int kScrollHeight = 15;
const int kBelowView = 150;

void show_error(const wchar_t* text) {
    MessageBoxW(app->main_window, text, kAppCaption, MB_ICONERROR);
}

HFONT create_log_font() {
    HDC screen = GetDC(nullptr);
    LOGFONTW font = {};
    font.lfHeight = MulDiv(10, GetDeviceCaps(screen, LOGPIXELSY), 72);
    font.lfWeight = FW_NORMAL;
    font.lfCharSet = DEFAULT_CHARSET;
    const wchar_t face[] = L"Tahoma";
    for (size_t i = 0; i < sizeof(face) / sizeof(face[0]); ++i) font.lfFaceName[i] = face[i];
    HFONT result = CreateFontIndirectW(&font);
    ReleaseDC(nullptr, screen);
    return result;
}

void create_children(HWND hwnd) {
    HFONT font = create_log_font();
    app->log_box = CreateWindowExW(
        WS_EX_CLIENTEDGE, L"EDIT", L"",
        WS_CHILD | WS_VISIBLE | WS_VSCROLL | ES_MULTILINE | ES_AUTOVSCROLL | ES_READONLY, 250,
        350, 300, 100, hwnd, nullptr, app->instance, nullptr);
    SendMessageW(app->log_box, WM_SETFONT, (WPARAM)font, FALSE);
    SendMessageW(app->log_box, EM_LIMITTEXT, 0, 0);
    // NOTE: no SBS_ bit makes a horizontal bar; WS_VSCROLL is set on it as on the log box.
    app->scroll_bar = CreateWindowExW(0, L"SCROLLBAR", L"", WS_CHILD | WS_VISIBLE | WS_VSCROLL,
                                      250, 350, 300, 100, hwnd, nullptr, app->instance, nullptr);
}

// The start-up: children, the view thread, then the match file and its first frame.
void on_create(HWND hwnd) {
    app->main_window = hwnd;
    create_children(hwnd);
    ViewState* view = &app->view;
    view->parent_window = hwnd;
    view->instance = app->instance;
    view->x = 0;
    view->y = 410;
    view->width = 240;
    view->height = 180;
    view->dragging = 0;
    init_view_content(view);
    const wchar_t* reason = nullptr;
    if (!start_view(view, &reason)) show_error(reason);
    index_frames();
}

LRESULT CALLBACK main_window_proc(HWND hwnd, UINT msg, WPARAM wparam, LPARAM lparam) {
    switch (msg) {
        case WM_CREATE:
            on_create(hwnd);
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

// Withdraws the frame from the view, then closes the file and frees the arrays.
void release_all() {
    {
        std::lock_guard<std::mutex> hold(app->view.paint_lock);
        for (int layer = 0; layer < 2; ++layer) {
            app->view.point_array[layer] = nullptr;
            app->view.point_count[layer] = 0;
        }
    }
    if (app->file) fclose(app->file);
    app->file = nullptr;
    free(app->frame_offsets);
    free(app->world_points);
    free(app->match_points);
}

}  // namespace

void layout_children(int cw, int ch) {
    // NOTE: a client area lower than the log and the scrollbar leaves the view empty
    // rather than with a negative height.
    const int view_height = ch > kBelowView ? ch - kBelowView : 0;
    place_view(&app->view, 0, 0, cw, view_height);
    SetWindowPos(app->log_box, nullptr, 0, ch - kBelowView, cw, kLogHeight, SWP_NOZORDER);
    SetWindowPos(app->scroll_bar, nullptr, 0, ch - kScrollHeight, cw, kScrollHeight,
                 SWP_NOZORDER);
}

void append_log(const wchar_t* text) {
    const int n = GetWindowTextLengthW(app->log_box);
    SendMessageW(app->log_box, EM_SETSEL, (WPARAM)n, (LPARAM)n);
    SendMessageW(app->log_box, EM_REPLACESEL, 0, (LPARAM)text);
    int m = GetWindowTextLengthW(app->log_box);
    if (m == n) {
        // The control took nothing (it is full): start over with the new text alone.
        SetWindowTextW(app->log_box, text);
        m = GetWindowTextLengthW(app->log_box);
    }
    SendMessageW(app->log_box, EM_SETSEL, (WPARAM)m, (LPARAM)m);
}

void route_wheel(WPARAM wparam, LPARAM lparam) {
    route_wheel_to_view(&app->view, app->main_window, wparam, lparam);
}

void scroll_frames(WPARAM wparam) {
    const int32_t current = GetScrollPos(app->scroll_bar, SB_CTL);
    const int code = LOWORD(wparam);
    int32_t thumb = HIWORD(wparam);
    if (code == SB_THUMBPOSITION || code == SB_THUMBTRACK) {
        // NOTE: the 16-bit position of wParam wraps beyond 65535 frames; the track position
        // of the scroll information is exact.
        SCROLLINFO info = {};
        info.cbSize = sizeof(info);
        info.fMask = SIF_TRACKPOS;
        if (GetScrollInfo(app->scroll_bar, SB_CTL, &info)) thumb = info.nTrackPos;
    }
    const int32_t target = scroll_target(code, current, thumb, app->frame_count);
    if (target == current) return;
    SetScrollPos(app->scroll_bar, SB_CTL, target, TRUE);
    load_frame(target);
}

void index_frames() {
    if (app->path_result == PathResult::too_long) {
        show_error(L"The path of the match file is too long (at most 259 characters).");
        return;
    }
    app->file = fopen(app->input_path, "rb");
    if (!app->file) {
        show_error(L"Cannot open file");
        return;
    }
    FrameIndex index = {};
    const IndexResult result = index_match_file(app->file, index);
    app->frame_offsets = index.offsets;
    app->frame_count = index.count;
    app->frame_capacity = index.capacity;

    wchar_t line[kLogLineCapacity];
    format_frame_count_line(app->frame_count, line, kLogLineCapacity);
    append_log(line);
    SetScrollRange(app->scroll_bar, SB_CTL, 1, app->frame_count, FALSE);
    SetScrollPos(app->scroll_bar, SB_CTL, 1, TRUE);
    if (format_index_problem(result, line, kLogLineCapacity) > 0) show_error(line);
    load_frame(1);
}

void load_frame(int32_t n) {
    if (!app->file) return;
    n = clamp_frame_number(n, app->frame_count);
    // NOTE: an empty file has no frame 1; nothing is read through the empty index.
    if (n == 0) return;

    ViewState* view = &app->view;
    {
        std::lock_guard<std::mutex> hold(view->paint_lock);
        for (int layer = 0; layer < 2; ++layer) {
            view->point_array[layer] = nullptr;
            view->point_count[layer] = 0;
        }
    }
    const FrameRead frame =
        read_frame(app->file, app->frame_offsets[n - 1], app->world_points, app->world_capacity,
                   app->match_points, app->match_capacity);
    app->links_to_world = frame.links_to_world;
    {
        std::lock_guard<std::mutex> hold(view->paint_lock);
        view->links_to_world = frame.links_to_world;
        view->point_array[0] = app->world_points;
        view->point_count[0] = frame.world_count;
        view->point_count[1] = frame.match_count;
        view->point_array[1] = app->match_points;
    }
    redraw_view(view);

    wchar_t line[kLogLineCapacity];
    format_statistics_line(n, frame, line, kLogLineCapacity);
    append_log(line);
}

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
    release_all();
    return 0;
}
