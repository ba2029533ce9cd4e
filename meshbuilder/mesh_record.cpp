#include "meshbuilder/mesh_record.h"

#include <stdlib.h>

void free_mesh_record(MeshRecord* mesh) {
    free(mesh->vertices);
    free(mesh->indices);
    *mesh = MeshRecord{};
}
