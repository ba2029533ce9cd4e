// Fuzzes the oriented point file reader: any bytes as a real file through load_points,
// checked against the file layout decoded here independently.
#include <math.h>
#include <stdint.h>
#include <stdlib.h>
#include <string.h>

#include "fuzz_support.h"
#include "meshbuilder/point_file.h"

namespace {

uint32_t le32(const uint8_t* p) {
    return (uint32_t)p[0] | (uint32_t)p[1] << 8 | (uint32_t)p[2] << 16 | (uint32_t)p[3] << 24;
}

bool finite_float_bits(uint32_t bits) {
    return (bits & 0x7f800000u) != 0x7f800000u;
}

// What the reader must answer for these bytes: the status, and for ok the count.
LoadStatus expected_status(const uint8_t* data, size_t size) {
    if (size < 4) return LoadStatus::too_short;
    const int32_t count = (int32_t)le32(data);
    if (count < 0) return LoadStatus::negative_count;
    if ((uint64_t)size < 4 + 24 * (uint64_t)count) return LoadStatus::too_short;
    // The first point with a bad coordinate decides: not finite before out of range.
    for (int64_t point = 0; point < count; ++point) {
        bool finite = true, within = true;
        for (int c = 0; c < 6; ++c) {
            float value;
            const uint32_t bits = le32(data + 4 + 24 * point + 4 * c);
            memcpy(&value, &bits, 4);
            finite = finite && finite_float_bits(bits);
            if (c < 3 && finite_float_bits(bits)) within = within && fabsf(value) <= 1e18f;
        }
        if (!finite) return LoadStatus::not_finite;
        if (!within) return LoadStatus::out_of_range;
    }
    return LoadStatus::ok;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz_write_input(data, size);
    // Garbage the reader must clear.
    PointFile points = {-7, (float*)&points, (float*)&points, true, {}};
    const LoadResult result = load_points(fuzz_input_path(), &points);
    const LoadStatus expected = expected_status(data, size);

    FUZZ_CHECK(result.status == expected);
    if (result.status != LoadStatus::ok) {
        // A refusal hands on nothing, and says why.
        FUZZ_CHECK(points.count == 0);
        FUZZ_CHECK(points.positions == nullptr);
        FUZZ_CHECK(points.normals == nullptr);
        FUZZ_CHECK(!result.reason.empty());
        return 0;
    }
    // Exactly N positions and N normals, each the bits of the file, in file order; bytes
    // behind the last point are ignored.
    const int32_t count = (int32_t)le32(data);
    FUZZ_CHECK(points.count == count);
    FUZZ_CHECK(points.positions != nullptr);
    FUZZ_CHECK(points.normals != nullptr);
    for (int32_t i = 0; i < count; ++i) {
        const uint8_t* record = data + 4 + 24 * (size_t)i;
        FUZZ_CHECK(memcmp(points.positions + 3 * (size_t)i, record, 12) == 0);
        FUZZ_CHECK(memcmp(points.normals + 3 * (size_t)i, record + 12, 12) == 0);
    }
    free(points.positions);
    free(points.normals);
    return 0;
}
