// Paint time of the view's paint cycle (axes + every triangle in immediate mode) for meshes
// of 100k and 1M triangles, on whatever renderer the display offers. Run it under
// tests/run_with_xvfb.sh or on a desktop.
#include <benchmark/benchmark.h>

#include <stdlib.h>

#include <cmath>
#include <vector>

#include "platform/win32.h"
#include "view/view.h"

namespace {

LRESULT CALLBACK plain_proc(HWND hwnd, UINT msg, WPARAM wparam, LPARAM lparam) {
    return DefWindowProcW(hwnd, msg, wparam, lparam);
}

// A window of the program's default view size with a current GL context and the view's
// fixed state; no set-up boxes.
bool make_gl_window() {
    WNDCLASSEXW wc = {};
    wc.cbSize = sizeof(wc);
    wc.lpfnWndProc = plain_proc;
    wc.lpszClassName = L"PaintBench";
    RegisterClassExW(&wc);
    HWND hwnd = CreateWindowExW(0, L"PaintBench", L"paint bench", WS_OVERLAPPEDWINDOW | WS_VISIBLE,
                                0, 0, 800, 640, nullptr, nullptr, nullptr, nullptr);
    if (!hwnd) return false;
    HDC dc = GetDC(hwnd);
    PIXELFORMATDESCRIPTOR pfd = {};
    pfd.nSize = sizeof(pfd);
    pfd.nVersion = 1;
    pfd.dwFlags = PFD_DRAW_TO_WINDOW | PFD_SUPPORT_OPENGL | PFD_DOUBLEBUFFER;
    pfd.cColorBits = 24;
    pfd.cDepthBits = 32;
    const int format = ChoosePixelFormat(dc, &pfd);
    if (!format || !SetPixelFormat(dc, format, &pfd)) return false;
    HGLRC context = wglCreateContext(dc);
    if (!context || !wglMakeCurrent(dc, context)) return false;
    RECT client;
    GetClientRect(hwnd, &client);
    glViewport(0, 0, client.right, client.bottom);
    glEnable(GL_CULL_FACE);
    glEnable(GL_DEPTH_TEST);
    glEnable(GL_NORMALIZE);
    setup_lights();
    return true;
}

// A sphere-like grid mesh of about triangles triangles, all inside the view.
void make_mesh(ViewState* view, int triangles) {
    const int side = (int)std::ceil(std::sqrt(triangles / 2.0));
    const int n = (side + 1) * (side + 1);
    float* vertices = (float*)malloc(sizeof(float) * 3 * (size_t)n);
    int32_t* indices = (int32_t*)malloc(sizeof(int32_t) * 6 * (size_t)side * side);
    for (int j = 0; j <= side; ++j)
        for (int i = 0; i <= side; ++i) {
            const double u = 6.2831853 * i / side, v = 3.1415926 * j / side;
            float* p = vertices + 3 * (j * (side + 1) + i);
            p[0] = (float)(std::cos(u) * std::sin(v));
            p[1] = (float)std::cos(v);
            p[2] = (float)(std::sin(u) * std::sin(v));
        }
    int t = 0;
    for (int j = 0; j < side && t < triangles; ++j)
        for (int i = 0; i < side && t < triangles; ++i) {
            const int a = j * (side + 1) + i, b = a + 1, c = a + side + 1, d = c + 1;
            const int quad[6] = {a, c, b, b, c, d};
            for (int k = 0; k < 6 && t < triangles; k += 3, ++t)
                for (int m = 0; m < 3; ++m) indices[3 * t + m] = quad[k + m];
        }
    view->vertices = vertices;
    view->vertex_count = n;
    view->indices = indices;
    view->triangle_count = t;
}

void BM_PaintView(benchmark::State& state) {
    static bool ready = make_gl_window();
    if (!ready) {
        state.SkipWithError("no GL window");
        return;
    }
    static ViewState view;
    init_view_state(&view);
    make_mesh(&view, (int)state.range(0));
    for (auto _ : state) {
        paint_view(&view);
        glFinish();  // NOTE: the frame is only done when the renderer has drawn it
    }
    state.counters["triangles"] = view.triangle_count;
    state.counters["triangles/s"] =
        benchmark::Counter((double)view.triangle_count, benchmark::Counter::kIsIterationInvariantRate);
    free(view.vertices);
    free(view.indices);
}
BENCHMARK(BM_PaintView)->Arg(100000)->Arg(1000000)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
