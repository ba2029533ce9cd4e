// Paint time of the view's paint cycle with Twinscope's renderer against the immediate-mode
// reference (one glColor and glVertex call per vertex), for frames of 200k and 5M points
// (half world, half match points, nine in ten linked to a point close by), on whatever renderer the
// display offers. Paints of the two alternate; speedup = immediate time / renderer time per
// pair. The frame must show the points and both paints must be the same pixels before a
// time counts. Run it under tests/run_with_xvfb.sh or on a desktop.
#include <benchmark/benchmark.h>

#include <vector>

#include "bench/view/paint_pairs.h"
#include "matchviewer/draw_frame.h"
#include "matchviewer/match_points.h"
#include "view/view.h"

namespace {

// The view's size in Twinscope's default window.
const int kViewWidth = 792;
const int kViewHeight = 459;

// The world points of a frame: count points spread over the frame at the home pose, each
// linked to the match point of the same position, one in ten not at all.
std::vector<FramePoint> world_layer(int32_t count) {
    std::vector<FramePoint> points((size_t)count);
    uint32_t state = 11u;
    for (int32_t i = 0; i < count; ++i) {
        FramePoint& p = points[(size_t)i];
        state = state * 1103515245u + 12345u;
        const float u = (float)((state >> 8) & 0xFFFF) / 65535.0f;
        state = state * 1103515245u + 12345u;
        const float v = (float)((state >> 8) & 0xFFFF) / 65535.0f;
        p.position[0] = 5.0f * u - 2.5f;
        p.position[1] = 3.0f * v - 1.5f;
        p.position[2] = 0.1f * u;
        p.direction[0] = 0.6f;
        p.direction[1] = 0.8f;
        p.direction[2] = 0.0f;
        p.link = i % 10 == 9 ? -1 : i;
        p.id = -1;
    }
    return points;
}

// The match points: each a little off its world point, as a matcher finds them.
std::vector<FramePoint> match_layer(const std::vector<FramePoint>& world) {
    std::vector<FramePoint> points = world;
    for (size_t i = 0; i < points.size(); ++i) {
        FramePoint& p = points[i];
        p.position[0] += 0.03f;
        p.position[1] -= 0.02f;
        p.position[2] += 0.05f;
        p.direction[0] = -0.8f;
        p.direction[1] = 0.6f;
        p.link = i % 10 == 9 ? -1 : (int32_t)i;
    }
    return points;
}

void BM_PaintFrame(benchmark::State& state) {
    ViewState* view = bench_view(state, kViewWidth, kViewHeight);
    if (!view) return;
    static FrameLayers layers;
    init_frame_layers(&layers);
    hand_frame_to_view(view, &layers);
    const int32_t half = (int32_t)(state.range(0) / 2);
    std::vector<FramePoint> world = world_layer(half);
    std::vector<FramePoint> matches = match_layer(world);
    layers.point_array[0] = world.data();
    layers.point_count[0] = half;
    layers.point_array[1] = matches.data();
    layers.point_count[1] = half;
    time_paints_against_reference(state, view);
    state.counters["points"] = 2.0 * half;
    init_frame_layers(&layers);
}
BENCHMARK(BM_PaintFrame)->Arg(200000)->Iterations(10)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_PaintFrame)->Arg(5000000)->Iterations(4)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
