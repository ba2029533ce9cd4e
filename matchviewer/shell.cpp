// Twinscope's main-thread operations: start-up, layout, log, scrolling and frame loading.
#include <stdlib.h>

#include "common/log_box.h"
#include "common/main_window_cases.h"
#include "matchviewer/keys.h"
#include "matchviewer/log_lines.h"
#include "matchviewer/match_app.h"
#include "matchviewer/match_file.h"
#include "matchviewer/scroll_rules.h"

const wchar_t* const kAppCaption = L"Twinscope";

namespace {

const int kLogHeight = 135;
const int kScrollHeight = 15;
const int kBelowView = 150;

void show_error(const MatchApp* app, const wchar_t* text) {
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

void create_children(MatchApp* app, HWND hwnd) {
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

}  // namespace

void start_match_app(MatchApp* app, HWND hwnd) {
    app->main_window = hwnd;
    create_children(app, hwnd);
    init_frame_layers(&app->layers);
    const wchar_t* reason =
        start_main_window_view(&app->view, hwnd, app->instance, frame_view_content(&app->layers));
    if (reason) show_error(app, reason);
    index_frames(app);
}

void release_match_app(MatchApp* app) {
    {
        std::lock_guard<std::mutex> hold(app->view.paint_lock);
        for (int layer = 0; layer < 2; ++layer) {
            app->layers.point_array[layer] = nullptr;
            app->layers.point_count[layer] = 0;
        }
    }
    if (app->file) fclose(app->file);
    app->file = nullptr;
    free(app->frame_offsets);
    free(app->world_points);
    free(app->match_points);
}

LRESULT handle_match_window(MatchApp* app, HWND hwnd, UINT msg, WPARAM wparam, LPARAM lparam) {
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

void layout_children(MatchApp* app, int cw, int ch) {
    // NOTE: a client area lower than the log and the scrollbar leaves the view empty
    // rather than with a negative height.
    const int view_height = ch > kBelowView ? ch - kBelowView : 0;
    place_view(&app->view, 0, 0, cw, view_height);
    SetWindowPos(app->log_box, nullptr, 0, ch - kBelowView, cw, kLogHeight, SWP_NOZORDER);
    SetWindowPos(app->scroll_bar, nullptr, 0, ch - kScrollHeight, cw, kScrollHeight,
                 SWP_NOZORDER);
}

void append_log(MatchApp* app, const wchar_t* text) {
    append_to_log_box(app->log_box, text);
}

void scroll_frames(MatchApp* app, WPARAM wparam) {
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
    go_to_frame(app, scroll_target(code, current, thumb, app->frame_count));
}

void go_to_frame(MatchApp* app, int32_t target) {
    if (target == GetScrollPos(app->scroll_bar, SB_CTL)) return;
    SetScrollPos(app->scroll_bar, SB_CTL, target, TRUE);
    load_frame(app, target);
}

void index_frames(MatchApp* app) {
    if (app->path_result == PathResult::too_long) {
        show_error(app, L"The path of the match file is too long (at most 259 characters).");
        return;
    }
    app->file = fopen(app->input_path, "rb");
    if (!app->file) {
        show_error(app, L"Cannot open file");
        return;
    }
    FrameIndex index = {};
    const IndexResult result = index_match_file(app->file, index);
    app->frame_offsets = index.offsets;
    app->frame_count = index.count;

    wchar_t line[kLogLineCapacity];
    format_frame_count_line(app->frame_count, line, kLogLineCapacity);
    append_log(app, line);
    SetScrollRange(app->scroll_bar, SB_CTL, 1, app->frame_count, FALSE);
    SetScrollPos(app->scroll_bar, SB_CTL, 1, TRUE);
    if (format_index_problem(result, line, kLogLineCapacity) > 0) show_error(app, line);
    load_frame(app, 1);
}

void load_frame(MatchApp* app, int32_t n) {
    if (!app->file) return;
    n = clamp_frame_number(n, app->frame_count);
    // NOTE: an empty file has no frame 1; nothing is read through the empty index.
    if (n == 0) return;

    ViewState* view = &app->view;
    FrameLayers* layers = &app->layers;
    {
        std::lock_guard<std::mutex> hold(view->paint_lock);
        for (int layer = 0; layer < 2; ++layer) {
            layers->point_array[layer] = nullptr;
            layers->point_count[layer] = 0;
        }
    }
    const FrameRead frame = read_frame(app->file, app->frame_offsets[n - 1], app->world_points,
                                       app->world_capacity, app->match_points, app->match_capacity);
    {
        std::lock_guard<std::mutex> hold(view->paint_lock);
        layers->links_to_world = frame.links_to_world;
        layers->point_array[0] = app->world_points;
        layers->point_count[0] = frame.world_count;
        layers->point_count[1] = frame.match_count;
        layers->point_array[1] = app->match_points;
    }
    redraw_view(view);

    wchar_t line[kLogLineCapacity];
    format_statistics_line(n, frame, line, kLogLineCapacity);
    append_log(app, line);
}
