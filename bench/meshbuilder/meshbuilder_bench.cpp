// Meshweaver's pipeline on Fibonacci spheres whose spacing the 0.1 search radius joins.
// Run: meshbuilder_bench [--benchmark_filter=...]. The pipeline benchmark reports its time
// over the bare library triangulation of the same points (as shipped, in a process of its
// own, and in this process, which runs the programs' serial neighbour search), and over the
// same pipeline without the syncs of the durable save, as min/median/max counters of paired
// runs.
// The paired benchmarks of the reconstruction run the two sides alternately in each
// iteration (which goes first alternates too) and report min/median/max counters:
//   BM_reconstruction_ahead   the reconstruction with rows computed ahead over the library's
//                             triangulation alone (wall, process and caller processor time),
//                             and the share of rows served ahead;
//   BM_reconstruction_memory  the peak resident memory of both, each in a fresh process.
#include <fcntl.h>
#include <malloc.h>
#include <stdio.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>

#include <chrono>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include <benchmark/benchmark.h>

#include "meshbuilder/build_mesh.h"
#include "meshbuilder/point_file.h"
#include "meshbuilder/reconstruction_internal.h"
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

// The triangulation of points, with rows computed ahead as ahead says or (helper_threads 0)
// the library alone, as a program would call it directly: cloud, tree, triangulation.
// Returns the number of triangles; *served, when given, the share of rows served ahead.
size_t triangulation(const OrientedPoints& points, const SearchAhead& ahead,
                     double* served = nullptr) {
    GreedySetup setup;
    prepare_reconstruction((int32_t)point_count(points), points.positions.data(),
                           points.normals.data(), ahead, &setup);
    run_reconstruction(&setup);
    if (served && setup.counts.rows_asked > 0)
        *served = (double)setup.counts.rows_served / (double)setup.counts.rows_asked;
    return setup.mesh.polygons.size();
}

size_t library_triangulation(const OrientedPoints& points) {
    return triangulation(points, SearchAhead{0, false});
}

// The program's own setting: as many helpers as pay off here.
SearchAhead program_search_ahead() {
    return SearchAhead{search_ahead_threads(), false};
}

// Ratios of paired runs, reported as name_min, name_median and name_max.
void report_ratios(benchmark::State& state, const std::string& name, std::vector<double> ratios) {
    if (ratios.empty()) return;
    std::sort(ratios.begin(), ratios.end());
    const size_t n = ratios.size();
    const double median = n % 2 ? ratios[n / 2] : (ratios[n / 2 - 1] + ratios[n / 2]) / 2;
    state.counters[name + "_min"] = ratios.front();
    state.counters[name + "_median"] = median;
    state.counters[name + "_max"] = ratios.back();
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

// The processor time of the given clock: the whole process (helper threads included) or
// the calling thread.
double processor_seconds(clockid_t clock) {
    timespec now;
    clock_gettime(clock, &now);
    return (double)now.tv_sec + 1e-9 * (double)now.tv_nsec;
}

// Wall seconds of one step, and processor seconds of the process and of the calling thread.
struct Timing {
    double wall;
    double cpu;
    double caller_cpu;
};

template <typename Step>
Timing timed(Step step) {
    const auto start = std::chrono::steady_clock::now();
    const double cpu_start = processor_seconds(CLOCK_PROCESS_CPUTIME_ID);
    const double caller_start = processor_seconds(CLOCK_THREAD_CPUTIME_ID);
    step();
    return Timing{seconds_since(start), processor_seconds(CLOCK_PROCESS_CPUTIME_ID) - cpu_start,
                  processor_seconds(CLOCK_THREAD_CPUTIME_ID) - caller_start};
}

// The library's triangulation alone and with rows computed ahead, alternately; both must
// give the same number of triangles, about two a point.
void BM_reconstruction_ahead(benchmark::State& state) {
    const int32_t count = (int32_t)state.range(0);
    const OrientedPoints& points = sphere(count);
    std::vector<double> wall, cpu, caller_cpu, served_share;
    bool fast_first = false;
    for (auto _ : state) {
        size_t plain_triangles = 0, fast_triangles = 0;
        double served = 0;
        const auto plain = [&] { plain_triangles = library_triangulation(points); };
        const auto fast = [&] {
            fast_triangles = triangulation(points, program_search_ahead(), &served);
        };
        Timing plain_time, fast_time;
        if (fast_first) {
            fast_time = timed(fast);
            plain_time = timed(plain);
        } else {
            plain_time = timed(plain);
            fast_time = timed(fast);
        }
        fast_first = !fast_first;
        if (fast_triangles != plain_triangles || plain_triangles < (size_t)count)
            state.SkipWithError("the two triangulations differ or found too few triangles");
        state.SetIterationTime(fast_time.wall);
        wall.push_back(fast_time.wall / plain_time.wall);
        cpu.push_back(fast_time.cpu / plain_time.cpu);
        caller_cpu.push_back(fast_time.caller_cpu / plain_time.caller_cpu);
        served_share.push_back(served);
    }
    state.counters["helpers"] = search_ahead_threads();
    report_ratios(state, "ahead_over_library", wall);
    report_ratios(state, "cpu_ahead_over_library", cpu);
    report_ratios(state, "caller_cpu_ahead_over_library", caller_cpu);
    report_ratios(state, "served", served_share);
}

// The program's triangulation without and with the progress record that the progress window
// reads, alternately: the cost of counting rows and sampling the points reached. Both must
// give the same triangles, and the last sample must have reached every point.
void BM_reconstruction_progress(benchmark::State& state) {
    const int32_t count = (int32_t)state.range(0);
    const OrientedPoints& points = sphere(count);
    std::vector<double> wall;
    bool followed_first = false;
    for (auto _ : state) {
        size_t plain_triangles = 0, followed_triangles = 0;
        ReconstructionProgress progress;
        const auto plain = [&] { plain_triangles = triangulation(points, program_search_ahead()); };
        const auto followed = [&] {
            SearchAhead ahead = program_search_ahead();
            ahead.progress = &progress;
            followed_triangles = triangulation(points, ahead);
        };
        Timing plain_time, followed_time;
        if (followed_first) {
            followed_time = timed(followed);
            plain_time = timed(plain);
        } else {
            plain_time = timed(plain);
            followed_time = timed(followed);
        }
        followed_first = !followed_first;
        if (followed_triangles != plain_triangles || plain_triangles < (size_t)count ||
            progress.points_reached != count || progress.rows_asked <= 0)
            state.SkipWithError("the triangulations differ or the progress is incomplete");
        state.SetIterationTime(followed_time.wall);
        wall.push_back(followed_time.wall / plain_time.wall);
    }
    report_ratios(state, "progress_over_plain", wall);
}

// One line of /proc/self/status in kibibytes ("VmRSS:", "VmHWM:"), or -1.
int64_t status_kib(const char* field) {
    FILE* status = fopen("/proc/self/status", "r");
    if (!status) return -1;
    char line[256];
    int64_t kib = -1;
    while (fgets(line, sizeof line, status)) {
        if (strncmp(line, field, strlen(field)) == 0) kib = atoll(line + strlen(field));
    }
    fclose(status);
    return kib;
}

// The growth of the resident set from before the set-up to its peak during one
// triangulation, in bytes, measured in a child process that starts from this one's heap;
// -1 when it cannot be measured or the triangulation found too few triangles.
// NOTE: the child first hands the free memory of the heap back to the system: blocks freed
// by earlier runs in this process would otherwise be reused without growing the resident
// set, and the figure would depend on which benchmarks ran before.
int64_t triangulation_peak_bytes(const OrientedPoints& points, const SearchAhead& ahead) {
    int channel[2];
    if (pipe(channel) != 0) return -1;
    const pid_t child = fork();
    if (child == 0) {
        close(channel[0]);
        malloc_trim(0);
        // NOTE: writing 5 to clear_refs resets the peak (VmHWM) to the present resident set.
        const int clear = open("/proc/self/clear_refs", O_WRONLY);
        const bool reset = clear >= 0 && write(clear, "5", 1) == 1;
        if (clear >= 0) close(clear);
        const int64_t before = status_kib("VmRSS:");
        const size_t triangles = triangulation(points, ahead);
        const int64_t peak = status_kib("VmHWM:");
        int64_t grown = -1;
        if (reset && before >= 0 && peak >= before && triangles >= (size_t)point_count(points))
            grown = 1024 * (peak - before);
        const bool sent = write(channel[1], &grown, sizeof grown) == (ssize_t)sizeof grown;
        _exit(sent ? 0 : 1);
    }
    close(channel[1]);
    int64_t grown = -1;
    if (child < 0 || read(channel[0], &grown, sizeof grown) != (ssize_t)sizeof grown) grown = -1;
    close(channel[0]);
    if (child > 0) waitpid(child, nullptr, 0);
    return grown;
}

// Peak memory of the library's triangulation alone and with rows computed ahead, alternately.
void BM_reconstruction_memory(benchmark::State& state) {
    const int32_t count = (int32_t)state.range(0);
    const OrientedPoints& points = sphere(count);
    std::vector<double> ratios;
    int64_t plain_peak = 0, fast_peak = 0;
    bool fast_first = false;
    for (auto _ : state) {
        if (fast_first) fast_peak = triangulation_peak_bytes(points, program_search_ahead());
        plain_peak = triangulation_peak_bytes(points, SearchAhead{0, false});
        if (!fast_first) fast_peak = triangulation_peak_bytes(points, program_search_ahead());
        fast_first = !fast_first;
        if (plain_peak <= 0 || fast_peak <= 0) {
            state.SkipWithError("the peak memory could not be measured");
            break;
        }
        ratios.push_back((double)fast_peak / (double)plain_peak);
    }
    state.counters["library_peak_MiB"] = (double)plain_peak / (1 << 20);
    state.counters["ahead_peak_MiB"] = (double)fast_peak / (1 << 20);
    report_ratios(state, "ahead_over_library", ratios);
}

// The save without putting anything on the disk: no fsync of the file, a plain rename.
int sync_skipped(FILE*) {
    return 0;
}
bool rename_only(const char* from, const char* to) {
    return rename(from, to) == 0;
}

// The bare library call as shipped, timed in a process of its own that does not link the
// programs' serial search (shipped_library.cpp, built beside this benchmark). Returns false
// when it could not run.
bool time_shipped_library(int32_t count, double* seconds, size_t* triangles) {
    const std::string program = std::filesystem::read_symlink("/proc/self/exe").parent_path() /
                                "shipped_library_triangulation";
    const std::string command =
        "'" + program + "' " + std::to_string(count) + " " + std::to_string(kSpacing);
    FILE* child = popen(command.c_str(), "r");
    if (!child) return false;
    const bool read = fscanf(child, "%lf %zu", seconds, triangles) == 2;
    return pclose(child) == 0 && read;
}

// Reading the file and build_mesh with its save and the input's deletion, once with the
// durable save and once without its syncs, against the bare library call on the same points,
// both as shipped (in a process of its own, the library's own search) and in this process
// (the programs' serial search); the reported time is the durable pipeline's. The four runs
// of an iteration are paired and their order rotates from one iteration to the next.
// Counters: min, median and max over the iterations of durable / library as shipped, durable
// / library in this process and durable / without syncs (wall time), and the mesh file's
// size, which tells that the pipeline really saved the mesh.
void BM_pipeline(benchmark::State& state) {
    const int32_t count = (int32_t)state.range(0);
    const std::string input = bench_path("pipeline.dat");
    FileSteps without_syncs = system_file_steps();
    without_syncs.sync = sync_skipped;
    without_syncs.replace = rename_only;
    const BuildHooks durable{no_box, &system_file_steps(), nullptr, nullptr};
    const BuildHooks fast{no_box, &without_syncs, nullptr, nullptr};
    std::vector<double> over_shipped, over_library, over_unsynced;
    int64_t mesh_bytes = -1;
    int iteration = 0;
    for (auto _ : state) {
        Timing library{}, synced{}, unsynced{};
        double shipped = 0;
        size_t library_triangles = 0, shipped_triangles = 0;
        for (int k = 0; k < 4; ++k) {
            const int which = (k + iteration) % 4;
            if (which == 0) {
                if (!time_shipped_library(count, &shipped, &shipped_triangles))
                    state.SkipWithError("the library as shipped could not be timed");
                continue;
            }
            if (which == 1) {
                library = timed([&] { library_triangles = library_triangulation(sphere(count)); });
                continue;
            }
            write_input(input, count, state);
            bool ok = false;
            const Timing pipeline = timed([&] {
                PointFile points;
                if (load_points(input.c_str(), &points).status != LoadStatus::ok) return;
                MeshRecord mesh;
                ok = build_mesh_with(which == 2 ? durable : fast, input.c_str(),
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
            (which == 2 ? synced : unsynced) = pipeline;
        }
        if (shipped_triangles != library_triangles || library_triangles < (size_t)count)
            state.SkipWithError("the library as shipped and here differ or found too few");
        state.SetIterationTime(synced.wall);
        over_shipped.push_back(synced.wall / shipped);
        over_library.push_back(synced.wall / library.wall);
        over_unsynced.push_back(synced.wall / unsynced.wall);
        ++iteration;
    }
    report_ratios(state, "over_shipped_library", over_shipped);
    report_ratios(state, "over_library_here", over_library);
    report_ratios(state, "over_unsynced", over_unsynced);
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
BENCHMARK(BM_reconstruction_ahead)->Arg(100000)->Iterations(6)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_reconstruction_ahead)->Arg(1000000)->Iterations(4)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_reconstruction_progress)->Arg(300000)->Iterations(6)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_reconstruction_progress)->Arg(1000000)->Iterations(4)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_reconstruction_memory)->Arg(1000000)->Iterations(2)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_pipeline)->Arg(10000)->Iterations(9)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_pipeline)->Arg(100000)->Iterations(6)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_pipeline)->Arg(300000)->Iterations(3)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_pipeline)->Arg(1000000)->Iterations(3)->UseManualTime()->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
