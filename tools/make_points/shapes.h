// Synthetic oriented point sets with outward unit normals, and the writer of the oriented
// point file (a little-endian int32 count, then per point 3 float32 position, 3 normal).
#pragma once

#include <stdint.h>

#include <string>
#include <vector>

// Points as two parallel arrays of x, y, z triples.
struct OrientedPoints {
    std::vector<float> positions;
    std::vector<float> normals;
};

inline int64_t point_count(const OrientedPoints& points) {
    return (int64_t)(points.positions.size() / 3);
}

// A Fibonacci sphere of count points centred on the origin, its radius chosen so that each
// point covers about spacing x spacing of the surface: r = spacing x sqrt(count / (4 pi)).
OrientedPoints make_sphere(int32_t count, double spacing);

// A torus about the z axis whose tube radius is tube_ratio times its ring radius, as a grid
// of rings; neighbours on the tube's middle line are spacing apart. The grid is the largest
// one of at most count points, so a few points fewer than count may be made.
OrientedPoints make_torus(int32_t count, double spacing, double tube_ratio);

// A square patch in the plane z = 0, centred on the origin, normals +z: count points on a
// grid of spacing, filled row by row.
OrientedPoints make_plane(int32_t count, double spacing);

// Writes points as an oriented point file, replacing one at path only once the new one is
// complete on disk (temporary file, synced, renamed). Returns false, with a reason, when it
// cannot be written; an existing file is then left as it was.
bool write_point_file(const char* path, const OrientedPoints& points, std::string* reason);
