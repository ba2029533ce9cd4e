// The log lines: two-decimal numbers, the statistics line, the frame-count line.
#include "matchviewer/log_lines.h"

#include <gtest/gtest.h>
#include <math.h>

#include <string>

namespace {

std::wstring fixed2(double value, int capacity = 64) {
    wchar_t buffer[400];
    const int n = format_fixed2(value, buffer, capacity);
    EXPECT_EQ((size_t)n, wcslen(buffer));
    return buffer;
}

std::wstring statistics(int32_t n, int32_t w, int32_t m, int32_t k, bool to_world,
                        int capacity = kLogLineCapacity) {
    const FrameRead frame = {w, k, m, (uint8_t)(to_world ? 1 : 0), false, false};
    wchar_t buffer[kLogLineCapacity + 1];
    buffer[capacity] = L'#';
    const int length = format_statistics_line(n, frame, buffer, capacity);
    EXPECT_EQ((size_t)length, wcslen(buffer));
    EXPECT_EQ(buffer[capacity], L'#');
    return buffer;
}

}  // namespace

TEST(FormatFixed2, CutNotRounded) {
    EXPECT_EQ(fixed2(45 * 100.0 / 80), L"56.25");
    EXPECT_EQ(fixed2(2 * 100.0 / 3), L"66.66");
    EXPECT_EQ(fixed2(3 * 100.0 / 125), L"2.39");  // the double nearest 2.4 lies below it
    EXPECT_EQ(fixed2(80 * 100.0 / 80), L"100.00");
    EXPECT_EQ(fixed2(0 * 100.0 / 5), L"0.00");
    EXPECT_EQ(fixed2(0.99999999999999994), L"0.99");  // x 10 rounds up to 10: still a 9
    EXPECT_EQ(fixed2(-1.5), L"-1.50");
    EXPECT_EQ(fixed2(-0.004), L"-0.00");
    EXPECT_EQ(fixed2(-0.0), L"0.00");  // not below zero
    EXPECT_EQ(fixed2(NAN), L"nan");
    EXPECT_EQ(fixed2(-INFINITY), L"-inf");
}

TEST(FormatFixed2, IntegerPartsBeyond32BitsAreExact) {
    EXPECT_EQ(fixed2(2147483648.0), L"2147483648.00");
    EXPECT_EQ(fixed2(2147483647 * 100.0 / 1), L"214748364700.00");  // K = 1, M = 2^31 - 1
    EXPECT_EQ(fixed2(-4294967296.25), L"-4294967296.25");
    EXPECT_EQ(fixed2(ldexp(1.0, 63)), L"9223372036854775808.00");
    EXPECT_EQ(fixed2(ldexp(1.0, 70)), L"1180591620717411303424.00");
    char expected[400];
    snprintf(expected, sizeof expected, "%.0f.00", 1.7976931348623157e308);  // exact in glibc
    EXPECT_EQ(fixed2(1.7976931348623157e308, 400),
              std::wstring(expected, expected + strlen(expected)));
}

TEST(FormatFixed2, EachWriteGetsOnlyTheRoomLeft) {
    EXPECT_EQ(fixed2(56.25, 1), L"");
    EXPECT_EQ(fixed2(56.25, 3), L"56");
    EXPECT_EQ(fixed2(56.25, 5), L"56.2");
    EXPECT_EQ(fixed2(-3.5, 2), L"-");
    wchar_t untouched = L'#';
    EXPECT_EQ(format_fixed2(1.0, &untouched, 0), 0);
    EXPECT_EQ(untouched, L'#');
}

TEST(LogLines, StatisticsAndFrameCount) {
    EXPECT_EQ(statistics(3, 120, 45, 80, true),
              L"Frame No 3: 120 world points; 45 of 80 match points (56.25%)  - to world\r\n");
    EXPECT_EQ(statistics(12, 7, 5, 3, false),
              L"Frame No 12: 7 world points; 5 of 3 match points (166.66%)  to frame\r\n");
    EXPECT_EQ(statistics(9, 4, 3, 0, false),
              L"Frame No 9: 4 world points; 3 of 0 match points (-%)  to frame\r\n");
    EXPECT_EQ(statistics(INT32_MAX, INT32_MAX, INT32_MAX, 1, true),
              L"Frame No 2147483647: 2147483647 world points; 2147483647 of 1 match points "
              L"(214748364700.00%)  - to world\r\n");
    EXPECT_EQ(statistics(3, 120, 45, 80, true, 50),
              L"Frame No 3: 120 world points; 45 of 80 match poin");
    wchar_t buffer[kLogLineCapacity];
    EXPECT_EQ(format_frame_count_line(57, buffer, kLogLineCapacity), 11);
    EXPECT_EQ(std::wstring(buffer), L"57 frames\r\n");
    format_frame_count_line(0, buffer, kLogLineCapacity);
    EXPECT_EQ(std::wstring(buffer), L"0 frames\r\n");
}
