// The SCROLLBAR control under X: real clicks, holds, drags and keys give the parent the
// WM_HSCROLL codes and positions in order; the position calls work from any thread; the
// thumb is drawn where the position says.
#include <gtest/gtest.h>
#include <limits.h>

#include <thread>

#include "tests/controls/gui_support.h"
#include "tests/support/settle.h"

#ifndef WS_TABSTOP
#define WS_TABSTOP 0x00010000L
#endif

namespace {

constexpr int kWidth = 400;  // the WS_VSCROLL bar 17 at the right end; then arrows 15, track
                             // 353, thumb 15 for page 0

struct BarFixture : ::testing::Test {
    HWND parent = nullptr;
    HWND bar = nullptr;
    void SetUp() override {
        parent = make_parent(100, 100, kWidth, 60, RGB(255, 255, 255));
        // The viewer's frame bar: WS_CHILD | WS_VISIBLE | WS_VSCROLL, no SBS_ bit.
        bar = CreateWindowExW(0, L"SCROLLBAR", L"", 0x50200000, 0, 20, kWidth, 15, parent, nullptr, nullptr, nullptr);
        ASSERT_NE(bar, nullptr);
        SetScrollRange(bar, SB_CTL, 1, 100, FALSE);
        SetScrollPos(bar, SB_CTL, 50, TRUE);
        ASSERT_TRUE(settle_thread());
        scroll_events().clear();
    }
    // xdotool coordinates of a point of the bar.
    std::string at(int x, int y = 7) {
        const POINT p = screen_point(bar, x, y);
        return std::to_string(p.x) + " " + std::to_string(p.y);
    }
    // The screen pixels of a strip kWidth wide and `rows` high from the bar's top-left
    // corner, read once the thread has settled.
    std::vector<uint32_t> settled_pixels(int rows) {
        EXPECT_TRUE(settle_thread());
        const POINT origin = screen_point(bar, 0, 0);
        std::vector<uint32_t> px = capture_screen(origin.x, origin.y, kWidth, rows);
        EXPECT_EQ(px.size(), (size_t)kWidth * rows);
        px.resize((size_t)kWidth * rows);
        return px;
    }
    std::vector<int> codes() {
        std::vector<int> out;
        for (const ScrollEvent& e : scroll_events()) out.push_back(e.code);
        return out;
    }
};

TEST_F(BarFixture, ClicksOnEachPartSendTheirCodeThenEndScroll) {
    // Position 50: the thumb covers x 182..196; the right arrow x 368..382.
    const struct {
        int x;
        int code;
    } parts[] = {{7, SB_LINELEFT}, {375, SB_LINERIGHT}, {100, SB_PAGELEFT}, {300, SB_PAGERIGHT}};
    for (const auto& part : parts) {
        scroll_events().clear();
        ASSERT_TRUE(xdotool("mousemove " + at(part.x) + " click 1"));
        EXPECT_EQ(codes(), (std::vector<int>{part.code, SB_ENDSCROLL})) << "x " << part.x;
        for (const ScrollEvent& e : scroll_events()) EXPECT_EQ(e.control, bar);
    }
    // The bar leaves its position to the parent.
    EXPECT_EQ(GetScrollPos(bar, SB_CTL), 50);
    // Without WS_TABSTOP a click leaves the keyboard focus where it was.
    EXPECT_NE(GetFocus(), bar);
}

TEST_F(BarFixture, HeldArrowRepeatsUntilReleased) {
    // Held until six repeats have come, however long the machine takes for them.
    ASSERT_TRUE(xdotool("mousemove " + at(375) + " mousedown 1"));
    const auto repeats = [&] {
        const std::vector<int> got = codes();
        return std::count(got.begin(), got.end(), SB_LINERIGHT);
    };
    ASSERT_TRUE(pump_until([&] { return repeats() >= 7; }, 20000));
    ASSERT_TRUE(xdotool("mouseup 1"));
    const std::vector<int> got = codes();
    EXPECT_EQ(got.back(), SB_ENDSCROLL);
    EXPECT_EQ(repeats() + 1, (long)got.size());
    // One at the press, the first repeat 400 ms later, then one each 50 ms at the most (timers
    // never fire early; the margin is the millisecond between arming a timer and the message).
    const std::vector<ScrollEvent> events = scroll_events();
    EXPECT_GE(events[1].tick - events[0].tick, 395u);
    for (size_t i = 2; i + 1 < events.size(); ++i) EXPECT_GE(events[i].tick - events[i - 1].tick, 45u) << i;
}

TEST_F(BarFixture, ThumbDragTracksFull32BitPositionsThenReportsTheLastOne) {
    SetScrollRange(bar, SB_CTL, 1, 100000, FALSE);
    SetScrollPos(bar, SB_CTL, 1, TRUE);
    ASSERT_TRUE(settle_thread());
    scroll_events().clear();
    ASSERT_TRUE(xdotool("mousemove " + at(22) + " mousedown 1 mousemove " + at(100) + " sleep 0.1 mousemove " +
                        at(200) + " sleep 0.1 mousemove " + at(300) + " sleep 0.1 mousemove " + at(396, 30) +
                        " sleep 0.1 mouseup 1"));
    const std::vector<ScrollEvent> events = scroll_events();
    ASSERT_EQ(events.size(), 6u);
    int previous = 1;
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(events[i].code, SB_THUMBTRACK);
        EXPECT_GT(events[i].track_pos, previous);
        EXPECT_EQ(events[i].short_pos, events[i].track_pos & 0xFFFF);  // 16-bit field, as Win32
        previous = events[i].track_pos;
    }
    EXPECT_EQ(events[3].track_pos, 100000);  // dragged past the end: the last position
    EXPECT_EQ(events[4].code, SB_THUMBPOSITION);
    EXPECT_EQ(events[4].short_pos, 100000 & 0xFFFF);
    EXPECT_EQ(events[5].code, SB_ENDSCROLL);
    EXPECT_EQ(GetScrollPos(bar, SB_CTL), 1);  // the parent did not set it
}

TEST_F(BarFixture, FocusedBarTurnsKeysIntoScrollCodes) {
    HWND focusable = CreateWindowExW(0, L"SCROLLBAR", L"", 0x50200000 | WS_TABSTOP, 0, 40, kWidth, 15, parent,
                                     nullptr, nullptr, nullptr);
    SetScrollRange(focusable, SB_CTL, 1, 100, FALSE);
    ASSERT_TRUE(settle_thread());
    const POINT p = screen_point(focusable, 375, 7);
    ASSERT_TRUE(xdotool("mousemove " + std::to_string(p.x) + " " + std::to_string(p.y) + " click 1"));
    EXPECT_EQ(GetFocus(), focusable);
    scroll_events().clear();
    ASSERT_TRUE(xdotool("key Left Right Home End Prior Next"));
    EXPECT_EQ(codes(), (std::vector<int>{SB_LINELEFT, SB_ENDSCROLL, SB_LINERIGHT, SB_ENDSCROLL, SB_LEFT,
                                         SB_ENDSCROLL, SB_RIGHT, SB_ENDSCROLL, SB_PAGELEFT, SB_ENDSCROLL,
                                         SB_PAGERIGHT, SB_ENDSCROLL}));
}

TEST_F(BarFixture, PositionAndRangeCallsFollowWin32FromAnyThread) {
    EXPECT_EQ(SetScrollPos(bar, SB_CTL, 40, TRUE), 50);
    EXPECT_EQ(GetScrollPos(bar, SB_CTL), 40);
    EXPECT_EQ(SetScrollPos(bar, SB_CTL, 500, TRUE), 40);
    EXPECT_EQ(GetScrollPos(bar, SB_CTL), 100);  // clamped into the range
    EXPECT_TRUE(SetScrollRange(bar, SB_CTL, 1, 20, TRUE));
    EXPECT_EQ(GetScrollPos(bar, SB_CTL), 20);
    int lo = 0, hi = 0;
    // A maximum below the minimum (an empty frame file): the range becomes 0..0 and the
    // position 0, and the viewer's steps then see 0 as Windows gives it to them.
    EXPECT_TRUE(SetScrollRange(bar, SB_CTL, 1, 0, FALSE));
    EXPECT_TRUE(GetScrollRange(bar, SB_CTL, &lo, &hi));
    EXPECT_EQ(lo, 0);
    EXPECT_EQ(hi, 0);
    EXPECT_EQ(GetScrollPos(bar, SB_CTL), 0);
    EXPECT_EQ(SetScrollPos(bar, SB_CTL, 1, TRUE), 0);
    EXPECT_EQ(GetScrollPos(bar, SB_CTL), 0);
    SCROLLINFO empty = {sizeof(empty), SIF_RANGE | SIF_POS, 3, 2, 0, 3, 0};
    EXPECT_EQ(SetScrollInfo(bar, SB_CTL, &empty, TRUE), 0);
    // A span beyond MAXLONG is refused and changes nothing.
    EXPECT_TRUE(SetScrollRange(bar, SB_CTL, 1, 1, FALSE));
    EXPECT_FALSE(SetScrollRange(bar, SB_CTL, -1, INT_MAX, FALSE));
    GetScrollRange(bar, SB_CTL, &lo, &hi);
    EXPECT_EQ(hi, 1);
    SCROLLINFO info = {sizeof(info), SIF_RANGE | SIF_PAGE | SIF_POS, 0, 99, 10, 95, 0};
    EXPECT_EQ(SetScrollInfo(bar, SB_CTL, &info, TRUE), 90);  // last position: 99 - (10 - 1)
    SCROLLINFO got = {sizeof(got), SIF_ALL, -1, -1, 0, -1, -1};
    EXPECT_TRUE(GetScrollInfo(bar, SB_CTL, &got));
    EXPECT_EQ(got.nMin, 0);
    EXPECT_EQ(got.nMax, 99);
    EXPECT_EQ(got.nPage, 10u);
    EXPECT_EQ(got.nPos, 90);
    EXPECT_EQ(got.nTrackPos, 90);
    // Another thread reaches the control through its owner's message loop.
    int from_thread = -1, previous = -1;
    std::thread other([&] {
        previous = SetScrollPos(bar, SB_CTL, 33, TRUE);
        from_thread = GetScrollPos(bar, SB_CTL);
    });
    pump_until([&] { return from_thread >= 0; });
    other.join();
    EXPECT_EQ(previous, 90);
    EXPECT_EQ(from_thread, 33);
    EXPECT_EQ(GetScrollPos(nullptr, SB_CTL), 0);
}

TEST_F(BarFixture, ThumbIsDrawnAtThePositionWithClassicParts) {
    SetScrollPos(bar, SB_CTL, 100, TRUE);
    const std::vector<uint32_t> px = settled_pixels(15);
    auto at = [&](int x, int y) { return px[(size_t)y * kWidth + x]; };
    const uint32_t face = rgb_of(GetSysColor(COLOR_BTNFACE)), light = rgb_of(GetSysColor(COLOR_BTNHIGHLIGHT));
    // The thumb (353..367 at the last position) has a face-coloured middle and a dark edge.
    EXPECT_EQ(at(360, 7), face);
    EXPECT_EQ(at(367, 7), rgb_of(GetSysColor(COLOR_3DDKSHADOW)));
    // Where the thumb stood before, the dithered track: neighbours alternate.
    EXPECT_NE(at(198, 7), at(199, 7));
    EXPECT_TRUE((at(198, 7) == face && at(199, 7) == light) || (at(198, 7) == light && at(199, 7) == face));
    // The arrows carry black triangles in their middle.
    EXPECT_EQ(at(7, 7), rgb_of(GetSysColor(COLOR_BTNTEXT)));
    EXPECT_EQ(at(375, 7), rgb_of(GetSysColor(COLOR_BTNTEXT)));
}

TEST_F(BarFixture, WindowStyleScrollBarSitsAtTheRightEndAndTakesNoClicks) {
    // The same bar without WS_VSCROLL reaches the right end itself.
    HWND plain = CreateWindowExW(0, L"SCROLLBAR", L"", WS_CHILD | WS_VISIBLE, 0, 40, kWidth, 15, parent, nullptr,
                                 nullptr, nullptr);
    ASSERT_NE(plain, nullptr);
    SetScrollRange(plain, SB_CTL, 1, 100, FALSE);
    SetScrollPos(plain, SB_CTL, 50, TRUE);
    const std::vector<uint32_t> px = settled_pixels(35);
    auto pixel = [&](int x, int y) { return px[(size_t)y * kWidth + x]; };
    const uint32_t text = rgb_of(GetSysColor(COLOR_BTNTEXT)), face = rgb_of(GetSysColor(COLOR_BTNFACE));
    const uint32_t dark = rgb_of(GetSysColor(COLOR_3DDKSHADOW));
    // The vertical bar (x 383..399): an up and a down arrow of 7 rows each, with black
    // glyphs (its range 0..100 can scroll), each button framed by a dark bottom-right edge.
    EXPECT_EQ(pixel(391, 3), text);
    EXPECT_EQ(pixel(391, 11), text);
    EXPECT_EQ(pixel(399, 3), dark);
    EXPECT_EQ(pixel(391, 6), dark);
    EXPECT_EQ(pixel(391, 14), dark);
    // The control's own bar ends left of it: its right arrow's dark edge at 382.
    EXPECT_EQ(pixel(382, 7), dark);
    EXPECT_EQ(pixel(375, 7), text);
    // Without the style the right arrow's glyph is at 392, its edge at 399.
    EXPECT_EQ(pixel(392, 20 + 7), text);
    EXPECT_EQ(pixel(399, 20 + 7), dark);
    EXPECT_EQ(pixel(391, 20 + 3), face);

    // A click on the vertical bar tells the parent nothing; the plain bar's right end is
    // its right arrow.
    scroll_events().clear();
    ASSERT_TRUE(xdotool("mousemove " + at(391, 3) + " click 1 mousemove " + at(391, 11) + " click 1"));
    EXPECT_TRUE(codes().empty());
    const POINT end = screen_point(plain, 395, 7);
    ASSERT_TRUE(xdotool("mousemove " + std::to_string(end.x) + " " + std::to_string(end.y) + " click 1"));
    EXPECT_EQ(codes(), (std::vector<int>{SB_LINERIGHT, SB_ENDSCROLL}));
    for (const ScrollEvent& e : scroll_events()) EXPECT_EQ(e.control, plain);
    DestroyWindow(plain);
}

}  // namespace
