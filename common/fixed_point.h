// The fixed-point text both programs write: the mesh file's coordinates (five decimals) and
// the log's percentages (two decimals). Both cut the decimals, never round them.
#pragma once

// Room of a fixed-point text with up to 8 decimals, terminator included: a '-', the 309
// integer digits of the largest double, '.', the decimals and the terminator.
const int kFixedTextCapacity = 320;

// Writes the exact decimal digits of an integral v >= 0 at digits (room for 309); returns
// their number.
int exact_integer_digits(double v, char* digits);

// Writes value into text (kFixedTextCapacity characters) and returns the length without the
// terminator: an optional '-' (only for value < 0, so never for -0.0 or NaN), the integer
// part truncated toward zero with all its exact digits, '.', then decimals digits made by
// repeated multiplication by ten, each truncated. NaN is written "nan", infinities "inf"
// (after the '-'), without decimals. decimals is at most 8.
int format_fixed(double value, int decimals, char* text);
