// What both programs' main windows do alike, all of it about the 3D view: the start-up steps
// and the shared message cases.
#pragma once

#include "common/command_line.h"
#include "platform/win32.h"
#include "view/view.h"

// The first steps of a program's entry, before its main window is made: the view's record
// cleared, the main window's class registered with procedure, and the input file's path
// taken from the command line into input_path (MAX_PATH bytes), default_name when it names
// none.
PathResult prepare_program(HINSTANCE instance, const wchar_t* class_name, WNDPROC procedure,
                           ViewState* view, const char* command_line, const char* default_name,
                           char* input_path);

// Makes the centred main window; when it cannot be made, says so in a box with caption and
// returns null.
HWND open_main_window(HINSTANCE instance, const wchar_t* class_name, const wchar_t* title,
                      const wchar_t* caption);

// The view's part of the main window's creation: its first rectangle (until the first
// WM_SIZE places it), the content the program lends it, and its thread. Returns null, or
// the reason for the user when the view could not be started.
const wchar_t* start_main_window_view(ViewState* view, HWND main_window, HINSTANCE instance,
                                      const ViewContent& content);

// Handles msg when it is one of the shared cases: close (destroy, quit), destroy (quit),
// paint (the view repaints), the wheel (routed to the view), the R key (camera home) and the
// view's redraw request. Returns true with the window procedure's result in *result; false
// for a message the program handles itself.
bool handle_main_window_case(ViewState* view, HWND hwnd, UINT msg, WPARAM wparam, LPARAM lparam,
                             LRESULT* result);
