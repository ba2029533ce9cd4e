// Scrollbar and arrow-key frame selection.
#include "matchviewer/scroll_rules.h"

#include <gtest/gtest.h>

#include "platform/win32.h"

TEST(ScrollRules, PageSize) {
    EXPECT_EQ(scroll_page_size(0), 1);
    for (int32_t count = 1; count <= 39; ++count) EXPECT_EQ(scroll_page_size(count), 1) << count;
    EXPECT_EQ(scroll_page_size(40), 2);
    EXPECT_EQ(scroll_page_size(59), 2);
    EXPECT_EQ(scroll_page_size(1000), 50);
}

TEST(ScrollRules, EveryCode) {
    const struct {
        int code;
        int32_t cur, thumb, count, expected;
    } cases[] = {
        {SB_LINELEFT, 1, 0, 57, 1},
        {SB_LINELEFT, 10, 0, 57, 9},
        {SB_LINERIGHT, 57, 0, 57, 57},
        {SB_LINERIGHT, 80, 0, 57, 57},
        {SB_PAGELEFT, 600, 0, 1000, 550},
        {SB_PAGELEFT, 30, 0, 1000, 1},
        {SB_PAGERIGHT, 990, 0, 1000, 1000},
        {SB_PAGERIGHT, 5, 0, 39, 6},
        {SB_THUMBTRACK, 3, 42, 57, 42},
        {SB_THUMBPOSITION, 3, 70000, 100000, 70000},
        {SB_LEFT, 30, 0, 57, 1},
        {SB_RIGHT, 3, 0, 57, 57},
        {SB_ENDSCROLL, 12, 40, 57, 12},
        {99, 12, 40, 57, 12},
        {SB_LINERIGHT, INT32_MAX, 0, INT32_MAX, INT32_MAX},  // no overflow
        // No frames: the lower bound is tested first; load_frame then loads nothing.
        {SB_LINERIGHT, 1, 0, 0, 0},
        {SB_RIGHT, 1, 0, 0, 1},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(scroll_target(c.code, c.cur, c.thumb, c.count), c.expected)
            << c.code << " from " << c.cur << " of " << c.count;
    }
}

TEST(ScrollRules, ArrowKeys) {
    EXPECT_EQ(key_step_target(VK_LEFT, 1, 57), 1);
    EXPECT_EQ(key_step_target(VK_LEFT, 2, 57), 1);
    EXPECT_EQ(key_step_target(VK_RIGHT, 56, 57), 57);
    EXPECT_EQ(key_step_target(VK_RIGHT, 57, 57), 57);
    EXPECT_EQ(key_step_target('C', 5, 57), 5);
}

TEST(ClampFrameNumber, LoadsOnlyFramesThatExist) {
    EXPECT_EQ(clamp_frame_number(0, 57), 1);
    EXPECT_EQ(clamp_frame_number(-5, 57), 1);
    EXPECT_EQ(clamp_frame_number(67, 57), 57);
    EXPECT_EQ(clamp_frame_number(12, 57), 12);
    EXPECT_EQ(clamp_frame_number(1, 0), 0);
}
