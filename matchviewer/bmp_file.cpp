// 24-bit BMP files of a captured view.
#include "matchviewer/bmp_file.h"

#include "platform/crt.h"

#include <string.h>

namespace {

void put_u16(uint8_t* p, uint32_t v) {
    p[0] = (uint8_t)v;
    p[1] = (uint8_t)(v >> 8);
}

void put_u32(uint8_t* p, uint32_t v) {
    p[0] = (uint8_t)v;
    p[1] = (uint8_t)(v >> 8);
    p[2] = (uint8_t)(v >> 16);
    p[3] = (uint8_t)(v >> 24);
}

int32_t not_negative(int32_t v) {
    return v < 0 ? 0 : v;
}

}  // namespace

int64_t bmp_row_size(int32_t width) {
    return ((int64_t)not_negative(width) * 3 + 3) / 4 * 4;
}

int64_t bmp_image_size(int32_t width, int32_t height) {
    return bmp_row_size(width) * not_negative(height);
}

int64_t bmp_file_size(int32_t width, int32_t height) {
    const int64_t size = kBmpHeaderSize + bmp_image_size(width, height);
    return size > (int64_t)UINT32_MAX ? -1 : size;
}

void write_bmp_header(uint8_t* header, int32_t width, int32_t height) {
    const uint32_t image = (uint32_t)bmp_image_size(width, height);
    memset(header, 0, kBmpHeaderSize);
    header[0] = 'B';
    header[1] = 'M';
    put_u32(header + 2, kBmpHeaderSize + image);  // bfSize
    put_u32(header + 10, kBmpHeaderSize);         // bfOffBits
    put_u32(header + 14, 40);                     // biSize
    put_u32(header + 18, (uint32_t)not_negative(width));
    put_u32(header + 22, (uint32_t)not_negative(height));  // positive: bottom row first
    put_u16(header + 26, 1);                               // biPlanes
    put_u16(header + 28, 24);                              // biBitCount
    put_u32(header + 34, image);                           // biSizeImage
    // NOTE: compression, resolution, colour counts and the four bytes at 54 stay zero;
    // the pixels begin at 58.
}

bool fill_bmp_file(uint8_t* dest, const uint8_t* section, int32_t width, int32_t height) {
    if (bmp_file_size(width, height) < 0) return false;
    write_bmp_header(dest, width, height);
    const int32_t w = not_negative(width);
    const int32_t h = not_negative(height);
    const size_t row_size = (size_t)bmp_row_size(w);
    uint8_t* row = dest + kBmpHeaderSize;
    for (int32_t y = 0; y < h; ++y) {
        const uint8_t* pixel = section + (size_t)y * (size_t)w * 4;
        uint8_t* out = row;
        // NOTE: four bytes are copied per pixel, and the next pixel overwrites the unused
        // fourth; only the last pixel of the row gets its three bytes alone.
        for (int32_t x = 0; x + 1 < w; ++x) {
            memcpy(out, pixel, 4);
            out += 3;
            pixel += 4;
        }
        if (w > 0) {
            memcpy(out, pixel, 3);
            out += 3;
        }
        while (out < row + row_size) *out++ = 0;
        row += row_size;
    }
    return true;
}

bool write_and_close(FILE* file, const void* data, size_t size) {
    bool written = size == 0 || fwrite(data, 1, size, file) == size;
    // NOTE: where the system cannot sync a whole file system at the end of the capture, each
    // file goes to the disk here (a no-op elsewhere).
    written = written && crt_sync_batch_file(file) == 0;
    // NOTE: buffered bytes reach the disk only in fclose, so its result counts as well.
    const bool closed = fclose(file) == 0;
    return written && closed;
}
