// The log lines: two-decimal numbers, the statistics line, the frame-count line.
#include "matchviewer/log_lines.h"

#include <gtest/gtest.h>
#include <math.h>
#include <stdio.h>

#include <string>

namespace {

std::wstring fixed2(double value, int capacity = 64) {
    wchar_t buffer[400];
    for (wchar_t& c : buffer) c = L'#';
    const int n = format_fixed2(value, buffer, capacity);
    EXPECT_EQ((size_t)n, wcslen(buffer));
    EXPECT_LT(n, capacity);
    return std::wstring(buffer);
}

std::wstring statistics(int32_t n, int32_t w, int32_t m, int32_t k, bool to_world) {
    FrameRead frame = {};
    frame.world_count = w;
    frame.matched = m;
    frame.match_count = k;
    frame.links_to_world = to_world ? 1 : 0;
    wchar_t buffer[kLogLineCapacity];
    const int length = format_statistics_line(n, frame, buffer, kLogLineCapacity);
    EXPECT_EQ((size_t)length, wcslen(buffer));
    return std::wstring(buffer);
}

}  // namespace

TEST(FormatFixed2, PercentagesAreCutNotRounded) {
    EXPECT_EQ(fixed2(45 * 100.0 / 80), L"56.25");
    EXPECT_EQ(fixed2(2 * 100.0 / 3), L"66.66");
    EXPECT_EQ(fixed2(3 * 100.0 / 125), L"2.39");  // the double nearest 2.4 lies below it
    EXPECT_EQ(fixed2(80 * 100.0 / 80), L"100.00");
    EXPECT_EQ(fixed2(0 * 100.0 / 5), L"0.00");
    EXPECT_EQ(fixed2(5 * 100.0 / 3), L"166.66");
    EXPECT_EQ(fixed2(0.999), L"0.99");
    EXPECT_EQ(fixed2(0.99999999999999994), L"0.99");  // x 10 rounds to 10: still a 9
    EXPECT_EQ(fixed2(7.0), L"7.00");
}

TEST(FormatFixed2, SignAndSpecialValues) {
    EXPECT_EQ(fixed2(-1.5), L"-1.50");
    EXPECT_EQ(fixed2(-0.004), L"-0.00");
    EXPECT_EQ(fixed2(-0.0), L"0.00");  // not below zero
    EXPECT_EQ(fixed2(NAN), L"nan");
    EXPECT_EQ(fixed2(INFINITY), L"inf");
    EXPECT_EQ(fixed2(-INFINITY), L"-inf");
}

TEST(FormatFixed2, IntegerPartsBeyond32BitsAreExact) {
    EXPECT_EQ(fixed2(2147483647.5), L"2147483647.50");
    EXPECT_EQ(fixed2(2147483648.0), L"2147483648.00");
    EXPECT_EQ(fixed2(-4294967296.25), L"-4294967296.25");
    // One match point and M = 2^31 - 1 linked world points.
    EXPECT_EQ(fixed2(2147483647 * 100.0 / 1), L"214748364700.00");
    EXPECT_EQ(fixed2(9223372036854775808.0), L"9223372036854775808.00");
    EXPECT_EQ(fixed2(ldexp(1.0, 70)), L"1180591620717411303424.00");
    EXPECT_EQ(fixed2(1e20), L"100000000000000000000.00");
    // The largest double, digit for digit as printf writes it exactly.
    char expected[400];
    snprintf(expected, sizeof expected, "%.0f.00", 1.7976931348623157e308);
    EXPECT_EQ(fixed2(1.7976931348623157e308, 400), std::wstring(expected, expected + strlen(expected)));
}

TEST(FormatFixed2, EachWriteGetsOnlyTheRoomLeft) {
    EXPECT_EQ(fixed2(56.25, 1), L"");
    EXPECT_EQ(fixed2(56.25, 3), L"56");
    EXPECT_EQ(fixed2(56.25, 4), L"56.");
    EXPECT_EQ(fixed2(56.25, 5), L"56.2");
    EXPECT_EQ(fixed2(56.25, 6), L"56.25");
    EXPECT_EQ(fixed2(-3.5, 2), L"-");
    wchar_t untouched[2] = {L'#', 0};
    EXPECT_EQ(format_fixed2(1.0, untouched, 0), 0);
    EXPECT_EQ(untouched[0], L'#');
}

TEST(StatisticsLine, PiecesInOrder) {
    EXPECT_EQ(statistics(3, 120, 45, 80, true),
              L"Frame No 3: 120 world points; 45 of 80 match points (56.25%)  - to world\r\n");
    EXPECT_EQ(statistics(12, 7, 5, 3, false),
              L"Frame No 12: 7 world points; 5 of 3 match points (166.66%)  to frame\r\n");
    EXPECT_EQ(statistics(1, 0, 0, 5, true),
              L"Frame No 1: 0 world points; 0 of 5 match points (0.00%)  - to world\r\n");
}

TEST(StatisticsLine, WithoutMatchPointsThePercentageIsADash) {
    EXPECT_EQ(statistics(2, 4, 0, 0, true),
              L"Frame No 2: 4 world points; 0 of 0 match points (-%)  - to world\r\n");
    EXPECT_EQ(statistics(9, 4, 3, 0, false),
              L"Frame No 9: 4 world points; 3 of 0 match points (-%)  to frame\r\n");
}

TEST(StatisticsLine, LargestNumbersFitAndSmallBuffersAreNotOverrun) {
    const std::wstring line = statistics(INT32_MAX, INT32_MAX, INT32_MAX, 1, false);
    EXPECT_EQ(line, L"Frame No 2147483647: 2147483647 world points; 2147483647 of 1 match "
                    L"points (214748364700.00%)  to frame\r\n");
    FrameRead frame = {};
    frame.world_count = 120;
    frame.matched = 45;
    frame.match_count = 80;
    frame.links_to_world = 1;
    wchar_t buffer[64];
    for (wchar_t& c : buffer) c = L'#';
    EXPECT_EQ(format_statistics_line(3, frame, buffer, 50), 49);
    EXPECT_EQ(std::wstring(buffer), L"Frame No 3: 120 world points; 45 of 80 match poin");
    EXPECT_EQ(buffer[50], L'#');
}

TEST(FrameCountLine, CountAndLineEnd) {
    wchar_t buffer[kLogLineCapacity];
    EXPECT_EQ(format_frame_count_line(57, buffer, kLogLineCapacity), 11);
    EXPECT_EQ(std::wstring(buffer), L"57 frames\r\n");
    format_frame_count_line(0, buffer, kLogLineCapacity);
    EXPECT_EQ(std::wstring(buffer), L"0 frames\r\n");
    format_frame_count_line(1000000, buffer, kLogLineCapacity);
    EXPECT_EQ(std::wstring(buffer), L"1000000 frames\r\n");
}
