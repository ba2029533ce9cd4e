// Fuzzes the log line formatting with any values and any buffer room: the two-decimal
// number and the statistics line must stay inside their buffer, be terminated, and a
// smaller buffer must give a prefix of the whole text.
#include <math.h>
#include <stdint.h>
#include <stdio.h>
#include <string.h>
#include <wchar.h>

#include "fuzz_support.h"
#include "matchviewer/log_lines.h"

namespace {

const int kRoom = 400;  // more than any line needs
const wchar_t kGuard = L'#';

// Fills a buffer with guard characters, so that writes behind the given room show.
void fill_guard(wchar_t* buffer) {
    for (int i = 0; i <= kRoom; ++i) buffer[i] = kGuard;
}

// The text written with capacity is terminated inside it, untouched behind it, and the
// start of the whole text.
void check_prefix(const wchar_t* whole, int whole_length, const wchar_t* part, int part_length,
                  int capacity) {
    for (int i = capacity > 0 ? capacity : 0; i <= kRoom; ++i) FUZZ_CHECK(part[i] == kGuard);
    if (capacity <= 0) {
        FUZZ_CHECK(part_length == 0);
        return;
    }
    FUZZ_CHECK(part_length >= 0 && part_length < capacity);
    FUZZ_CHECK(part[part_length] == 0);
    FUZZ_CHECK(part_length <= whole_length);
    FUZZ_CHECK(wmemcmp(whole, part, (size_t)part_length) == 0);
    if (whole_length < capacity) FUZZ_CHECK(part_length == whole_length);
}

// The whole two-decimal text of value: sign, exact integer part, two decimals cut.
void check_fixed2_text(double value, const wchar_t* text, int length) {
    FUZZ_CHECK(wcslen(text) == (size_t)length);
    const wchar_t* digits = text;
    if (value < 0) {
        FUZZ_CHECK(text[0] == L'-');
        digits += 1;
    } else {
        FUZZ_CHECK(text[0] != L'-');
    }
    if (isnan(value) || isinf(value)) {
        FUZZ_CHECK(wcscmp(digits, isnan(value) ? L"nan" : L"inf") == 0);
        return;
    }
    const double magnitude = fabs(value);
    const double whole = trunc(magnitude);
    wchar_t expected_whole[kRoom];
    // NOTE: the C library prints integral doubles exactly, at any size.
    swprintf(expected_whole, kRoom, L"%.0f", whole);
    const size_t whole_digits = wcslen(expected_whole);
    FUZZ_CHECK(wcsncmp(digits, expected_whole, whole_digits) == 0);
    FUZZ_CHECK(digits[whole_digits] == L'.');
    const wchar_t* decimals = digits + whole_digits + 1;
    FUZZ_CHECK(wcslen(decimals) == 2);
    FUZZ_CHECK(decimals[0] >= L'0' && decimals[0] <= L'9');
    FUZZ_CHECK(decimals[1] >= L'0' && decimals[1] <= L'9');
    const double cents = (decimals[0] - L'0') * 10 + (decimals[1] - L'0');
    const double exact = (magnitude - whole) * 100.0;
    FUZZ_CHECK(cents <= exact + 1e-6);
    FUZZ_CHECK(exact - cents < 1 + 1e-6);
}

template <typename T>
T take(const uint8_t*& data, size_t& size) {
    T value{};
    const size_t n = size < sizeof value ? size : sizeof value;
    memcpy(&value, data, n);
    data += n;
    size -= n;
    return value;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const double value = take<double>(data, size);
    const int capacity = (int)(take<uint16_t>(data, size) % (kRoom + 1)) - 2;  // -2 .. 398
    FrameRead frame = {};
    const int32_t n = take<int32_t>(data, size);
    frame.world_count = take<int32_t>(data, size);
    frame.matched = take<int32_t>(data, size);
    frame.match_count = take<int32_t>(data, size);
    frame.links_to_world = take<uint8_t>(data, size) & 1;

    wchar_t whole[kRoom + 1];
    wchar_t part[kRoom + 1];
    fill_guard(whole);
    const int whole_length = format_fixed2(value, whole, kRoom);
    FUZZ_CHECK(whole_length > 0 && whole_length < kRoom);
    check_fixed2_text(value, whole, whole_length);
    fill_guard(part);
    check_prefix(whole, whole_length, part, format_fixed2(value, part, capacity), capacity);

    fill_guard(whole);
    const int line_length = format_statistics_line(n, frame, whole, kRoom);
    FUZZ_CHECK(line_length < kLogLineCapacity);
    FUZZ_CHECK(wcslen(whole) == (size_t)line_length);
    FUZZ_CHECK(line_length >= 2 && wcscmp(whole + line_length - 2, L"\r\n") == 0);
    fill_guard(part);
    check_prefix(whole, line_length, part, format_statistics_line(n, frame, part, capacity),
                 capacity);
    return 0;
}
