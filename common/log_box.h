// The read-only log box both the viewer and the controls' sample window write to.
#pragma once

#include "platform/win32.h"

// Appends text at the end of the multi-line EDIT box and leaves the caret behind it; a box
// that takes nothing more (it is full) starts over with text alone.
void append_to_log_box(HWND box, const wchar_t* text);
