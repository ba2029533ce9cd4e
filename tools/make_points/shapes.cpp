#include "shapes.h"

#include <errno.h>
#include <stdio.h>
#include <string.h>

#include <cmath>

#include "meshbuilder/durable_save.h"

namespace {

const double kPi = 3.14159265358979323846;

void add_point(OrientedPoints& points, double x, double y, double z, double nx, double ny,
               double nz) {
    points.positions.insert(points.positions.end(), {(float)x, (float)y, (float)z});
    points.normals.insert(points.normals.end(), {(float)nx, (float)ny, (float)nz});
}

void store_le32(unsigned char* bytes, uint32_t v) {
    bytes[0] = (unsigned char)v;
    bytes[1] = (unsigned char)(v >> 8);
    bytes[2] = (unsigned char)(v >> 16);
    bytes[3] = (unsigned char)(v >> 24);
}

void store_float(unsigned char* bytes, float f) {
    uint32_t bits;
    memcpy(&bits, &f, 4);
    store_le32(bytes, bits);
}

// The bytes (context) as the content of a durable save.
bool write_bytes(const void* context, FILE* file,
                 size_t (*write)(const void* data, size_t size, FILE* file)) {
    const std::vector<unsigned char>& bytes =
        *static_cast<const std::vector<unsigned char>*>(context);
    return write(bytes.data(), bytes.size(), file) == bytes.size();
}

// Writes bytes to path through the mesh builder's durable save, so an earlier file at path
// is only ever replaced by a complete one.
bool replace_file_durably(const char* path, const std::vector<unsigned char>& bytes,
                          std::string* reason) {
    const SaveOutcome saved = save_durably(path, write_bytes, &bytes, system_file_steps());
    if (saved.ok) return true;
    *reason = std::string(saved.failed_step == SaveStep::created ? "cannot create a file beside "
                                                                 : "cannot write ") +
              path + ": " + strerror(saved.error);
    return false;
}

}  // namespace

OrientedPoints make_sphere(int32_t count, double spacing) {
    OrientedPoints points;
    if (count <= 0) return points;
    points.positions.reserve(3 * (size_t)count);
    points.normals.reserve(3 * (size_t)count);
    const double radius = spacing * std::sqrt(count / (4.0 * kPi));
    const double golden_angle = kPi * (3.0 - std::sqrt(5.0));
    for (int32_t i = 0; i < count; ++i) {
        // NOTE: heights at the middle of equal bands, so the poles get no doubled points.
        const double z = 1.0 - (2.0 * i + 1.0) / count;
        const double ring = std::sqrt(1.0 - z * z);
        const double angle = golden_angle * i;
        const double x = ring * std::cos(angle);
        const double y = ring * std::sin(angle);
        add_point(points, radius * x, radius * y, radius * z, x, y, z);
    }
    return points;
}

OrientedPoints make_torus(int32_t count, double spacing, double tube_ratio) {
    OrientedPoints points;
    if (count <= 0 || tube_ratio <= 0.0 || tube_ratio >= 1.0) return points;
    // Area 4 pi^2 R r = count x spacing^2 with r = tube_ratio x R.
    const double ring_radius = spacing * std::sqrt(count / (4.0 * kPi * kPi * tube_ratio));
    const double tube_radius = tube_ratio * ring_radius;
    int32_t around_tube = (int32_t)std::lround(2.0 * kPi * tube_radius / spacing);
    if (around_tube < 3) around_tube = 3;
    int32_t around_ring = count / around_tube;
    if (around_ring < 3) return points;
    points.positions.reserve(3 * (size_t)around_ring * around_tube);
    points.normals.reserve(3 * (size_t)around_ring * around_tube);
    for (int32_t i = 0; i < around_ring; ++i) {
        const double u = 2.0 * kPi * i / around_ring;
        for (int32_t j = 0; j < around_tube; ++j) {
            // NOTE: every other ring is turned by half a step, so the grid's cells are
            // triangles rather than squares with two equally good diagonals.
            const double v = 2.0 * kPi * (j + 0.5 * (i % 2)) / around_tube;
            const double nx = std::cos(v) * std::cos(u);
            const double ny = std::cos(v) * std::sin(u);
            const double nz = std::sin(v);
            add_point(points, ring_radius * std::cos(u) + tube_radius * nx,
                      ring_radius * std::sin(u) + tube_radius * ny, tube_radius * nz, nx, ny, nz);
        }
    }
    return points;
}

OrientedPoints make_plane(int32_t count, double spacing) {
    OrientedPoints points;
    if (count <= 0) return points;
    points.positions.reserve(3 * (size_t)count);
    points.normals.reserve(3 * (size_t)count);
    const int32_t side = (int32_t)std::ceil(std::sqrt((double)count));
    const double half = 0.5 * (side - 1) * spacing;
    for (int32_t i = 0; i < count; ++i) {
        add_point(points, (i % side) * spacing - half, (i / side) * spacing - half, 0.0, 0.0, 0.0,
                  1.0);
    }
    return points;
}

bool write_point_file(const char* path, const OrientedPoints& points, std::string* reason) {
    const int64_t count = point_count(points);
    if (count > INT32_MAX) {
        *reason = "too many points for a point file (at most 2147483647)";
        return false;
    }
    std::vector<unsigned char> bytes(4 + 24 * (size_t)count);
    store_le32(bytes.data(), (uint32_t)count);
    for (int64_t i = 0; i < count; ++i) {
        unsigned char* record = bytes.data() + 4 + 24 * i;
        for (int c = 0; c < 3; ++c) {
            store_float(record + 4 * c, points.positions[3 * i + c]);
            store_float(record + 12 + 4 * c, points.normals[3 * i + c]);
        }
    }
    return replace_file_durably(path, bytes, reason);
}
