// Meshweaver's pipeline on Fibonacci spheres whose spacing the 0.1 search radius joins.
// Run: meshbuilder_bench [--benchmark_filter=...]. The pipeline benchmark reports its time
// over the bare library triangulation of the same points, and over the same pipeline without
// the syncs of the durable save, as min/median/max counters of paired runs.
#include <stdlib.h>
#include <time.h>

#include <algorithm>

#include <chrono>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

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
                           points.normals.data(), SearchAhead{0, false}, &setup);
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

// The whole save: temporary file, writes, flush, fsync, close, rename and folder fsync.
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

// The save without putting anything on the disk: no fsync of the file, a plain rename.
int sync_skipped(FILE*) {
    return 0;
}
bool rename_only(const char* from, const char* to) {
    return rename(from, to) == 0;
}

// Reading the file and build_mesh with its save and the input's deletion, once with the
// durable save and once without its syncs, against the bare library call on the same points;
// the reported time is the durable pipeline's. The three runs of an iteration are paired and
// their order rotates from one iteration to the next. Counters: min, median and max over the
// iterations of durable / library and durable / without syncs (wall time), and the mesh
// file's size, which tells that the pipeline really saved the mesh.
void BM_pipeline(benchmark::State& state) {
    const int32_t count = (int32_t)state.range(0);
    const std::string input = bench_path("pipeline.dat");
    FileSteps without_syncs = system_file_steps();
    without_syncs.sync = sync_skipped;
    without_syncs.replace = rename_only;
    const BuildHooks durable{no_box, &system_file_steps()};
    const BuildHooks fast{no_box, &without_syncs};
    std::vector<double> over_library, over_unsynced;
    int64_t mesh_bytes = -1;
    int iteration = 0;
    for (auto _ : state) {
        Timing library{}, synced{}, unsynced{};
        for (int k = 0; k < 3; ++k) {
            const int which = (k + iteration) % 3;
            if (which == 0) {
                library =
                    timed([&] { benchmark::DoNotOptimize(library_triangulation(sphere(count))); });
                continue;
            }
            write_input(input, count, state);
            bool ok = false;
            const Timing pipeline = timed([&] {
                PointFile points;
                if (load_points(input.c_str(), &points).status != LoadStatus::ok) return;
                MeshRecord mesh;
                ok = build_mesh_with(which == 1 ? durable : fast, input.c_str(),
                                     points.identified ? &points.identity : nullptr, points.count,
                                     points.positions, points.normals, &mesh)
                         .ok;
                free(points.positions);
                free(points.normals);
                free_mesh_record(&mesh);
            });
            char output[MAX_PATH];
            vrml_output_path(input.c_str(), output);
            std::error_code error;
            const int64_t size = (int64_t)std::filesystem::file_size(output, error);
            if (!ok || error || size <= 0 || std::filesystem::exists(input)) {
                state.SkipWithError("the pipeline did not save the mesh and delete the input");
            }
            mesh_bytes = size;
            remove(output);
            (which == 1 ? synced : unsynced) = pipeline;
        }
        state.SetIterationTime(synced.wall);
        over_library.push_back(synced.wall / library.wall);
        over_unsynced.push_back(synced.wall / unsynced.wall);
        ++iteration;
    }
    const auto report = [&](const char* name, std::vector<double> ratios) {
        std::sort(ratios.begin(), ratios.end());
        state.counters[std::string(name) + "_min"] = ratios.front();
        state.counters[std::string(name) + "_median"] = ratios[ratios.size() / 2];
        state.counters[std::string(name) + "_max"] = ratios.back();
    };
    report("over_library", over_library);
    report("over_unsynced", over_unsynced);
    state.counters["mesh_bytes"] = (double)mesh_bytes;
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
BENCHMARK(BM_pipeline)->Arg(10000)->Iterations(9)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_pipeline)->Arg(100000)->Iterations(6)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_pipeline)->Arg(300000)->Iterations(3)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_pipeline)->Arg(1000000)->Iterations(3)->UseManualTime()->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
