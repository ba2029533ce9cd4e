// The cases both programs' main windows handle alike, all of them about the 3D view.
#pragma once

#include "platform/win32.h"
#include "view/view.h"

// Handles msg when it is one of the shared cases: close (destroy, quit), destroy (quit),
// paint (the view repaints), the wheel (routed to the view), the R key (camera home) and the
// view's redraw request. Returns true with the window procedure's result in *result; false
// for a message the program handles itself.
bool handle_main_window_case(ViewState* view, HWND hwnd, UINT msg, WPARAM wparam, LPARAM lparam,
                             LRESULT* result);
