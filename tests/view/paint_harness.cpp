#include "tests/view/paint_harness.h"

#include "tests/support/plain_class.h"

#include "view/paint.h"
#include "view/projection.h"
#include "view/view.h"

namespace {

bool paint_immediate = false;
// The two renderers of the content handed over last.
void (*program_renderer)(const void*) = nullptr;
void (*reference_renderer)(const void*) = nullptr;
PaintResult* recording = nullptr;
int window_width = 0;
int window_height = 0;

LRESULT CALLBACK paint_window_proc(HWND hwnd, UINT msg, WPARAM wparam, LPARAM lparam) {
    return DefWindowProcW(hwnd, msg, wparam, lparam);
}

// Reads the frame and the state the content renderer left.
void record_paint() {
    if (!recording) return;
    PaintResult& r = *recording;
    r.width = window_width;
    r.height = window_height;
    r.pixels.assign((size_t)window_width * window_height * 4, 0);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadBuffer(GL_BACK);
    glReadPixels(0, 0, window_width, window_height, GL_RGBA, GL_UNSIGNED_BYTE, r.pixels.data());
    glGetFloatv(GL_CURRENT_COLOR, r.current_colour);
    r.lighting = glIsEnabled(GL_LIGHTING);
    r.vertex_array = glIsEnabled(GL_VERTEX_ARRAY);
    r.colour_array = glIsEnabled(GL_COLOR_ARRAY);
    glGetFloatv(GL_POINT_SIZE, &r.point_size);
    glGetFloatv(GL_LINE_WIDTH, &r.line_width);
}

void draw_program_or_reference(const void* record) {
    if (paint_immediate) {
        reference_renderer(record);
    } else {
        program_renderer(record);
    }
    record_paint();
}

}  // namespace

bool open_paint_window(int width, int height) {
    register_plain_class(L"PaintHarness", paint_window_proc);
    HWND hwnd = CreateWindowExW(0, L"PaintHarness", L"paint harness", WS_POPUP | WS_VISIBLE, 0, 0,
                                width, height, nullptr, nullptr, nullptr, nullptr);
    if (!hwnd) return false;
    HDC dc = GetDC(hwnd);
    // NOTE: the view's own request, without its set_pixel_format, which would ask the user
    // about the software renderer in a message box.
    PIXELFORMATDESCRIPTOR pfd = view_pixel_format_request();
    const int format = ChoosePixelFormat(dc, &pfd);
    if (!format || !SetPixelFormat(dc, format, &pfd)) return false;
    HGLRC context = wglCreateContext(dc);
    if (!context || !wglMakeCurrent(dc, context)) return false;
    RECT client;
    GetClientRect(hwnd, &client);
    window_width = client.right;
    window_height = client.bottom;
    glClearDepth(1.0);
    glPolygonOffset(-2.0f, -1.0f);
    glViewport(0, 0, window_width, window_height);
    const Frustum f = resize_frustum(window_width, window_height);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glFrustum(f.left, f.right, f.bottom, f.top, f.near_plane, f.far_plane);
    glMatrixMode(GL_MODELVIEW);
    set_fixed_state();
    setup_lights();
    return glGetError() == GL_NO_ERROR;
}

void hand_to_view(ViewState* view, const ViewContent& program, void (*reference)(const void*)) {
    program_renderer = program.draw;
    reference_renderer = reference;
    ViewContent content = program;
    content.draw = draw_program_or_reference;
    set_view_content(view, content);
}

PaintResult paint_and_read(ViewState* view, bool immediate) {
    PaintResult result;
    paint_immediate = immediate;
    recording = &result;
    paint_view(view);
    recording = nullptr;
    return result;
}

void paint_and_finish(ViewState* view, bool immediate) {
    paint_immediate = immediate;
    paint_view(view);
    glFinish();
}

int64_t drawn_pixels(const PaintResult& result) {
    int64_t drawn = 0;
    for (size_t i = 0; i < result.pixels.size(); i += 4) {
        if (result.pixels[i] || result.pixels[i + 1] || result.pixels[i + 2]) drawn += 1;
    }
    return drawn;
}

int64_t differing_pixels(const PaintResult& a, const PaintResult& b) {
    if (a.pixels.size() != b.pixels.size()) return -1;
    int64_t differing = 0;
    for (size_t i = 0; i < a.pixels.size(); i += 4) {
        if (a.pixels[i] != b.pixels[i] || a.pixels[i + 1] != b.pixels[i + 1] ||
            a.pixels[i + 2] != b.pixels[i + 2]) {
            differing += 1;
        }
    }
    return differing;
}
