// Scrollbar and arrow-key frame selection.
#include "matchviewer/scroll_rules.h"

#include <gtest/gtest.h>

#include "platform/win32.h"

TEST(ScrollRules, PageSize) {
    EXPECT_EQ(scroll_page_size(0), 1);
    for (int32_t count = 1; count <= 39; ++count) EXPECT_EQ(scroll_page_size(count), 1) << count;
    EXPECT_EQ(scroll_page_size(40), 2);
    EXPECT_EQ(scroll_page_size(59), 2);
    EXPECT_EQ(scroll_page_size(60), 3);
    EXPECT_EQ(scroll_page_size(1000), 50);
}

TEST(ScrollRules, LineAndPageStepsAreClamped) {
    EXPECT_EQ(scroll_target(SB_LINELEFT, 1, 0, 57), 1);
    EXPECT_EQ(scroll_target(SB_LINELEFT, 10, 0, 57), 9);
    EXPECT_EQ(scroll_target(SB_LINERIGHT, 10, 0, 57), 11);
    EXPECT_EQ(scroll_target(SB_LINERIGHT, 57, 0, 57), 57);
    EXPECT_EQ(scroll_target(SB_PAGELEFT, 600, 0, 1000), 550);
    EXPECT_EQ(scroll_target(SB_PAGELEFT, 30, 0, 1000), 1);
    EXPECT_EQ(scroll_target(SB_PAGERIGHT, 600, 0, 1000), 650);
    EXPECT_EQ(scroll_target(SB_PAGERIGHT, 990, 0, 1000), 1000);
    EXPECT_EQ(scroll_target(SB_PAGERIGHT, 5, 0, 39), 6);
    // A position outside the range comes back inside.
    EXPECT_EQ(scroll_target(SB_LINERIGHT, 80, 0, 57), 57);
    EXPECT_EQ(scroll_target(SB_LINELEFT, -4, 0, 57), 1);
    // No overflow at the extremes.
    EXPECT_EQ(scroll_target(SB_LINERIGHT, INT32_MAX, 0, INT32_MAX), INT32_MAX);
    EXPECT_EQ(scroll_target(SB_PAGELEFT, INT32_MIN, 0, 100), 1);
}

TEST(ScrollRules, EndsThumbAndOtherCodes) {
    EXPECT_EQ(scroll_target(SB_LEFT, 1, 0, 57), 1);
    EXPECT_EQ(scroll_target(SB_LEFT, 30, 0, 57), 1);
    EXPECT_EQ(scroll_target(SB_RIGHT, 3, 0, 57), 57);
    EXPECT_EQ(scroll_target(SB_THUMBTRACK, 3, 42, 57), 42);
    EXPECT_EQ(scroll_target(SB_THUMBPOSITION, 3, 42, 57), 42);
    // A 32-bit track position reaches frames beyond 65535.
    EXPECT_EQ(scroll_target(SB_THUMBTRACK, 3, 70000, 100000), 70000);
    EXPECT_EQ(scroll_target(SB_ENDSCROLL, 12, 40, 57), 12);
    EXPECT_EQ(scroll_target(99, 12, 40, 57), 12);
    // With no frames: the lower bound is tested first, so 0 stays 0 after the upper bound
    // and SB_RIGHT gives 1; load_frame loads nothing for either (clamp_frame_number 0).
    EXPECT_EQ(scroll_target(SB_LINERIGHT, 1, 0, 0), 0);
    EXPECT_EQ(scroll_target(SB_RIGHT, 1, 0, 0), 1);
}

TEST(ScrollRules, ArrowKeys) {
    EXPECT_EQ(key_step_target(VK_LEFT, 1, 57), 1);
    EXPECT_EQ(key_step_target(VK_LEFT, 2, 57), 1);
    EXPECT_EQ(key_step_target(VK_RIGHT, 56, 57), 57);
    EXPECT_EQ(key_step_target(VK_RIGHT, 57, 57), 57);
    EXPECT_EQ(key_step_target(VK_UP, 5, 57), 5);
    EXPECT_EQ(key_step_target('C', 5, 57), 5);
    EXPECT_EQ(key_step_target(VK_RIGHT, 1, 1), 1);
}
