#include "meshbuilder/draw_mesh.h"

#include "view/view.h"

namespace {

// Most indices one glDrawElements call takes: whole triangles within a GLsizei.
const int64_t kIndicesPerDraw = (INT32_MAX / 3) * 3;

}  // namespace

// Hands the renderer the vertex array and the index list in one call (OpenGL 1.1 client-side
// arrays, no buffer objects), instead of one call per vertex: the same triangles in the same
// order, so the same pixels.
void draw_mesh(ViewState* view) {
    if (view->triangle_count <= 0) return;
    // NOTE: no normal array; every vertex takes the current normal, as the light model of
    // the view expects.
    glEnableClientState(GL_VERTEX_ARRAY);
    glVertexPointer(3, GL_FLOAT, 0, view->vertices);
    // NOTE: the indices are int32_t and never negative, so they read the same as GLuint.
    const GLuint* indices = (const GLuint*)view->indices;
    const int64_t total = 3 * (int64_t)view->triangle_count;
    for (int64_t first = 0; first < total; first += kIndicesPerDraw) {
        const int64_t count = total - first < kIndicesPerDraw ? total - first : kIndicesPerDraw;
        glDrawElements(GL_TRIANGLES, (GLsizei)count, GL_UNSIGNED_INT, indices + first);
    }
    glDisableClientState(GL_VERTEX_ARRAY);
}
