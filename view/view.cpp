#include "view/view.h"

#include "common/main_window.h"
#include "view/camera.h"
#include "view/paint.h"
#include "view/projection.h"

namespace {

// The one view of the process, stored by the view thread before it creates its window.
ViewState* the_view = nullptr;

const wchar_t* const kClassName = L"GLHaldenup";

// Longest wait for the view thread, not counting time a set-up box waits for the user.
const DWORD kStartTimeoutMs = 20000;

void load_frustum(const Frustum& f) {
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glFrustum(f.left, f.right, f.bottom, f.top, f.near_plane, f.far_plane);
    glMatrixMode(GL_MODELVIEW);
}

void setup_box(const wchar_t* text) {
    the_view->asking_user = 1;
    MessageBoxW(nullptr, text, L"GLSetup", MB_OK);
    the_view->asking_user = 0;
}

void draw_axes(float length) {
    glPushMatrix();
    glDisable(GL_LIGHTING);
    glLineWidth(2.0f);
    glBegin(GL_LINES);
    glColor3f(1.0f, 0.0f, 0.0f);
    glVertex3f(0.0f, 0.0f, 0.0f);
    glVertex3f(length, 0.0f, 0.0f);
    glColor3f(0.0f, 1.0f, 0.0f);
    glVertex3f(0.0f, 0.0f, 0.0f);
    glVertex3f(0.0f, length, 0.0f);
    glColor3f(0.0f, 0.0f, 1.0f);
    glVertex3f(0.0f, 0.0f, 0.0f);
    glVertex3f(0.0f, 0.0f, length);
    glEnd();
    glEnable(GL_LIGHTING);
    glPopMatrix();
}

// Chooses and sets the view's format; tells the user about a software renderer.
bool set_pixel_format(HDC dc) {
    PIXELFORMATDESCRIPTOR request = view_pixel_format_request();
    const int format = ChoosePixelFormat(dc, &request);
    if (format == 0) {
        setup_box(L"ChoosePixelFormat failed");
        return false;
    }
    PIXELFORMATDESCRIPTOR chosen = {};
    chosen.nSize = sizeof(PIXELFORMATDESCRIPTOR);
    DescribePixelFormat(dc, format, sizeof(PIXELFORMATDESCRIPTOR), &chosen);
    if (!(chosen.dwFlags & PFD_GENERIC_ACCELERATED) && (chosen.dwFlags & PFD_GENERIC_FORMAT)) {
        setup_box(L"No hardware acceleration");
    }
    if (!SetPixelFormat(dc, format, &request)) {
        setup_box(L"SetPixelFormat failed");
        return false;
    }
    return true;
}

// The GL context of the view window, made current on the view thread, with the start projection.
bool create_gl_context(HWND hwnd) {
    // NOTE: the DC stays in use for the life of the thread and is never released.
    HDC dc = GetDC(hwnd);
    if (!dc || !set_pixel_format(dc)) return false;
    HGLRC context = wglCreateContext(dc);
    if (!context || !wglMakeCurrent(dc, context)) return false;

    glClearDepth(1.0);
    glEnable(GL_DEPTH_TEST);
    RECT client;
    GetClientRect(hwnd, &client);
    const int w = client.right - client.left;
    const int h = client.bottom - client.top;
    glPolygonOffset(-2.0f, -1.0f);
    glViewport(0, 0, w, h);
    load_frustum(context_frustum(w, h));
    return true;
}

// The viewport and projection of the stored rectangle, then a repaint.
void resize_view() {
    ViewState* view = the_view;
    int width, height;
    {
        std::lock_guard<std::mutex> hold(view->paint_lock);
        width = view->width;
        height = view->height;
    }
    glViewport(0, 0, width, height);
    load_frustum(resize_frustum(width, height));
    redraw_view(view);
}

// Mouse handlers of the camera. on_mouse_move runs on the view thread; on_mouse_wheel on
// whichever thread received the wheel message.
void on_mouse_move(WPARAM flags, int x, int y) {
    ViewState* view = the_view;
    bool repaint;
    {
        std::lock_guard<std::mutex> hold(view->paint_lock);
        repaint = camera_drag_step(view, (uint32_t)flags, x, y);
    }
    if (repaint) paint_view(view);
}

void on_mouse_wheel(WPARAM wparam, ViewState* view) {
    {
        std::lock_guard<std::mutex> hold(view->paint_lock);
        camera_wheel_step(view, LOWORD(wparam), (short)HIWORD(wparam));
    }
    redraw_view(view);
}

LRESULT CALLBACK view_window_proc(HWND hwnd, UINT msg, WPARAM wparam, LPARAM lparam) {
    ViewState* view = the_view;
    switch (msg) {
        case WM_CREATE:
            // NOTE: ready is raised by the thread once the handle is stored and GL set-up
            // is done, so the application's first layout and repaint reach the window.
            return 0;
        case WM_DESTROY:
            PostQuitMessage(0);
            break;
        case WM_SIZE:
            resize_view();
            break;
        case WM_PAINT: {
            PAINTSTRUCT ps;
            BeginPaint(hwnd, &ps);
            paint_view(view);
            EndPaint(hwnd, &ps);
            break;
        }
        case WM_CLOSE:
            DestroyWindow(hwnd);
            break;
        case WM_MOUSEMOVE:
            on_mouse_move(wparam, GET_X_LPARAM(lparam), GET_Y_LPARAM(lparam));
            break;
        case WM_LBUTTONDOWN:
            view->dragging = 1;
            view->last_x = GET_X_LPARAM(lparam);
            view->last_y = GET_Y_LPARAM(lparam);
            break;
        case WM_LBUTTONUP:
            view->dragging = 0;
            break;
        case WM_MOUSEWHEEL:
            on_mouse_wheel(wparam, view);
            return 0;
        case WM_VIEW_REDRAW:
            paint_view(view);
            break;
    }
    return DefWindowProcW(hwnd, msg, wparam, lparam);
}

// Thread routine of the view: window, context, fixed state, light, message loop.
DWORD WINAPI view_thread_main(LPVOID param) {
    ViewState* view = static_cast<ViewState*>(param);

    register_window_class(view->instance, kClassName, view_window_proc);

    the_view = view;
    // NOTE: without WS_EX_NOPARENTNOTIFY the system would send WM_PARENTNOTIFY to the main
    // thread and wait for an answer that never comes while that thread polls for ready.
    HWND hwnd = CreateWindowExW(WS_EX_NOPARENTNOTIFY, kClassName, L"", WS_CHILD | WS_VISIBLE,
                                view->x, view->y, view->width, view->height,
                                view->parent_window, nullptr, view->instance, nullptr);
    if (!hwnd) {
        view->failed = 1;
        return 1;
    }
    view->view_window = hwnd;

    create_gl_context(hwnd);
    set_fixed_state();
    setup_lights();
    view->ready = 1;

    run_message_loop();
    return 0;
}

}  // namespace

PIXELFORMATDESCRIPTOR view_pixel_format_request() {
    PIXELFORMATDESCRIPTOR request = {};
    request.nSize = sizeof(PIXELFORMATDESCRIPTOR);
    request.nVersion = 1;
    request.dwFlags = PFD_DRAW_TO_WINDOW | PFD_SUPPORT_OPENGL | PFD_DOUBLEBUFFER;
    request.iPixelType = PFD_TYPE_RGBA;
    request.cColorBits = 24;
    request.cDepthBits = 32;
    request.cStencilBits = 32;
    request.iLayerType = PFD_MAIN_PLANE;
    return request;
}

void init_view_state(ViewState* view) {
    view->parent_window = nullptr;
    view->view_window = nullptr;
    view->ready = 0;
    view->failed = 0;
    view->asking_user = 0;
    view->dragging = 0;
    reset_camera(view);
    view->content = ViewContent{1.0f, nullptr, nullptr};
}

void set_view_content(ViewState* view, const ViewContent& content) {
    std::lock_guard<std::mutex> hold(view->paint_lock);
    view->content = content;
}

bool start_view(ViewState* view, const wchar_t** reason) {
    HANDLE thread = CreateThread(nullptr, 0, view_thread_main, view, 0, nullptr);
    if (!thread) {
        *reason = L"The 3D view could not be started: no thread could be created.";
        return false;
    }
    CloseHandle(thread);
    DWORD waited = 0;
    while (!view->ready) {
        if (view->failed) {
            *reason = L"The 3D view could not be started: its window could not be created.";
            return false;
        }
        if (waited >= kStartTimeoutMs) {
            *reason = L"The 3D view did not start in time; the program goes on without it.";
            return false;
        }
        Sleep(50);
        if (!view->asking_user) waited += 50;
    }
    return true;
}

void set_fixed_state() {
    glClearColor(0.0f, 0.0f, 0.0f, 0.0f);
    glEnable(GL_CULL_FACE);
    glCullFace(GL_BACK);
    glShadeModel(GL_SMOOTH);
    glEnable(GL_DEPTH_TEST);
    glEnable(GL_NORMALIZE);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    glPolygonMode(GL_FRONT, GL_FILL);
}

void setup_lights() {
    const GLfloat position[] = {0.0f, 5.0f, 5.0f, 1.0f};
    const GLfloat ambient[] = {0.1f, 0.1f, 0.1f, 1.0f};
    const GLfloat diffuse[] = {0.8f, 0.8f, 0.8f, 1.0f};
    const GLfloat specular[] = {0.1f, 0.1f, 0.1f, 1.0f};
    glLightfv(GL_LIGHT0, GL_POSITION, position);
    glLightfv(GL_LIGHT0, GL_AMBIENT, ambient);
    glLightfv(GL_LIGHT0, GL_DIFFUSE, diffuse);
    glLightfv(GL_LIGHT0, GL_SPECULAR, specular);
    glEnable(GL_LIGHTING);
    glEnable(GL_LIGHT0);
}

void paint_view(ViewState* view) {
    std::lock_guard<std::mutex> hold(view->paint_lock);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    glLoadIdentity();
    gluLookAt(view->eye[0], view->eye[1], view->eye[2], view->center[0], view->center[1],
              view->center[2], view->up[0], view->up[1], view->up[2]);
    draw_axes(view->content.axis_length);
    glPushMatrix();
    if (view->content.draw) view->content.draw(view->content.record);
    glPopMatrix();
    glFlush();
    SwapBuffers(wglGetCurrentDC());
}

void redraw_view(ViewState* view) {
    SendMessageW(view->view_window, WM_VIEW_REDRAW, 0, 0);
}

void place_view(ViewState* view, int x, int y, int width, int height) {
    {
        std::lock_guard<std::mutex> hold(view->paint_lock);
        view->x = x;
        view->y = y;
        view->width = width;
        view->height = height;
    }
    SetWindowPos(view->view_window, nullptr, x, y, width, height, SWP_NOZORDER);
}

void reset_view_camera(ViewState* view) {
    {
        std::lock_guard<std::mutex> hold(view->paint_lock);
        reset_camera(view);
    }
    redraw_view(view);
}

void route_wheel_to_view(ViewState* view, HWND main_window, WPARAM wparam, LPARAM lparam) {
    RECT r;
    GetWindowRect(main_window, &r);
    // NOTE: the client origin is derived from the frame and caption metrics of a sizable,
    // captioned window without a menu.
    const int qx = GET_X_LPARAM(lparam) - r.left - GetSystemMetrics(SM_CXFRAME);
    const int qy = GET_Y_LPARAM(lparam) - r.top - GetSystemMetrics(SM_CYFRAME) -
                   GetSystemMetrics(SM_CYCAPTION);
    bool over;
    {
        std::lock_guard<std::mutex> hold(view->paint_lock);
        over = view->x <= qx && qx <= view->x + view->width && view->y <= qy &&
               qy <= view->y + view->height;
    }
    if (over) on_mouse_wheel(wparam, view);
}
