#include "common/main_window.h"

void register_window_class(HINSTANCE instance, const wchar_t* class_name, WNDPROC procedure) {
    WNDCLASSEXW wc = {};
    wc.cbSize = sizeof(wc);
    wc.style = CS_HREDRAW | CS_VREDRAW;
    wc.lpfnWndProc = procedure;
    wc.hInstance = instance;
    wc.hIcon = LoadIconW(nullptr, IDI_WINLOGO);
    wc.hIconSm = LoadIconW(nullptr, IDI_WINLOGO);
    wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    wc.hbrBackground = GetSysColorBrush(COLOR_BTNFACE);
    wc.lpszClassName = class_name;
    RegisterClassExW(&wc);
}

HWND create_centred_main_window(HINSTANCE instance, const wchar_t* class_name,
                                const wchar_t* title) {
    const int width = 800;
    const int height = 640;
    const int x = (GetSystemMetrics(SM_CXSCREEN) - width) / 2;
    const int y = (GetSystemMetrics(SM_CYSCREEN) - height) / 2;
    return CreateWindowExW(0, class_name, title, WS_OVERLAPPEDWINDOW | WS_VISIBLE, x, y, width,
                           height, nullptr, nullptr, instance, nullptr);
}

void run_message_loop() {
    MSG msg;
    while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
}
