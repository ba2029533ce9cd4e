// Paint time of the view's paint cycle (projection of a resize, axes, content) with
// Meshweaver's renderer against the immediate-mode reference (one glVertex call per vertex),
// for meshes of 100k and 1M triangles, on whatever renderer the display offers. Paints of
// the two alternate; speedup = immediate time / renderer time per pair. The frame must show
// the mesh and both paints must be the same pixels before a time counts. Run it under
// tests/run_with_xvfb.sh or on a desktop.
#include <benchmark/benchmark.h>

#include <cmath>
#include <vector>

#include "bench/paired_ratio.h"
#include "meshbuilder/mesh_record.h"
#include "tests/view/paint_harness.h"
#include "view/view.h"

namespace {

// The program's default view size.
const int kViewWidth = 800;
const int kViewHeight = 640;

struct Mesh {
    std::vector<float> vertices;
    std::vector<int32_t> indices;
};

// A latitude-longitude sphere of radius 1 with about triangles triangles.
Mesh sphere_mesh(int triangles) {
    const int side = (int)std::ceil(std::sqrt(triangles / 2.0));
    Mesh m;
    for (int j = 0; j <= side; ++j) {
        for (int i = 0; i <= side; ++i) {
            const double u = 6.283185307179586 * i / side, v = 3.141592653589793 * j / side;
            m.vertices.push_back((float)(std::cos(u) * std::sin(v)));
            m.vertices.push_back((float)std::cos(v));
            m.vertices.push_back((float)(std::sin(u) * std::sin(v)));
        }
    }
    for (int j = 0; j < side; ++j) {
        for (int i = 0; i < side; ++i) {
            const int a = j * (side + 1) + i, b = a + 1, c = a + side + 1, d = c + 1;
            m.indices.insert(m.indices.end(), {a, c, b, b, c, d});
        }
    }
    m.indices.resize(3 * (size_t)triangles);
    return m;
}

// Whether a pixel at the centre of the frame shows the mesh (not the black background).
bool centre_drawn(const PaintResult& r) {
    const size_t at = 4 * ((size_t)(r.height / 2) * r.width + r.width / 2);
    return r.pixels.size() > at + 2 && (r.pixels[at] || r.pixels[at + 1] || r.pixels[at + 2]);
}

void BM_PaintMesh(benchmark::State& state) {
    static bool ready = open_paint_window(kViewWidth, kViewHeight);
    if (!ready) {
        state.SkipWithError("no GL window");
        return;
    }
    static ViewState view;
    static MeshRecord record;
    init_view_state(&view);
    Mesh mesh = sphere_mesh((int)state.range(0));
    record.vertices = mesh.vertices.data();
    record.vertex_count = (int32_t)(mesh.vertices.size() / 3);
    record.indices = mesh.indices.data();
    record.triangle_count = (int32_t)(mesh.indices.size() / 3);
    hand_mesh_to_view(&view, &record);
    const PaintResult reference = paint_and_read(&view, true);
    const PaintResult arrays = paint_and_read(&view, false);
    if (!centre_drawn(arrays)) {
        state.SkipWithError("the mesh is not on the frame");
        return;
    }
    if (differing_pixels(reference, arrays) != 0) {
        state.SkipWithError("the renderer's frame differs from the reference");
        return;
    }
    std::vector<double> speedups;
    for (auto _ : state) {
        const double arrays_over_immediate = paired_ratio(
            PairClock::wall, (int)speedups.size(), [&] { paint_and_finish(&view, false); },
            [&] { paint_and_finish(&view, true); });
        speedups.push_back(1.0 / arrays_over_immediate);
    }
    report_ratios(state, "speedup", speedups);
    state.counters["triangles"] = record.triangle_count;
    state.counters["drawn_pixels"] = (double)drawn_pixels(arrays);
    record = MeshRecord{};
}
BENCHMARK(BM_PaintMesh)->Arg(100000)->Iterations(20)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_PaintMesh)->Arg(1000000)->Iterations(10)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
