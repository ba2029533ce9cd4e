// The lines Twinscope writes to its log.
#include "matchviewer/log_lines.h"

#include <math.h>

#include "matchviewer/wide_text.h"

namespace {

// Writes the exact decimal digits of a whole number of at least 2^63 given as a double.
void put_huge_whole(WideText& text, double whole) {
    int exponent = 0;
    const double fraction = frexp(whole, &exponent);  // whole = fraction x 2^exponent
    uint64_t bits = (uint64_t)ldexp(fraction, 53);
    exponent -= 53;  // whole = bits x 2^exponent, exponent > 0 here
    // Base 10^9 digits, least significant first; a double has at most 309 digits.
    const uint32_t kBase = 1000000000u;
    uint32_t limbs[40];
    int count = 0;
    while (bits != 0) {
        limbs[count++] = (uint32_t)(bits % kBase);
        bits /= kBase;
    }
    while (exponent > 0) {
        const int shift = exponent < 29 ? exponent : 29;
        uint64_t carry = 0;
        for (int i = 0; i < count; ++i) {
            const uint64_t v = ((uint64_t)limbs[i] << shift) + carry;
            limbs[i] = (uint32_t)(v % kBase);
            carry = v / kBase;
        }
        while (carry != 0) {
            limbs[count++] = (uint32_t)(carry % kBase);
            carry /= kBase;
        }
        exponent -= shift;
    }
    text_put_int(text, limbs[count - 1]);
    for (int i = count - 2; i >= 0; --i) text_put_int(text, limbs[i], 9);
}

}  // namespace

int format_fixed2(double value, wchar_t* dest, int capacity) {
    WideText text = wide_text(dest, capacity);
    // NOTE: a strict test: NaN and -0.0 are not negative.
    if (value < 0) {
        text_put_char(text, L'-');
        value = -value;
    }
    if (isnan(value) || isinf(value)) {
        text_put(text, isnan(value) ? L"nan" : L"inf");
        return text.length;
    }
    double whole = trunc(value);
    if (whole < 9223372036854775808.0) {
        text_put_int(text, (int64_t)whole);
    } else {
        put_huge_whole(text, whole);
    }
    text_put_char(text, L'.');
    for (int i = 0; i < 2; ++i) {
        value = (value - whole) * 10.0;
        whole = trunc(value);
        // NOTE: a remainder just below 1 can round to 10 when multiplied; the digit is 9
        // then, as the cut value has it.
        if (whole > 9.0) whole = 9.0;
        text_put_char(text, (wchar_t)(L'0' + (int)whole));
    }
    return text.length;
}

int format_statistics_line(int32_t n, const FrameRead& frame, wchar_t* dest, int capacity) {
    WideText text = wide_text(dest, capacity);
    text_put(text, L"Frame No ");
    text_put_int(text, n);
    text_put(text, L": ");
    text_put_int(text, frame.world_count);
    text_put(text, L" world points; ");
    text_put_int(text, frame.matched);
    text_put(text, L" of ");
    text_put_int(text, frame.match_count);
    text_put(text, L" match points (");
    if (frame.match_count == 0) {
        // NOTE: M x 100 / 0 has no value; a dash says so, where a number would claim one.
        text_put(text, L"-");
    } else if (text.length + 1 < text.capacity) {
        const double percentage = frame.matched * 100.0 / frame.match_count;
        text.length +=
            format_fixed2(percentage, text.dest + text.length, text.capacity - text.length);
    } else {
        text.truncated = true;
    }
    text_put(text, L"%) ");
    text_put(text, frame.links_to_world ? L" - to world" : L" to frame");
    text_put(text, L"\r\n");
    return text.length;
}

int format_frame_count_line(int32_t count, wchar_t* dest, int capacity) {
    WideText text = wide_text(dest, capacity);
    text_put_int(text, count);
    text_put(text, L" frames\r\n");
    return text.length;
}
