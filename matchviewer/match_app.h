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
    int32_t frame_capacity;
    int32_t world_capacity;
    int32_t match_capacity;
    WorldPoint* world_points;
    MatchPoint* match_points;
};

extern MatchApp* app;

// Caption of every message box of the program.
extern const wchar_t* const kAppCaption;

// The create handler of the main window: children, the view thread, then the match file
// and its first frame.
void start_match_app(HWND main_window);
// After the message loop: withdraws the frame from the view, closes the file, frees the arrays.
void release_match_app();

void layout_children(int cw, int ch);
void append_log(const wchar_t* text);
void route_wheel(WPARAM wparam, LPARAM lparam);
void scroll_frames(WPARAM wparam);
void index_frames();
void load_frame(int32_t n);
void handle_key(int key);
void capture_frames(MatchApp* match_app);
