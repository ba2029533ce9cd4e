// Twinscope's renderer against the immediate-mode reference: the same pixels and the same
// state after the content, for every combination of shown layers and link direction, with
// links that name no point, and with layers larger than one call's worth of points.
#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <vector>

#include "matchviewer/draw_frame.h"
#include "matchviewer/match_points.h"
#include "tests/view/paint_harness.h"
#include "view/view.h"

namespace {

const int kWidth = 400;
const int kHeight = 300;

// count points spread over a cube of half-side 1 with unit directions; link: a position in
// the other layer (of other_count points), -1, or one past its end, chosen at random.
std::vector<FramePoint> layer_points(int32_t count, int32_t other_count, uint32_t seed) {
    std::mt19937 random(seed);
    std::uniform_real_distribution<float> coordinate(-1.0f, 1.0f);
    std::uniform_int_distribution<int32_t> other(0, other_count - 1);
    std::uniform_int_distribution<int> kind(0, 9);
    std::vector<FramePoint> points((size_t)count);
    for (FramePoint& p : points) {
        for (int c = 0; c < 3; ++c) p.position[c] = coordinate(random);
        float length = 0;
        for (int c = 0; c < 3; ++c) {
            p.direction[c] = coordinate(random);
            length += p.direction[c] * p.direction[c];
        }
        for (int c = 0; c < 3; ++c) p.direction[c] /= std::sqrt(length) + 1e-6f;
        const int k = kind(random);
        p.link = k < 6 ? other(random) : k < 9 ? -1 : other_count + k;
        p.id = -1;
    }
    return points;
}

class FramePaint : public ::testing::Test {
  protected:
    static void SetUpTestSuite() { window_open = open_paint_window(kWidth, kHeight); }
    void SetUp() override {
        ASSERT_TRUE(window_open) << "no GL window";
        init_view_state(&view);
        init_frame_layers(&layers);
        hand_frame_to_view(&view, &layers);
    }
    void show(std::vector<FramePoint>& world, std::vector<FramePoint>& matches) {
        layers.point_array[0] = world.data();
        layers.point_count[0] = (int32_t)world.size();
        layers.point_array[1] = matches.data();
        layers.point_count[1] = (int32_t)matches.size();
    }
    // Every combination of shown layers and link direction paints as the reference does and
    // leaves the same state; least_drawn pixels at least with everything shown.
    void expect_same_paints(int64_t least_drawn) {
        for (int flags = 0; flags < 16; ++flags) {
            SCOPED_TRACE(flags);
            layers.show_world = flags & 1;
            layers.show_matches = (flags >> 1) & 1;
            layers.show_links = (flags >> 2) & 1;
            layers.links_to_world = (flags >> 3) & 1;
            const PaintResult reference = paint_and_read(&view, true);
            const PaintResult arrays = paint_and_read(&view, false);
            ASSERT_EQ((size_t)kWidth * kHeight * 4, reference.pixels.size());
            if ((flags & 7) == 7) {
                EXPECT_GE(drawn_pixels(reference), least_drawn);
            }
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
    }
    static bool window_open;
    ViewState view;
    FrameLayers layers;
};
bool FramePaint::window_open = false;

TEST_F(FramePaint, SmallFrameEqualsImmediateMode) {
    std::vector<FramePoint> world = layer_points(3000, 2500, 1);
    std::vector<FramePoint> matches = layer_points(2500, 3000, 2);
    show(world, matches);
    expect_same_paints(kWidth * kHeight / 20);
    // From the side and close up: points and lines cross the near plane.
    view.eye[0] = 0.4f;
    view.eye[1] = 0.3f;
    view.eye[2] = 0.9f;
    expect_same_paints(kWidth * kHeight / 20);
}

TEST_F(FramePaint, LayersOfSeveralCallsEqualImmediateMode) {
    std::vector<FramePoint> world = layer_points(40000, 17000, 3);
    std::vector<FramePoint> matches = layer_points(17000, 40000, 4);
    show(world, matches);
    expect_same_paints(kWidth * kHeight / 10);
}

TEST_F(FramePaint, EmptyLayersDrawTheAxesOnly) {
    std::vector<FramePoint> world = layer_points(500, 1, 5);
    std::vector<FramePoint> none;
    show(world, none);
    layers.point_array[1] = nullptr;
    expect_same_paints(10);
    show(none, world);
    layers.point_array[0] = nullptr;
    expect_same_paints(10);
}

}  // namespace
