// 24-bit BMP files of a captured view: a 14-byte file header, a 40-byte info header and
// four zero bytes (pixels at offset 58), then the rows bottom first.
#pragma once

#include <stddef.h>
#include <stdint.h>
#include <stdio.h>

const int kBmpHeaderSize = 58;

// Bytes of one 24-bit row of width pixels: 3 x width rounded up to a multiple of 4.
// A negative width counts as 0.
int64_t bmp_row_size(int32_t width);

// Bytes of the pixel rows: row size x height (a negative height counts as 0).
int64_t bmp_image_size(int32_t width, int32_t height);

// Bytes of the whole file, 58 + image size; -1 when that does not fit the 32-bit size field.
int64_t bmp_file_size(int32_t width, int32_t height);

// Fills the 58 header bytes for a bottom-up 24-bit picture of width x height pixels.
void write_bmp_header(uint8_t* header, int32_t width, int32_t height);

// Fills a whole file (bmp_file_size bytes) from a bottom-up 32-bit section of width x
// height pixels (blue, green, red, unused): the header, then each section row in memory
// order as blue, green, red with zero bytes up to the row size. Returns false when the
// size does not fit (bmp_file_size -1); dest is then untouched.
bool fill_bmp_file(uint8_t* dest, const uint8_t* section, int32_t width, int32_t height);

// Writes size bytes to file in one write and closes it; false when the write or the close
// failed (a full disk shows at one of them). The stream is closed either way.
bool write_and_close(FILE* file, const void* data, size_t size);
