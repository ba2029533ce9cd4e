// Speed of the log box and of the screen grab.
//
//   LogAppend/<lines>    one append to a real EDIT that already holds that many lines, the
//                        viewer's way (length, select end, replace, length, select end),
//                        repaints included: the time must not grow with the lines held.
//   LogAppend200k        200000 appends in a row; reports microseconds per append of the
//                        first and the last 20000 and their ratio (1.0 = flat).
//   ModelAppend/<lines>  the same on the bare text model, without a window.
//   CaptureBitBlt        BitBlt of 640 x 480 screen pixels into a DIB section, against
//   BareXGetImage        the bare XGetImage of the same area (ratio = our conversion cost).
//
// Needs an X display: run it under tests/run_with_xvfb.sh.
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <benchmark/benchmark.h>

#include <stdlib.h>

#include <chrono>
#include <string>

#include "platform/win32.h"
#include "platform/x11/edit_model.h"

namespace {

const wchar_t kLine[] = L"Frame No 12345: 120 world points; 45 of 80 match points (56.25%)  - to world\r\n";

void pump() {
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
}

// A visible window with the viewer's log box (made once).
HWND log_box() {
    static HWND edit = [] {
        WNDCLASSEXW wc = {};
        wc.cbSize = sizeof(wc);
        wc.lpfnWndProc = DefWindowProcW;
        wc.hbrBackground = GetSysColorBrush(COLOR_BTNFACE);
        wc.lpszClassName = L"BenchParent";
        RegisterClassExW(&wc);
        HWND parent = CreateWindowExW(0, L"BenchParent", L"bench", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 800, 640,
                                      nullptr, nullptr, nullptr, nullptr);
        HWND box = CreateWindowExW(WS_EX_CLIENTEDGE, L"EDIT", L"", 0x50200844, 0, 460, 790, 135, parent, nullptr,
                                   nullptr, nullptr);
        SendMessageW(box, EM_LIMITTEXT, 0, 0);
        pump();
        return box;
    }();
    return edit;
}

void append_log(HWND box, const wchar_t* text) {
    const int n = GetWindowTextLengthW(box);
    SendMessageW(box, EM_SETSEL, n, n);
    SendMessageW(box, EM_REPLACESEL, 0, (LPARAM)text);
    const int m = GetWindowTextLengthW(box);
    SendMessageW(box, EM_SETSEL, m, m);
}

// NOTE: only the environment is looked at: the layer must make the first Xlib call of the
// process (XInitThreads).
bool have_display() { return getenv("DISPLAY") != nullptr; }

void LogAppend(benchmark::State& state) {
    if (!have_display()) return state.SkipWithError("no X display");
    HWND box = log_box();
    SetWindowTextW(box, L"");
    for (int64_t i = 0; i < state.range(0); ++i) append_log(box, kLine);
    pump();
    int64_t count = 0;
    for (auto _ : state) {
        append_log(box, kLine);
        if (++count % 16 == 0) pump();  // the paints that the appends asked for
    }
    state.SetItemsProcessed(count);
}
BENCHMARK(LogAppend)->Arg(0)->Arg(100000)->Arg(200000)->Unit(benchmark::kMicrosecond);

void LogAppend200k(benchmark::State& state) {
    if (!have_display()) return state.SkipWithError("no X display");
    HWND box = log_box();
    constexpr int kTotal = 200000, kBatch = 20000;
    double first = 0, last = 0;
    for (auto _ : state) {
        SetWindowTextW(box, L"");
        for (int batch = 0; batch < kTotal / kBatch; ++batch) {
            const auto start = std::chrono::steady_clock::now();
            for (int i = 0; i < kBatch; ++i) {
                append_log(box, kLine);
                if (i % 16 == 0) pump();
            }
            const double us = std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now() - start).count();
            if (batch == 0) first = us / kBatch;
            last = us / kBatch;
        }
    }
    state.counters["first_us_per_append"] = first;
    state.counters["last_us_per_append"] = last;
    state.counters["last_over_first"] = last / first;
}
BENCHMARK(LogAppend200k)->Iterations(1)->Unit(benchmark::kMillisecond);

int fixed_advance(void*, wchar_t c) { return c < 0x20 ? 0 : 7; }

void ModelAppend(benchmark::State& state) {
    const EditMeasure measure = {fixed_advance, nullptr, 56};
    EditModel model;
    model.wrap_width = 780;
    edit_set_limit(model, 0);
    const size_t line_length = sizeof(kLine) / sizeof(kLine[0]) - 1;
    for (int64_t i = 0; i < state.range(0); ++i) {
        edit_set_selection(model, (long long)model.text.size(), (long long)model.text.size());
        edit_replace_selection(model, kLine, line_length, measure);
    }
    for (auto _ : state) {
        edit_set_selection(model, (long long)model.text.size(), (long long)model.text.size());
        edit_replace_selection(model, kLine, line_length, measure);
        edit_scroll_to_caret(model, 10);
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(ModelAppend)->Arg(0)->Arg(100000)->Arg(200000);

void CaptureBitBlt(benchmark::State& state) {
    if (!have_display()) return state.SkipWithError("no X display");
    log_box();
    HDC screen = GetDC(nullptr);
    HDC memory = CreateCompatibleDC(screen);
    BITMAPINFO info = {};
    info.bmiHeader = {sizeof(BITMAPINFOHEADER), 640, 480, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
    void* bits = nullptr;
    HBITMAP section = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    SelectObject(memory, section);
    for (auto _ : state) {
        BitBlt(memory, 0, 0, 640, 480, screen, 0, 0, SRCCOPY);
        benchmark::DoNotOptimize(static_cast<uint32_t*>(bits)[0]);
    }
    state.SetBytesProcessed(state.iterations() * 640 * 480 * 4);
    ReleaseDC(nullptr, screen);
    DeleteDC(memory);
    DeleteObject(section);
}
BENCHMARK(CaptureBitBlt)->Unit(benchmark::kMillisecond);

void BareXGetImage(benchmark::State& state) {
    if (!have_display()) return state.SkipWithError("no X display");
    log_box();
    Display* display = XOpenDisplay(nullptr);
    if (!display) return state.SkipWithError("no X display");
    for (auto _ : state) {
        XImage* image = XGetImage(display, DefaultRootWindow(display), 0, 0, 640, 480, AllPlanes, ZPixmap);
        benchmark::DoNotOptimize(image->data[0]);
        XDestroyImage(image);
    }
    state.SetBytesProcessed(state.iterations() * 640 * 480 * 4);
    XCloseDisplay(display);
}
BENCHMARK(BareXGetImage)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
