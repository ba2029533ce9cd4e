// MessageBoxW: a top-level window with the caption as title, an icon, the text and an OK
// button, run by its own modal loop on the calling thread. Text is drawn with Xft.
#include "platform/x11/x11_internal.h"

#include <X11/Xatom.h>
#include <X11/Xft/Xft.h>

#include <algorithm>
#include <map>

namespace {

const wchar_t kBoxClass[] = L"#32770";
constexpr int kMargin = 12;
constexpr int kIconSize = 32;
constexpr int kGap = 12;
constexpr int kButtonWidth = 80;
constexpr int kButtonHeight = 26;
constexpr int kMinimumWidth = 160;

struct BoxState {
    std::vector<std::string> lines;  // UTF-8, already wrapped
    UINT icon = 0;                   // MB_ICONERROR ... or 0
    XftFont* font = nullptr;
    int line_height = 16;
    RECT icon_rect = {};
    RECT text_rect = {};
    RECT button_rect = {};
    bool pressed = false;  // the mouse went down on the button and is held
    bool hot = false;      // ... and is over it now
    UINT key_down = 0;     // Return, Space or Escape pressed while the box was up
    bool done = false;
};

XftFont* box_font(Display* display) {
    static auto* fonts = new std::map<Display*, XftFont*>;
    X11Lock guard;
    auto found = fonts->find(display);
    if (found != fonts->end()) return found->second;
    // NOTE: a pixel size keeps the box the same whatever DPI the server reports.
    XftFont* font = XftFontOpenName(display, DefaultScreen(display), "sans-serif:pixelsize=13");
    if (!font) font = XftFontOpenName(display, DefaultScreen(display), "monospace:pixelsize=13");
    (*fonts)[display] = font;
    return font;
}

int text_width(Display* display, XftFont* font, const std::string& text) {
    if (!font) return (int)text.size() * 7;
    XGlyphInfo extents;
    XftTextExtentsUtf8(display, font, reinterpret_cast<const FcChar8*>(text.data()),
                       (int)text.size(), &extents);
    return extents.xOff;
}

// Splits a line at blanks (or anywhere, for one long word) so each part fits max_width.
void wrap_line(Display* display, XftFont* font, const std::string& line, int max_width,
               std::vector<std::string>* out) {
    std::string rest = line;
    while (text_width(display, font, rest) > max_width) {
        size_t cut = rest.size();
        // Shrink to the longest prefix that fits, preferring to end before a blank.
        while (cut > 1 && text_width(display, font, rest.substr(0, cut)) > max_width) {
            --cut;
            while (cut > 1 && (rest[cut] & 0xC0) == 0x80) --cut;  // NOTE: keep UTF-8 whole
        }
        size_t blank = rest.rfind(' ', cut);
        size_t end = (blank != std::string::npos && blank > 0) ? blank : cut;
        out->push_back(rest.substr(0, end));
        rest = rest.substr(end < rest.size() && rest[end] == ' ' ? end + 1 : end);
    }
    out->push_back(rest);
}

// Lays out the box for text; returns the client size.
SIZE layout_box(Display* display, BoxState* box, const std::wstring& text) {
    box->font = box_font(display);
    if (box->font) box->line_height = box->font->ascent + box->font->descent;
    int screen_width, screen_height;
    x11_screen_size(&screen_width, &screen_height);
    int max_text = std::max(200, screen_width * 5 / 8);
    std::string utf8 = x11_utf8_from_wide(text.data(), text.size());
    size_t start = 0;
    for (;;) {
        size_t end = utf8.find('\n', start);
        std::string line =
            utf8.substr(start, end == std::string::npos ? std::string::npos : end - start);
        if (!line.empty() && line.back() == '\r') line.pop_back();
        wrap_line(display, box->font, line, max_text, &box->lines);
        if (end == std::string::npos) break;
        start = end + 1;
    }
    int widest = 0;
    for (const std::string& line : box->lines)
        widest = std::max(widest, text_width(display, box->font, line));
    int text_height = (int)box->lines.size() * box->line_height;
    int text_left = kMargin + (box->icon ? kIconSize + kGap : 0);
    int content = std::max(text_height, box->icon ? kIconSize : 0);
    int width = std::max({text_left + widest + kMargin, kButtonWidth + 2 * kMargin, kMinimumWidth});
    int height = kMargin + content + kGap + kButtonHeight + kMargin;
    box->icon_rect = RECT{kMargin, kMargin, kMargin + kIconSize, kMargin + kIconSize};
    int text_top = kMargin + (content - text_height) / 2;
    box->text_rect = RECT{text_left, text_top, text_left + widest, text_top + text_height};
    int button_left = (width - kButtonWidth) / 2;
    int button_top = kMargin + content + kGap;
    box->button_rect =
        RECT{button_left, button_top, button_left + kButtonWidth, button_top + kButtonHeight};
    return SIZE{width, height};
}

struct Painter {
    Display* display;
    Window xwindow;
    GC gc;
    XftDraw* draw;
    Visual* visual;
    Colormap colormap;
};

void fill(const Painter& p, COLORREF color, int x, int y, int w, int h) {
    XSetForeground(p.display, p.gc, x11_pixel_of(p.display, color));
    XFillRectangle(p.display, p.xwindow, p.gc, x, y, (unsigned)w, (unsigned)h);
}

void draw_text(const Painter& p, XftFont* font, COLORREF color, int x, int baseline,
               const std::string& text) {
    if (!font || !p.draw) return;
    XRenderColor value = {(unsigned short)(GetRValue(color) * 257),
                          (unsigned short)(GetGValue(color) * 257),
                          (unsigned short)(GetBValue(color) * 257), 0xFFFF};
    XftColor xft_color;
    if (!XftColorAllocValue(p.display, p.visual, p.colormap, &value, &xft_color)) return;
    XftDrawStringUtf8(p.draw, &xft_color, font, x, baseline,
                      reinterpret_cast<const FcChar8*>(text.data()), (int)text.size());
    XftColorFree(p.display, p.visual, p.colormap, &xft_color);
}

void fill_circle(const Painter& p, COLORREF color, int x, int y, int size) {
    XSetForeground(p.display, p.gc, x11_pixel_of(p.display, color));
    XFillArc(p.display, p.xwindow, p.gc, x, y, (unsigned)size, (unsigned)size, 0, 360 * 64);
}

// The classic icons: red circle with a white X, blue circle with an "i", yellow triangle
// with a "!", blue circle with a "?".
void draw_icon(const Painter& p, const BoxState& box) {
    int x = box.icon_rect.left, y = box.icon_rect.top, s = kIconSize;
    switch (box.icon) {
        case MB_ICONERROR:
            fill_circle(p, RGB(128, 0, 0), x, y, s);
            fill_circle(p, RGB(220, 30, 30), x + 1, y + 1, s - 2);
            XSetForeground(p.display, p.gc, x11_pixel_of(p.display, RGB(255, 255, 255)));
            XSetLineAttributes(p.display, p.gc, 4, LineSolid, CapRound, JoinRound);
            XDrawLine(p.display, p.xwindow, p.gc, x + 10, y + 10, x + s - 11, y + s - 11);
            XDrawLine(p.display, p.xwindow, p.gc, x + s - 11, y + 10, x + 10, y + s - 11);
            XSetLineAttributes(p.display, p.gc, 0, LineSolid, CapButt, JoinMiter);
            break;
        case MB_ICONINFORMATION:
            fill_circle(p, RGB(0, 0, 128), x, y, s);
            fill_circle(p, RGB(30, 80, 220), x + 1, y + 1, s - 2);
            fill_circle(p, RGB(255, 255, 255), x + s / 2 - 3, y + 6, 6);
            fill(p, RGB(255, 255, 255), x + s / 2 - 2, y + 14, 5, 12);
            break;
        case MB_ICONWARNING: {
            XPoint points[] = {{(short)(x + s / 2), (short)y},
                               {(short)(x + s), (short)(y + s - 2)},
                               {(short)x, (short)(y + s - 2)}};
            XSetForeground(p.display, p.gc, x11_pixel_of(p.display, RGB(250, 200, 0)));
            XFillPolygon(p.display, p.xwindow, p.gc, points, 3, Convex, CoordModeOrigin);
            fill(p, RGB(0, 0, 0), x + s / 2 - 2, y + 9, 4, 12);
            fill(p, RGB(0, 0, 0), x + s / 2 - 2, y + 24, 4, 4);
            break;
        }
        case MB_ICONQUESTION:
            fill_circle(p, RGB(0, 0, 128), x, y, s);
            fill_circle(p, RGB(30, 80, 220), x + 1, y + 1, s - 2);
            if (box.font)
                draw_text(p, box.font, RGB(255, 255, 255), x + s / 2 - 4, y + s / 2 + 5, "?");
            break;
        default:
            break;
    }
}

// The OK button in the classic 3-D look; sunken while held down over it.
void draw_button(const Painter& p, const BoxState& box) {
    const RECT& r = box.button_rect;
    int w = r.right - r.left, h = r.bottom - r.top;
    bool sunken = box.pressed && box.hot;
    fill(p, RGB(0, 0, 0), r.left, r.top, w, h);  // the default button's outer frame
    fill(p, GetSysColor(COLOR_BTNFACE), r.left + 1, r.top + 1, w - 2, h - 2);
    if (sunken) {
        fill(p, GetSysColor(COLOR_BTNSHADOW), r.left + 1, r.top + 1, w - 2, 1);
        fill(p, GetSysColor(COLOR_BTNSHADOW), r.left + 1, r.top + 1, 1, h - 2);
    } else {
        fill(p, GetSysColor(COLOR_BTNHIGHLIGHT), r.left + 1, r.top + 1, w - 3, 1);
        fill(p, GetSysColor(COLOR_BTNHIGHLIGHT), r.left + 1, r.top + 1, 1, h - 3);
        fill(p, GetSysColor(COLOR_3DDKSHADOW), r.left + 1, r.bottom - 2, w - 2, 1);
        fill(p, GetSysColor(COLOR_3DDKSHADOW), r.right - 2, r.top + 1, 1, h - 2);
        fill(p, GetSysColor(COLOR_BTNSHADOW), r.left + 2, r.bottom - 3, w - 4, 1);
        fill(p, GetSysColor(COLOR_BTNSHADOW), r.right - 3, r.top + 2, 1, h - 4);
    }
    int shift = sunken ? 1 : 0;
    int label_width = text_width(p.display, box.font, "OK");
    int ascent = box.font ? box.font->ascent : 10;
    int baseline = r.top + (h - box.line_height) / 2 + ascent + shift;
    draw_text(p, box.font, GetSysColor(COLOR_BTNTEXT), r.left + (w - label_width) / 2 + shift,
              baseline, "OK");
    // The focus rectangle: the button has the keyboard.
    XSetForeground(p.display, p.gc, x11_pixel_of(p.display, RGB(0, 0, 0)));
    char dashes[] = {1, 1};
    XSetLineAttributes(p.display, p.gc, 1, LineOnOffDash, CapButt, JoinMiter);
    XSetDashes(p.display, p.gc, 0, dashes, 2);
    XDrawRectangle(p.display, p.xwindow, p.gc, r.left + 4, r.top + 4, (unsigned)(w - 9),
                   (unsigned)(h - 9));
    XSetLineAttributes(p.display, p.gc, 0, LineSolid, CapButt, JoinMiter);
}

void paint_box(HWND hwnd, BoxState* box) {
    PAINTSTRUCT paint;
    HDC dc = BeginPaint(hwnd, &paint);
    if (!dc) return;
    Painter p = {};
    {
        X11Lock guard;
        X11Window* window = x11_window_locked(hwnd);
        if (!window) {
            EndPaint(hwnd, &paint);
            return;
        }
        p.display = dc->display;
        p.xwindow = window->xwindow;
        p.visual = window->visual;
        p.colormap = window->colormap ? window->colormap
                                      : DefaultColormap(p.display, DefaultScreen(p.display));
    }
    p.gc = dc->gc;
    p.draw = XftDrawCreate(p.display, p.xwindow, p.visual, p.colormap);
    draw_icon(p, *box);
    int ascent = box->font ? box->font->ascent : 10;
    for (size_t i = 0; i < box->lines.size(); ++i)
        draw_text(p, box->font, GetSysColor(COLOR_WINDOWTEXT), box->text_rect.left,
                  box->text_rect.top + (int)i * box->line_height + ascent, box->lines[i]);
    draw_button(p, *box);
    if (p.draw) XftDrawDestroy(p.draw);
    EndPaint(hwnd, &paint);
}

bool in_button(const BoxState* box, LPARAM lparam) {
    int x = GET_X_LPARAM(lparam), y = GET_Y_LPARAM(lparam);
    const RECT& r = box->button_rect;
    return x >= r.left && x < r.right && y >= r.top && y < r.bottom;
}

void on_mouse(HWND hwnd, BoxState* box, UINT message, LPARAM lparam) {
    bool inside = in_button(box, lparam);
    if (message == WM_LBUTTONDOWN && inside) {
        box->pressed = box->hot = true;
        SetCapture(hwnd);
        InvalidateRect(hwnd, &box->button_rect, FALSE);
    } else if (message == WM_MOUSEMOVE && box->pressed && inside != box->hot) {
        box->hot = inside;
        InvalidateRect(hwnd, &box->button_rect, FALSE);
    } else if (message == WM_LBUTTONUP && box->pressed) {
        box->pressed = false;
        ReleaseCapture();
        InvalidateRect(hwnd, &box->button_rect, FALSE);
        if (inside) box->done = true;
    }
}

LRESULT CALLBACK box_proc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
    auto* box = reinterpret_cast<BoxState*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    switch (message) {
        case WM_NCCREATE:
            SetWindowLongPtrW(hwnd, GWLP_USERDATA,
                              (LONG_PTR) reinterpret_cast<CREATESTRUCTW*>(lparam)->lpCreateParams);
            return DefWindowProcW(hwnd, message, wparam, lparam);
        case WM_PAINT:
            if (!box) break;
            paint_box(hwnd, box);
            return 0;
        case WM_LBUTTONDOWN:
        case WM_MOUSEMOVE:
        case WM_LBUTTONUP:
            if (box) on_mouse(hwnd, box, message, lparam);
            return 0;
        case WM_KEYDOWN:
            // NOTE: a key held down before the box appeared (bit 30) does not count.
            if (box && (wparam == VK_RETURN || wparam == VK_SPACE || wparam == VK_ESCAPE) &&
                !(lparam & (1 << 30)))
                box->key_down = (UINT)wparam;
            return 0;
        case WM_KEYUP:
            // NOTE: the box closes when the key is released, as a push button does: closing
            // on the press would leave the release to whatever window comes next, and a tool
            // sending the release to the box would find it gone.
            if (box && box->key_down == wparam) box->done = true;
            return 0;
        case WM_CLOSE:
            // NOTE: the modal loop destroys the box once it sees done.
            if (box) box->done = true;
            return 0;
        default:
            break;
    }
    return DefWindowProcW(hwnd, message, wparam, lparam);
}

void register_box_class() {
    static std::once_flag once;
    std::call_once(once, [] {
        WNDCLASSEXW wc = {};
        wc.cbSize = sizeof wc;
        wc.lpfnWndProc = box_proc;
        wc.hbrBackground = GetSysColorBrush(COLOR_BTNFACE);
        wc.lpszClassName = kBoxClass;
        RegisterClassExW(&wc);
    });
}

// Where the box goes: centred on the owner's top-level window, or on the screen.
POINT box_position(HWND owner, int width, int height) {
    int screen_width, screen_height;
    x11_screen_size(&screen_width, &screen_height);
    RECT area = {0, 0, screen_width, screen_height};
    if (owner) GetWindowRect(owner, &area);
    int x = area.left + (area.right - area.left - width) / 2;
    int y = area.top + (area.bottom - area.top - height) / 2;
    x = std::max(0, std::min(x, screen_width - width));
    y = std::max(0, std::min(y, screen_height - height));
    return POINT{x, y};
}

// Tells the window manager, before the box is mapped, that it is modal for the owner it is
// transient for (the owner takes no input meanwhile), so the box stays above it.
void mark_modal(HWND box_window) {
    X11Lock guard;
    X11Window* window = x11_window_locked(box_window);
    if (!window) return;
    Atom modal = x11_atoms(window->display).net_wm_state_modal;
    XChangeProperty(window->display, window->xwindow, x11_atoms(window->display).net_wm_state,
                    XA_ATOM, 32, PropModeAppend, reinterpret_cast<unsigned char*>(&modal), 1);
}

// Runs the thread's messages until the box is done; a WM_QUIT ends it and is posted again.
void run_modal_loop(HWND box_window, BoxState* box) {
    MSG msg;
    while (!box->done && IsWindow(box_window)) {
        BOOL got = GetMessageW(&msg, nullptr, 0, 0);
        if (got == 0) {
            PostQuitMessage((int)msg.wParam);
            break;
        }
        if (got < 0) break;
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
}

}  // namespace

int WINAPI MessageBoxW(HWND owner, LPCWSTR text, LPCWSTR caption, UINT type) {
    Display* display = x11_require_display();
    register_box_class();
    if (owner && !x11_check_window(owner)) return 0;
    HWND owner_top = nullptr;
    if (owner) {
        X11Lock guard;
        owner_top = x11_top_level_locked(x11_window_locked(owner))->handle;
    }
    BoxState box;
    box.icon = type & 0xF0;
    SIZE client = layout_box(display, &box, text ? text : L"");
    int width = client.cx + 2 * X11_FRAME_X;
    int height = client.cy + 2 * X11_FRAME_Y + X11_CAPTION;
    POINT at = box_position(owner_top, width, height);
    HWND previous;
    {
        X11Lock guard;
        previous = x11_thread()->active;
    }

    bool disabled_owner = owner_top && IsWindowEnabled(owner_top);
    // NOTE: modal: the owner takes no input while the box is up, yet keeps painting.
    if (disabled_owner) EnableWindow(owner_top, FALSE);
    HWND box_window = CreateWindowExW(WS_EX_DLGMODALFRAME, kBoxClass, caption ? caption : L"Error",
                                      WS_POPUP | WS_CAPTION | WS_SYSMENU, at.x, at.y, width, height,
                                      owner_top, nullptr, nullptr, &box);
    if (box_window && owner_top) mark_modal(box_window);
    if (box_window) {
        ShowWindow(box_window, SW_SHOW);
        SetFocus(box_window);
        run_modal_loop(box_window, &box);
    }
    if (disabled_owner) EnableWindow(owner_top, TRUE);
    if (box_window && IsWindow(box_window)) DestroyWindow(box_window);
    // NOTE: hand the keyboard back, as Windows activates the owner after a modal box.
    HWND back = owner_top ? owner_top : previous;
    if (back && IsWindow(back) && IsWindowVisible(back)) x11_activate(back);
    return box_window ? IDOK : 0;
}
