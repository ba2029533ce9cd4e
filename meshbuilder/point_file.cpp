#include "meshbuilder/point_file.h"

#include <errno.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "common/count_words.h"
#include "common/little_endian.h"
#include "meshbuilder/mesh_record.h"
#include "platform/crt.h"

namespace {

// Points decoded per read: 96 KiB of file at a time.
const int32_t kPointsPerBlock = 4096;
const size_t kPointBytes = 24;

// NOTE: an all-ones exponent is an infinity or a NaN; tested on the bits so that no
// floating-point compare is needed per coordinate.
bool finite_bits(uint32_t bits) {
    return (bits & 0x7f800000u) != 0x7f800000u;
}

// NOTE: for finite floats the magnitude bits order as the magnitudes do.
bool within_limit_bits(uint32_t bits) {
    uint32_t limit_bits;
    memcpy(&limit_bits, &kCoordinateLimit, 4);
    return (bits & 0x7fffffffu) <= limit_bits;
}

LoadResult failure(LoadStatus status, const std::wstring& reason) {
    return LoadResult{status, reason};
}

// The file's length in bytes, or -1 when it cannot be determined (the position is kept).
int64_t file_length(FILE* file) {
    const int64_t here = crt_tell64(file);
    if (here < 0 || crt_seek64(file, 0, SEEK_END) != 0) return -1;
    const int64_t length = crt_tell64(file);
    if (crt_seek64(file, here, SEEK_SET) != 0) return -1;
    return length;
}

// Reads the count at the start of file and checks it against the file's length.
LoadResult read_count(FILE* file, int32_t* count) {
    unsigned char head[4];
    const size_t got = fread(head, 1, sizeof head, file);
    // NOTE: a folder opens as a stream on POSIX systems and fails only on its first read;
    // it is reported as a file that cannot be opened, as on Windows.
    if (got == 0 && ferror(file)) return failure(LoadStatus::cannot_open, L"Cannot open file");
    if (got < sizeof head) {
        return failure(LoadStatus::too_short,
                       L"The point file is too short: it does not even hold its point count (" +
                           std::to_wstring(got) + L" " + noun_for_count(got, L"byte", L"bytes") +
                           L").");
    }
    const uint32_t count_bits = load_le32(head);
    memcpy(count, &count_bits, 4);  // NOTE: the bits as stored, so the sign is the file's
    if (*count < 0) {
        return failure(LoadStatus::negative_count,
                       L"The point file is damaged: its point count is negative (" +
                           std::to_wstring(*count) + L").");
    }
    const int64_t length = file_length(file);
    if (length < 0) {
        return failure(LoadStatus::unreadable,
                       L"The size of the point file cannot be determined, so it is not read.");
    }
    const int64_t needed = 4 + (int64_t)kPointBytes * *count;
    if (length < needed) {
        return failure(LoadStatus::too_short,
                       L"The point file is too short: its count of " + std::to_wstring(*count) +
                           L" " + noun_for_count(*count, L"point", L"points") + L" needs " +
                           std::to_wstring(needed) + L" bytes, but it has " +
                           std::to_wstring(length) + L".");
    }
    return LoadResult{LoadStatus::ok, std::wstring()};
}

// Checks a raw point record and copies its position and normal out: ok, not_finite or
// out_of_range (then nothing is copied).
LoadStatus decode_point(const unsigned char* record, float* position, float* normal) {
    uint32_t bits[6];
    bool finite = true;
    bool within_limit = true;
    for (int c = 0; c < 6; ++c) {
        bits[c] = load_le32(record + 4 * c);
        finite = finite && finite_bits(bits[c]);
        if (c < 3) within_limit = within_limit && within_limit_bits(bits[c]);
    }
    if (!finite) return LoadStatus::not_finite;
    if (!within_limit) return LoadStatus::out_of_range;
    memcpy(position, bits, 12);
    memcpy(normal, bits + 3, 12);
    return LoadStatus::ok;
}

// The failure of point number (1-based) of count that decode_point refused with status.
LoadResult refused_point(LoadStatus status, int64_t number, int32_t count) {
    if (status == LoadStatus::not_finite) {
        return failure(status, L"The point file is damaged: point " + std::to_wstring(number) +
                                   L" of " + std::to_wstring(count) +
                                   L" has a coordinate that is not a finite number.");
    }
    return failure(status, L"The point file cannot be used: point " + std::to_wstring(number) +
                               L" of " + std::to_wstring(count) +
                               L" has a coordinate larger than 1e18 in magnitude, the "
                               L"limit of the triangulation's distance arithmetic.");
}

// Reads the count point records that follow the count, a block at a time, into the arrays.
LoadResult read_records(FILE* file, int32_t count, float* positions, float* normals) {
    unsigned char* block = (unsigned char*)malloc(kPointBytes * kPointsPerBlock);
    if (!block) {
        return failure(LoadStatus::too_large,
                       L"There is not enough memory to read the point file.");
    }
    LoadResult result{LoadStatus::ok, std::wstring()};
    for (int32_t first = 0; first < count && result.status == LoadStatus::ok;
         first += kPointsPerBlock) {
        const int32_t in_block = count - first < kPointsPerBlock ? count - first : kPointsPerBlock;
        if (fread(block, kPointBytes, (size_t)in_block, file) != (size_t)in_block) {
            result =
                failure(LoadStatus::unreadable, L"The point file could not be read to its end.");
            break;
        }
        // Position then normal of each point, as they alternate in the file.
        for (int32_t k = 0; k < in_block; ++k) {
            const size_t i = (size_t)first + (size_t)k;
            const LoadStatus status =
                decode_point(block + kPointBytes * k, positions + 3 * i, normals + 3 * i);
            if (status != LoadStatus::ok) {
                result = refused_point(status, (int64_t)i + 1, count);
                break;
            }
        }
    }
    free(block);
    return result;
}

// Reads the count, checks it against the file's length and reads the points into out.
LoadResult read_points(FILE* file, PointFile* out) {
    int32_t count = 0;
    LoadResult result = read_count(file, &count);
    if (result.status != LoadStatus::ok) return result;

    const uint64_t array_bytes = (uint64_t)count * 12u;
    void* positions = nullptr;
    void* normals = nullptr;
    if (array_bytes > SIZE_MAX ||
        !allocate_two_blocks((size_t)array_bytes, (size_t)array_bytes, &positions, &normals)) {
        return failure(LoadStatus::too_large,
                       L"There is not enough memory to load the " + std::to_wstring(count) + L" " +
                           noun_for_count(count, L"point", L"points") + L" of the point file.");
    }
    result = read_records(file, count, (float*)positions, (float*)normals);
    if (result.status != LoadStatus::ok) {
        free(positions);
        free(normals);
        return result;
    }
    out->count = count;
    out->positions = (float*)positions;
    out->normals = (float*)normals;
    return result;
}

}  // namespace

LoadResult load_points(const char* path, PointFile* out) {
    out->count = 0;
    out->positions = nullptr;
    out->normals = nullptr;
    out->identified = false;
    FILE* file = fopen(path, "rb");
    if (!file) return failure(LoadStatus::cannot_open, L"Cannot open file");
    // NOTE: taken before the first read, so a change made while reading shows as another file.
    out->identified = crt_file_identity(file, &out->identity);
    LoadResult result = read_points(file, out);
    fclose(file);
    return result;
}
