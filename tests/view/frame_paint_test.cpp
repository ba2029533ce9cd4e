// Twinscope's renderer against the immediate-mode reference: the same pixels and the same
// state after the content, for every combination of shown layers and link direction, with
// links that name no point, and with layers larger than one call's worth of points.
#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <vector>

#include "matchviewer/draw_frame.h"
#include "matchviewer/match_points.h"
#include "tests/view/paint_checks.h"

namespace {

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

class FramePaint : public PaintTest {
  protected:
    void SetUp() override {
        PaintTest::SetUp();
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
            expect_same_paint(&view, (flags & 7) == 7 ? least_drawn : 0);
        }
    }
    FrameLayers layers;
};

TEST_F(FramePaint, SmallFrameEqualsImmediateMode) {
    std::vector<FramePoint> world = layer_points(3000, 2500, 1);
    std::vector<FramePoint> matches = layer_points(2500, 3000, 2);
    show(world, matches);
    expect_same_paints(kPaintWidth * kPaintHeight / 20);
    // From the side and close up: points and lines cross the near plane.
    view.eye[0] = 0.4f;
    view.eye[1] = 0.3f;
    view.eye[2] = 0.9f;
    expect_same_paints(kPaintWidth * kPaintHeight / 20);
}

TEST_F(FramePaint, LayersOfSeveralCallsEqualImmediateMode) {
    std::vector<FramePoint> world = layer_points(40000, 17000, 3);
    std::vector<FramePoint> matches = layer_points(17000, 40000, 4);
    show(world, matches);
    expect_same_paints(kPaintWidth * kPaintHeight / 10);
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
