// The mesh handed from the reconstruction to the shell, the view and the VRML writer.
#pragma once

#include <stddef.h>
#include <stdint.h>

// Both arrays are plain heap blocks (malloc), released with free() by their owner.
struct MeshRecord {
    int32_t vertex_count;    // N, the number of input points
    float* vertices;         // N x (x, y, z), a byte copy of the input positions
    int32_t triangle_count;  // T
    int32_t* indices;        // T x 3 vertex indices, each below N
};

// Frees both arrays of mesh and sets all its fields to zero.
void free_mesh_record(MeshRecord* mesh);

// Allocates two heap blocks of at least one byte each, so that an empty array still has a
// valid block and a null pointer always means an allocation failure. Both or neither: when
// one cannot be had, both are freed, set to null and false is returned.
bool allocate_two_blocks(size_t first_bytes, size_t second_bytes, void** first, void** second);
