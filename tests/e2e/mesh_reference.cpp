// Writes the mesh file of a point file from the library's triangulation called plainly (its
// own search tree, no rows computed ahead), without a window and without touching the
// input: the reference the Meshweaver end-to-end test compares with byte for byte.
//   mesh_reference POINTS.dat OUT.wrl
#include <stdio.h>
#include <stdlib.h>

#include <string>

#include "meshbuilder/point_file.h"
#include "meshbuilder/reconstruction_internal.h"
#include "meshbuilder/vrml_writer.h"

int main(int argc, char** argv) {
    if (argc != 3) {
        fprintf(stderr, "usage: mesh_reference POINTS.dat OUT.wrl\n");
        return 2;
    }
    PointFile points = {};
    if (load_points(argv[1], &points).status != LoadStatus::ok) {
        fprintf(stderr, "mesh_reference: cannot load %s\n", argv[1]);
        return 1;
    }
    MeshRecord mesh = {};
    std::wstring reason;
    GreedySetup setup;
    if (points.count > 0) {
        prepare_reconstruction(points.count, points.positions, points.normals,
                               SearchAhead{0, false}, &setup);
        run_reconstruction(&setup);
    }
    if (!fill_mesh_record(points.count, points.positions, setup.mesh.polygons, &mesh, &reason)) {
        fprintf(stderr, "mesh_reference: reconstruction failed\n");
        return 1;
    }
    FILE* out = fopen(argv[2], "wb");
    if (!out) return 1;
    const int64_t written = write_vrml_stream(mesh, out, [](const void* data, size_t size, FILE* f) {
        return fwrite(data, 1, size, f);
    });
    if (fclose(out) != 0 || written < 0) return 1;
    printf("%d %d\n", mesh.vertex_count, mesh.triangle_count);
    free(points.positions);
    free(points.normals);
    free_mesh_record(&mesh);
    return 0;
}
