// Paint time of the view's paint cycle (projection of a resize, axes, content) with
// Meshweaver's renderer against the immediate-mode reference (one glVertex call per vertex),
// for meshes of 100k and 1M triangles, on whatever renderer the display offers. Paints of
// the two alternate; speedup = immediate time / renderer time per pair. The frame must show
// the mesh and both paints must be the same pixels before a time counts. Run it under
// tests/run_with_xvfb.sh or on a desktop.
#include <benchmark/benchmark.h>

#include <cmath>
#include <vector>

#include "bench/view/paint_pairs.h"
#include "meshbuilder/mesh_record.h"
#include "tests/view/sphere_mesh.h"
#include "view/view.h"

namespace {

// The program's default view size.
const int kViewWidth = 800;
const int kViewHeight = 640;

void BM_PaintMesh(benchmark::State& state) {
    ViewState* view = bench_view(state, kViewWidth, kViewHeight);
    if (!view) return;
    static MeshRecord record;
    // The sphere with at least the asked number of triangles, cut to exactly that many.
    const int side = (int)std::ceil(std::sqrt(state.range(0) / 2.0));
    Mesh mesh = sphere_mesh(side);
    mesh.indices.resize(3 * (size_t)state.range(0));
    show_mesh(&record, mesh);
    hand_mesh_to_view(view, &record);
    time_paints_against_reference(state, view);
    state.counters["triangles"] = record.triangle_count;
    record = MeshRecord{};
}
BENCHMARK(BM_PaintMesh)->Arg(100000)->Iterations(20)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_PaintMesh)->Arg(1000000)->Iterations(10)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
