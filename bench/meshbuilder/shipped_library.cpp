// The library's triangulation as a program that calls it directly gets it: in a process of
// its own, without the programs' serial instance of the neighbour search, so the library's
// tree runs the library's own search. The baseline of the pipeline benchmark, which starts it.
// Run: shipped_library_triangulation COUNT SPACING. Makes the Fibonacci sphere of COUNT
// points, then times the call (cloud, tree, triangulation) and prints its wall seconds and
// the number of triangles on one line.
#include <stdio.h>
#include <stdlib.h>

#include <chrono>

#include "meshbuilder/reconstruction_internal.h"
#include "shapes.h"

int main(int argc, char** argv) {
    if (argc != 3) {
        fprintf(stderr, "usage: shipped_library_triangulation COUNT SPACING\n");
        return 2;
    }
    if (neighbour_search_is_programs_own()) {
        fprintf(stderr, "this process runs the programs' serial search, not the library's\n");
        return 2;
    }
    const OrientedPoints points = make_sphere(atoi(argv[1]), atof(argv[2]));
    const auto start = std::chrono::steady_clock::now();
    GreedySetup setup;
    prepare_reconstruction((int32_t)point_count(points), points.positions.data(),
                           points.normals.data(), SearchAhead{0, false}, &setup);
    run_reconstruction(&setup);
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    printf("%.6f %zu\n", seconds, setup.mesh.polygons.size());
    return 0;
}
