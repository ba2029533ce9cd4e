#include "meshbuilder/draw_mesh.h"

#include "platform/win32.h"

namespace {

// Most indices one glDrawElements call takes: whole triangles within a GLsizei.
const int64_t kIndicesPerDraw = (INT32_MAX / 3) * 3;

void draw_mesh_record(const void* record) {
    draw_mesh(static_cast<const MeshRecord*>(record));
}

}  // namespace

// Hands the renderer the vertex array and the index list in one call (OpenGL 1.1 client-side
// arrays, no buffer objects), instead of one call per vertex: the same triangles in the same
// order, so the same pixels.
void draw_mesh(const MeshRecord* mesh) {
    if (mesh->triangle_count <= 0) return;
    // NOTE: no normal array; every vertex takes the current normal, as the light model of
    // the view expects.
    glEnableClientState(GL_VERTEX_ARRAY);
    glVertexPointer(3, GL_FLOAT, 0, mesh->vertices);
    // NOTE: the indices are int32_t and never negative, so they read the same as GLuint.
    const GLuint* indices = (const GLuint*)mesh->indices;
    const int64_t total = 3 * (int64_t)mesh->triangle_count;
    for (int64_t first = 0; first < total; first += kIndicesPerDraw) {
        const int64_t count = total - first < kIndicesPerDraw ? total - first : kIndicesPerDraw;
        glDrawElements(GL_TRIANGLES, (GLsizei)count, GL_UNSIGNED_INT, indices + first);
    }
    glDisableClientState(GL_VERTEX_ARRAY);
}

ViewContent mesh_view_content(const MeshRecord* mesh) {
    return ViewContent{1.0f, draw_mesh_record, mesh};
}
