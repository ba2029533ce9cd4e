// What both paint benchmarks do once their content is handed to the view: check that the
// frame shows it and equals the immediate-mode reference, then time the two in pairs.
#pragma once

#include <benchmark/benchmark.h>

#include <vector>

#include "bench/paired_ratio.h"
#include "tests/view/paint_harness.h"
#include "view/view.h"

// The view of a benchmark in a GL window of width x height opened by the first call, reset
// to its start pose; null, with the benchmark skipped, when there is no GL.
inline ViewState* bench_view(benchmark::State& state, int width, int height) {
    static bool ready = open_paint_window(width, height);
    static ViewState view;
    if (!ready) {
        state.SkipWithError("no GL window");
        return nullptr;
    }
    init_view_state(&view);
    return &view;
}

// Whether a pixel at the centre of the frame shows content (not the black background).
inline bool centre_drawn(const PaintResult& r) {
    const size_t at = 4 * ((size_t)(r.height / 2) * r.width + r.width / 2);
    return r.pixels.size() > at + 2 && (r.pixels[at] || r.pixels[at + 1] || r.pixels[at + 2]);
}

// Paints view with the program's renderer and the reference, alternating which goes first,
// each finished before its time is taken; reports speedup = reference time / program time
// as min/median/max and the drawn pixels. Nothing is timed unless the frame shows content
// at its centre and both paints are the same pixels.
inline void time_paints_against_reference(benchmark::State& state, ViewState* view) {
    const PaintResult reference = paint_and_read(view, true);
    const PaintResult arrays = paint_and_read(view, false);
    if (!centre_drawn(arrays)) {
        state.SkipWithError("the content is not on the frame");
        return;
    }
    if (differing_pixels(reference, arrays) != 0) {
        state.SkipWithError("the renderer's frame differs from the reference");
        return;
    }
    std::vector<double> speedups;
    for (auto _ : state) {
        const double arrays_over_immediate = paired_ratio(
            PairClock::wall, (int)speedups.size(), [&] { paint_and_finish(view, false); },
            [&] { paint_and_finish(view, true); });
        speedups.push_back(1.0 / arrays_over_immediate);
    }
    report_ratios(state, "speedup", speedups);
    state.counters["drawn_pixels"] = (double)drawn_pixels(arrays);
}
