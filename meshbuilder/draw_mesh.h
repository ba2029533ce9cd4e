// Meshweaver's content for the view: the mesh record as lit triangles.
#pragma once

#include "meshbuilder/mesh_record.h"
#include "view/view_state.h"

// Draws the triangles of mesh with the current normal and colour.
void draw_mesh(const MeshRecord* mesh);

// What Meshweaver hands its view: axes of length 1 and draw_mesh over the program's own
// mesh record (changed only under the view's paint lock).
ViewContent mesh_view_content(const MeshRecord* mesh);
