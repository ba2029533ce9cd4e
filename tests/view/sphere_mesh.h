// A latitude-longitude sphere mesh for the paint tests and benchmarks.
#pragma once

#include <stdint.h>

#include <cmath>
#include <vector>

#include "meshbuilder/mesh_record.h"

struct Mesh {
    std::vector<float> vertices;
    std::vector<int32_t> indices;
};

// A sphere of radius 1 with side x side quads, two triangles each.
inline Mesh sphere_mesh(int side) {
    Mesh m;
    for (int j = 0; j <= side; ++j) {
        for (int i = 0; i <= side; ++i) {
            const double u = 6.283185307179586 * i / side, v = 3.141592653589793 * j / side;
            m.vertices.push_back((float)(std::cos(u) * std::sin(v)));
            m.vertices.push_back((float)std::cos(v));
            m.vertices.push_back((float)(std::sin(u) * std::sin(v)));
        }
    }
    for (int j = 0; j < side; ++j) {
        for (int i = 0; i < side; ++i) {
            const int a = j * (side + 1) + i, b = a + 1, c = a + side + 1, d = c + 1;
            m.indices.insert(m.indices.end(), {a, c, b, b, c, d});
        }
    }
    return m;
}

// Lends m's arrays to record.
inline void show_mesh(MeshRecord* record, Mesh& m) {
    record->vertices = m.vertices.data();
    record->vertex_count = (int32_t)(m.vertices.size() / 3);
    record->indices = m.indices.data();
    record->triangle_count = (int32_t)(m.indices.size() / 3);
}
