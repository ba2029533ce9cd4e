#include "meshbuilder/progress_window.h"

#include <wchar.h>

#include <system_error>
#include <vector>

#include "common/count_words.h"

const wchar_t* const kProgressWindowTitle = L"Meshweaver - Building mesh";

namespace {

const wchar_t* const kClassName = L"MeshweaverProgress";
// Shown only when the triangulation is still going after this long.
const std::chrono::milliseconds kShowAfter(1000);
const UINT kRepaintMs = 250;
const UINT_PTR kRepaintTimer = 1;
// Posted by stop_progress_window: the window destroys itself on its own thread.
const UINT kCloseProgress = WM_USER + 1;
// The client area in average character widths and lines, and its margin in pixels.
const int kWidthInChars = 40;
const int kLineCount = 3;
const int kMargin = 14;

// 10000000 as "10,000,000".
std::wstring grouped(int64_t value) {
    std::wstring digits = std::to_wstring(value < 0 ? -value : value);
    for (int at = (int)digits.size() - 3; at > 0; at -= 3) digits.insert((size_t)at, L",");
    return value < 0 ? L"-" + digits : digits;
}

// 65.4 seconds as "1 min 05 s", 12.9 as "12 s".
std::wstring elapsed_text(double seconds) {
    const int64_t whole = seconds > 0 ? (int64_t)seconds : 0;
    if (whole < 60) return std::to_wstring(whole) + L" s";
    const int64_t second = whole % 60;
    return std::to_wstring(whole / 60) + (second < 10 ? L" min 0" : L" min ") +
           std::to_wstring(second) + L" s";
}

std::wstring stage_text(int32_t point_count, const ReconstructionProgress& progress) {
    if (progress.triangulated) return L"Saving the mesh file";
    if (progress.rows_asked.load(std::memory_order_relaxed) == 0)
        return L"Preparing the neighbour search";
    const int64_t reached = progress.points_reached.load(std::memory_order_relaxed);
    // NOTE: rounded down, so 100 % is shown only once every point has been reached.
    const int64_t percent = point_count > 0 ? reached * 100 / point_count : 0;
    return L"Points reached: " + grouped(reached) + L" (" + std::to_wstring(percent) + L" %)";
}

// The window's own font: 10 points of a plain sans-serif face.
HFONT create_progress_font() {
    HDC screen = GetDC(nullptr);
    LOGFONTW font = {};
    font.lfHeight = -MulDiv(10, GetDeviceCaps(screen, LOGPIXELSY), 72);
    font.lfWeight = FW_NORMAL;
    wcsncpy(font.lfFaceName, L"Tahoma", LF_FACESIZE - 1);
    ReleaseDC(nullptr, screen);
    return CreateFontIndirectW(&font);
}

// The line height and average character width of a font on the screen.
SIZE text_cell(HFONT font) {
    HDC screen = GetDC(nullptr);
    HGDIOBJ old = SelectObject(screen, font);
    TEXTMETRICW metrics = {};
    GetTextMetricsW(screen, &metrics);
    SelectObject(screen, old);
    ReleaseDC(nullptr, screen);
    return SIZE{metrics.tmAveCharWidth, metrics.tmHeight + metrics.tmExternalLeading + 4};
}

struct Painter {
    HFONT font;
    int line_height;
    ProgressWindow* owner;
};

void paint_progress(HWND hwnd, const Painter& painter) {
    const ProgressWindow& owner = *painter.owner;
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - owner.started).count();
    const std::wstring text = progress_text(owner.point_count, seconds, *owner.progress);
    PAINTSTRUCT paint;
    HDC dc = BeginPaint(hwnd, &paint);
    HGDIOBJ old = SelectObject(dc, painter.font);
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, GetSysColor(COLOR_BTNTEXT));
    size_t begin = 0;
    for (int line = 0; begin <= text.size(); ++line) {
        size_t end = text.find(L'\n', begin);
        if (end == std::wstring::npos) end = text.size();
        TextOutW(dc, kMargin, kMargin + line * painter.line_height, text.c_str() + begin,
                 (int)(end - begin));
        begin = end + 1;
    }
    SelectObject(dc, old);
    EndPaint(hwnd, &paint);
}

LRESULT CALLBACK progress_proc(HWND hwnd, UINT msg, WPARAM wparam, LPARAM lparam) {
    auto* painter = reinterpret_cast<const Painter*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    switch (msg) {
        case WM_NCCREATE:
            SetWindowLongPtrW(hwnd, GWLP_USERDATA,
                              (LONG_PTR) reinterpret_cast<CREATESTRUCTW*>(lparam)->lpCreateParams);
            break;
        case WM_TIMER:
            InvalidateRect(hwnd, nullptr, TRUE);
            return 0;
        case WM_PAINT:
            if (!painter) break;
            paint_progress(hwnd, *painter);
            return 0;
        case WM_CLOSE:
            // NOTE: the work cannot be interrupted; the window goes when the work is done.
            return 0;
        case kCloseProgress:
            DestroyWindow(hwnd);
            return 0;
        case WM_DESTROY:
            KillTimer(hwnd, kRepaintTimer);
            PostQuitMessage(0);
            return 0;
    }
    return DefWindowProcW(hwnd, msg, wparam, lparam);
}

void register_progress_class(HINSTANCE instance) {
    WNDCLASSEXW wc = {};
    wc.cbSize = sizeof(wc);
    wc.style = CS_HREDRAW | CS_VREDRAW;
    wc.lpfnWndProc = progress_proc;
    wc.hInstance = instance;
    wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    wc.hbrBackground = GetSysColorBrush(COLOR_BTNFACE);
    wc.lpszClassName = kClassName;
    // NOTE: a second registration (a later build in the same process) fails harmlessly.
    RegisterClassExW(&wc);
}

// A captioned window without a system menu (so no buttons), centred on the screen.
HWND create_progress_window(Painter* painter) {
    HINSTANCE instance = GetModuleHandleW(nullptr);
    register_progress_class(instance);
    const SIZE cell = text_cell(painter->font);
    painter->line_height = cell.cy;
    const int width = kWidthInChars * cell.cx + 2 * kMargin + 2 * GetSystemMetrics(SM_CXFRAME);
    const int height = kLineCount * cell.cy + 2 * kMargin + 2 * GetSystemMetrics(SM_CYFRAME) +
                       GetSystemMetrics(SM_CYCAPTION);
    const int x = (GetSystemMetrics(SM_CXSCREEN) - width) / 2;
    const int y = (GetSystemMetrics(SM_CYSCREEN) - height) / 2;
    return CreateWindowExW(0, kClassName, kProgressWindowTitle, WS_POPUP | WS_CAPTION, x, y, width,
                           height, nullptr, nullptr, instance, painter);
}

// The window's thread: waits up to a second for the end of the work; if the triangulation
// is still going, shows the window and repaints it until stop_progress_window closes it.
void run_progress_thread(ProgressWindow* owner) {
    {
        std::unique_lock<std::mutex> held(owner->lock);
        if (owner->stop_asked.wait_for(held, kShowAfter, [owner] { return owner->stopping; }))
            return;
    }
    // NOTE: a triangulation over within the second leaves only the save, which is short
    // unless the disk is slow; the window stays away, so a small cloud never shows it.
    if (owner->progress->triangulated) return;
    Painter painter{create_progress_font(), 0, owner};
    HWND window = create_progress_window(&painter);
    bool stopped = !window;
    if (window) {
        std::lock_guard<std::mutex> held(owner->lock);
        // NOTE: the work may have ended while the window was being made: it is then never
        // shown, and stop_progress_window, which has seen no window, waits for this.
        stopped = owner->stopping;
        if (!stopped) owner->window = window;
    }
    if (stopped) {
        if (window) DestroyWindow(window);
    } else {
        SetTimer(window, kRepaintTimer, kRepaintMs, nullptr);
        ShowWindow(window, SW_SHOW);
        UpdateWindow(window);
        MSG msg;
        while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
    }
    DeleteObject(painter.font);
}

}  // namespace

std::wstring progress_text(int32_t point_count, double elapsed_seconds,
                           const ReconstructionProgress& progress) {
    return L"Building a mesh of " + grouped(point_count) + L" " +
           noun_for_count(point_count, L"point", L"points") + L"\nElapsed time: " +
           elapsed_text(elapsed_seconds) + L"\n" + stage_text(point_count, progress);
}

ProgressWindow* start_progress_window(int32_t point_count, const ReconstructionProgress* progress) {
    auto* owner = new ProgressWindow;
    owner->point_count = point_count;
    owner->progress = progress;
    owner->started = std::chrono::steady_clock::now();
    owner->stopping = false;
    owner->window = nullptr;
    try {
        owner->thread = std::thread(run_progress_thread, owner);
    } catch (const std::system_error&) {
        delete owner;
        return nullptr;
    }
    return owner;
}

void stop_progress_window(ProgressWindow* owner) {
    if (!owner) return;
    HWND window;
    {
        std::lock_guard<std::mutex> held(owner->lock);
        owner->stopping = true;
        window = owner->window;
    }
    owner->stop_asked.notify_all();
    if (window) PostMessageW(window, kCloseProgress, 0, 0);
    // NOTE: the thread destroys its window before it ends, and its connection to the display
    // is closed (and flushed) as it ends, so once joined the window is off the screen.
    owner->thread.join();
    delete owner;
}
