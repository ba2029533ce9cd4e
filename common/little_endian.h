// Little-endian decoding of the programs' file formats, whatever the byte order of the host.
#pragma once

#include <stdint.h>

// The unsigned 32-bit little-endian value at bytes.
inline uint32_t load_le32(const unsigned char* bytes) {
    return (uint32_t)bytes[0] | (uint32_t)bytes[1] << 8 | (uint32_t)bytes[2] << 16 |
           (uint32_t)bytes[3] << 24;
}
