// Index, frame reading and capture writing, each next to the plain stream call that moves
// the same bytes. Inputs are generated in-process into temporary files.
#include <benchmark/benchmark.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

#include "bench/paired_ratio.h"
#include "matchviewer/bmp_file.h"
#include "matchviewer/match_file.h"
#include "platform/crt.h"

namespace {

void put_i32(std::vector<uint8_t>& out, int32_t v) {
    const uint32_t u = (uint32_t)v;
    for (int i = 0; i < 4; ++i) out.push_back((uint8_t)(u >> (8 * i)));
}

void put_f32(std::vector<uint8_t>& out, float f) {
    uint32_t u;
    memcpy(&u, &f, sizeof u);
    put_i32(out, (int32_t)u);
}

FILE* file_with(const std::vector<uint8_t>& bytes) {
    FILE* file = tmpfile();
    fwrite(bytes.data(), 1, bytes.size(), file);
    fflush(file);
    rewind(file);
    return file;
}

// A file of small frames: 0 to 3 world and match points each, both kinds.
FILE* small_frames_file(int64_t frames) {
    std::vector<uint8_t> bytes;
    uint32_t state = 7;
    for (int64_t i = 0; i < frames; ++i) {
        state = state * 1103515245u + 12345u;
        const uint8_t kind = (state >> 24) & 1;
        const int32_t w = (state >> 8) % 4, k = (state >> 12) % 4;
        put_i32(bytes, (int32_t)i);
        bytes.push_back(kind);
        put_i32(bytes, w);
        bytes.insert(bytes.end(), (size_t)w * (kind == 0 ? 24 : 28), 0);
        put_i32(bytes, k);
        bytes.insert(bytes.end(), (size_t)k * (kind == 0 ? 28 : 32), 0);
    }
    return file_with(bytes);
}

// One frame of n world and n match points. To-world: match point i names world point
// (i x 7919) mod n. To-frame: match ids 2i ascending; world point j names id
// 2 x ((j x 7919) mod n), or 2j when sorted_ids.
FILE* big_frame_file(int32_t n, bool to_world, bool sorted_ids, int64_t& frame_bytes) {
    std::vector<uint8_t> bytes;
    put_i32(bytes, 1);
    bytes.push_back(to_world ? 0 : 1);
    put_i32(bytes, n);
    for (int32_t j = 0; j < n; ++j) {
        for (int c = 0; c < 6; ++c) put_f32(bytes, (float)(j + c));
        if (!to_world) {
            put_i32(bytes, 2 * (sorted_ids ? j : (int32_t)((int64_t)j * 7919 % n)));
        }
    }
    put_i32(bytes, n);
    for (int32_t i = 0; i < n; ++i) {
        for (int c = 0; c < 6; ++c) put_f32(bytes, (float)(i - c));
        put_i32(bytes, to_world ? (int32_t)((int64_t)i * 7919 % n) : -1);
        if (!to_world) put_i32(bytes, 2 * i);
    }
    frame_bytes = (int64_t)bytes.size() - 4;
    return file_with(bytes);
}

void BM_IndexSmallFrames(benchmark::State& state) {
    FILE* file = small_frames_file(state.range(0));
    FrameIndex index = {};
    for (auto _ : state) {
        index_match_file(file, index);
        benchmark::DoNotOptimize(index.offsets);
    }
    if (index.count != state.range(0)) state.SkipWithError("wrong frame count");
    state.SetItemsProcessed(state.iterations() * state.range(0));
    free_frame_index(index);
    fclose(file);
}
BENCHMARK(BM_IndexSmallFrames)->Arg(10000)->Arg(1000000)->Unit(benchmark::kMillisecond);

// The viewer's reusable arrays and a frame file of n world and n match points.
struct BigFrame {
    // NOTE: before file, which its constructor fills while opening the file.
    int64_t frame_bytes = 0;
    FILE* file;
    int32_t n;
    WorldPoint* world = nullptr;
    MatchPoint* matches = nullptr;
    int32_t world_capacity = 0, match_capacity = 0;
    BigFrame(int32_t count, bool to_world, bool sorted_ids)
        : file(big_frame_file(count, to_world, sorted_ids, frame_bytes)), n(count) {
        if (frame_bytes <= 0) abort();
    }
    ~BigFrame() {
        free(world);
        free(matches);
        fclose(file);
    }
    // read_frame of the frame; true when every record came in and every link resolved.
    bool read_whole() {
        const FrameRead r = read_frame(file, 4, world, world_capacity, matches, match_capacity);
        return r.world_count == n && r.match_count == n && r.matched == n;
    }
};

// read_frame of an n + n frame, arrays already grown (as when stepping frames).
void BM_ReadFrame(benchmark::State& state, bool to_world, bool sorted_ids) {
    BigFrame frame((int32_t)state.range(0), to_world, sorted_ids);
    bool whole = true;
    for (auto _ : state) whole = frame.read_whole() && whole;
    if (!whole) state.SkipWithError("a frame was not read whole");
    state.SetBytesProcessed(state.iterations() * frame.frame_bytes);
}

// The bare cost of the same bytes: one seek and one fread into a buffer of their size.
void BM_FreadFrameBytes(benchmark::State& state) {
    BigFrame frame((int32_t)state.range(0), false, true);
    std::vector<uint8_t> buffer((size_t)frame.frame_bytes);
    bool whole = true;
    for (auto _ : state) {
        crt_seek64(frame.file, 4, SEEK_SET);
        whole = fread(buffer.data(), 1, buffer.size(), frame.file) == buffer.size() && whole;
    }
    if (!whole) state.SkipWithError("the frame bytes were not read whole");
    state.SetBytesProcessed(state.iterations() * frame.frame_bytes);
}

// read_frame against one seek and fread of the same frame bytes into a buffer of their size,
// in paired runs timed by the thread's CPU time (ratio_median is the figure to hold: at
// most 2). Arrays already grown.
void BM_ReadFrameOverFread(benchmark::State& state, bool to_world, bool sorted_ids) {
    BigFrame frame((int32_t)state.range(0), to_world, sorted_ids);
    std::vector<uint8_t> buffer((size_t)frame.frame_bytes);
    frame.read_whole();
    std::vector<double> ratios;
    bool whole = true;
    for (auto _ : state) {
        ratios.push_back(paired_ratio(
            PairClock::thread_cpu, (int)ratios.size(), [&] { whole = frame.read_whole() && whole; },
            [&] {
                crt_seek64(frame.file, 4, SEEK_SET);
                if (fread(buffer.data(), 1, buffer.size(), frame.file) != buffer.size()) {
                    whole = false;
                }
            }));
    }
    if (!whole) state.SkipWithError("a frame was not read whole");
    report_ratios(state, "ratio", ratios);
    state.SetBytesProcessed(state.iterations() * frame.frame_bytes * 2);
}

BENCHMARK(BM_FreadFrameBytes)->Arg(100000)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_ReadFrameOverFread, to_world, true, false)
    ->Arg(100000)
    ->Arg(2500000)
    ->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_ReadFrameOverFread, sorted_ids, false, true)
    ->Arg(100000)
    ->Arg(2500000)
    ->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_ReadFrameOverFread, scattered_ids, false, false)
    ->Arg(100000)
    ->Arg(2500000)
    ->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_ReadFrame, to_world, true, false)->Arg(100000)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_ReadFrame, sorted_ids, false, true)
    ->Arg(100000)
    ->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_ReadFrame, scattered_ids, false, false)
    ->Arg(100000)
    ->Unit(benchmark::kMicrosecond);

std::string capture_name() {
    return (std::filesystem::temp_directory_path() /
            ("twinshot_bench_" + std::to_string(getpid()) + ".bmp"))
        .string();
}

const int32_t kViewWidth = 792;
const int32_t kViewHeight = 459;

// One capture of the default view: convert the 32-bit section and write the file.
void BM_CaptureFile(benchmark::State& state) {
    const std::string name = capture_name();
    std::vector<uint8_t> section((size_t)kViewWidth * kViewHeight * 4, 0x6B);
    std::vector<uint8_t> file_bytes((size_t)bmp_file_size(kViewWidth, kViewHeight));
    for (auto _ : state) {
        fill_bmp_file(file_bytes.data(), section.data(), kViewWidth, kViewHeight);
        FILE* file = fopen(name.c_str(), "wb");
        if (!file || !write_and_close(file, file_bytes.data(), file_bytes.size())) {
            state.SkipWithError("cannot write");
            break;
        }
    }
    state.SetBytesProcessed(state.iterations() * (int64_t)file_bytes.size());
    remove(name.c_str());
}

// The bare cost: create, one fwrite of the same byte count, close.
void BM_PlainFileWrite(benchmark::State& state) {
    const std::string name = capture_name();
    std::vector<uint8_t> bytes((size_t)bmp_file_size(kViewWidth, kViewHeight), 0x6B);
    for (auto _ : state) {
        FILE* file = fopen(name.c_str(), "wb");
        if (!file || fwrite(bytes.data(), 1, bytes.size(), file) != bytes.size()) {
            state.SkipWithError("cannot write");
            if (file) fclose(file);
            break;
        }
        fclose(file);
    }
    state.SetBytesProcessed(state.iterations() * (int64_t)bytes.size());
    remove(name.c_str());
}
BENCHMARK(BM_PlainFileWrite)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_CaptureFile)->Unit(benchmark::kMicrosecond);

}  // namespace
