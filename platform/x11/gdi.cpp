// GDI objects, device capabilities, memory DCs, DIB sections and BitBlt from the screen.
#include <X11/Xutil.h>
#include <stdlib.h>
#include <string.h>

#include <algorithm>

#include "platform/x11/x11_gdi.h"

namespace {

// Dots per inch: the desktop's Xft.dpi setting when there is one, else 96 as on Win32.
int screen_dpi(Display* display) {
    if (!display) return 96;
    const char* value = XGetDefault(display, "Xft", "dpi");
    const double dpi = value ? atof(value) : 0.0;
    return dpi >= 48.0 && dpi <= 960.0 ? (int)(dpi + 0.5) : 96;
}

// Bits per pixel of the screen's pixmaps (32 for a 24-bit true-colour screen, as Win32 says).
int screen_bits_per_pixel(Display* display) {
    const int depth = DefaultDepth(display, DefaultScreen(display));
    int count = 0;
    XPixmapFormatValues* formats = XListPixmapFormats(display, &count);
    int bits = depth;
    for (int i = 0; i < count; ++i)
        if (formats[i].depth == depth) bits = formats[i].bits_per_pixel;
    if (formats) XFree(formats);
    return bits;
}

// Where row y (0 = top) of a section lies in memory.
uint32_t* section_row(HBITMAP bitmap, int y) {
    const int row = bitmap->top_down ? y : bitmap->height - 1 - y;
    return bitmap->bits + (size_t)row * (size_t)bitmap->width;
}

}  // namespace

int x11_mask_shift(unsigned long mask) {
    int shift = 0;
    while (mask && !(mask & 1)) {
        mask >>= 1;
        ++shift;
    }
    return shift;
}

namespace {

// Converts an XImage into BGRX rows of the section, starting at section pixel (dx, dy).
void store_image(XImage* image, HBITMAP bitmap, int dx, int dy) {
    const bool native_bgrx = image->bits_per_pixel == 32 && image->red_mask == 0xFF0000 &&
                             image->green_mask == 0xFF00 && image->blue_mask == 0xFF &&
                             image->byte_order == LSBFirst;
    for (int y = 0; y < image->height; ++y) {
        uint32_t* out = section_row(bitmap, dy + y) + dx;
        if (native_bgrx) {
            // NOTE: the X pixel is already B, G, R, pad in memory; only the pad byte, which
            // the server may fill, is cleared, as Win32 leaves it 0.
            const uint32_t* in = reinterpret_cast<const uint32_t*>(image->data + (size_t)y * image->bytes_per_line);
            for (int x = 0; x < image->width; ++x) out[x] = in[x] & 0x00FFFFFFu;
            continue;
        }
        const int rs = x11_mask_shift(image->red_mask), gs = x11_mask_shift(image->green_mask),
                  bs = x11_mask_shift(image->blue_mask);
        const unsigned long rm = image->red_mask >> rs, gm = image->green_mask >> gs, bm = image->blue_mask >> bs;
        for (int x = 0; x < image->width; ++x) {
            const unsigned long p = XGetPixel(image, x, y);
            const uint32_t r = rm ? (uint32_t)(((p >> rs) & rm) * 255 / rm) : 0;
            const uint32_t g = gm ? (uint32_t)(((p >> gs) & gm) * 255 / gm) : 0;
            const uint32_t b = bm ? (uint32_t)(((p >> bs) & bm) * 255 / bm) : 0;
            out[x] = (r << 16) | (g << 8) | b;
        }
    }
}

// Copies the screen area at (sx, sy) into the section area (dx, dy, w, h) already clipped to
// the section; screen parts outside the root window come out black.
BOOL blit_from_screen(HDC source, Window root_source, int root_x, int root_y, HBITMAP bitmap, int dx,
                      int dy, int w, int h) {
    Display* display = source->display;
    // NOTE: the root window is the screen, so the screen size bounds it without a round trip.
    const int screen = DefaultScreen(display);
    const int left = std::max(root_x, 0), top = std::max(root_y, 0);
    const int right = std::min(root_x + w, DisplayWidth(display, screen));
    const int bottom = std::min(root_y + h, DisplayHeight(display, screen));
    const bool inside = right > left && bottom > top;
    // Black for what lies off the screen: whole rows above and below, columns beside.
    for (int y = 0; y < h; ++y) {
        uint32_t* row = section_row(bitmap, dy + y) + dx;
        const int sy = root_y + y;
        if (!inside || sy < top || sy >= bottom) {
            memset(row, 0, (size_t)w * 4);
            continue;
        }
        if (left > root_x) memset(row, 0, (size_t)(left - root_x) * 4);
        if (right < root_x + w) memset(row + (right - root_x), 0, (size_t)(root_x + w - right) * 4);
    }
    if (!inside) return TRUE;
    XImage* image = XGetImage(display, root_source, left, top, (unsigned)(right - left),
                              (unsigned)(bottom - top), AllPlanes, ZPixmap);
    if (!image) return FALSE;
    store_image(image, bitmap, dx + (left - root_x), dy + (top - root_y));
    XDestroyImage(image);
    return TRUE;
}

BOOL blit_from_section(HBITMAP from, int sx, int sy, HBITMAP to, int dx, int dy, int w, int h) {
    for (int y = 0; y < h; ++y) {
        uint32_t* out = section_row(to, dy + y) + dx;
        const int fy = sy + y;
        for (int x = 0; x < w; ++x) {
            const int fx = sx + x;
            const bool inside = fx >= 0 && fy >= 0 && fx < from->width && fy < from->height;
            out[x] = inside ? section_row(from, fy)[fx] : 0;
        }
    }
    return TRUE;
}

// NOTE: a class background may be a system colour index + 1 posing as a brush handle; such
// small values are not objects and must not be read.
bool is_object(HGDIOBJ object) { return (uintptr_t)object >= 0x10000; }

}  // namespace

HGDIOBJ WINAPI SelectObject(HDC dc, HGDIOBJ object) {
    if (!dc || !is_object(object)) return nullptr;
    const X11GdiKind kind = *static_cast<X11GdiKind*>(object);
    if (kind == X11_GDI_BRUSH) {
        HBRUSH old = dc->brush;
        dc->brush = static_cast<HBRUSH>(object);
        return old;
    }
    if (kind == X11_GDI_FONT) {
        // NOTE: a DC starts with the default font; handing it back lets callers restore it.
        HFONT old = dc->font ? dc->font : x11_default_font();
        dc->font = static_cast<HFONT>(object);
        return old;
    }
    if (kind == X11_GDI_BITMAP) {
        HBITMAP bitmap = static_cast<HBITMAP>(object);
        // Only memory DCs take bitmaps, and a bitmap sits in one DC at a time.
        if (dc->kind != X11_DC_MEMORY || (bitmap->selected && bitmap->selected != dc)) return nullptr;
        HBITMAP old = dc->bitmap;
        if (old) old->selected = nullptr;
        bitmap->selected = dc;
        dc->bitmap = bitmap;
        return old;
    }
    return nullptr;
}

BOOL WINAPI DeleteObject(HGDIOBJ object) {
    if (!is_object(object)) return FALSE;
    const X11GdiKind kind = *static_cast<X11GdiKind*>(object);
    if (kind == X11_GDI_BRUSH) {
        HBRUSH brush = static_cast<HBRUSH>(object);
        if (!brush->stock) free(brush);
        return TRUE;
    }
    if (kind == X11_GDI_FONT) {
        x11_delete_font(static_cast<HFONT>(object));
        return TRUE;
    }
    if (kind == X11_GDI_BITMAP) {
        HBITMAP bitmap = static_cast<HBITMAP>(object);
        if (bitmap->selected) return FALSE;  // as Win32: still selected into a DC
        free(bitmap->bits);
        delete bitmap;
        return TRUE;
    }
    return FALSE;
}

int WINAPI GetDeviceCaps(HDC dc, int index) {
    Display* display = dc && dc->display ? dc->display : x11_thread_display();
    if (index == LOGPIXELSX || index == LOGPIXELSY) return screen_dpi(display);
    if (!display) return 0;
    switch (index) {
    case HORZRES: return DisplayWidth(display, DefaultScreen(display));
    case VERTRES: return DisplayHeight(display, DefaultScreen(display));
    case BITSPIXEL: return screen_bits_per_pixel(display);
    default: return 0;
    }
}

HDC WINAPI CreateCompatibleDC(HDC dc) {
    HDC memory = static_cast<HDC>(calloc(1, sizeof(HDC__)));
    if (!memory) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    memory->kind = X11_DC_MEMORY;
    memory->display = dc ? dc->display : x11_thread_display();
    memory->drawable = None;
    memory->text_color = RGB(0, 0, 0);
    memory->bk_color = RGB(255, 255, 255);
    memory->bk_mode = OPAQUE;
    return memory;
}

BOOL WINAPI DeleteDC(HDC dc) {
    if (!dc || dc->kind != X11_DC_MEMORY) return FALSE;
    if (dc->bitmap) dc->bitmap->selected = nullptr;
    x11_release_dc_text(dc);
    free(dc);
    return TRUE;
}

HBITMAP WINAPI CreateDIBSection(HDC, const BITMAPINFO* info, UINT usage, void** bits, HANDLE section,
                                DWORD) {
    if (bits) *bits = nullptr;
    if (!info || usage != DIB_RGB_COLORS || section) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    const BITMAPINFOHEADER& header = info->bmiHeader;
    // Only what the programs use: 32 bits per pixel, uncompressed.
    if (header.biSize < sizeof(BITMAPINFOHEADER) || header.biBitCount != 32 ||
        header.biCompression != BI_RGB || header.biPlanes != 1 || header.biWidth <= 0 ||
        header.biHeight == 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    const int64_t width = header.biWidth;
    const int64_t height = header.biHeight < 0 ? -(int64_t)header.biHeight : header.biHeight;
    if (width * height > ((int64_t)1 << 28)) {  // 1 GiB of pixels
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    // NOTE: Win32 hands out a section filled with zeros.
    uint32_t* pixels = static_cast<uint32_t*>(calloc((size_t)(width * height), 4));
    if (!pixels) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    HBITMAP bitmap = new HBITMAP__();
    bitmap->kind = X11_GDI_BITMAP;
    bitmap->width = (int)width;
    bitmap->height = (int)height;
    bitmap->top_down = header.biHeight < 0;
    bitmap->bits = pixels;
    bitmap->selected = nullptr;
    if (bits) *bits = pixels;
    return bitmap;
}

BOOL WINAPI BitBlt(HDC dest, int x, int y, int width, int height, HDC src, int src_x, int src_y,
                   DWORD rop) {
    if (!dest || !src || rop != SRCCOPY || dest->kind != X11_DC_MEMORY || !dest->bitmap) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    if (width <= 0 || height <= 0) return TRUE;
    HBITMAP bitmap = dest->bitmap;
    // Clip the destination to the section and move the source origin with it.
    const int left = std::max(x, 0), top = std::max(y, 0);
    const int right = (int)std::min<int64_t>((int64_t)x + width, bitmap->width);
    const int bottom = (int)std::min<int64_t>((int64_t)y + height, bitmap->height);
    if (right <= left || bottom <= top) return TRUE;
    const int sx = src_x + (left - x), sy = src_y + (top - y);
    if (src->kind == X11_DC_MEMORY) {
        if (!src->bitmap) return FALSE;
        return blit_from_section(src->bitmap, sx, sy, bitmap, left, top, right - left, bottom - top);
    }
    if (!src->display || src->drawable == None) return FALSE;
    // NOTE: a window DC is read through the root window too, so windows lying over it are
    // captured with it, as on the Win32 screen.
    Window root = DefaultRootWindow(src->display);
    int root_x = sx, root_y = sy;
    if (src->kind == X11_DC_WINDOW) {
        Window child;
        if (!XTranslateCoordinates(src->display, src->drawable, root, sx, sy, &root_x, &root_y, &child))
            return FALSE;
    }
    return blit_from_screen(src, root, root_x, root_y, bitmap, left, top, right - left, bottom - top);
}

BOOL WINAPI GdiFlush(void) {
    // Sections are written synchronously by BitBlt; what remains is the X output queue.
    Display* display = x11_thread_display();
    if (display) XFlush(display);
    return TRUE;
}
