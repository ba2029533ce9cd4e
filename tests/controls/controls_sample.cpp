// A sample window with the two controls as the viewer uses them: a read-only log box over
// a horizontal scrollbar whose position is a counter; every change of the counter appends
// a line to the log. Run it to look at the controls; the GUI tests drive it too.
//
//   controls_sample [count]     count: the scrollbar's range 1..count (default 200)
#include <stdio.h>
#include <stdlib.h>
#include <wchar.h>

#include "common/log_box.h"
#include "platform/win32.h"

namespace {

struct SampleApp {
    HWND main_window;
    HWND log_box;
    HWND scroll_bar;
    int count;
};

SampleApp* app;

void show_counter(int value) {
    SetScrollPos(app->scroll_bar, SB_CTL, value, TRUE);
    wchar_t line[64];
    swprintf(line, 64, L"Counter: %d\r\n", value);
    append_to_log_box(app->log_box, line);
}

// The scrollbar codes with the viewer's clamping: lines step by one, pages by count / 20.
void on_scroll(WPARAM wparam) {
    const int current = GetScrollPos(app->scroll_bar, SB_CTL);
    const int page = app->count / 20 > 0 ? app->count / 20 : 1;
    int next = current;
    switch (LOWORD(wparam)) {
    case SB_LINELEFT: next = current - 1; break;
    case SB_LINERIGHT: next = current + 1; break;
    case SB_PAGELEFT: next = current - page; break;
    case SB_PAGERIGHT: next = current + page; break;
    case SB_THUMBTRACK:
    case SB_THUMBPOSITION: {
        SCROLLINFO info = {sizeof(info), SIF_TRACKPOS, 0, 0, 0, 0, 0};
        GetScrollInfo(app->scroll_bar, SB_CTL, &info);
        next = info.nTrackPos;
        break;
    }
    case SB_LEFT: next = 1; break;
    case SB_RIGHT: next = app->count; break;
    default: return;
    }
    next = next < 1 ? 1 : (next > app->count ? app->count : next);
    if (next != current) show_counter(next);
}

void layout(int width, int height) {
    SetWindowPos(app->log_box, nullptr, 0, 0, width, height - 15, SWP_NOZORDER);
    SetWindowPos(app->scroll_bar, nullptr, 0, height - 15, width, 15, SWP_NOZORDER);
}

void on_create(HWND hwnd) {
    app->main_window = hwnd;
    HDC screen = GetDC(nullptr);
    LOGFONTW logfont = {};
    logfont.lfHeight = MulDiv(10, GetDeviceCaps(screen, LOGPIXELSY), 72);
    logfont.lfWeight = FW_NORMAL;
    logfont.lfCharSet = DEFAULT_CHARSET;
    wcscpy(logfont.lfFaceName, L"Tahoma");
    HFONT font = CreateFontIndirectW(&logfont);
    ReleaseDC(nullptr, screen);
    app->log_box = CreateWindowExW(WS_EX_CLIENTEDGE, L"EDIT", L"", 0x50200844, 0, 0, 100, 100, hwnd, nullptr,
                                   nullptr, nullptr);
    SendMessageW(app->log_box, WM_SETFONT, (WPARAM)font, FALSE);
    SendMessageW(app->log_box, EM_LIMITTEXT, 0, 0);
    app->scroll_bar = CreateWindowExW(0, L"SCROLLBAR", L"", 0x50200000, 0, 0, 100, 15, hwnd, nullptr, nullptr,
                                      nullptr);
    wchar_t line[64];
    swprintf(line, 64, L"%d counts\r\n", app->count);
    append_to_log_box(app->log_box, line);
    SetScrollRange(app->scroll_bar, SB_CTL, 1, app->count, FALSE);
    show_counter(1);
}

LRESULT CALLBACK sample_proc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
    switch (message) {
    case WM_CREATE: on_create(hwnd); return 0;
    case WM_SIZE: layout(LOWORD(lparam), HIWORD(lparam)); return 0;
    case WM_HSCROLL: on_scroll(wparam); return 0;
    case WM_CLOSE: DestroyWindow(hwnd); return 0;
    case WM_DESTROY: PostQuitMessage(0); return 0;
    default: return DefWindowProcW(hwnd, message, wparam, lparam);
    }
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR command_line, int) {
    SampleApp sample = {nullptr, nullptr, nullptr, 200};
    if (command_line && atoi(command_line) > 0) sample.count = atoi(command_line);
    app = &sample;
    WNDCLASSEXW wc = {};
    wc.cbSize = sizeof(wc);
    wc.lpfnWndProc = sample_proc;
    wc.hInstance = instance;
    wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    wc.hbrBackground = GetSysColorBrush(COLOR_BTNFACE);
    wc.lpszClassName = L"ControlsSample";
    RegisterClassExW(&wc);
    CreateWindowExW(0, L"ControlsSample", L"Controls sample", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 40, 40, 640, 300,
                    nullptr, nullptr, instance, nullptr);
    MSG msg;
    while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
    return 0;
}
