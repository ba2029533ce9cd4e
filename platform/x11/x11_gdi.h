// Private declarations of the layer's GDI and controls half: the font and DIB section
// records, text measuring for the controls, the classic control drawing, and the clipboard.
#pragma once

#include <X11/Xft/Xft.h>

#include <mutex>
#include <vector>

#include "platform/x11/scrollbar_model.h"
#include "platform/x11/x11_shared.h"

static_assert(sizeof(wchar_t) == sizeof(FcChar32), "text is drawn as UTF-32 through Xft");

// One X connection's copy of a font (an XftFont belongs to one display).
struct X11OpenFont {
    Display* display;
    XftFont* font;
};

struct HFONT__ {
    X11GdiKind kind;  // X11_GDI_FONT
    LOGFONTW logfont;
    bool stock;          // the default GUI font is never freed
    std::mutex lock;     // guards the fields below
    double pixel_size;   // em size in pixels, fixed when the font is first opened; 0 before
    std::vector<X11OpenFont> opened;
};

// A 32 bits-per-pixel DIB section: BGRX pixels, rows of width * 4 bytes.
struct HBITMAP__ {
    X11GdiKind kind;  // X11_GDI_BITMAP
    int width;
    int height;
    bool top_down;    // a negative biHeight: the first row in memory is the top one
    uint32_t* bits;
    HDC selected;     // the memory DC it is selected into, or null
};

// --- text.cpp ----------------------------------------------------------------------------
// The font used when a DC or control has none selected (a 8-point sans-serif, as Win32's
// default GUI font). Never freed.
HFONT x11_default_font(void);
// The XftFont of a font (null: the default) on a display, opened on first use.
XftFont* x11_xft_font(HFONT font, Display* display);
// Advance width in pixels of one character; 0 for control characters.
int x11_char_advance(HFONT font, Display* display, wchar_t c);
// GetTextMetricsW of a font on a display.
void x11_font_metrics(HFONT font, Display* display, TEXTMETRICW* metrics);
// DeleteObject of a font (stock fonts stay).
void x11_delete_font(HFONT font);

// --- controls.cpp: classic drawing shared by the controls --------------------------------
// Draws the 2-pixel sunken frame of WS_EX_CLIENTEDGE inside rect and shrinks rect by it.
void x11_draw_client_edge(HDC dc, RECT* rect);
// Draws a scroll bar in the classic look into rect; `vertical` picks the arrow directions.
void x11_draw_scroll_bar(HDC dc, const RECT& rect, const ScrollBarModel& bar, bool vertical,
                         bool focused);
// The model's along/across coordinates of a client point for a bar drawn in rect.
void x11_scroll_bar_point(const RECT& rect, bool vertical, int x, int y, int* along, int* across);
// Timer delays of a held arrow or track: the first repeat, then each further one (ms).
constexpr UINT X11_SCROLL_FIRST_DELAY = 400;
constexpr UINT X11_SCROLL_REPEAT_DELAY = 50;
// A DC that draws into an off-screen copy of rect of a window DC, so a control repaints
// without flicker; x11_end_buffered copies it to the window and frees it. Falls back to
// the target itself (and does nothing at the end) when no buffer can be made.
HDC x11_begin_buffered(HDC target, const RECT& rect);
void x11_end_buffered(HDC target, HDC buffer, const RECT& rect);

// --- edit.cpp / scrollbar.cpp ------------------------------------------------------------
LRESULT CALLBACK x11_edit_proc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam);
LRESULT CALLBACK x11_scroll_bar_proc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam);

// --- clipboard.cpp -----------------------------------------------------------------------
// Makes the process the owner of the X CLIPBOARD (primary false) or PRIMARY selection
// with a copy of text; CR LF line ends become LF. The selection is served by a thread of
// its own connection, so it stays pasteable while the caller's thread is busy, until
// another client takes the selection. Returns false when there is no display.
bool x11_clipboard_set_text(bool primary, const wchar_t* text, size_t length);
