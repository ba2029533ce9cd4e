// Window plumbing both programs and their view share.
#pragma once

#include "platform/win32.h"

// Registers a class as all of the system's windows are: redrawn whole on a resize, the
// system logo icon and arrow cursor, the button-face background, no extra bytes, no menu.
void register_window_class(HINSTANCE instance, const wchar_t* class_name, WNDPROC procedure);

// Creates a visible, sizable 800 x 640 top-level window centred on the screen.
HWND create_centred_main_window(HINSTANCE instance, const wchar_t* class_name,
                                const wchar_t* title);

// Gets and dispatches the calling thread's messages until WM_QUIT.
void run_message_loop();
