// Meshweaver's hand-off for the paint tests and benchmarks: the program's renderer or the
// immediate-mode reference, chosen per paint; the frame is read right after it.
#include "meshbuilder/draw_mesh.h"
#include "tests/view/paint_harness.h"
#include "view/view.h"

void hand_mesh_to_view(ViewState* view, const MeshRecord* mesh) {
    hand_to_view(view, mesh_view_content(mesh), draw_mesh_immediate);
}

void draw_mesh_immediate(const void* record) {
    const MeshRecord* mesh = static_cast<const MeshRecord*>(record);
    const float* vertices = mesh->vertices;
    const int32_t* indices = mesh->indices;
    glBegin(GL_TRIANGLES);
    for (int32_t t = 0; t < mesh->triangle_count; ++t) {
        for (int k = 0; k < 3; ++k) {
            const float* v = vertices + 3 * (size_t)indices[3 * (size_t)t + k];
            glVertex3f(v[0], v[1], v[2]);
        }
    }
    glEnd();
}
