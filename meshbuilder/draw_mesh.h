// Meshweaver's content renderer: the mesh of the ViewState as lit triangles.
#pragma once

struct ViewState;

void draw_mesh(ViewState* view);
