// The 3D view: an OpenGL child window on a thread of its own, shared by both programs.
// A program fills a ViewState, hands it its content (set_view_content), starts it, and then
// only lays it out, repaints it and routes the wheel and the reset key to it.
#pragma once

#include "platform/win32.h"
#include "view/view_state.h"

// The private repaint request: always sent (SendMessageW), never posted; the view paints
// before the send returns.
#define WM_VIEW_REDRAW (WM_USER + 1)

// Clears handles and flags, puts the camera at its home pose and hands the view no content
// (the axes alone, of length 1).
void init_view_state(ViewState* view);

// Hands the view its axis length, its content renderer and the program's content record,
// under the paint lock; called before start_view (and whenever the program swaps them).
void set_view_content(ViewState* view, const ViewContent& content);

// Starts the view thread on view and waits until its window and GL set-up are done.
// Returns false, with a reason for the user, when the view could not be started.
bool start_view(ViewState* view, const wchar_t** reason);

// What the main windows of both programs do with their view, on the main thread.
// Sends WM_VIEW_REDRAW to the view window and returns after it has painted.
void redraw_view(ViewState* view);
// Stores the view's rectangle, then moves and sizes the view window to it.
void place_view(ViewState* view, int x, int y, int width, int height);
// The camera reset key: home pose, then a repaint.
void reset_view_camera(ViewState* view);
// A wheel message that reached the main window: handed to the camera when the cursor (screen
// coordinates in lparam) lies over the view rectangle, bounds included; otherwise dropped.
void route_wheel_to_view(ViewState* view, HWND main_window, WPARAM wparam, LPARAM lparam);
