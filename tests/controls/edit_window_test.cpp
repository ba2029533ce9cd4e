// The EDIT control under X as the viewer's log box: appends, the limit, the view that
// follows the end, scrolling by wheel, keys and its own bar, mouse selection, and copying
// to the X selections (read back with xclip).
#include <gtest/gtest.h>
#include <wchar.h>

#include <string>

#include "tests/controls/gui_support.h"
#include "tests/support/settle.h"

namespace {

struct EditFixture : ::testing::Test {
    HWND parent = nullptr;
    HWND edit = nullptr;
    int line_height = 0;
    void SetUp() override {
        parent = make_parent(100, 100, 400, 200, RGB(212, 208, 200));
        HDC screen = GetDC(nullptr);
        LOGFONTW logfont = {};
        logfont.lfHeight = MulDiv(10, GetDeviceCaps(screen, LOGPIXELSY), 72);
        logfont.lfWeight = FW_NORMAL;
        wcscpy(logfont.lfFaceName, L"Tahoma");
        HFONT font = CreateFontIndirectW(&logfont);
        SelectObject(screen, font);
        TEXTMETRICW metrics;
        GetTextMetricsW(screen, &metrics);
        line_height = metrics.tmHeight;
        ReleaseDC(nullptr, screen);
        // The viewer's log box: WS_CHILD | WS_VISIBLE | WS_VSCROLL | ES_MULTILINE |
        // ES_AUTOVSCROLL | ES_READONLY with a client edge.
        edit = CreateWindowExW(WS_EX_CLIENTEDGE, L"EDIT", L"", 0x50200844, 0, 0, 400, 150, parent, nullptr, nullptr,
                               nullptr);
        ASSERT_NE(edit, nullptr);
        SendMessageW(edit, WM_SETFONT, (WPARAM)font, FALSE);
        ASSERT_TRUE(settle_thread());
    }
    // The viewer's append: an empty selection at the end, then a replacement.
    void append(const std::wstring& text) {
        const int n = GetWindowTextLengthW(edit);
        SendMessageW(edit, EM_SETSEL, n, n);
        SendMessageW(edit, EM_REPLACESEL, 0, (LPARAM)text.c_str());
    }
    std::wstring text() {
        std::wstring out((size_t)GetWindowTextLengthW(edit) + 1, L'\0');
        out.resize((size_t)GetWindowTextW(edit, &out[0], (int)out.size()));
        return out;
    }
    int visible_rows() { return (150 - 4 - 1) / line_height; }  // inside the edge and top margin
    std::string at(int x, int y) {
        const POINT p = screen_point(edit, x, y);
        return std::to_string(p.x) + " " + std::to_string(p.y);
    }
    int first_visible() { return (int)SendMessageW(edit, EM_GETFIRSTVISIBLELINE, 0, 0); }
};

TEST_F(EditFixture, AppendsGoToTheEndAndTheViewFollowsTheLastLine) {
    EXPECT_EQ(line_height, 13);  // a positive LOGFONT height is the cell height
    append(L"57 frames\r\n");
    append(L"Frame No 1: 3 world points\r\n");
    EXPECT_EQ(text(), L"57 frames\r\nFrame No 1: 3 world points\r\n");
    EXPECT_EQ(GetWindowTextLengthW(edit), 39);
    DWORD start = 0, end = 0;
    SendMessageW(edit, EM_GETSEL, (WPARAM)&start, (LPARAM)&end);
    EXPECT_EQ(start, 39u);
    EXPECT_EQ(end, 39u);
    EXPECT_EQ(SendMessageW(edit, EM_GETLINECOUNT, 0, 0), 3);
    EXPECT_EQ(first_visible(), 0);
    for (int i = 2; i <= 100; ++i) append(L"Frame No " + std::to_wstring(i) + L": 3 world points\r\n");
    const int lines = (int)SendMessageW(edit, EM_GETLINECOUNT, 0, 0);
    EXPECT_EQ(lines, 102);
    // The caret's (empty) last line is the bottom row, the last text line just above it.
    EXPECT_EQ(first_visible(), lines - visible_rows());
    ASSERT_TRUE(settle_thread());
    // The last text line is painted: dark text pixels in its row, none in the empty row.
    const int last_row_y = 3 + (visible_rows() - 2) * line_height;
    const POINT p = screen_point(edit, 2, last_row_y);
    const std::vector<uint32_t> row = capture_screen(p.x, p.y, 200, line_height * 2);
    int dark_text_row = 0, dark_empty_row = 0;
    for (size_t i = 0; i < row.size(); ++i)
        if ((row[i] & 0xFF) < 80) (i < row.size() / 2 ? dark_text_row : dark_empty_row)++;
    EXPECT_GT(dark_text_row, 40);
    EXPECT_EQ(dark_empty_row, 0);
}

TEST_F(EditFixture, LimitCutsWhatDoesNotFitAndAtTheLimitTakesNothing) {
    EXPECT_EQ(SendMessageW(edit, EM_GETLIMITTEXT, 0, 0), 30000);
    SendMessageW(edit, EM_LIMITTEXT, 10, 0);
    append(L"abcdef");
    append(L"ghijkl");
    EXPECT_EQ(text(), L"abcdefghij");
    append(L"x");
    EXPECT_EQ(GetWindowTextLengthW(edit), 10);
    // SetWindowText is not bound by the limit (the viewer's fallback relies on it).
    SetWindowTextW(edit, L"a text longer than ten");
    EXPECT_EQ(GetWindowTextLengthW(edit), 22);
    SendMessageW(edit, EM_LIMITTEXT, 0, 0);
    EXPECT_EQ(SendMessageW(edit, EM_GETLIMITTEXT, 0, 0), 0x7FFFFFFE);
    wchar_t small[5];
    EXPECT_EQ(GetWindowTextW(edit, small, 5), 4);
    EXPECT_STREQ(small, L"a te");
}

TEST_F(EditFixture, CtrlACtrlCPutsTheWholeTextOnTheClipboardAndSelectionsOnPrimary) {
    append(L"Frame No 1: 120 world points\r\nFrame No 2: 80 world points\r\n");
    ASSERT_TRUE(xdotool("mousemove " + at(100, 40) + " click 1"));
    EXPECT_EQ(GetFocus(), edit);
    ASSERT_TRUE(xdotool("key ctrl+a ctrl+c"));
    const std::string whole = "Frame No 1: 120 world points\nFrame No 2: 80 world points\n";
    EXPECT_EQ(shell_output("xclip -o -selection clipboard"), whole);
    EXPECT_EQ(shell_output("xclip -o -selection primary"), whole);
    const std::string targets = shell_output("xclip -o -selection clipboard -t TARGETS");
    EXPECT_NE(targets.find("UTF8_STRING"), std::string::npos);
    EXPECT_NE(targets.find("STRING"), std::string::npos);
    EXPECT_EQ(shell_output("xclip -o -selection clipboard -t STRING"), whole);
    // A double-click selects a word for PRIMARY; the clipboard keeps its copy.
    ASSERT_TRUE(xdotool("mousemove " + at(4 + 3, 3 + 13 + 6) + " click --repeat 2 --delay 80 1"));
    EXPECT_EQ(shell_output("xclip -o -selection primary"), "Frame");
    EXPECT_EQ(shell_output("xclip -o -selection clipboard"), whole);
    // A dragged selection of the first row's start.
    ASSERT_TRUE(xdotool("mousemove " + at(4, 9) + " mousedown 1 mousemove " + at(60, 9) + " mouseup 1"));
    DWORD start = 9, end = 0;
    SendMessageW(edit, EM_GETSEL, (WPARAM)&start, (LPARAM)&end);
    EXPECT_EQ(start, 0u);
    EXPECT_GT(end, 3u);
    EXPECT_LT(end, 15u);
}

TEST_F(EditFixture, CopiedTextIsWellFormedUtf8WithLineFeeds) {
    // Two-byte, three-byte and astral characters; a UTF-16 pair stored in two wchar_t; a lone
    // surrogate, which has no UTF-8 form and is copied as U+FFFD.
    std::wstring line = L"\u00E9 \u20AC \U0001F600 ";
    line += (wchar_t)0xD83D;
    line += (wchar_t)0xDE00;
    line += L' ';
    line += (wchar_t)0xD800;
    append(line + L"\r\nend");
    ASSERT_TRUE(xdotool("mousemove " + at(100, 40) + " click 1"));
    ASSERT_TRUE(xdotool("key ctrl+a ctrl+c"));
    EXPECT_EQ(shell_output("xclip -o -selection clipboard"),
              "\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x98\x80 \xF0\x9F\x98\x80 \xEF\xBF\xBD\nend");
}

TEST_F(EditFixture, MegabytesOfLogAreCopiedInChunks) {
    std::wstring big;
    std::string expected;
    for (int i = 0; big.size() < 3000000; ++i) {
        const std::string line = "Frame No " + std::to_string(i) + ": 120 world points; 45 of 80 match points";
        big += std::wstring(line.begin(), line.end()) + L"\r\n";
        expected += line + "\n";
    }
    SendMessageW(edit, EM_LIMITTEXT, 0, 0);
    SetWindowTextW(edit, big.c_str());
    ASSERT_TRUE(xdotool("mousemove " + at(100, 40) + " click 1 key ctrl+a ctrl+c"));
    const std::string pasted = shell_output("xclip -o -selection clipboard");
    EXPECT_EQ(pasted.size(), expected.size());
    EXPECT_TRUE(pasted == expected);
}

TEST_F(EditFixture, WheelKeysAndItsOwnBarScrollTheView) {
    for (int i = 1; i <= 100; ++i) append(L"line " + std::to_wstring(i) + L"\r\n");
    const int bottom = 101 - visible_rows();
    EXPECT_EQ(first_visible(), bottom);
    ASSERT_TRUE(xdotool("mousemove " + at(100, 60) + " click 4"));  // wheel up one notch
    EXPECT_EQ(first_visible(), bottom - 3);
    ASSERT_TRUE(xdotool("click 1 key ctrl+Home"));
    EXPECT_EQ(first_visible(), 0);
    ASSERT_TRUE(xdotool("key ctrl+End"));
    EXPECT_EQ(first_visible(), bottom);
    ASSERT_TRUE(xdotool("key Prior"));
    EXPECT_EQ(first_visible(), bottom - visible_rows());
    // The edit's own bar: the up arrow steps a row, the thumb dragged to the top scrolls there.
    const int bar_x = 400 - 2 - 8;
    ASSERT_TRUE(xdotool("mousemove " + at(bar_x, 6) + " click 1"));
    EXPECT_EQ(first_visible(), bottom - visible_rows() - 1);
    SendMessageW(edit, EM_LINESCROLL, 0, 1000);
    EXPECT_EQ(first_visible(), bottom);
    ASSERT_TRUE(settle_thread());
    ASSERT_TRUE(xdotool("mousemove " + at(bar_x, 150 - 2 - 17 - 4) + " mousedown 1 mousemove " + at(bar_x, 20) +
                        " mousemove " + at(bar_x, 0) + " mouseup 1"));
    EXPECT_EQ(first_visible(), 0);
}

}  // namespace
