// A window class with nothing but a name and a procedure, for the tests and benchmarks that
// need a window of their own. Header only, so any test target can use it.
#pragma once

#include "platform/win32.h"

// Registers the class; returns false when it could not (a class of that name exists).
inline bool register_plain_class(LPCWSTR name, WNDPROC proc) {
    WNDCLASSEXW wc = {};
    wc.cbSize = sizeof(wc);
    wc.lpfnWndProc = proc;
    wc.lpszClassName = name;
    return RegisterClassExW(&wc) != 0;
}
