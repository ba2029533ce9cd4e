// The lines Twinscope writes to its log: the frame count and one statistics line per frame.
#pragma once

#include <stdint.h>
#include <wchar.h>

#include "matchviewer/match_file.h"

// Room of a log line buffer, terminator included.
const int kLogLineCapacity = 260;

// Writes value with an optional '-', its integer part truncated toward zero, '.', and two
// decimals cut (never rounded) by repeated multiplication by ten. Each write gets the room
// left of capacity (terminator included). Returns the characters written, terminator
// excluded. Integer parts beyond 32 bits are written with all their exact digits; a NaN is
// written "nan" and an infinity "inf" (after the '-'), without decimals.
int format_fixed2(double value, wchar_t* dest, int capacity);

// The statistics line of frame number n:
// "Frame No n: W world points; M of K match points (P%)  - to world\r\n", or " to frame"
// for a to-frame frame, with P = M x 100 / K by format_fixed2. For K = 0, P is "-".
int format_statistics_line(int32_t n, const FrameRead& frame, wchar_t* dest, int capacity);

// The frame-count line: count followed by " frames\r\n".
int format_frame_count_line(int32_t count, wchar_t* dest, int capacity);
