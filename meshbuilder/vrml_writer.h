// The VRML 1.0 mesh file: one Separator with Coordinate3 and IndexedFaceSet, CR LF line
// ends, reals with five truncated decimals, no line end after the final "}".
#pragma once

#include <stddef.h>
#include <stdint.h>
#include <stdio.h>

#include <string>

#include "meshbuilder/file_steps.h"
#include "meshbuilder/mesh_record.h"
#include "platform/win32.h"

// The mesh file's path for an input path: the input with its extension cut off at the last
// '.' of the file name (after the last '/' or '\'), then ".wrl". Returns false, leaving
// output empty, when the result would not fit MAX_PATH characters with the terminator.
bool vrml_output_path(const char* input_path, char output[MAX_PATH]);

// Writes the whole VRML text of mesh to file through write, which is handed buffers of at
// most 1 MiB. Returns the number of bytes written, or -1 after the first failed write.
int64_t write_vrml_stream(const MeshRecord& mesh, FILE* file,
                          size_t (*write)(const void* data, size_t size, FILE* file));

struct VrmlResult {
    bool ok;
    std::wstring reason;  // a sentence for a message box when !ok
    char path[MAX_PATH];  // the mesh file (empty when the path did not fit)
};

// Saves mesh as the VRML file of input_path durably and without ever leaving a partial file:
// the text goes to a new temporary file in the same folder (a fresh name when one is taken),
// which is flushed, put on the disk, closed and then renamed over the target, and the rename
// is put on the disk too. On any failure the temporary file is removed and nothing else is
// touched (except when only the flush of the folder failed: the rename has happened then).
VrmlResult write_vrml(const char* input_path, const MeshRecord& mesh, const FileSteps& steps);
