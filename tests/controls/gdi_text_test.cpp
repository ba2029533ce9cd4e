// Screen capture into DIB sections (row order, overlapping windows, off-screen parts),
// device capabilities, fonts, text layout and text pixels.
#include <gtest/gtest.h>
#include <wchar.h>

#include "tests/controls/gui_support.h"
#include "tests/support/plain_class.h"
#include "tests/support/settle.h"

namespace {

constexpr COLORREF kRed = RGB(200, 0, 0), kBlue = RGB(0, 0, 200), kGreen = RGB(0, 180, 0);

// Paints the top half of its client area red and the bottom half blue.
LRESULT CALLBACK halves_proc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
    if (message != WM_PAINT) return DefWindowProcW(hwnd, message, wparam, lparam);
    PAINTSTRUCT paint;
    HDC dc = BeginPaint(hwnd, &paint);
    RECT r;
    GetClientRect(hwnd, &r);
    RECT top = {0, 0, r.right, r.bottom / 2}, bottom = {0, r.bottom / 2, r.right, r.bottom};
    HBRUSH red = CreateSolidBrush(kRed), blue = CreateSolidBrush(kBlue);
    FillRect(dc, &top, red);
    FillRect(dc, &bottom, blue);
    EndPaint(hwnd, &paint);
    DeleteObject(red);
    DeleteObject(blue);
    return 0;
}

HWND make_halves(int x, int y) {
    register_plain_class(L"Halves", halves_proc);
    HWND hwnd = CreateWindowExW(0, L"Halves", L"halves", WS_POPUP | WS_VISIBLE, x, y, 120, 80, nullptr, nullptr,
                                nullptr, nullptr);
    EXPECT_TRUE(settle_thread());
    return hwnd;
}

// Grabs 120 x 80 screen pixels at (x, y) into a section of the given row order.
std::vector<uint32_t> grab(int x, int y, bool top_down, int width = 120) {
    HDC screen = GetDC(nullptr);
    HDC memory = CreateCompatibleDC(screen);
    BITMAPINFO info = {};
    info.bmiHeader = {sizeof(BITMAPINFOHEADER), width, top_down ? -80 : 80, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
    void* bits = nullptr;
    HBITMAP section = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    EXPECT_NE(section, nullptr);
    SelectObject(memory, section);
    EXPECT_TRUE(BitBlt(memory, 0, 0, width, 80, screen, x, y, SRCCOPY));
    GdiFlush();
    std::vector<uint32_t> out(static_cast<uint32_t*>(bits), static_cast<uint32_t*>(bits) + width * 80);
    EXPECT_FALSE(DeleteObject(section));  // still selected: refused, as Win32
    ReleaseDC(nullptr, screen);
    EXPECT_TRUE(DeleteDC(memory));
    EXPECT_TRUE(DeleteObject(section));
    return out;
}

TEST(Capture, SectionRowsFollowTheirOrderWithWindowsOverlappingAndBlackOffScreen) {
    HWND halves = make_halves(200, 150);
    ASSERT_NE(halves, nullptr);
    // Bottom-up: the first row in memory is the bottom (blue) one; the pad byte is 0.
    std::vector<uint32_t> up = grab(200, 150, false);
    for (int row = 0; row < 80; ++row)
        for (int x = 0; x < 120; ++x)
            ASSERT_EQ(up[row * 120 + x], rgb_of(row < 40 ? kBlue : kRed)) << row << "," << x;
    std::vector<uint32_t> down = grab(200, 150, true);
    EXPECT_EQ(down[0], rgb_of(kRed));
    EXPECT_EQ(down[79 * 120], rgb_of(kBlue));
    // A window over the right half is captured with it.
    HWND cover = make_parent(260, 120, 200, 200, kGreen);
    POINT origin = screen_point(cover, 0, 0);
    ASSERT_LT(origin.x, 320);
    down = grab(200, 150, true);
    for (int x = 0; x < 120; ++x) EXPECT_EQ(down[10 * 120 + x], rgb_of(200 + x < origin.x ? kRed : kGreen)) << x;
    DestroyWindow(cover);
    // Left of the screen's edge the pixels come out black.
    MoveWindow(halves, 0, 150, 120, 80, TRUE);
    ASSERT_TRUE(settle_thread());
    down = grab(-20, 150, true);
    EXPECT_EQ(down[5 * 120 + 10], 0u);
    EXPECT_EQ(down[5 * 120 + 25], rgb_of(kRed));
}

TEST(Capture, SectionsAndCapsFollowWin32) {
    HDC screen = GetDC(nullptr);
    EXPECT_EQ(GetDeviceCaps(screen, LOGPIXELSY), 96);
    EXPECT_EQ(GetDeviceCaps(screen, HORZRES), GetSystemMetrics(SM_CXSCREEN));
    EXPECT_EQ(GetDeviceCaps(screen, VERTRES), GetSystemMetrics(SM_CYSCREEN));
    EXPECT_EQ(GetDeviceCaps(screen, BITSPIXEL), 32);
    BITMAPINFO info = {};
    info.bmiHeader = {sizeof(BITMAPINFOHEADER), 16, 16, 1, 24, BI_RGB, 0, 0, 0, 0, 0};
    void* bits = &info;
    EXPECT_EQ(CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0), nullptr);  // not 32 bpp
    EXPECT_EQ(bits, nullptr);
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biWidth = 0;
    EXPECT_EQ(CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0), nullptr);
    info.bmiHeader.biWidth = 4;
    HBITMAP section = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    ASSERT_NE(section, nullptr);
    EXPECT_EQ(static_cast<uint32_t*>(bits)[0], 0u);  // sections start zeroed
    EXPECT_FALSE(BitBlt(screen, 0, 0, 4, 4, screen, 0, 0, SRCCOPY));  // only into a memory DC
    EXPECT_TRUE(DeleteObject(section));
    ReleaseDC(nullptr, screen);
}

TEST(Text, FontsResolveTheirHeightsAndLayOutText) {
    HWND window = make_parent(300, 300, 300, 100, RGB(255, 255, 255));
    HDC dc = GetDC(window);
    LOGFONTW logfont = {};
    logfont.lfHeight = 13;  // cell height
    wcscpy(logfont.lfFaceName, L"Tahoma");  // falls back to a sans-serif face when missing
    HFONT cell = CreateFontIndirectW(&logfont);
    logfont.lfHeight = -13;  // character (em) height
    HFONT em = CreateFontIndirectW(&logfont);
    logfont.lfWeight = FW_BOLD;
    HFONT bold = CreateFontIndirectW(&logfont);
    TEXTMETRICW metrics;
    SelectObject(dc, cell);
    ASSERT_TRUE(GetTextMetricsW(dc, &metrics));
    EXPECT_EQ(metrics.tmHeight, 13);
    EXPECT_EQ(metrics.tmAscent + metrics.tmDescent, metrics.tmHeight);
    SIZE normal, wide, narrow;
    GetTextExtentPoint32W(dc, L"Frame", 5, &normal);
    SelectObject(dc, em);
    GetTextMetricsW(dc, &metrics);
    EXPECT_GT(metrics.tmHeight, 13);
    EXPECT_NEAR(metrics.tmInternalLeading, metrics.tmHeight - 13, 1);
    const int line = metrics.tmHeight;
    GetTextExtentPoint32W(dc, L"WWWW", 4, &wide);
    GetTextExtentPoint32W(dc, L"iiii", 4, &narrow);
    EXPECT_GT(wide.cx, 2 * narrow.cx);
    SelectObject(dc, bold);
    SIZE heavy;
    GetTextExtentPoint32W(dc, L"Frame", 5, &heavy);
    EXPECT_GT(normal.cx, 20);
    EXPECT_GT(heavy.cx, normal.cx);
    SelectObject(dc, em);
    // Layout: one line, word-wrapped lines, explicit line breaks, mnemonic prefixes.
    RECT r = {0, 0, 60, 0};
    EXPECT_EQ(DrawTextW(dc, L"one two three four", -1, &r, DT_CALCRECT | DT_SINGLELINE), line);
    EXPECT_EQ(r.right, [&] { SIZE s; GetTextExtentPoint32W(dc, L"one two three four", 18, &s); return (LONG)s.cx; }());
    r = RECT{0, 0, 60, 0};
    const int wrapped = DrawTextW(dc, L"one two three four", -1, &r, DT_CALCRECT | DT_WORDBREAK);
    EXPECT_GE(wrapped, 3 * line);
    EXPECT_EQ(wrapped % line, 0);
    EXPECT_LE(r.right, 60);
    r = RECT{0, 0, 200, 0};
    EXPECT_EQ(DrawTextW(dc, L"a\r\nb", -1, &r, DT_CALCRECT), 2 * line);
    r = RECT{0, 0, 200, 0};
    DrawTextW(dc, L"&File", -1, &r, DT_CALCRECT | DT_SINGLELINE);
    SIZE file;
    GetTextExtentPoint32W(dc, L"File", 4, &file);
    EXPECT_EQ(r.right, file.cx);

    // Pixels: centred red text stays inside its rectangle; opaque text fills its cell.
    SetTextColor(dc, kRed);
    SetBkMode(dc, TRANSPARENT);
    RECT box = {20, 20, 220, 60};
    DrawTextW(dc, L"Hello there, a long line that does not fit", -1, &box, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
    SetBkMode(dc, OPAQUE);
    SetBkColor(dc, kBlue);
    TextOutW(dc, 240, 10, L"ab", 2);
    ReleaseDC(window, dc);
    DeleteObject(cell);
    DeleteObject(em);
    DeleteObject(bold);
    ASSERT_TRUE(settle_thread());
    const POINT origin = screen_point(window, 0, 0);
    const std::vector<uint32_t> px = capture_screen(origin.x, origin.y, 300, 100);
    int inside = 0, outside = 0;
    for (int y = 0; y < 100; ++y)
        for (int x = 0; x < 240; ++x) {
            const uint32_t p = px[y * 300 + x];
            const bool reddish = ((p >> 16) & 0xFF) > 120 && (p & 0xFF) < 100 && ((p >> 8) & 0xFF) < 100;
            if (!reddish) continue;
            (x >= box.left && x < box.right && y >= box.top && y < box.bottom ? inside : outside)++;
        }
    EXPECT_GT(inside, 100);
    EXPECT_EQ(outside, 0);  // clipped to the rectangle
    EXPECT_EQ(px[10 * 300 + 240], rgb_of(kBlue));  // the opaque cell's top-left corner
    EXPECT_EQ(px[(10 + line - 1) * 300 + 240], rgb_of(kBlue));
}

}  // namespace
