// What the layer's windowing half (display, window, message, input, wgl, message box) and
// its GDI and controls half (gdi, text, edit, scrollbar, clipboard) share.
#pragma once

#include <X11/Xlib.h>

#include <string>

#include "platform/win32.h"

// Win32 values the layer uses that the programs' header leaves out, under their Win32 names.
#define WM_COPY 0x0301
#define WS_TABSTOP 0x00010000L
#define DT_RIGHT 0x0002
#define DT_BOTTOM 0x0008
#define DT_NOCLIP 0x0100
#define MB_ERR_INVALID_CHARS 0x00000008
#define ERROR_NOT_SAME_DEVICE 17
#define ERROR_MOD_NOT_FOUND 126
#define ERROR_DIR_NOT_EMPTY 145
#define ERROR_NO_UNICODE_TRANSLATION 1113
#define ERROR_INVALID_SCROLLBAR_RANGE 1448
#define ERROR_RESOURCE_TYPE_NOT_FOUND 1813
#define ERROR_INVALID_PIXEL_FORMAT 2000

// Every GDI object starts with its kind, so SelectObject and DeleteObject can tell them apart.
enum X11GdiKind { X11_GDI_BRUSH = 0x42525348, X11_GDI_FONT = 0x464F4E54, X11_GDI_BITMAP = 0x424D4150 };

struct HBRUSH__ {
    X11GdiKind kind;  // X11_GDI_BRUSH
    COLORREF color;
    bool stock;  // system colour brushes are never freed
};

// Defined in gdi/text (fonts) and gdi (DIB sections).
struct HFONT__;
struct HBITMAP__;

enum X11DcKind { X11_DC_WINDOW, X11_DC_SCREEN, X11_DC_MEMORY };

// A device context. Window and screen DCs draw on an X drawable with their own GC; a memory
// DC draws into the DIB section selected into it.
struct HDC__ {
    X11DcKind kind;
    Display* display;    // the connection of the thread that made the DC
    Drawable drawable;   // the window, the root window, or None for a memory DC
    HWND hwnd;           // the window of a window DC, else null
    GC gc;
    HBRUSH brush;        // selected brush, or null
    HFONT font;          // selected font, or null (the default GUI font is then used)
    HBITMAP bitmap;      // selected DIB section of a memory DC, or null
    COLORREF text_color;
    COLORREF bk_color;
    int bk_mode;
    void* xft_draw;      // XftDraw* made on first text output, freed with the DC
    void* gl_private;    // the pixel format and context state of WGL
};

// --- Provided by the windowing half ---------------------------------------------------
// The X connection of the calling thread, opened on first use (XInitThreads first).
// Returns null when there is no display.
Display* x11_thread_display(void);
// The X window of a window handle, or None.
Window x11_window_of(HWND hwnd);
// Makes a DC for a drawable; ReleaseDC/DeleteDC free it with x11_free_dc.
HDC x11_new_dc(X11DcKind kind, Display* display, Drawable drawable, HWND hwnd);
void x11_free_dc(HDC dc);
// Colour of a COLORREF as an X pixel on the default visual of the display.
unsigned long x11_pixel_of(Display* display, COLORREF color);
// UTF-8 of count wide characters (code points; a stored UTF-16 pair is joined), and back;
// ill-formed UTF-8 becomes U+FFFD. Defined in kernel.cpp, which needs no display.
std::string x11_utf8_from_wide(const wchar_t* text, size_t count);
std::wstring x11_wide_from_utf8(const char* text, size_t count);

// --- Provided by the GDI and controls half ----------------------------------------------
// Registers the system classes "EDIT" and "SCROLLBAR"; called once by the windowing half
// before the first window class lookup.
void x11_register_system_classes(void);
// Handles selection requests and clears for windows that own the clipboard. Called by the
// event pump for SelectionRequest, SelectionClear and SelectionNotify; returns true when
// the event was consumed.
bool x11_clipboard_handle_event(Display* display, XEvent* event);
// The position of the lowest set bit of an X colour mask (0 for none).
int x11_mask_shift(unsigned long mask);
// Frees the text state of a DC (its XftDraw) before the DC is freed.
void x11_release_dc_text(HDC dc);
