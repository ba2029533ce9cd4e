// Little-endian decoding of the programs' file formats, whatever the byte order of the host.
#pragma once

#include <stdint.h>

// The unsigned 32-bit little-endian value at bytes.
inline uint32_t load_le32(const unsigned char* bytes) {
    return (uint32_t)bytes[0] | (uint32_t)bytes[1] << 8 | (uint32_t)bytes[2] << 16 |
           (uint32_t)bytes[3] << 24;
}

// Whether the host stores numbers little-endian, as the files do: then a run of a file's
// numbers can be copied as it stands.
#if (defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__) || defined(_WIN32)
const bool kHostIsLittleEndian = true;
#else
const bool kHostIsLittleEndian = false;
#endif
