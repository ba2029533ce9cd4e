// WGL on GLX: pixel formats are the display's RGBA window framebuffer configurations (in
// the server's order, 1-based), contexts are GLX contexts, current per thread.
#include "platform/x11/pixel_format.h"
#include "platform/x11/x11_internal.h"

#include <GL/glx.h>
#include <GL/glxext.h>
#include <dlfcn.h>
#include <link.h>
#include <stdlib.h>
#include <string.h>

#include <algorithm>
#include <map>
#include <mutex>
#include <vector>

struct HGLRC__ {
    GLXContext context;
    Display* display;
};

namespace {

struct FormatList {
    std::vector<GLXFBConfig> configs;
    std::vector<PixelFormatTraits> traits;
    std::vector<unsigned long> red_masks, green_masks, blue_masks;
    bool accelerated = true;
};

// The per-DC WGL state kept in HDC__::gl_private.
struct WglDcState {
    int format;
};

thread_local HDC t_current_dc = nullptr;
thread_local HGLRC t_current_context = nullptr;

// Every context not yet deleted. NOTE: as on Win32, a handle stays valid until
// wglDeleteContext, also once its window is gone and no thread has it current; programs
// that keep their context for the whole run need not store the handle.
std::mutex contexts_lock;
std::vector<HGLRC>& live_contexts() {
    static auto* contexts = new std::vector<HGLRC>;
    return *contexts;
}

int config_attribute(Display* display, GLXFBConfig config, int attribute) {
    int value = 0;
    glXGetFBConfigAttrib(display, config, attribute, &value);
    return value;
}

// Whether the renderer is hardware accelerated: GLX_MESA_query_renderer when the driver
// offers it, else the configuration caveat.
bool renderer_accelerated(Display* display, int screen, bool any_slow) {
    const char* extensions = glXQueryExtensionsString(display, screen);
    if (extensions && strstr(extensions, "GLX_MESA_query_renderer")) {
        auto query = reinterpret_cast<PFNGLXQUERYRENDERERINTEGERMESAPROC>(
            glXGetProcAddressARB(reinterpret_cast<const GLubyte*>("glXQueryRendererIntegerMESA")));
        unsigned int value = 0;
        if (query && query(display, screen, 0, GLX_RENDERER_ACCELERATED_MESA, &value))
            return value != 0;
    }
    return !any_slow;
}

// The GLX attributes that give the bit counts of a configuration's traits.
struct BitCount {
    int PixelFormatTraits::*field;
    int attribute;
};
const BitCount kBitCounts[] = {
    {&PixelFormatTraits::red_bits, GLX_RED_SIZE},
    {&PixelFormatTraits::green_bits, GLX_GREEN_SIZE},
    {&PixelFormatTraits::blue_bits, GLX_BLUE_SIZE},
    {&PixelFormatTraits::alpha_bits, GLX_ALPHA_SIZE},
    {&PixelFormatTraits::depth_bits, GLX_DEPTH_SIZE},
    {&PixelFormatTraits::stencil_bits, GLX_STENCIL_SIZE},
    {&PixelFormatTraits::accum_red_bits, GLX_ACCUM_RED_SIZE},
    {&PixelFormatTraits::accum_green_bits, GLX_ACCUM_GREEN_SIZE},
    {&PixelFormatTraits::accum_blue_bits, GLX_ACCUM_BLUE_SIZE},
    {&PixelFormatTraits::accum_alpha_bits, GLX_ACCUM_ALPHA_SIZE},
    {&PixelFormatTraits::aux_buffers, GLX_AUX_BUFFERS},
};

// The pixel formats of a display, listed once per connection.
const FormatList& formats_of(Display* display) {
    static auto* cache = new std::map<Display*, FormatList>;
    X11Lock guard;
    auto found = cache->find(display);
    if (found != cache->end()) return found->second;
    FormatList& list = (*cache)[display];
    int screen = DefaultScreen(display);
    int count = 0;
    GLXFBConfig* configs = glXGetFBConfigs(display, screen, &count);
    bool any_slow = false;
    for (int i = 0; i < count; ++i) {
        GLXFBConfig config = configs[i];
        if (!(config_attribute(display, config, GLX_RENDER_TYPE) & GLX_RGBA_BIT) ||
            !(config_attribute(display, config, GLX_DRAWABLE_TYPE) & GLX_WINDOW_BIT) ||
            !config_attribute(display, config, GLX_X_RENDERABLE))
            continue;
        XVisualInfo* visual = glXGetVisualFromFBConfig(display, config);
        if (!visual) continue;
        bool usable = visual->c_class == TrueColor || visual->c_class == DirectColor;
        unsigned long red = visual->red_mask, green = visual->green_mask, blue = visual->blue_mask;
        XFree(visual);
        if (!usable) continue;
        PixelFormatTraits traits;
        for (const BitCount& count : kBitCounts)
            traits.*count.field = config_attribute(display, config, count.attribute);
        traits.double_buffer = config_attribute(display, config, GLX_DOUBLEBUFFER);
        traits.stereo = config_attribute(display, config, GLX_STEREO);
        traits.slow = config_attribute(display, config, GLX_CONFIG_CAVEAT) == GLX_SLOW_CONFIG;
        any_slow = any_slow || traits.slow;
        list.configs.push_back(config);
        list.traits.push_back(traits);
        list.red_masks.push_back(red);
        list.green_masks.push_back(green);
        list.blue_masks.push_back(blue);
    }
    if (configs) XFree(configs);
    list.accelerated = renderer_accelerated(display, screen, any_slow);
    return list;
}

bool valid_dc(HDC dc) {
    if (!dc || !dc->display || dc->kind == X11_DC_MEMORY) {
        SetLastError(ERROR_INVALID_HANDLE);
        return false;
    }
    return true;
}

// The pixel format of the window a DC draws on, or 0.
int window_format(HDC dc) {
    if (dc->gl_private) return static_cast<WglDcState*>(dc->gl_private)->format;
    X11Lock guard;
    X11Window* window = x11_window_locked(dc->hwnd);
    return window ? window->pixel_format : 0;
}

void remember_format(HDC dc, int format) {
    if (!dc->gl_private) dc->gl_private = calloc(1, sizeof(WglDcState));
    if (dc->gl_private) static_cast<WglDcState*>(dc->gl_private)->format = format;
}

// SetPixelFormat on the thread that owns the window: the X window takes the visual.
LRESULT set_window_format(HWND hwnd, int format) {
    Display* display = x11_thread_display();
    if (!display) return FALSE;
    const FormatList& list = formats_of(display);
    if (format < 1 || (size_t)format > list.configs.size()) return FALSE;
    XVisualInfo* info = glXGetVisualFromFBConfig(display, list.configs[format - 1]);
    if (!info) return FALSE;
    bool ok = x11_recreate_window(hwnd, info->visual, info->depth);
    XFree(info);
    if (!ok) return FALSE;
    X11Lock guard;
    X11Window* window = x11_window_locked(hwnd);
    if (!window) return FALSE;
    window->pixel_format = format;
    x11_apply_background(window);
    XFlush(display);
    return TRUE;
}

// Keeps the GL driver that GLX loaded (Mesa's "*_dri.so") loaded until the process ends.
// GLX unloads it when the last display that used it is closed, which happens when the view
// thread ends while the main thread is already on its way out. Blocks the driver allocated
// and keeps only in its own variables then become unreachable (a leak checker reports them,
// allocated from a module no longer there), and code still running in the driver would
// lose its text. Pinned, it stays what a program using GL expects: mapped for the run.
int pin_if_driver(dl_phdr_info* info, size_t, void*) {
    const char* name = info->dlpi_name;
    const size_t length = name ? strlen(name) : 0;
    const char suffix[] = "_dri.so";
    if (length > sizeof suffix && strcmp(name + length - (sizeof suffix - 1), suffix) == 0) {
        // NOTE: RTLD_NOLOAD only raises the flags of the loaded object; the handle is
        // deliberately never closed.
        dlopen(name, RTLD_NOW | RTLD_NOLOAD | RTLD_NODELETE);
    }
    return 0;
}

void pin_gl_driver() {
    static std::once_flag pinned;
    std::call_once(pinned, [] { dl_iterate_phdr(pin_if_driver, nullptr); });
}

}  // namespace

void wgl_release_dc(HDC dc) {
    if (t_current_dc == dc) t_current_dc = nullptr;
    free(dc->gl_private);
    dc->gl_private = nullptr;
}

void wgl_thread_ended() {
    if (t_current_context) glXMakeCurrent(t_current_context->display, None, nullptr);
    t_current_context = nullptr;
    t_current_dc = nullptr;
}

void wgl_forget_window_locked(X11Window* window) {
    // NOTE: only the owner thread destroys a window, and only its context can be current
    // here; a context left current on a destroyed drawable would draw into nothing.
    if (t_current_dc && t_current_dc->hwnd == window->handle && t_current_context) {
        glXMakeCurrent(t_current_context->display, None, nullptr);
        t_current_dc = nullptr;
        t_current_context = nullptr;
    }
}

int WINAPI ChoosePixelFormat(HDC dc, const PIXELFORMATDESCRIPTOR* pfd) {
    if (!valid_dc(dc)) return 0;
    if (!pfd || pfd->iPixelType != PFD_TYPE_RGBA) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    const FormatList& list = formats_of(dc->display);
    int index = choose_pixel_format(pixel_format_request(*pfd), list.traits);
    if (index < 0) {
        SetLastError(ERROR_INVALID_PIXEL_FORMAT);
        return 0;
    }
    return index + 1;
}

int WINAPI DescribePixelFormat(HDC dc, int format, UINT bytes, LPPIXELFORMATDESCRIPTOR pfd) {
    if (!valid_dc(dc)) return 0;
    const FormatList& list = formats_of(dc->display);
    int count = (int)list.configs.size();
    if (!pfd) return count;
    if (format < 1 || format > count) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    const PixelFormatTraits& traits = list.traits[format - 1];
    PIXELFORMATDESCRIPTOR out = {};
    out.nSize = sizeof(PIXELFORMATDESCRIPTOR);
    out.nVersion = 1;
    out.dwFlags = PFD_DRAW_TO_WINDOW | PFD_SUPPORT_OPENGL;
    if (traits.double_buffer) out.dwFlags |= PFD_DOUBLEBUFFER;
    if (traits.stereo) out.dwFlags |= PFD_STEREO;
    // NOTE: a software renderer is what Windows calls the generic format without
    // acceleration; programs warn about it.
    if (!list.accelerated) out.dwFlags |= PFD_GENERIC_FORMAT;
    out.iPixelType = PFD_TYPE_RGBA;
    out.cColorBits = (BYTE)(traits.red_bits + traits.green_bits + traits.blue_bits);
    out.cRedBits = (BYTE)traits.red_bits;
    out.cRedShift = (BYTE)x11_mask_shift(list.red_masks[format - 1]);
    out.cGreenBits = (BYTE)traits.green_bits;
    out.cGreenShift = (BYTE)x11_mask_shift(list.green_masks[format - 1]);
    out.cBlueBits = (BYTE)traits.blue_bits;
    out.cBlueShift = (BYTE)x11_mask_shift(list.blue_masks[format - 1]);
    out.cAlphaBits = (BYTE)traits.alpha_bits;
    out.cAlphaShift =
        (BYTE)(traits.alpha_bits ? traits.red_bits + traits.green_bits + traits.blue_bits : 0);
    out.cAccumRedBits = (BYTE)traits.accum_red_bits;
    out.cAccumGreenBits = (BYTE)traits.accum_green_bits;
    out.cAccumBlueBits = (BYTE)traits.accum_blue_bits;
    out.cAccumAlphaBits = (BYTE)traits.accum_alpha_bits;
    out.cAccumBits = (BYTE)(traits.accum_red_bits + traits.accum_green_bits +
                            traits.accum_blue_bits + traits.accum_alpha_bits);
    out.cDepthBits = (BYTE)traits.depth_bits;
    out.cStencilBits = (BYTE)traits.stencil_bits;
    out.cAuxBuffers = (BYTE)traits.aux_buffers;
    out.iLayerType = PFD_MAIN_PLANE;
    memcpy(pfd, &out, bytes < sizeof out ? bytes : sizeof out);
    return count;
}

BOOL WINAPI SetPixelFormat(HDC dc, int format, const PIXELFORMATDESCRIPTOR*) {
    if (!valid_dc(dc) || dc->kind != X11_DC_WINDOW || !IsWindow(dc->hwnd)) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    const FormatList& list = formats_of(dc->display);
    if (format < 1 || (size_t)format > list.configs.size()) {
        SetLastError(ERROR_INVALID_PIXEL_FORMAT);
        return FALSE;
    }
    int current = window_format(dc);
    // NOTE: a window takes a pixel format once, as on Windows.
    if (current) {
        if (current == format) return TRUE;
        SetLastError(ERROR_INVALID_PIXEL_FORMAT);
        return FALSE;
    }
    HWND hwnd = dc->hwnd;
    if (!x11_run_on_owner(hwnd, [hwnd, format] { return set_window_format(hwnd, format); })) {
        SetLastError(ERROR_INVALID_PIXEL_FORMAT);
        return FALSE;
    }
    remember_format(dc, format);
    return TRUE;
}

HGLRC WINAPI wglCreateContext(HDC dc) {
    if (!valid_dc(dc)) return nullptr;
    int format = window_format(dc);
    const FormatList& list = formats_of(dc->display);
    if (format < 1 || (size_t)format > list.configs.size()) {
        SetLastError(ERROR_INVALID_PIXEL_FORMAT);
        return nullptr;
    }
    x11_trap_begin();
    GLXContext context =
        glXCreateNewContext(dc->display, list.configs[format - 1], GLX_RGBA_TYPE, nullptr, True);
    int error = x11_trap_end(dc->display);
    if (!context || error) {
        x11_report("GLX", "cannot create a context", dc->display, error);
        if (context) glXDestroyContext(dc->display, context);
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    pin_gl_driver();
    HGLRC handle = new HGLRC__{context, dc->display};
    std::lock_guard<std::mutex> guard(contexts_lock);
    live_contexts().push_back(handle);
    return handle;
}

BOOL WINAPI wglDeleteContext(HGLRC context) {
    if (!context) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    if (t_current_context == context) {
        glXMakeCurrent(context->display, None, nullptr);
        t_current_context = nullptr;
        t_current_dc = nullptr;
    }
    glXDestroyContext(context->display, context->context);
    {
        std::lock_guard<std::mutex> guard(contexts_lock);
        std::vector<HGLRC>& contexts = live_contexts();
        contexts.erase(std::remove(contexts.begin(), contexts.end(), context), contexts.end());
    }
    delete context;
    return TRUE;
}

BOOL WINAPI wglMakeCurrent(HDC dc, HGLRC context) {
    if (!context) {
        if (t_current_context) glXMakeCurrent(t_current_context->display, None, nullptr);
        t_current_context = nullptr;
        t_current_dc = nullptr;
        return TRUE;
    }
    // NOTE: a GLX context belongs to one connection: the DC must come from the same thread.
    if (!valid_dc(dc) || dc->display != context->display) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    x11_trap_begin();
    Bool ok = glXMakeCurrent(dc->display, dc->drawable, context->context);
    int error = x11_trap_end(dc->display);
    if (!ok || error) {
        x11_report("GLX", "cannot make the context current", dc->display, error);
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    t_current_dc = dc;
    t_current_context = context;
    return TRUE;
}

HDC WINAPI wglGetCurrentDC(void) {
    return t_current_dc;
}

HGLRC WINAPI wglGetCurrentContext(void) {
    return t_current_context;
}

BOOL WINAPI SwapBuffers(HDC dc) {
    if (!valid_dc(dc) || dc->kind != X11_DC_WINDOW) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    glXSwapBuffers(dc->display, dc->drawable);
    // NOTE: the frame must be on screen when the swap returns: a screen grab right after a
    // synchronous repaint reads it over another thread's connection, and X orders requests
    // only within one connection.
    XSync(dc->display, False);
    return TRUE;
}
