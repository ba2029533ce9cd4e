// The lines Twinscope writes to its log.
#include "matchviewer/log_lines.h"

#include "common/fixed_point.h"
#include "matchviewer/wide_text.h"

int format_fixed2(double value, wchar_t* dest, int capacity) {
    char digits[kFixedTextCapacity];
    format_fixed(value, 2, digits);
    WideText text = wide_text(dest, capacity);
    for (const char* c = digits; *c && !text.truncated; ++c) text_put_char(text, (wchar_t)*c);
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
