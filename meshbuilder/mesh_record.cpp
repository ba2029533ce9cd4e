#include "meshbuilder/mesh_record.h"

#include <stdlib.h>

void free_mesh_record(MeshRecord* mesh) {
    free(mesh->vertices);
    free(mesh->indices);
    *mesh = MeshRecord{};
}

bool allocate_two_blocks(size_t first_bytes, size_t second_bytes, void** first, void** second) {
    *first = malloc(first_bytes ? first_bytes : 1);
    *second = malloc(second_bytes ? second_bytes : 1);
    if (*first && *second) return true;
    free(*first);
    free(*second);
    *first = nullptr;
    *second = nullptr;
    return false;
}
