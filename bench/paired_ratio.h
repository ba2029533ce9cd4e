// Ratios of two timed operations measured in pairs, the order alternating from pair to pair,
// so that a busy machine slows both sides of a pair alike. Reported as min/median/max.
#pragma once

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <string>
#include <vector>

// Seconds taken by fn.
template <typename Fn>
double seconds_of(Fn&& fn) {
    const auto start = std::chrono::steady_clock::now();
    fn();
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// Times measured and reference once each, measured first in odd pairs, and returns
// measured / reference.
template <typename Measured, typename Reference>
double paired_ratio(int pair, Measured&& measured, Reference&& reference) {
    double measured_s, reference_s;
    if (pair % 2) {
        measured_s = seconds_of(measured);
        reference_s = seconds_of(reference);
    } else {
        reference_s = seconds_of(reference);
        measured_s = seconds_of(measured);
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
