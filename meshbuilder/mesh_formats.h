// The mesh in the file formats that tools without VRML 1.0 read: binary little-endian PLY,
// Wavefront OBJ and binary STL. Each has the record's vertices and its triangles with the
// same indices and the same winding as the VRML file.
#pragma once

#include <stddef.h>
#include <stdint.h>
#include <stdio.h>

#include "meshbuilder/durable_save.h"
#include "meshbuilder/file_steps.h"
#include "meshbuilder/mesh_record.h"

enum class MeshFormat { ply, obj, stl };

// The file name extension of a format, with its dot (".ply").
const char* mesh_format_extension(MeshFormat format);

// Each writes the whole file of mesh to file through write, which is handed buffers of at
// most 1 MiB, and returns the number of bytes written, or -1 after the first failed write.
//   PLY: vertices as float x y z, faces as a list of uchar 3 and three int indices.
//   OBJ: "v x y z" lines (the shortest text that reads back as the same float), then
//        "f a b c" lines with 1-based indices.
//   STL: an 80-byte header, the triangle count, and per triangle its unit normal (zero for a
//        degenerate triangle, from the winding), its three corners and a zero attribute.
int64_t write_ply_stream(const MeshRecord& mesh, FILE* file,
                         size_t (*write)(const void* data, size_t size, FILE* file));
int64_t write_obj_stream(const MeshRecord& mesh, FILE* file,
                         size_t (*write)(const void* data, size_t size, FILE* file));
int64_t write_stl_stream(const MeshRecord& mesh, FILE* file,
                         size_t (*write)(const void* data, size_t size, FILE* file));

// Saves mesh in format as path through save_durably.
SaveOutcome save_mesh_format(MeshFormat format, const char* path, const MeshRecord& mesh,
                             const FileSteps& steps);
