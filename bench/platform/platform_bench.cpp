// Message passing and code-page conversion of the layer, against their bare baselines:
// a synchronous send to another thread against one to the caller's own window (and a
// plain call of the procedure), a post and peek on the caller's queue, and UTF-8 to wide
// text against a byte copy. Compare the ratios within one run.
#include <benchmark/benchmark.h>
#include <string.h>

#include <atomic>
#include <string>
#include <thread>

#include "platform/win32.h"
#include "tests/support/plain_class.h"

namespace {

LRESULT CALLBACK answer_proc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
    if (message == WM_USER) return (LRESULT)(wparam + 1);
    return DefWindowProcW(hwnd, message, wparam, lparam);
}

HWND make_window() {
    static bool registered = register_plain_class(L"BenchAnswer", answer_proc);
    (void)registered;
    return CreateWindowExW(0, L"BenchAnswer", L"", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr, nullptr,
                           nullptr);
}

// A window on another thread that runs a message loop until stopped.
struct Remote {
    Remote() {
        thread = std::thread([this] {
            hwnd = make_window();
            MSG msg;
            while (!stop && GetMessageW(&msg, nullptr, 0, 0) > 0) DispatchMessageW(&msg);
            DestroyWindow(hwnd);
        });
        while (!hwnd) std::this_thread::yield();
    }
    ~Remote() {
        stop = true;
        PostMessageW(hwnd, WM_NULL, 0, 0);
        thread.join();
    }
    std::thread thread;
    std::atomic<HWND> hwnd{nullptr};
    std::atomic<bool> stop{false};
};

void BM_ProcedureCall(benchmark::State& state) {
    HWND hwnd = make_window();
    WNDPROC proc = answer_proc;
    benchmark::DoNotOptimize(proc);
    WPARAM i = 0;
    for (auto _ : state) benchmark::DoNotOptimize(proc(hwnd, WM_USER, i++, 0));
    DestroyWindow(hwnd);
}
BENCHMARK(BM_ProcedureCall);

void BM_SendSameThread(benchmark::State& state) {
    HWND hwnd = make_window();
    WPARAM i = 0;
    for (auto _ : state) benchmark::DoNotOptimize(SendMessageW(hwnd, WM_USER, i++, 0));
    DestroyWindow(hwnd);
}
BENCHMARK(BM_SendSameThread);

void BM_SendOtherThread(benchmark::State& state) {
    Remote remote;
    WPARAM i = 0;
    for (auto _ : state) {
        if (SendMessageW(remote.hwnd, WM_USER, i, 0) != (LRESULT)(i + 1))
            state.SkipWithError("wrong answer");
        ++i;
    }
}
BENCHMARK(BM_SendOtherThread)->UseRealTime();

void BM_PostAndPeek(benchmark::State& state) {
    HWND hwnd = make_window();
    MSG msg;
    for (auto _ : state) {
        PostMessageW(hwnd, WM_USER, 0, 0);
        PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE);
        benchmark::DoNotOptimize(msg.message);
    }
    DestroyWindow(hwnd);
}
BENCHMARK(BM_PostAndPeek);

std::string sample_text() {
    std::string text;
    while (text.size() < 64 * 1024)
        text += "Frame 12 world 3401 match 2817 linked 2790 \xC3\xBC\xE2\x82\xAC\r\n";
    return text;
}

void BM_Utf8ToWide(benchmark::State& state) {
    std::string text = sample_text();
    std::wstring wide(text.size(), L'\0');
    for (auto _ : state)
        benchmark::DoNotOptimize(MultiByteToWideChar(CP_UTF8, 0, text.data(), (int)text.size(),
                                                     &wide[0], (int)wide.size()));
    state.SetBytesProcessed((int64_t)state.iterations() * (int64_t)text.size());
}
BENCHMARK(BM_Utf8ToWide);

void BM_ByteCopy(benchmark::State& state) {
    std::string text = sample_text();
    std::string copy(text.size(), '\0');
    for (auto _ : state) {
        memcpy(&copy[0], text.data(), text.size());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed((int64_t)state.iterations() * (int64_t)text.size());
}
BENCHMARK(BM_ByteCopy);

}  // namespace
