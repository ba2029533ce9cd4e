// The oriented point file: a signed 32-bit count N, then per point three float32 for the
// position and three for the normal, all little-endian; bytes after the last point are
// ignored.
#pragma once

#include <stdint.h>

#include <string>

#include "platform/crt.h"

// The points of one file. Both arrays are plain heap blocks (malloc) of count x 12 bytes,
// owned by the caller and released with free(); entry i of both belongs to point i.
// identity is the file as it was opened for reading (identified false when the system could
// not tell it), so that only that file is ever deleted.
struct PointFile {
    int32_t count;
    float* positions;  // count x (x, y, z)
    float* normals;    // count x (x, y, z)
    bool identified;
    FileIdentity identity;
};

enum class LoadStatus {
    ok,
    cannot_open,     // the file cannot be opened (the shell shows "Cannot open file")
    unreadable,      // its size cannot be determined or a read failed
    too_short,       // fewer bytes than the count needs (4 + 24 x N), or no whole count
    negative_count,  // N < 0
    too_large,       // the arrays for N points cannot be allocated
    not_finite,      // a position or normal coordinate is infinite or not a number
    out_of_range,    // a position coordinate is larger in magnitude than kCoordinateLimit
};

// The largest magnitude of a position coordinate that is accepted. NOTE: the triangulation's
// search tree computes squared distances in float and aborts on an infinite one; between two
// points within this bound a squared distance is at most 3 x (2e18)^2 = 1.2e37, far below the
// float limit of 3.4e38, even after the search's own scaling.
const float kCoordinateLimit = 1e18f;

// What load_points did. On any status but ok, reason is a complete sentence for a message
// box and the PointFile is left empty (count 0, null arrays); nothing needs freeing.
struct LoadResult {
    LoadStatus status;
    std::wstring reason;
};

// Reads the oriented point file at path (ANSI code page) into out. The count is checked
// against the file's length before anything is allocated from it.
LoadResult load_points(const char* path, PointFile* out);
