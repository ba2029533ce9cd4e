// System window classes "EDIT" and "SCROLLBAR", and the classic drawing they share:
// 3D edges, arrow buttons, the dithered track, the thumb, off-screen painting.
#include <X11/Xutil.h>

#include <algorithm>

#include "platform/x11/x11_gdi.h"

namespace {

void fill(HDC dc, int left, int top, int right, int bottom, int color_index) {
    if (right <= left || bottom <= top) return;
    RECT r = {left, top, right, bottom};
    FillRect(dc, &r, GetSysColorBrush(color_index));
}

// One pixel frame: top and left lines in one colour, bottom and right in another.
void frame(HDC dc, const RECT& r, int top_left, int bottom_right) {
    fill(dc, r.left, r.top, r.right - 1, r.top + 1, top_left);
    fill(dc, r.left, r.top + 1, r.left + 1, r.bottom - 1, top_left);
    fill(dc, r.left, r.bottom - 1, r.right, r.bottom, bottom_right);
    fill(dc, r.right - 1, r.top, r.right, r.bottom - 1, bottom_right);
}

RECT inset(const RECT& r, int d) { return RECT{r.left + d, r.top + d, r.right - d, r.bottom - d}; }

// A raised classic button face (the arrows and the thumb); a pushed one is flat with a
// shadow line, its content shifted by a pixel.
void draw_button(HDC dc, const RECT& r, bool pushed) {
    if (r.right - r.left <= 0 || r.bottom - r.top <= 0) return;
    if (pushed) {
        frame(dc, r, COLOR_BTNSHADOW, COLOR_BTNSHADOW);
        RECT face = inset(r, 1);
        FillRect(dc, &face, GetSysColorBrush(COLOR_BTNFACE));
        return;
    }
    frame(dc, r, COLOR_3DLIGHT, COLOR_3DDKSHADOW);
    frame(dc, inset(r, 1), COLOR_BTNHIGHLIGHT, COLOR_BTNSHADOW);
    RECT face = inset(r, 2);
    FillRect(dc, &face, GetSysColorBrush(COLOR_BTNFACE));
}

enum ArrowDirection { ARROW_LEFT, ARROW_RIGHT, ARROW_UP, ARROW_DOWN };

// A solid triangle centred in r: columns (left/right) or rows (up/down) of 1, 3, 5, ...
void draw_triangle(HDC dc, const RECT& r, ArrowDirection direction, int color_index, int shift) {
    const int size = std::min(r.right - r.left, r.bottom - r.top);
    const int depth = std::max(1, (size + 1) / 4);
    const int cx = (r.left + r.right) / 2 + shift, cy = (r.top + r.bottom) / 2 + shift;
    for (int i = 0; i < depth; ++i) {
        const int half = i;  // the i-th column or row from the tip is 2i + 1 long
        switch (direction) {
        case ARROW_LEFT: fill(dc, cx - depth / 2 + i, cy - half, cx - depth / 2 + i + 1, cy + half + 1, color_index); break;
        case ARROW_RIGHT: fill(dc, cx + depth / 2 - i, cy - half, cx + depth / 2 - i + 1, cy + half + 1, color_index); break;
        case ARROW_UP: fill(dc, cx - half, cy - depth / 2 + i, cx + half + 1, cy - depth / 2 + i + 1, color_index); break;
        case ARROW_DOWN: fill(dc, cx - half, cy + depth / 2 - i, cx + half + 1, cy + depth / 2 - i + 1, color_index); break;
        }
    }
}

void draw_arrow_button(HDC dc, const RECT& r, ArrowDirection direction, bool pushed, bool disabled) {
    draw_button(dc, r, pushed);
    if (disabled) {
        // NOTE: the classic grey arrow is embossed: a highlight copy one pixel down-right.
        draw_triangle(dc, r, direction, COLOR_BTNHIGHLIGHT, 1);
        draw_triangle(dc, r, direction, COLOR_BTNSHADOW, 0);
    } else {
        draw_triangle(dc, r, direction, COLOR_BTNTEXT, pushed ? 1 : 0);
    }
}

// The classic track: a 50% dither of the highlight and face colours, drawn with a stipple
// on the DC's drawable.
void draw_track(HDC dc, const RECT& r) {
    if (r.right <= r.left || r.bottom <= r.top) return;
    if (!dc->display || dc->drawable == None) {
        FillRect(dc, &r, GetSysColorBrush(COLOR_SCROLLBAR));
        return;
    }
    Display* display = dc->display;
    static const char pattern[] = {0x01, 0x02};
    Pixmap stipple = XCreateBitmapFromData(display, dc->drawable, pattern, 2, 2);
    XGCValues values;
    values.foreground = x11_pixel_of(display, GetSysColor(COLOR_BTNHIGHLIGHT));
    values.background = x11_pixel_of(display, GetSysColor(COLOR_BTNFACE));
    values.fill_style = FillOpaqueStippled;
    values.stipple = stipple;
    GC gc = XCreateGC(display, dc->drawable, GCForeground | GCBackground | GCFillStyle | GCStipple, &values);
    XFillRectangle(display, dc->drawable, gc, r.left, r.top, (unsigned)(r.right - r.left), (unsigned)(r.bottom - r.top));
    XFreeGC(display, gc);
    XFreePixmap(display, stipple);
}

// A dotted rectangle one pixel inside r (the keyboard focus mark on a thumb).
void draw_focus_dots(HDC dc, const RECT& r) {
    const RECT f = inset(r, 3);
    for (int x = f.left; x < f.right; x += 2) {
        fill(dc, x, f.top, x + 1, f.top + 1, COLOR_BTNTEXT);
        fill(dc, x, f.bottom - 1, x + 1, f.bottom, COLOR_BTNTEXT);
    }
    for (int y = f.top; y < f.bottom; y += 2) {
        fill(dc, f.left, y, f.left + 1, y + 1, COLOR_BTNTEXT);
        fill(dc, f.right - 1, y, f.right, y + 1, COLOR_BTNTEXT);
    }
}

// The rectangle of [start, end) along a bar drawn in rect.
RECT along_rect(const RECT& rect, bool vertical, int start, int end) {
    if (vertical) return RECT{rect.left, rect.top + start, rect.right, rect.top + end};
    return RECT{rect.left + start, rect.top, rect.left + end, rect.bottom};
}

}  // namespace

void x11_register_system_classes(void) {
    WNDCLASSEXW wc = {};
    wc.cbSize = sizeof(wc);
    // NOTE: no background brush: the controls paint every pixel, so the layer never
    // clears them first (which would flicker).
    wc.style = CS_DBLCLKS;
    wc.lpfnWndProc = x11_edit_proc;
    wc.hCursor = LoadCursorW(nullptr, IDC_IBEAM);
    wc.lpszClassName = L"EDIT";
    RegisterClassExW(&wc);
    wc.style = CS_DBLCLKS | CS_HREDRAW | CS_VREDRAW;
    wc.lpfnWndProc = x11_scroll_bar_proc;
    wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    wc.lpszClassName = L"SCROLLBAR";
    RegisterClassExW(&wc);
}

void x11_draw_client_edge(HDC dc, RECT* rect) {
    frame(dc, *rect, COLOR_BTNSHADOW, COLOR_BTNHIGHLIGHT);
    frame(dc, inset(*rect, 1), COLOR_3DDKSHADOW, COLOR_3DLIGHT);
    *rect = inset(*rect, 2);
}

void x11_scroll_bar_point(const RECT& rect, bool vertical, int x, int y, int* along, int* across) {
    *along = vertical ? y - rect.top : x - rect.left;
    *across = vertical ? x - rect.left : y - rect.top;
}

void x11_draw_scroll_bar(HDC dc, const RECT& rect, const ScrollBarModel& bar, bool vertical, bool focused) {
    const ScrollBarLayout layout = scroll_bar_layout(bar);
    const bool disabled = bar.disable_no_scroll && !scroll_bar_can_scroll(bar);
    const bool held = bar.hot && !bar.dragging;
    draw_arrow_button(dc, along_rect(rect, vertical, 0, layout.arrow), vertical ? ARROW_UP : ARROW_LEFT,
                      held && bar.pressed == SCROLL_ARROW_BACK, disabled);
    draw_arrow_button(dc, along_rect(rect, vertical, bar.length - layout.arrow, bar.length),
                      vertical ? ARROW_DOWN : ARROW_RIGHT, held && bar.pressed == SCROLL_ARROW_FORWARD, disabled);
    const int track_start = layout.arrow, track_end = bar.length - layout.arrow;
    if (layout.thumb_length == 0) {
        draw_track(dc, along_rect(rect, vertical, track_start, track_end));
        return;
    }
    const int thumb_end = layout.thumb_start + layout.thumb_length;
    // NOTE: the held part of the track is drawn dark while the pointer is on it, as Win32's
    // classic bar inverts it.
    const RECT back = along_rect(rect, vertical, track_start, layout.thumb_start);
    const RECT forward = along_rect(rect, vertical, thumb_end, track_end);
    if (held && bar.pressed == SCROLL_TRACK_BACK) FillRect(dc, &back, GetSysColorBrush(COLOR_3DDKSHADOW));
    else draw_track(dc, back);
    if (held && bar.pressed == SCROLL_TRACK_FORWARD) FillRect(dc, &forward, GetSysColorBrush(COLOR_3DDKSHADOW));
    else draw_track(dc, forward);
    const RECT thumb = along_rect(rect, vertical, layout.thumb_start, thumb_end);
    draw_button(dc, thumb, false);
    if (focused) draw_focus_dots(dc, thumb);
}

HDC x11_begin_buffered(HDC target, const RECT& rect) {
    if (!target || target->kind != X11_DC_WINDOW || !target->display || target->drawable == None) return target;
    const int width = rect.right - rect.left, height = rect.bottom - rect.top;
    if (width <= 0 || height <= 0 || rect.left != 0 || rect.top != 0) return target;
    Window root;
    int x, y;
    unsigned w, h, border, depth;
    if (!XGetGeometry(target->display, target->drawable, &root, &x, &y, &w, &h, &border, &depth)) return target;
    Pixmap pixmap = XCreatePixmap(target->display, target->drawable, (unsigned)width, (unsigned)height, depth);
    HDC buffer = x11_new_dc(X11_DC_WINDOW, target->display, pixmap, target->hwnd);
    if (!buffer) {
        XFreePixmap(target->display, pixmap);
        return target;
    }
    buffer->font = target->font;
    buffer->text_color = target->text_color;
    buffer->bk_color = target->bk_color;
    buffer->bk_mode = target->bk_mode;
    return buffer;
}

void x11_end_buffered(HDC target, HDC buffer, const RECT& rect) {
    if (buffer == target || !buffer) return;
    Display* display = buffer->display;
    const Pixmap pixmap = buffer->drawable;
    // NOTE: a GC of our own without graphics exposures, so the copy queues no NoExpose
    // events; the buffer holds the whole picture, so no clip is needed.
    XGCValues values;
    values.graphics_exposures = False;
    GC gc = XCreateGC(display, target->drawable, GCGraphicsExposures, &values);
    XCopyArea(display, pixmap, target->drawable, gc, 0, 0, (unsigned)(rect.right - rect.left),
              (unsigned)(rect.bottom - rect.top), rect.left, rect.top);
    XFreeGC(display, gc);
    x11_release_dc_text(buffer);
    x11_free_dc(buffer);
    XFreePixmap(display, pixmap);
}
