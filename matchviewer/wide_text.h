// Appending to a fixed wide-character buffer: each write gets the room that is left.
#pragma once

#include <stdint.h>
#include <wchar.h>

// A NUL-terminated text being built in dest, which has room for capacity characters
// including the terminator. truncated says that a write did not fit whole.
struct WideText {
    wchar_t* dest;
    int capacity;
    int length;
    bool truncated;
};

// Starts an empty text in dest; a capacity below 1 gives a text that takes nothing.
WideText wide_text(wchar_t* dest, int capacity);

// Appends one character, if there is room for it and the terminator.
void text_put_char(WideText& text, wchar_t c);

// Appends as much of s as fits.
void text_put(WideText& text, const wchar_t* s);

// Appends value in decimal with a '-' when negative and zeros in front up to min_digits.
void text_put_int(WideText& text, int64_t value, int min_digits = 1);
