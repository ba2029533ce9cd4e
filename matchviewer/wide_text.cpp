// Appending to a fixed wide-character buffer.
#include "matchviewer/wide_text.h"

WideText wide_text(wchar_t* dest, int capacity) {
    WideText text = {dest, capacity, 0, false};
    if (capacity > 0) dest[0] = 0;
    return text;
}

void text_put_char(WideText& text, wchar_t c) {
    if (text.length + 1 >= text.capacity) {
        text.truncated = true;
        return;
    }
    text.dest[text.length++] = c;
    text.dest[text.length] = 0;
}

void text_put(WideText& text, const wchar_t* s) {
    for (; *s; ++s) {
        text_put_char(text, *s);
        if (text.truncated) return;
    }
}

void text_put_int(WideText& text, int64_t value, int min_digits) {
    wchar_t digits[24];
    int n = 0;
    // NOTE: works on the magnitude as unsigned, so INT64_MIN has a value to print.
    uint64_t magnitude = value < 0 ? 0 - (uint64_t)value : (uint64_t)value;
    do {
        digits[n++] = (wchar_t)(L'0' + magnitude % 10);
        magnitude /= 10;
    } while (magnitude != 0);
    while (n < min_digits && n < 20) digits[n++] = L'0';
    if (value < 0) text_put_char(text, L'-');
    while (n > 0 && !text.truncated) text_put_char(text, digits[--n]);
}
