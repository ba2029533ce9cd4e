// Scroll bar arithmetic: ranges, geometry, hit testing and the press/drag/repeat cycle.
#include "platform/x11/scrollbar_model.h"

#include <gtest/gtest.h>
#include <limits.h>

#include "platform/win32.h"

namespace {

// A horizontal bar 200 x 15 with frames 1..100, like the viewer's frame bar.
ScrollBarModel frame_bar() {
    ScrollBarModel bar;
    bar.length = 200;
    bar.thickness = 15;
    scroll_bar_set_range(bar, 1, 100);
    scroll_bar_set_pos(bar, 1);
    return bar;
}

TEST(ScrollBarModel, RangesFollowWin32IncludingMaximumBelowMinimum) {
    EXPECT_TRUE(scroll_bar_range_allowed(0, INT_MAX));
    EXPECT_FALSE(scroll_bar_range_allowed(-1, INT_MAX));
    EXPECT_TRUE(scroll_bar_range_allowed(INT_MIN, -1));
    EXPECT_FALSE(scroll_bar_range_allowed(INT_MIN, 0));
    EXPECT_TRUE(scroll_bar_range_allowed(1, 0));

    ScrollBarModel bar = frame_bar();
    EXPECT_EQ(scroll_bar_set_pos(bar, 40), 1);
    EXPECT_EQ(bar.pos, 40);
    // A range change clamps the position into it.
    scroll_bar_set_range(bar, 1, 20);
    EXPECT_EQ(bar.pos, 20);
    // 1..0 (an empty frame file) is invalid and becomes 0..0: no thumb, every position
    // clamps to 0.
    scroll_bar_set_range(bar, 1, 0);
    EXPECT_EQ(bar.min_pos, 0);
    EXPECT_EQ(bar.max_pos, 0);
    EXPECT_EQ(bar.pos, 0);
    EXPECT_EQ(scroll_bar_set_pos(bar, 5), 0);
    EXPECT_EQ(bar.pos, 0);
    EXPECT_EQ(scroll_bar_set_pos(bar, -3), 0);
    EXPECT_EQ(bar.pos, 0);
    EXPECT_FALSE(scroll_bar_can_scroll(bar));
    EXPECT_EQ(scroll_bar_layout(bar).thumb_length, 0);
    // Also away from zero, and with a page: the page shrinks to the one position.
    scroll_bar_set_range(bar, 5, 10);
    scroll_bar_set_page(bar, 3);
    scroll_bar_set_pos(bar, 8);
    scroll_bar_set_range(bar, 7, 5);
    EXPECT_EQ(bar.min_pos, 0);
    EXPECT_EQ(bar.max_pos, 0);
    EXPECT_EQ(bar.page, 1u);
    EXPECT_EQ(bar.pos, 0);
    // A range of one position stays as given.
    scroll_bar_set_range(bar, 7, 7);
    EXPECT_EQ(bar.min_pos, 7);
    EXPECT_EQ(bar.pos, 7);
}

TEST(ScrollBarModel, PageLimitsTheLastPositionAndSizesTheThumb) {
    ScrollBarModel bar = frame_bar();
    scroll_bar_set_range(bar, 5, 10);
    scroll_bar_set_page(bar, 3);
    EXPECT_EQ(scroll_bar_last_pos(bar), 8);
    EXPECT_EQ(scroll_bar_set_pos(bar, 11), 5);
    EXPECT_EQ(bar.pos, 8);
    scroll_bar_set_page(bar, 100);  // at most the number of positions
    EXPECT_EQ(bar.page, 6u);
    EXPECT_EQ(bar.pos, 5);
    EXPECT_FALSE(scroll_bar_can_scroll(bar));

    ScrollBarModel paged = frame_bar();
    scroll_bar_set_range(paged, 0, 99);
    scroll_bar_set_page(paged, 10);
    EXPECT_EQ(scroll_bar_layout(paged).thumb_length, 17);  // 170 * 10 / 100
    scroll_bar_set_page(paged, 1);
    EXPECT_EQ(scroll_bar_layout(paged).thumb_length, SCROLL_MIN_THUMB);
}

TEST(ScrollBarModel, GeometryPlacesArrowsTrackAndThumb) {
    ScrollBarModel bar = frame_bar();
    ScrollBarLayout layout = scroll_bar_layout(bar);
    EXPECT_EQ(layout.arrow, 15);
    EXPECT_EQ(layout.thumb_length, 15);
    EXPECT_EQ(layout.thumb_start, 15);
    scroll_bar_set_pos(bar, 100);
    EXPECT_EQ(scroll_bar_layout(bar).thumb_start, 170);
    scroll_bar_set_pos(bar, 50);
    EXPECT_EQ(scroll_bar_layout(bar).thumb_start, 92);  // 15 + 155 * 49 / 99, rounded

    EXPECT_EQ(scroll_bar_hit(bar, 5, 7), SCROLL_ARROW_BACK);
    EXPECT_EQ(scroll_bar_hit(bar, 195, 7), SCROLL_ARROW_FORWARD);
    EXPECT_EQ(scroll_bar_hit(bar, 50, 7), SCROLL_TRACK_BACK);
    EXPECT_EQ(scroll_bar_hit(bar, 99, 7), SCROLL_THUMB);
    EXPECT_EQ(scroll_bar_hit(bar, 150, 7), SCROLL_TRACK_FORWARD);
    EXPECT_EQ(scroll_bar_hit(bar, 150, 15), SCROLL_NOWHERE);
    EXPECT_EQ(scroll_bar_hit(bar, -1, 7), SCROLL_NOWHERE);
    // Thumb positions map back to the positions they show.
    for (int pos : {1, 2, 37, 50, 99, 100}) {
        scroll_bar_set_pos(bar, pos);
        EXPECT_EQ(scroll_bar_pos_from_thumb(bar, scroll_bar_layout(bar).thumb_start), pos);
    }

    // A bar shorter than two arrows: the arrows share it and there is no thumb.
    ScrollBarModel tiny = frame_bar();
    tiny.length = 20;
    EXPECT_EQ(scroll_bar_layout(tiny).arrow, 10);
    EXPECT_EQ(scroll_bar_layout(tiny).thumb_length, 0);
    EXPECT_EQ(scroll_bar_hit(tiny, 12, 3), SCROLL_ARROW_FORWARD);
}

TEST(ScrollBarModel, ThumbDragTracksAndReleasesWithThePosition) {
    ScrollBarModel bar = frame_bar();
    EXPECT_EQ(scroll_bar_press(bar, 20, 7), -1);  // on the thumb (15..29)
    EXPECT_TRUE(bar.dragging);
    EXPECT_FALSE(scroll_bar_repeats(bar));
    ScrollBarAction action = {-1, -1};
    ASSERT_TRUE(scroll_bar_motion(bar, 97, 7, &action));  // thumb start 92
    EXPECT_EQ(action.code, SB_THUMBTRACK);
    EXPECT_EQ(action.pos, 50);
    EXPECT_EQ(bar.pos, 1);  // the owner sets the position, not the bar
    EXPECT_EQ(scroll_bar_layout(bar).thumb_start, 92);  // the dragged thumb follows the pointer
    EXPECT_FALSE(scroll_bar_motion(bar, 97, 7, &action));  // same position: nothing to send
    ASSERT_TRUE(scroll_bar_motion(bar, 500, 40, &action));  // far past the end
    EXPECT_EQ(action.pos, 100);
    ScrollBarAction out[2];
    ASSERT_EQ(scroll_bar_release(bar, out), 2);
    EXPECT_EQ(out[0].code, SB_THUMBPOSITION);
    EXPECT_EQ(out[0].pos, 100);
    EXPECT_EQ(out[1].code, SB_ENDSCROLL);
    EXPECT_FALSE(bar.dragging);
    EXPECT_EQ(scroll_bar_release(bar, out), 0);  // nothing pressed any more
}

TEST(ScrollBarModel, ArrowsAndTrackRepeatWhileThePointerStaysOnThem) {
    ScrollBarModel bar = frame_bar();
    scroll_bar_set_pos(bar, 50);
    EXPECT_EQ(scroll_bar_press(bar, 5, 7), SB_LINELEFT);
    EXPECT_TRUE(scroll_bar_repeats(bar));
    EXPECT_EQ(scroll_bar_repeat(bar, 6, 8), SB_LINELEFT);
    EXPECT_EQ(scroll_bar_repeat(bar, 60, 8), -1);  // moved off the arrow: paused
    EXPECT_FALSE(bar.hot);
    EXPECT_EQ(scroll_bar_repeat(bar, 4, 8), SB_LINELEFT);  // back on it: resumes
    ScrollBarAction out[2];
    ASSERT_EQ(scroll_bar_release(bar, out), 1);
    EXPECT_EQ(out[0].code, SB_ENDSCROLL);

    EXPECT_EQ(scroll_bar_press(bar, 190, 7), SB_LINERIGHT);
    scroll_bar_release(bar, out);
    EXPECT_EQ(scroll_bar_press(bar, 50, 7), SB_PAGELEFT);
    scroll_bar_release(bar, out);
    // Paging forward stops once the thumb (moved by the owner) reaches the pointer.
    EXPECT_EQ(scroll_bar_press(bar, 150, 7), SB_PAGERIGHT);
    EXPECT_EQ(scroll_bar_repeat(bar, 150, 7), SB_PAGERIGHT);
    scroll_bar_set_pos(bar, 88);  // thumb now at 15 + 155 * 87 / 99 = 151
    EXPECT_EQ(scroll_bar_repeat(bar, 150, 7), -1);
    scroll_bar_release(bar, out);
}

TEST(ScrollBarModel, EmptyRangeStillPagesOnAControlButNotOnAnEditBar) {
    ScrollBarModel bar = frame_bar();
    scroll_bar_set_range(bar, 1, 0);
    EXPECT_EQ(scroll_bar_press(bar, 60, 7), SB_PAGELEFT);
    ScrollBarAction out[2];
    scroll_bar_release(bar, out);
    EXPECT_EQ(scroll_bar_press(bar, 140, 7), SB_PAGERIGHT);
    scroll_bar_release(bar, out);
    bar.disable_no_scroll = true;
    EXPECT_EQ(scroll_bar_press(bar, 5, 7), -1);
    EXPECT_EQ(scroll_bar_release(bar, out), 0);
}

TEST(ScrollBarModel, KeysMapToScrollCodes) {
    EXPECT_EQ(scroll_bar_key_code(VK_LEFT), SB_LINELEFT);
    EXPECT_EQ(scroll_bar_key_code(VK_UP), SB_LINEUP);
    EXPECT_EQ(scroll_bar_key_code(VK_RIGHT), SB_LINERIGHT);
    EXPECT_EQ(scroll_bar_key_code(VK_DOWN), SB_LINEDOWN);
    EXPECT_EQ(scroll_bar_key_code(VK_PRIOR), SB_PAGELEFT);
    EXPECT_EQ(scroll_bar_key_code(VK_NEXT), SB_PAGERIGHT);
    EXPECT_EQ(scroll_bar_key_code(VK_HOME), SB_LEFT);
    EXPECT_EQ(scroll_bar_key_code(VK_END), SB_RIGHT);
    EXPECT_EQ(scroll_bar_key_code('A'), -1);
}

}  // namespace
