// Fonts through fontconfig and Xft, and anti-aliased text on window and screen DCs:
// CreateFontIndirectW, TextOutW, DrawTextW, text colours and modes, extents and metrics.
#include <X11/Xutil.h>
#include <stdlib.h>
#include <string.h>
#include <wchar.h>

#include <algorithm>
#include <string>
#include <vector>

#include "platform/x11/x11_gdi.h"

// From Xlibint.h, which is not included for its min/max macros: a hook run by XCloseDisplay.
extern "C" int (*XESetCloseDisplay(Display*, int, int (*)(Display*, XExtCodes*)))(Display*, XExtCodes*);

namespace {

// NOTE: Xft keeps per-display tables without locks of its own; opening and closing fonts
// and draws happens under this lock (drawing itself stays per thread and unlocked).
std::mutex xft_lock;

// Every font alive, so a closing display can be forgotten by all of them.
std::mutex fonts_lock;
std::vector<HFONT> live_fonts;
std::mutex watch_lock;
std::vector<Display*> watched;

// Called by XCloseDisplay (a thread that used windows ends): Xft frees its fonts of that
// display itself, so the fonts only drop their copies.
int forget_display(Display* display, XExtCodes*) {
    {
        std::lock_guard<std::mutex> guard(fonts_lock);
        for (HFONT font : live_fonts) {
            std::lock_guard<std::mutex> font_guard(font->lock);
            auto& opened = font->opened;
            opened.erase(std::remove_if(opened.begin(), opened.end(),
                                        [&](const X11OpenFont& open) { return open.display == display; }),
                         opened.end());
        }
    }
    std::lock_guard<std::mutex> guard(watch_lock);
    watched.erase(std::remove(watched.begin(), watched.end(), display), watched.end());
    return 0;
}

// Hooks XCloseDisplay of a display the first time a font is opened on it.
void watch_display(Display* display) {
    std::lock_guard<std::mutex> guard(watch_lock);
    if (std::find(watched.begin(), watched.end(), display) != watched.end()) return;
    XExtCodes* codes = XAddExtension(display);
    if (!codes) return;
    XESetCloseDisplay(display, codes->extension, forget_display);
    watched.push_back(display);
}

// The fontconfig request for a LOGFONTW at an em size: its face, then sans-serif as the
// fallback when the face is not installed ("Tahoma" gives DejaVu Sans on most Linux
// systems), its weight and slant.
FcPattern* font_request(const LOGFONTW& logfont, double pixel_size) {
    FcPattern* pattern = FcPatternCreate();
    wchar_t face[LF_FACESIZE + 1] = {};
    wcsncpy(face, logfont.lfFaceName, LF_FACESIZE);
    if (face[0])
        FcPatternAddString(pattern, FC_FAMILY,
                           (const FcChar8*)x11_utf8_from_wide(face, wcslen(face)).c_str());
    FcPatternAddString(pattern, FC_FAMILY, (const FcChar8*)"sans-serif");
    const int weight = logfont.lfWeight > 0 ? (int)logfont.lfWeight : FW_NORMAL;
    FcPatternAddInteger(pattern, FC_WEIGHT, FcWeightFromOpenType(weight));
    FcPatternAddInteger(pattern, FC_SLANT, logfont.lfItalic ? FC_SLANT_ITALIC : FC_SLANT_ROMAN);
    FcPatternAddDouble(pattern, FC_PIXEL_SIZE, pixel_size);
    FcPatternAddBool(pattern, FC_ANTIALIAS, FcTrue);
    return pattern;
}

XftFont* open_sized(Display* display, const LOGFONTW& logfont, double pixel_size) {
    FcPattern* request = font_request(logfont, pixel_size);
    FcResult result = FcResultNoMatch;
    FcPattern* match = XftFontMatch(display, DefaultScreen(display), request, &result);
    FcPatternDestroy(request);
    if (!match) return nullptr;
    XftFont* font = XftFontOpenPattern(display, match);  // takes the pattern
    if (!font) FcPatternDestroy(match);
    return font;
}

// The em size in pixels for the LOGFONTW height: a negative height is the em size itself;
// a positive one is the cell height (ascent + descent), so the em size is scaled until
// the opened face's cell fits it.
double resolve_pixel_size(Display* display, const LOGFONTW& logfont) {
    if (logfont.lfHeight < 0) return -(double)logfont.lfHeight;
    // NOTE: height 0 asks for the default size; Win32's default GUI font is 11 pixels.
    if (logfont.lfHeight == 0) return 11.0;
    const double cell = logfont.lfHeight;
    double em = cell;
    for (int attempt = 0; attempt < 4; ++attempt) {
        XftFont* font = open_sized(display, logfont, em);
        if (!font) return em;
        const int height = font->ascent + font->descent;
        XftFontClose(display, font);
        if (height <= 0 || height == (int)cell) break;
        em = em * cell / height;
    }
    return em;
}

// The XftDraw of a DC, made on first text output. A DC whose drawable is not its window
// (an off-screen buffer) draws with its window's visual.
XftDraw* dc_draw(HDC dc) {
    if (!dc || !dc->display || dc->drawable == None) return nullptr;
    if (dc->xft_draw) return static_cast<XftDraw*>(dc->xft_draw);
    Display* display = dc->display;
    Visual* visual = DefaultVisual(display, DefaultScreen(display));
    Colormap colormap = DefaultColormap(display, DefaultScreen(display));
    if (dc->kind == X11_DC_WINDOW && dc->hwnd) {
        XWindowAttributes attributes;
        const Window window = x11_window_of(dc->hwnd);
        if (window != None && XGetWindowAttributes(display, window, &attributes)) {
            visual = attributes.visual;
            colormap = attributes.colormap;
        }
    }
    std::lock_guard<std::mutex> guard(xft_lock);
    dc->xft_draw = XftDrawCreate(display, dc->drawable, visual, colormap);
    return static_cast<XftDraw*>(dc->xft_draw);
}

XftColor xft_color(HDC dc, COLORREF color) {
    XRenderColor render;
    render.red = (unsigned short)(GetRValue(color) * 257);
    render.green = (unsigned short)(GetGValue(color) * 257);
    render.blue = (unsigned short)(GetBValue(color) * 257);
    render.alpha = 0xFFFF;
    XftColor out = {};
    XftDraw* draw = dc_draw(dc);
    XftColorAllocValue(dc->display, XftDrawVisual(draw), XftDrawColormap(draw), &render, &out);
    return out;
}

void free_color(HDC dc, XftColor* color) {
    XftDraw* draw = dc_draw(dc);
    XftColorFree(dc->display, XftDrawVisual(draw), XftDrawColormap(draw), color);
}

int text_width(XftFont* font, Display* display, const wchar_t* text, int count) {
    if (count <= 0) return 0;
    XGlyphInfo extents;
    XftTextExtents32(display, font, reinterpret_cast<const FcChar32*>(text), count, &extents);
    return extents.xOff;
}

// Draws count characters with the cell's top-left at x, y in the DC's colours and mode.
void draw_run(HDC dc, XftFont* font, int x, int y, const wchar_t* text, int count) {
    if (count <= 0) return;
    XftDraw* draw = dc_draw(dc);
    if (dc->bk_mode == OPAQUE) {
        XftColor background = xft_color(dc, dc->bk_color);
        XftDrawRect(draw, &background, x, y, (unsigned)text_width(font, dc->display, text, count),
                    (unsigned)(font->ascent + font->descent));
        free_color(dc, &background);
    }
    XftColor foreground = xft_color(dc, dc->text_color);
    XftDrawString32(draw, &foreground, font, x, y + font->ascent,
                    reinterpret_cast<const FcChar32*>(text), count);
    free_color(dc, &foreground);
}

// One line of DrawTextW after prefix processing: its characters and the index of the
// character a '&' marked for underlining (-1 for none).
struct TextLine {
    std::wstring text;
    int underline;
};

// Removes mnemonic prefixes: "&x" underlines x, "&&" is a literal '&'.
TextLine strip_prefix(const std::wstring& text, bool prefixes) {
    TextLine line = {L"", -1};
    if (!prefixes) {
        line.text = text;
        return line;
    }
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == L'&' && i + 1 < text.size()) {
            ++i;
            if (text[i] != L'&') line.underline = (int)line.text.size();
        }
        line.text += text[i];
    }
    return line;
}

// Splits a paragraph into lines that fit width, breaking after blanks; a word wider than
// the width stands alone on its line (DrawTextW does not split words).
void break_words(const std::wstring& paragraph, XftFont* font, Display* display, int width,
                 std::vector<std::wstring>* lines) {
    size_t start = 0;
    while (start < paragraph.size()) {
        size_t end = start, fit = start;
        while (end < paragraph.size()) {
            size_t word_end = end;
            while (word_end < paragraph.size() && paragraph[word_end] == L' ') ++word_end;
            while (word_end < paragraph.size() && paragraph[word_end] != L' ') ++word_end;
            const int w = text_width(font, display, paragraph.data() + start, (int)(word_end - start));
            if (w > width && fit > start) break;
            end = fit = word_end;
            if (w > width) break;
        }
        lines->push_back(paragraph.substr(start, fit - start));
        start = fit;
        while (start < paragraph.size() && paragraph[start] == L' ') ++start;
    }
    if (paragraph.empty()) lines->push_back(L"");
}

std::vector<std::wstring> layout_lines(const wchar_t* text, int count, UINT format, XftFont* font,
                                       Display* display, int width) {
    std::vector<std::wstring> lines;
    const std::wstring all(text, (size_t)count);
    if (format & DT_SINGLELINE) {
        std::wstring line;
        for (wchar_t c : all)
            if (c != L'\r' && c != L'\n') line += c;
        lines.push_back(line);
        return lines;
    }
    size_t start = 0;
    for (;;) {
        size_t end = start;
        while (end < all.size() && all[end] != L'\r' && all[end] != L'\n') ++end;
        const std::wstring paragraph = all.substr(start, end - start);
        if (format & DT_WORDBREAK) break_words(paragraph, font, display, width, &lines);
        else lines.push_back(paragraph);
        if (end >= all.size()) break;
        start = end + (all[end] == L'\r' && end + 1 < all.size() && all[end + 1] == L'\n' ? 2 : 1);
    }
    return lines;
}

HFONT new_font(const LOGFONTW& logfont, bool stock) {
    HFONT font = new HFONT__();
    font->kind = X11_GDI_FONT;
    font->logfont = logfont;
    font->stock = stock;
    font->pixel_size = 0;
    std::lock_guard<std::mutex> guard(fonts_lock);
    live_fonts.push_back(font);
    return font;
}

}  // namespace

HFONT x11_default_font(void) {
    static HFONT font = [] {
        LOGFONTW logfont = {};
        logfont.lfHeight = -11;
        logfont.lfWeight = FW_NORMAL;
        wcscpy(logfont.lfFaceName, L"sans-serif");
        return new_font(logfont, true);
    }();
    return font;
}

XftFont* x11_xft_font(HFONT font, Display* display) {
    if (!display) return nullptr;
    if (!font) font = x11_default_font();
    watch_display(display);
    std::lock_guard<std::mutex> guard(font->lock);
    for (const X11OpenFont& open : font->opened)
        if (open.display == display) return open.font;
    std::lock_guard<std::mutex> xft_guard(xft_lock);
    if (font->pixel_size <= 0) font->pixel_size = resolve_pixel_size(display, font->logfont);
    XftFont* xft = open_sized(display, font->logfont, font->pixel_size);
    if (xft) font->opened.push_back({display, xft});
    return xft;
}

int x11_char_advance(HFONT font, Display* display, wchar_t c) {
    if (c < 0x20 || c == 0x7F) return 0;
    XftFont* xft = x11_xft_font(font, display);
    return xft ? text_width(xft, display, &c, 1) : 0;
}

void x11_font_metrics(HFONT font, Display* display, TEXTMETRICW* metrics) {
    memset(metrics, 0, sizeof(*metrics));
    XftFont* xft = x11_xft_font(font, display);
    if (!font) font = x11_default_font();
    if (!xft) return;
    const double em = font->pixel_size;
    metrics->tmAscent = xft->ascent;
    metrics->tmDescent = xft->descent;
    metrics->tmHeight = xft->ascent + xft->descent;
    metrics->tmInternalLeading = std::max(0, (int)metrics->tmHeight - (int)(em + 0.5));
    metrics->tmExternalLeading = std::max(0, xft->height - metrics->tmHeight);
    // NOTE: the average width the way Win32 programs compute dialog units: the extent of
    // the 52 letters divided by 52.
    static const wchar_t letters[] = L"abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ";
    metrics->tmAveCharWidth = (text_width(xft, display, letters, 52) + 26) / 52;
    metrics->tmMaxCharWidth = xft->max_advance_width;
    metrics->tmWeight = font->logfont.lfWeight > 0 ? font->logfont.lfWeight : FW_NORMAL;
    metrics->tmDigitizedAspectX = 96;
    metrics->tmDigitizedAspectY = 96;
    metrics->tmFirstChar = 0x20;
    metrics->tmLastChar = 0xFFFC;
    metrics->tmDefaultChar = 0x1F;
    metrics->tmBreakChar = 0x20;
    metrics->tmItalic = font->logfont.lfItalic ? 1 : 0;
    metrics->tmUnderlined = font->logfont.lfUnderline ? 1 : 0;
    metrics->tmStruckOut = font->logfont.lfStrikeOut ? 1 : 0;
    metrics->tmPitchAndFamily = 0x06 | 0x20;  // TMPF_VECTOR | TMPF_TRUETYPE, FF_SWISS
    metrics->tmCharSet = font->logfont.lfCharSet == DEFAULT_CHARSET ? ANSI_CHARSET : font->logfont.lfCharSet;
}

HFONT WINAPI CreateFontIndirectW(const LOGFONTW* logfont) {
    if (!logfont) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    return new_font(*logfont, false);
}

// Frees a font's Xft copies on the calling thread's display; copies on other threads'
// connections are left, since those connections may be gone or in use.
void x11_delete_font(HFONT font) {
    if (font->stock) return;
    {
        std::lock_guard<std::mutex> guard(fonts_lock);
        live_fonts.erase(std::remove(live_fonts.begin(), live_fonts.end(), font), live_fonts.end());
    }
    Display* display = x11_thread_display();
    {
        std::lock_guard<std::mutex> guard(xft_lock);
        for (const X11OpenFont& open : font->opened)
            if (open.display == display) XftFontClose(open.display, open.font);
    }
    delete font;
}

void x11_release_dc_text(HDC dc) {
    if (!dc || !dc->xft_draw) return;
    std::lock_guard<std::mutex> guard(xft_lock);
    XftDrawDestroy(static_cast<XftDraw*>(dc->xft_draw));
    dc->xft_draw = nullptr;
}

COLORREF WINAPI SetTextColor(HDC dc, COLORREF color) {
    if (!dc) return 0xFFFFFFFF;  // CLR_INVALID
    const COLORREF old = dc->text_color;
    dc->text_color = color;
    return old;
}

COLORREF WINAPI SetBkColor(HDC dc, COLORREF color) {
    if (!dc) return 0xFFFFFFFF;
    const COLORREF old = dc->bk_color;
    dc->bk_color = color;
    return old;
}

int WINAPI SetBkMode(HDC dc, int mode) {
    if (!dc || (mode != TRANSPARENT && mode != OPAQUE)) return 0;
    const int old = dc->bk_mode;
    dc->bk_mode = mode;
    return old;
}

BOOL WINAPI GetTextExtentPoint32W(HDC dc, LPCWSTR text, int count, LPSIZE size) {
    if (!dc || !size || count < 0 || (count > 0 && !text)) return FALSE;
    XftFont* font = x11_xft_font(dc->font, dc->display);
    if (!font) return FALSE;
    size->cx = text_width(font, dc->display, text, count);
    size->cy = font->ascent + font->descent;
    return TRUE;
}

BOOL WINAPI GetTextMetricsW(HDC dc, TEXTMETRICW* metrics) {
    if (!dc || !metrics || !dc->display) return FALSE;
    x11_font_metrics(dc->font, dc->display, metrics);
    return metrics->tmHeight > 0;
}

BOOL WINAPI TextOutW(HDC dc, int x, int y, LPCWSTR text, int count) {
    if (!dc || count < 0 || (count > 0 && !text)) return FALSE;
    XftDraw* draw = dc_draw(dc);
    XftFont* font = x11_xft_font(dc->font, dc->display);
    if (!draw || !font) return FALSE;
    XftDrawSetClip(draw, nullptr);
    draw_run(dc, font, x, y, text, count);
    return TRUE;
}

int WINAPI DrawTextW(HDC dc, LPCWSTR text, int count, LPRECT rect, UINT format) {
    if (!dc || !rect || !text) return 0;
    if (count < 0) count = (int)wcslen(text);
    XftFont* font = x11_xft_font(dc->font, dc->display);
    if (!font) return 0;
    const int line_height = font->ascent + font->descent;
    const std::vector<std::wstring> raw =
        layout_lines(text, count, format, font, dc->display, rect->right - rect->left);
    std::vector<TextLine> lines;
    int widest = 0;
    for (const std::wstring& line : raw) {
        lines.push_back(strip_prefix(line, !(format & DT_NOPREFIX)));
        widest = std::max(widest, text_width(font, dc->display, lines.back().text.data(),
                                             (int)lines.back().text.size()));
    }
    const int height = line_height * (int)lines.size();
    if (format & DT_CALCRECT) {
        rect->right = rect->left + widest;
        rect->bottom = rect->top + height;
        return height;
    }
    XftDraw* draw = dc_draw(dc);
    if (!draw) return 0;
    if (format & DT_NOCLIP) {
        XftDrawSetClip(draw, nullptr);
    } else {
        XRectangle clip = {(short)rect->left, (short)rect->top,
                           (unsigned short)std::max(0, (int)(rect->right - rect->left)),
                           (unsigned short)std::max(0, (int)(rect->bottom - rect->top))};
        XftDrawSetClipRectangles(draw, 0, 0, &clip, 1);
    }
    int y = rect->top;
    if ((format & DT_SINGLELINE) && (format & DT_VCENTER)) y = rect->top + (rect->bottom - rect->top - line_height) / 2;
    else if ((format & DT_SINGLELINE) && (format & DT_BOTTOM)) y = rect->bottom - line_height;
    const int first_y = y;
    for (const TextLine& line : lines) {
        const int width = text_width(font, dc->display, line.text.data(), (int)line.text.size());
        int x = rect->left;
        if (format & DT_CENTER) x = rect->left + (rect->right - rect->left - width) / 2;
        else if (format & DT_RIGHT) x = rect->right - width;
        draw_run(dc, font, x, y, line.text.data(), (int)line.text.size());
        if (line.underline >= 0) {
            const int ux = x + text_width(font, dc->display, line.text.data(), line.underline);
            const int uw = text_width(font, dc->display, line.text.data() + line.underline, 1);
            XftColor color = xft_color(dc, dc->text_color);
            XftDrawRect(draw, &color, ux, y + font->ascent + 1, (unsigned)uw, 1);
            free_color(dc, &color);
        }
        y += line_height;
    }
    XftDrawSetClip(draw, nullptr);
    // NOTE: as Win32, a vertically placed line reports where its text ends, not its height.
    if (format & (DT_VCENTER | DT_BOTTOM)) return y - rect->top;
    return y - first_y;
}
