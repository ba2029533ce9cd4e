/* What the C library's single-precision atan2 sources (e_atan2f.c, s_atanf.c) need of its
 * internal math header, for compiling them outside the library: the bit access to a float
 * and the two internal functions. */
#pragma once

#include <stdint.h>
#include <string.h>

#define GET_FLOAT_WORD(i, d)        \
    do {                            \
        float value_ = (d);         \
        uint32_t word_;             \
        memcpy(&word_, &value_, 4); \
        (i) = word_;                \
    } while (0)
#define SET_FLOAT_WORD(d, i)        \
    do {                            \
        uint32_t word_ = (i);       \
        float value_;               \
        memcpy(&value_, &word_, 4); \
        (d) = value_;               \
    } while (0)

float __atanf(float x);
float __ieee754_atan2f(float y, float x);
