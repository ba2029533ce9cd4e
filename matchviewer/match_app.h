// Twinscope's application record and the operations of its main thread.
#pragma once

#include <stdint.h>
#include <stdio.h>

#include "common/command_line.h"
#include "matchviewer/draw_frame.h"
#include "matchviewer/match_points.h"
#include "platform/win32.h"
#include "view/view.h"

struct MatchApp {
    HINSTANCE instance;
    HWND main_window;
    ViewState view;
    FrameLayers layers;  // the frame on show, lent to the view
    HWND log_box;
    HWND scroll_bar;
    char input_path[MAX_PATH];
    PathResult path_result;
    FILE* file;  // the match file, open for the whole run; null when it could not be opened
    int32_t frame_count;
    int64_t* frame_offsets;
    int32_t world_capacity;
    int32_t match_capacity;
    WorldPoint* world_points;
    MatchPoint* match_points;
};

// Caption of every message box of the program.
extern const wchar_t* const kAppCaption;

// The create handler of the main window: children, the view thread, then the match file
// and its first frame.
void start_match_app(MatchApp* app, HWND main_window);
// After the message loop: withdraws the frame from the view, closes the file, frees the arrays.
void release_match_app(MatchApp* app);

// The main window's procedure on app: the cases both programs share, then Twinscope's own
// (creation, layout, keys, the frame scrollbar).
LRESULT handle_match_window(MatchApp* app, HWND hwnd, UINT msg, WPARAM wparam, LPARAM lparam);

// Places the view, the log box and the scrollbar in a client area of cw x ch.
void layout_children(MatchApp* app, int cw, int ch);
// Appends text to the log box; a full box starts over with text alone.
void append_log(MatchApp* app, const wchar_t* text);
// WM_HSCROLL of the frame scrollbar: the frame its code asks for, through go_to_frame.
void scroll_frames(MatchApp* app, WPARAM wparam);
// The one path of a frame change by the user (scrollbar, arrow keys): moves the scrollbar to
// target and shows that frame; nothing when target is the frame already there.
void go_to_frame(MatchApp* app, int32_t target);
// Opens the match file, indexes its frames, logs their count and shows frame 1.
void index_frames(MatchApp* app);
// Reads frame n (clamped to the file's frames) into the arrays the view draws, repaints and
// logs its statistics line. The scrollbar is left where it is.
void load_frame(MatchApp* app, int32_t n);
