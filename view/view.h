// The 3D view: an OpenGL child window on a thread of its own, shared by both programs.
#pragma once

#include "platform/win32.h"
#include "view/camera.h"
#include "view/view_state.h"

// The private repaint request: always sent (SendMessageW), never posted; the view paints
// before the send returns.
#define WM_VIEW_REDRAW (WM_USER + 1)

// Clears handles and flags, puts the camera at its home pose and clears the content fields.
void init_view_state(ViewState* view);

// Starts the view thread on view and waits until its window and GL set-up are done.
// Returns false, with a reason for the user, when the view could not be started.
bool start_view(ViewState* view, const wchar_t** reason);

// Thread routine of the view: window, context, fixed state, light, message loop.
DWORD WINAPI view_thread_main(LPVOID param);
LRESULT CALLBACK view_window_proc(HWND hwnd, UINT msg, WPARAM wparam, LPARAM lparam);

bool create_gl_context(HWND hwnd);
bool set_pixel_format(HDC dc);
// The fixed state of every paint: clear colour, back-face culling, depth test, normalising.
void set_fixed_state();
void setup_lights();
void resize_view();
void paint_view(ViewState* view);

// Mouse handlers of the camera. on_mouse_move runs on the view thread; on_mouse_wheel on
// whichever thread received the wheel message.
void on_mouse_move(WPARAM flags, int x, int y);
void on_mouse_wheel(WPARAM wparam, ViewState* view);

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

// Supplied by each program: the axis length, its content fields' start values, and the
// renderer that paint_view calls between the push and pop around the content.
extern const float view_axis_length;
void init_view_content(ViewState* view);
void draw_view_content(ViewState* view);
