#include "common/fixed_point.h"

#include <stdint.h>
#include <string.h>

#include <cmath>

namespace {

// Writes the decimal digits of n, at least min_digits with zeros in front; returns their
// number.
int put_decimal(uint64_t n, int min_digits, char* digits) {
    char reversed[20];
    int count = 0;
    do {
        reversed[count++] = (char)('0' + n % 10);
        n /= 10;
    } while (n);
    while (count < min_digits) reversed[count++] = '0';
    for (int i = 0; i < count; ++i) digits[i] = reversed[count - 1 - i];
    return count;
}

}  // namespace

int exact_integer_digits(double v, char* digits) {
    if (v < 18446744073709551616.0) {  // 2^64: the conversion below is exact and defined
        return put_decimal((uint64_t)v, 1, digits);
    }
    // v = mantissa x 2^exponent with a 53-bit integer mantissa and exponent > 0; the
    // product is built exactly in base 10^9 limbs, least significant first.
    const uint32_t kBase = 1000000000u;
    int exponent;
    uint64_t mantissa = (uint64_t)std::ldexp(std::frexp(v, &exponent), 53);
    exponent -= 53;
    uint32_t limbs[40];
    int used = 0;
    while (mantissa) {
        limbs[used++] = (uint32_t)(mantissa % kBase);
        mantissa /= kBase;
    }
    while (exponent > 0) {
        // NOTE: a limb is below 2^30, so a shift of up to 29 bits plus the carry fits 64 bits.
        const int shift = exponent > 29 ? 29 : exponent;
        exponent -= shift;
        uint64_t carry = 0;
        for (int i = 0; i < used; ++i) {
            const uint64_t cur = ((uint64_t)limbs[i] << shift) + carry;
            limbs[i] = (uint32_t)(cur % kBase);
            carry = cur / kBase;
        }
        while (carry) {
            limbs[used++] = (uint32_t)(carry % kBase);
            carry /= kBase;
        }
    }
    int length = put_decimal(limbs[used - 1], 1, digits);
    for (int i = used - 2; i >= 0; --i) length += put_decimal(limbs[i], 9, digits + length);
    return length;
}

int format_fixed(double value, int decimals, char* text) {
    int length = 0;
    double v = value;
    // NOTE: a strict test: NaN and -0.0 are not negative.
    if (v < 0) {
        text[length++] = '-';
        v = -v;
    }
    if (std::isnan(v) || std::isinf(v)) {
        memcpy(text + length, std::isnan(v) ? "nan" : "inf", 4);
        return length + 3;
    }
    double whole = std::trunc(v);
    length += exact_integer_digits(whole, text + length);
    text[length++] = '.';
    for (int i = 0; i < decimals; ++i) {
        v = (v - whole) * 10.0;
        whole = std::trunc(v);
        // NOTE: a remainder just below 1 can round to 10 when multiplied; the digit is 9
        // then, as the cut value has it.
        if (whole > 9.0) whole = 9.0;
        text[length++] = (char)('0' + (int)whole);
    }
    text[length] = '\0';
    return length;
}
