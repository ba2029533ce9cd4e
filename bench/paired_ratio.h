// Ratios of two timed operations measured in pairs, the order alternating from pair to pair,
// so that a busy machine slows both sides of a pair alike. Reported as min/median/max.
#pragma once

#include <benchmark/benchmark.h>

#include <time.h>

#include <algorithm>
#include <chrono>
#include <string>
#include <vector>

// What a pair is timed by: the wall clock (work spread over threads, such as a renderer's),
// or the CPU time of the calling thread (single-threaded work: time the thread waited for a
// core on a busy machine does not count).
enum class PairClock { wall, thread_cpu };

inline double clock_seconds(PairClock clock) {
    if (clock == PairClock::wall) {
        return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch())
            .count();
    }
    timespec t;
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return (double)t.tv_sec + 1e-9 * (double)t.tv_nsec;
}

// Seconds taken by fn.
template <typename Fn>
double seconds_of(PairClock clock, Fn&& fn) {
    const double start = clock_seconds(clock);
    fn();
    return clock_seconds(clock) - start;
}

// Times measured and reference once each, measured first in odd pairs, and returns
// measured / reference.
template <typename Measured, typename Reference>
double paired_ratio(PairClock clock, int pair, Measured&& measured, Reference&& reference) {
    double measured_s, reference_s;
    if (pair % 2) {
        measured_s = seconds_of(clock, measured);
        reference_s = seconds_of(clock, reference);
    } else {
        reference_s = seconds_of(clock, reference);
        measured_s = seconds_of(clock, measured);
    }
    return measured_s / reference_s;
}

// Adds name_min, name_median and name_max counters for ratios.
inline void report_ratios(benchmark::State& state, const std::string& name,
                          std::vector<double> ratios) {
    if (ratios.empty()) return;
    std::sort(ratios.begin(), ratios.end());
    state.counters[name + "_min"] = ratios.front();
    state.counters[name + "_median"] = ratios[ratios.size() / 2];
    state.counters[name + "_max"] = ratios.back();
}
