// What the paint tests share: one GL window for a suite, a fresh view per test, and the
// comparison of the program's paint with the immediate-mode reference.
#pragma once

#include <gtest/gtest.h>

#include "tests/view/paint_harness.h"
#include "view/view.h"

const int kPaintWidth = 400;
const int kPaintHeight = 300;

class PaintTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() { window_open = open_paint_window(kPaintWidth, kPaintHeight); }
    void SetUp() override {
        ASSERT_TRUE(window_open) << "no GL window";
        init_view_state(&view);
    }
    static inline bool window_open = false;
    ViewState view;
};

// Paints view with the reference and with the program's renderer: the same pixels, at least
// least_drawn of them drawn, and the same state left to what follows the content.
inline void expect_same_paint(ViewState* view, int64_t least_drawn) {
    const PaintResult reference = paint_and_read(view, true);
    const PaintResult arrays = paint_and_read(view, false);
    ASSERT_EQ((size_t)kPaintWidth * kPaintHeight * 4, reference.pixels.size());
    EXPECT_GE(drawn_pixels(reference), least_drawn) << "the reference drew too little";
    EXPECT_EQ(0, differing_pixels(reference, arrays));
    for (int c = 0; c < 4; ++c) {
        EXPECT_EQ(reference.current_colour[c], arrays.current_colour[c]) << c;
    }
    EXPECT_EQ(reference.lighting, arrays.lighting);
    EXPECT_EQ(reference.point_size, arrays.point_size);
    EXPECT_EQ(reference.line_width, arrays.line_width);
    EXPECT_FALSE(arrays.vertex_array) << "the vertex array is left enabled";
    EXPECT_FALSE(arrays.colour_array) << "the colour array is left enabled";
    EXPECT_EQ(glGetError(), (GLenum)GL_NO_ERROR);
}
