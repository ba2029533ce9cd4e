#include "common/log_box.h"

void append_to_log_box(HWND box, const wchar_t* text) {
    const int n = GetWindowTextLengthW(box);
    SendMessageW(box, EM_SETSEL, (WPARAM)n, (LPARAM)n);
    SendMessageW(box, EM_REPLACESEL, 0, (LPARAM)text);
    int m = GetWindowTextLengthW(box);
    if (m == n) {
        SetWindowTextW(box, text);
        m = GetWindowTextLengthW(box);
    }
    SendMessageW(box, EM_SETSEL, (WPARAM)m, (LPARAM)m);
}
