// Meshweaver's pipeline on Fibonacci spheres whose spacing the 0.1 search radius joins.
// Run: meshbuilder_bench [--benchmark_filter=...]. The pipeline benchmark reports its time
// over the bare library triangulation of the same points as the counters
// pipeline_over_library (processor time) and pipeline_over_library_wall.
#include <stdlib.h>
#include <time.h>

#include <algorithm>

#include <chrono>
#include <filesystem>
#include <map>
#include <string>

#include <benchmark/benchmark.h>

#include "meshbuilder/build_mesh.h"
#include "meshbuilder/point_file.h"
#include "meshbuilder/reconstruction.h"
#include "meshbuilder/vrml_writer.h"
#include "shapes.h"

namespace {

const double kSpacing = 0.02;

// The sphere of each size, made once.
const OrientedPoints& sphere(int32_t count) {
    static std::map<int32_t, OrientedPoints> made;
    auto found = made.find(count);
    if (found == made.end()) found = made.emplace(count, make_sphere(count, kSpacing)).first;
    return found->second;
}

std::string bench_path(const std::string& name) {
    return (std::filesystem::temp_directory_path() / ("meshbuilder-bench-" + name)).string();
}

void write_input(const std::string& path, int32_t count, benchmark::State& state) {
    std::string reason;
    if (!write_point_file(path.c_str(), sphere(count), &reason))
        state.SkipWithError(reason.c_str());
}

int WINAPI no_box(HWND, LPCWSTR, LPCWSTR, UINT) {
    return IDOK;
}

size_t discard(const void*, size_t size, FILE*) {
    return size;
}

double seconds_since(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// A mesh of the sphere's vertices with two triangles per vertex of near-by indices, the
// shape and size of a reconstructed surface, without the cost of reconstructing it.
MeshRecord synthetic_mesh(int32_t count, std::vector<int32_t>* faces) {
    const OrientedPoints& points = sphere(count);
    faces->clear();
    for (int32_t i = 0; i < count; ++i) {
        const int32_t a = i, b = (i + 1) % count, c = (i + 21) % count, d = (i + 34) % count;
        faces->insert(faces->end(), {a, b, c, a, c, d});
    }
    return MeshRecord{count, const_cast<float*>(points.positions.data()), 2 * count, faces->data()};
}

// The library alone, as a program would call it directly: cloud, tree, triangulation.
size_t library_triangulation(const OrientedPoints& points) {
    GreedySetup setup;
    prepare_reconstruction((int32_t)point_count(points), points.positions.data(),
                           points.normals.data(), &setup);
    run_reconstruction(&setup);
    return setup.mesh.polygons.size();
}

void BM_load_points(benchmark::State& state) {
    const int32_t count = (int32_t)state.range(0);
    const std::string path = bench_path("load.dat");
    write_input(path, count, state);
    for (auto _ : state) {
        PointFile points;
        const LoadResult loaded = load_points(path.c_str(), &points);
        if (loaded.status != LoadStatus::ok) state.SkipWithError("load_points failed");
        benchmark::DoNotOptimize(points.positions);
        free(points.positions);
        free(points.normals);
    }
    state.SetBytesProcessed(state.iterations() * (4 + 24 * (int64_t)count));
    remove(path.c_str());
}

void BM_reconstruction(benchmark::State& state) {
    const int32_t count = (int32_t)state.range(0);
    const OrientedPoints& points = sphere(count);
    int64_t triangles = 0;
    for (auto _ : state) {
        MeshRecord mesh;
        std::wstring reason;
        if (!reconstruct_mesh(count, points.positions.data(), points.normals.data(), &mesh,
                              &reason)) {
            state.SkipWithError("reconstruction failed");
        }
        triangles = mesh.triangle_count;
        free_mesh_record(&mesh);
    }
    state.counters["triangles"] = (double)triangles;
}

// The text alone, formatted into blocks that are thrown away.
void BM_format_vrml(benchmark::State& state) {
    std::vector<int32_t> faces;
    const MeshRecord mesh = synthetic_mesh((int32_t)state.range(0), &faces);
    int64_t bytes = 0;
    for (auto _ : state) bytes += write_vrml_stream(mesh, nullptr, discard);
    state.SetBytesProcessed(bytes);
}

// The whole save: temporary file, writes, flush, close and rename.
void BM_write_vrml(benchmark::State& state) {
    std::vector<int32_t> faces;
    const MeshRecord mesh = synthetic_mesh((int32_t)state.range(0), &faces);
    const std::string input = bench_path("write.dat");
    int64_t bytes = 0;
    for (auto _ : state) {
        const VrmlResult saved = write_vrml(input.c_str(), mesh, system_file_steps());
        if (!saved.ok) state.SkipWithError("write_vrml failed");
        state.PauseTiming();
        bytes += (int64_t)std::filesystem::file_size(saved.path);
        remove(saved.path);
        state.ResumeTiming();
    }
    state.SetBytesProcessed(bytes);
}

// The time of the calling thread on the processor: unlike the wall clock it does not grow
// while other processes hold the machine's cores.
double thread_seconds() {
    timespec now;
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return (double)now.tv_sec + 1e-9 * (double)now.tv_nsec;
}

// Wall and processor seconds of one step.
struct Timing {
    double wall;
    double cpu;
};

template <typename Step>
Timing timed(Step step) {
    const auto start = std::chrono::steady_clock::now();
    const double cpu_start = thread_seconds();
    step();
    return Timing{seconds_since(start), thread_seconds() - cpu_start};
}

// Reading the file, build_mesh with its save and the input's deletion, against the bare
// library call on the same points; the reported time is the pipeline's. The ratios take the
// fastest run of each, once by processor time and once by wall time.
void BM_pipeline(benchmark::State& state) {
    const int32_t count = (int32_t)state.range(0);
    const std::string input = bench_path("pipeline.dat");
    const BuildHooks hooks{no_box, &system_file_steps()};
    Timing best_pipeline{1e30, 1e30}, best_library{1e30, 1e30};
    for (auto _ : state) {
        const Timing library =
            timed([&] { benchmark::DoNotOptimize(library_triangulation(sphere(count))); });

        write_input(input, count, state);
        bool ok = false;
        const Timing pipeline = timed([&] {
            PointFile points;
            if (load_points(input.c_str(), &points).status != LoadStatus::ok) return;
            MeshRecord mesh;
            ok = build_mesh_with(hooks, input.c_str(), points.identified ? &points.identity : nullptr,
                                 points.count, points.positions, points.normals, &mesh)
                     .ok;
            free(points.positions);
            free(points.normals);
            free_mesh_record(&mesh);
        });
        if (!ok) state.SkipWithError("the pipeline failed");
        state.SetIterationTime(pipeline.wall);
        char output[MAX_PATH];
        vrml_output_path(input.c_str(), output);
        remove(output);
        best_library = Timing{std::min(best_library.wall, library.wall),
                              std::min(best_library.cpu, library.cpu)};
        best_pipeline = Timing{std::min(best_pipeline.wall, pipeline.wall),
                               std::min(best_pipeline.cpu, pipeline.cpu)};
    }
    state.counters["library_s"] = best_library.wall;
    state.counters["pipeline_over_library"] = best_pipeline.cpu / best_library.cpu;
    state.counters["pipeline_over_library_wall"] = best_pipeline.wall / best_library.wall;
}

}  // namespace

BENCHMARK(BM_load_points)
    ->Arg(10000)
    ->Arg(100000)
    ->Arg(300000)
    ->Arg(1000000)
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_format_vrml)
    ->Arg(10000)
    ->Arg(100000)
    ->Arg(300000)
    ->Arg(1000000)
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_write_vrml)
    ->Arg(10000)
    ->Arg(100000)
    ->Arg(300000)
    ->Arg(1000000)
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_reconstruction)->Arg(10000)->Arg(100000)->Arg(300000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_reconstruction)->Arg(1000000)->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_pipeline)->Arg(10000)->Iterations(10)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_pipeline)->Arg(100000)->Iterations(5)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_pipeline)->Arg(300000)->Iterations(2)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_pipeline)->Arg(1000000)->Iterations(2)->UseManualTime()->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
