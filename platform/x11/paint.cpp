// Painting: update regions, BeginPaint/EndPaint, InvalidateRect, ValidateRect, UpdateWindow,
// window and screen DCs, background erase, FillRect, solid and system colour brushes.
#include "platform/x11/x11_internal.h"

#include <stdlib.h>

#include <algorithm>

namespace {

// The classic Windows colours ("Windows Standard" scheme), by COLOR_ index.
const COLORREF kSystemColors[] = {
    RGB(212, 208, 200),  // COLOR_SCROLLBAR
    RGB(58, 110, 165),   // COLOR_BACKGROUND
    RGB(10, 36, 106),    // COLOR_ACTIVECAPTION
    RGB(128, 128, 128),  // COLOR_INACTIVECAPTION
    RGB(212, 208, 200),  // COLOR_MENU
    RGB(255, 255, 255),  // COLOR_WINDOW
    RGB(0, 0, 0),        // COLOR_WINDOWFRAME
    RGB(0, 0, 0),        // COLOR_MENUTEXT
    RGB(0, 0, 0),        // COLOR_WINDOWTEXT
    RGB(255, 255, 255),  // COLOR_CAPTIONTEXT
    RGB(212, 208, 200),  // COLOR_ACTIVEBORDER
    RGB(212, 208, 200),  // COLOR_INACTIVEBORDER
    RGB(128, 128, 128),  // COLOR_APPWORKSPACE
    RGB(10, 36, 106),    // COLOR_HIGHLIGHT
    RGB(255, 255, 255),  // COLOR_HIGHLIGHTTEXT
    RGB(212, 208, 200),  // COLOR_BTNFACE
    RGB(128, 128, 128),  // COLOR_BTNSHADOW
    RGB(128, 128, 128),  // COLOR_GRAYTEXT
    RGB(0, 0, 0),        // COLOR_BTNTEXT
    RGB(212, 208, 200),  // COLOR_INACTIVECAPTIONTEXT
    RGB(255, 255, 255),  // COLOR_BTNHIGHLIGHT
    RGB(64, 64, 64),     // COLOR_3DDKSHADOW
    RGB(212, 208, 200),  // COLOR_3DLIGHT
    RGB(0, 0, 0),        // COLOR_INFOTEXT
    RGB(255, 255, 225),  // COLOR_INFOBK
    RGB(181, 181, 181),  // (unused)
    RGB(0, 0, 128),      // COLOR_HOTLIGHT
    RGB(166, 202, 240),  // COLOR_GRADIENTACTIVECAPTION
    RGB(192, 192, 192),  // COLOR_GRADIENTINACTIVECAPTION
    RGB(49, 106, 197),   // COLOR_MENUHILIGHT
    RGB(236, 233, 216),  // COLOR_MENUBAR
};
constexpr int kSystemColorCount = (int)(sizeof kSystemColors / sizeof kSystemColors[0]);

HBRUSH__* system_brushes() {
    static HBRUSH__* brushes = [] {
        auto* table = new HBRUSH__[kSystemColorCount];
        for (int i = 0; i < kSystemColorCount; ++i)
            table[i] = HBRUSH__{X11_GDI_BRUSH, kSystemColors[i], true};
        return table;
    }();
    return brushes;
}

std::vector<HDC>& window_dcs() {
    static auto* dcs = new std::vector<HDC>;
    return *dcs;
}

bool empty_rect(const RECT& rect) {
    return rect.right <= rect.left || rect.bottom <= rect.top;
}

// Removes rect from the update rectangle where the rest stays a rectangle; otherwise the
// update rectangle is kept whole (painting a little more is harmless).
void subtract_update(X11Window* window, const RECT& rect) {
    RECT& update = window->update;
    bool covers_x = rect.left <= update.left && rect.right >= update.right;
    bool covers_y = rect.top <= update.top && rect.bottom >= update.bottom;
    if (covers_x && covers_y) {
        window->has_update = false;
        window->update_erase = false;
        return;
    }
    if (covers_x && rect.top <= update.top && rect.bottom > update.top)
        update.top = rect.bottom;
    else if (covers_x && rect.bottom >= update.bottom && rect.top < update.bottom)
        update.bottom = rect.top;
    else if (covers_y && rect.left <= update.left && rect.right > update.left)
        update.left = rect.right;
    else if (covers_y && rect.right >= update.right && rect.left < update.right)
        update.right = rect.left;
}

}  // namespace

// --- Shared -------------------------------------------------------------------------------

void x11_invalidate_locked(X11Window* window, const RECT* rect, bool erase) {
    int width, height;
    x11_client_size_locked(window, &width, &height);
    RECT area = {0, 0, width, height};
    if (rect) {
        area.left = std::max(area.left, rect->left);
        area.top = std::max(area.top, rect->top);
        area.right = std::min(area.right, rect->right);
        area.bottom = std::min(area.bottom, rect->bottom);
    }
    if (empty_rect(area)) return;
    if (window->has_update) {
        RECT& update = window->update;
        update.left = std::min(update.left, area.left);
        update.top = std::min(update.top, area.top);
        update.right = std::max(update.right, area.right);
        update.bottom = std::max(update.bottom, area.bottom);
    } else {
        window->update = area;
        window->has_update = true;
    }
    window->update_erase = window->update_erase || erase;
    if (window->owner.get() != x11_thread()) x11_wake(window->owner.get());
}

bool x11_brush_color(HBRUSH brush, COLORREF* color) {
    if (!brush) return false;
    uintptr_t value = (uintptr_t)brush;
    // NOTE: Win32 lets a class use COLOR_xxx + 1 in place of a brush.
    if (value <= (uintptr_t)kSystemColorCount) {
        *color = kSystemColors[value - 1];
        return true;
    }
    if (brush->kind != X11_GDI_BRUSH) return false;
    *color = brush->color;
    return true;
}

LRESULT x11_default_erase(HWND hwnd, HDC dc) {
    HBRUSH brush;
    {
        X11Lock guard;
        X11Window* window = x11_window_locked(hwnd);
        if (!window || !dc) return 0;
        // NOTE: a GL window counts as erased: its frames cover the whole client area.
        if (window->pixel_format) return 1;
        brush = window->window_class->background;
    }
    if (!brush) return 0;
    RECT rect;
    GetClientRect(hwnd, &rect);
    FillRect(dc, &rect, brush);
    return 1;
}

void x11_retarget_window_dcs(HWND hwnd, Window xwindow, int) {
    X11Lock guard;
    for (HDC dc : window_dcs()) {
        if (dc->hwnd != hwnd) continue;
        x11_release_dc_text(dc);
        dc->drawable = xwindow;
        // NOTE: a GC is bound to its drawable's depth; a new visual may change it.
        if (dc->gc) XFreeGC(dc->display, dc->gc);
        dc->gc = XCreateGC(dc->display, xwindow, 0, nullptr);
    }
}

HDC x11_new_dc(X11DcKind kind, Display* display, Drawable drawable, HWND hwnd) {
    HDC dc = static_cast<HDC>(calloc(1, sizeof(HDC__)));
    if (!dc) return nullptr;
    dc->kind = kind;
    dc->display = display;
    dc->drawable = drawable;
    dc->hwnd = hwnd;
    dc->gc = drawable != None ? XCreateGC(display, drawable, 0, nullptr) : nullptr;
    dc->text_color = RGB(0, 0, 0);
    dc->bk_color = RGB(255, 255, 255);
    dc->bk_mode = OPAQUE;
    if (kind == X11_DC_WINDOW) {
        X11Lock guard;
        window_dcs().push_back(dc);
    }
    return dc;
}

void x11_free_dc(HDC dc) {
    if (!dc) return;
    if (dc->kind == X11_DC_WINDOW) {
        X11Lock guard;
        auto& dcs = window_dcs();
        dcs.erase(std::remove(dcs.begin(), dcs.end(), dc), dcs.end());
    }
    x11_release_dc_text(dc);
    wgl_release_dc(dc);
    if (dc->gc) XFreeGC(dc->display, dc->gc);
    if (dc->display) XFlush(dc->display);
    free(dc);
}

// --- DCs ----------------------------------------------------------------------------------

HDC WINAPI GetDC(HWND hwnd) {
    Display* display = x11_require_display();
    if (!hwnd) return x11_new_dc(X11_DC_SCREEN, display, DefaultRootWindow(display), nullptr);
    Window xwindow = x11_window_of(hwnd);
    if (xwindow == None) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return nullptr;
    }
    return x11_new_dc(X11_DC_WINDOW, display, xwindow, hwnd);
}

int WINAPI ReleaseDC(HWND, HDC dc) {
    if (!dc || dc->kind == X11_DC_MEMORY) return 0;
    x11_free_dc(dc);
    return 1;
}

// --- Painting ------------------------------------------------------------------------------

HDC WINAPI BeginPaint(HWND hwnd, LPPAINTSTRUCT paint) {
    if (!paint) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    RECT area = {0, 0, 0, 0};
    bool erase;
    {
        X11Lock guard;
        X11Window* window = x11_window_or_error_locked(hwnd);
        if (!window) return nullptr;
        if (window->has_update) area = window->update;
        erase = window->update_erase;
        window->has_update = false;
        window->update_erase = false;
    }
    HDC dc = GetDC(hwnd);
    *paint = PAINTSTRUCT{};
    paint->hdc = dc;
    paint->rcPaint = area;
    // NOTE: fErase tells the procedure that the background still needs erasing.
    paint->fErase = erase && !x11_call_window_proc(hwnd, WM_ERASEBKGND, (WPARAM)dc, 0);
    return dc;
}

BOOL WINAPI EndPaint(HWND hwnd, const PAINTSTRUCT* paint) {
    if (!paint) return FALSE;
    ReleaseDC(hwnd, paint->hdc);
    return TRUE;
}

BOOL WINAPI InvalidateRect(HWND hwnd, const RECT* rect, BOOL erase) {
    X11Lock guard;
    if (!hwnd) {
        // NOTE: Windows repaints every window here; ours are the calling thread's.
        for (HWND each : x11_thread()->windows)
            if (X11Window* window = x11_window_locked(each))
                x11_invalidate_locked(window, nullptr, erase);
        return TRUE;
    }
    X11Window* window = x11_window_or_error_locked(hwnd);
    if (!window) return FALSE;
    x11_invalidate_locked(window, rect, erase);
    return TRUE;
}

BOOL WINAPI ValidateRect(HWND hwnd, const RECT* rect) {
    X11Lock guard;
    if (!hwnd) return TRUE;
    X11Window* window = x11_window_or_error_locked(hwnd);
    if (!window) return FALSE;
    if (!window->has_update) return TRUE;
    if (!rect) {
        window->has_update = false;
        window->update_erase = false;
    } else {
        subtract_update(window, *rect);
    }
    return TRUE;
}

BOOL WINAPI UpdateWindow(HWND hwnd) {
    bool pending;
    {
        X11Lock guard;
        X11Window* window = x11_window_or_error_locked(hwnd);
        if (!window) return FALSE;
        pending = window->has_update && (window->style & WS_VISIBLE);
    }
    // NOTE: WM_PAINT is sent at once, bypassing the queue, as on Windows.
    if (pending)
        x11_run_on_owner(hwnd, [hwnd] { return x11_call_window_proc(hwnd, WM_PAINT, 0, 0); });
    return TRUE;
}

// --- Brushes and colours -------------------------------------------------------------------

int WINAPI FillRect(HDC dc, const RECT* rect, HBRUSH brush) {
    COLORREF color;
    if (!dc || !rect || !x11_brush_color(brush, &color)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    if (dc->kind == X11_DC_MEMORY || !dc->gc) {
        // NOTE: filling a DIB section belongs to the GDI half; not available here.
        SetLastError(ERROR_INVALID_HANDLE);
        return 0;
    }
    if (empty_rect(*rect)) return 1;
    XSetForeground(dc->display, dc->gc, x11_pixel_of(dc->display, color));
    XFillRectangle(dc->display, dc->drawable, dc->gc, rect->left, rect->top,
                   (unsigned)(rect->right - rect->left), (unsigned)(rect->bottom - rect->top));
    return 1;
}

HBRUSH WINAPI CreateSolidBrush(COLORREF color) {
    // NOTE: malloc, because DeleteObject in the GDI half frees brushes with free().
    auto* brush = static_cast<HBRUSH__*>(malloc(sizeof(HBRUSH__)));
    if (!brush) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    *brush = HBRUSH__{X11_GDI_BRUSH, color & 0x00FFFFFF, false};
    return brush;
}

HBRUSH WINAPI GetSysColorBrush(int index) {
    if (index < 0 || index >= kSystemColorCount) return nullptr;
    return &system_brushes()[index];
}

DWORD WINAPI GetSysColor(int index) {
    if (index < 0 || index >= kSystemColorCount) return 0;
    return kSystemColors[index];
}
