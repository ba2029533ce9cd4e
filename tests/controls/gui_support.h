// Helpers of the controls' GUI tests: a parent window that records scroll messages,
// message pumping with deadlines, xdotool driven while messages keep flowing, and reading
// screen pixels through the layer's own capture.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "platform/win32.h"
#include "tests/support/settle.h"

// One WM_HSCROLL / WM_VSCROLL as the parent saw it.
struct ScrollEvent {
    int code;        // LOWORD(wParam)
    int short_pos;   // HIWORD(wParam)
    int track_pos;   // GetScrollInfo(SIF_TRACKPOS) of the control while handling it
    HWND control;    // lParam
    DWORD tick;      // GetTickCount() when it arrived
};

// The scroll messages the test parent received, in order.
std::vector<ScrollEvent>& scroll_events();
// A visible top-level window of the test class at (x, y) with the given client size; its
// background is `color`. Returns after it has been mapped and painted.
HWND make_parent(int x, int y, int client_width, int client_height, COLORREF color);
// Screen position of a client point of hwnd.
POINT screen_point(HWND hwnd, int x, int y);

// Runs "xdotool <arguments>" in the background while dispatching messages, then lets the
// resulting input settle. Returns whether xdotool succeeded.
bool xdotool(const std::string& arguments);
// Runs a shell command to completion and returns its standard output.
std::string shell_output(const std::string& command);

// The screen pixels of a rectangle (screen coordinates), top row first, as 0x00RRGGBB,
// read with GetDC(NULL) and BitBlt into a top-down DIB section.
std::vector<uint32_t> capture_screen(int x, int y, int width, int height);
uint32_t rgb_of(COLORREF color);
