// Helpers of the controls' GUI tests.
#include "tests/controls/gui_support.h"

#include "tests/support/settle.h"

#include <stdio.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

LRESULT CALLBACK parent_proc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
    if (message == WM_HSCROLL || message == WM_VSCROLL) {
        SCROLLINFO info = {sizeof(info), SIF_TRACKPOS, 0, 0, 0, 0, 0};
        GetScrollInfo((HWND)lparam, SB_CTL, &info);
        scroll_events().push_back({LOWORD(wparam), HIWORD(wparam), info.nTrackPos, (HWND)lparam, GetTickCount()});
        return 0;
    }
    return DefWindowProcW(hwnd, message, wparam, lparam);
}

}  // namespace

std::vector<ScrollEvent>& scroll_events() {
    static std::vector<ScrollEvent> events;
    return events;
}

HWND make_parent(int x, int y, int client_width, int client_height, COLORREF color) {
    static int serial = 0;
    wchar_t name[32];
    swprintf(name, 32, L"ControlsTestParent%d", ++serial);
    WNDCLASSEXW wc = {};
    wc.cbSize = sizeof(wc);
    wc.lpfnWndProc = parent_proc;
    wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    wc.hbrBackground = CreateSolidBrush(color);
    wc.lpszClassName = name;
    RegisterClassExW(&wc);
    const int width = client_width + 2 * GetSystemMetrics(SM_CXFRAME);
    const int height = client_height + 2 * GetSystemMetrics(SM_CYFRAME) + GetSystemMetrics(SM_CYCAPTION);
    HWND hwnd = CreateWindowExW(0, name, L"controls test", WS_OVERLAPPEDWINDOW | WS_VISIBLE, x, y, width, height,
                                nullptr, nullptr, nullptr, nullptr);
    settle_thread();
    return hwnd;
}

POINT screen_point(HWND hwnd, int x, int y) {
    POINT p = {x, y};
    ClientToScreen(hwnd, &p);
    return p;
}

bool xdotool(const std::string& arguments) {
    const std::string command = "xdotool " + arguments;
    const pid_t child = fork();
    if (child == 0) {
        execl("/bin/sh", "sh", "-c", command.c_str(), (char*)nullptr);
        _exit(127);
    }
    int status = -1;
    pump_until([&] { return waitpid(child, &status, WNOHANG) == child; }, 20000);
    return WIFEXITED(status) && WEXITSTATUS(status) == 0 && settle_thread();
}

std::string shell_output(const std::string& command) {
    std::string out;
    FILE* pipe = popen(command.c_str(), "r");
    if (!pipe) return out;
    char buffer[65536];
    size_t n;
    while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0) out.append(buffer, n);
    pclose(pipe);
    return out;
}

std::vector<uint32_t> capture_screen(int x, int y, int width, int height) {
    std::vector<uint32_t> pixels;
    HDC screen = GetDC(nullptr);
    HDC memory = CreateCompatibleDC(screen);
    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    HBITMAP section = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    if (section) {
        SelectObject(memory, section);
        if (BitBlt(memory, 0, 0, width, height, screen, x, y, SRCCOPY)) {
            const uint32_t* p = static_cast<const uint32_t*>(bits);
            pixels.assign(p, p + (size_t)width * height);
        }
    }
    ReleaseDC(nullptr, screen);
    DeleteDC(memory);
    if (section) DeleteObject(section);
    return pixels;
}

uint32_t rgb_of(COLORREF color) {
    return ((uint32_t)GetRValue(color) << 16) | ((uint32_t)GetGValue(color) << 8) | GetBValue(color);
}
