// Fuzzes the reader of Meshweaver's VRML files (mesh_points --from-wrl): any bytes as the
// text of a mesh file. A refusal says where and why and leaves no mesh; an accepted mesh has
// its indices within its vertices and finite coordinates, and written again by Meshweaver's
// writer it reads back with the same triangles.
#include <stdint.h>
#include <stdlib.h>

#include <cmath>
#include <string>

#include "fuzz_support.h"
#include "meshbuilder/vrml_writer.h"
#include "tools/mesh_points/wrl_reader.h"

namespace {

std::string rewritten;
size_t collect(const void* data, size_t size, FILE*) {
    rewritten.append(static_cast<const char*>(data), size);
    return size;
}

void check_accepted(const MeshRecord& mesh) {
    FUZZ_CHECK(mesh.vertex_count >= 0 && mesh.triangle_count >= 0);
    FUZZ_CHECK(mesh.vertices && mesh.indices);
    for (int64_t i = 0; i < 3 * (int64_t)mesh.vertex_count; ++i) {
        FUZZ_CHECK(std::isfinite(mesh.vertices[i]));
    }
    for (int64_t i = 0; i < 3 * (int64_t)mesh.triangle_count; ++i) {
        FUZZ_CHECK(mesh.indices[i] >= 0 && mesh.indices[i] < mesh.vertex_count);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    MeshRecord mesh = {7, nullptr, 7, nullptr};
    std::string reason;
    if (!read_meshweaver_vrml((const char*)data, size, &mesh, &reason)) {
        FUZZ_CHECK(reason.compare(0, 5, "line ") == 0 || reason.find("memory") != std::string::npos);
        FUZZ_CHECK(mesh.vertex_count == 0 && mesh.vertices == nullptr);
        FUZZ_CHECK(mesh.triangle_count == 0 && mesh.indices == nullptr);
        return 0;
    }
    check_accepted(mesh);
    rewritten.clear();
    FUZZ_CHECK(write_vrml_stream(mesh, nullptr, collect) == (int64_t)rewritten.size());
    MeshRecord again;
    FUZZ_CHECK(read_meshweaver_vrml(rewritten.data(), rewritten.size(), &again, &reason));
    FUZZ_CHECK(again.vertex_count == mesh.vertex_count);
    FUZZ_CHECK(again.triangle_count == mesh.triangle_count);
    for (int64_t i = 0; i < 3 * (int64_t)mesh.triangle_count; ++i) {
        FUZZ_CHECK(again.indices[i] == mesh.indices[i]);
    }
    free_mesh_record(&again);
    free_mesh_record(&mesh);
    return 0;
}
