// Reads back the VRML 1.0 mesh files that Meshweaver writes, and nothing else: the exact
// layout of its writer (one Separator with Coordinate3 and IndexedFaceSet, CR LF lines,
// reals with five decimals, triangles ending in -1). Any other text is refused with its
// line and the reason.
#pragma once

#include <stddef.h>

#include <string>

#include "meshbuilder/mesh_record.h"

// Reads text[0..size) into mesh (its two arrays malloc'ed, the caller's to free). On refusal
// returns false with a reason ("line 7: ...") and leaves mesh empty.
bool read_meshweaver_vrml(const char* text, size_t size, MeshRecord* mesh, std::string* reason);

// The float that the VRML text of value reads back as: the mesh a VRML file holds, so that
// files made from the mesh directly and files made from its VRML file agree.
float vrml_coordinate_as_written(float value);
