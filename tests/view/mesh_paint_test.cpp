// Meshweaver's renderer against the immediate-mode reference: the same pixels and the same
// state after the content, for closed and overlapping meshes and several camera poses.
#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "meshbuilder/mesh_record.h"
#include "tests/view/paint_checks.h"
#include "tests/view/sphere_mesh.h"

namespace {

// Random triangles between random vertices of a cube: both windings, crossing and
// overlapping, many depth ties along shared vertices.
Mesh triangle_soup(int vertex_count, int triangle_count) {
    std::mt19937 random(1234);
    std::uniform_real_distribution<float> coordinate(-1.2f, 1.2f);
    std::uniform_int_distribution<int32_t> vertex(0, vertex_count - 1);
    Mesh m;
    for (int i = 0; i < 3 * vertex_count; ++i) m.vertices.push_back(coordinate(random));
    for (int i = 0; i < 3 * triangle_count; ++i) m.indices.push_back(vertex(random));
    return m;
}

void set_eye(ViewState* view, float x, float y, float z) {
    view->eye[0] = x;
    view->eye[1] = y;
    view->eye[2] = z;
}

class MeshPaint : public PaintTest {
  protected:
    void SetUp() override {
        PaintTest::SetUp();
        hand_mesh_to_view(&view, &mesh);
    }
    MeshRecord mesh{};
};

TEST_F(MeshPaint, SphereFromSeveralPosesEqualsImmediateMode) {
    Mesh m = sphere_mesh(120);
    show_mesh(&mesh, m);
    // The home pose sees the sphere whole; the others from the side, close up (the sphere
    // fills the frame and crosses the near plane) and from inside (only back faces: culled).
    expect_same_paint(&view, kPaintWidth * kPaintHeight / 20);
    set_eye(&view, 2.0f, 1.5f, 2.5f);
    expect_same_paint(&view, kPaintWidth * kPaintHeight / 20);
    set_eye(&view, 0.3f, 0.2f, 1.005f);
    expect_same_paint(&view, kPaintWidth * kPaintHeight / 2);
    set_eye(&view, 0.0f, 0.0f, 0.5f);
    expect_same_paint(&view, 100);
}

TEST_F(MeshPaint, OverlappingTrianglesEqualImmediateMode) {
    Mesh m = triangle_soup(2000, 30000);
    show_mesh(&mesh, m);
    expect_same_paint(&view, kPaintWidth * kPaintHeight / 10);
    set_eye(&view, -1.0f, 3.0f, 3.0f);
    expect_same_paint(&view, kPaintWidth * kPaintHeight / 10);
}

TEST_F(MeshPaint, EmptyMeshDrawsTheAxesOnly) {
    // As before a mesh is handed over: no arrays at all.
    expect_same_paint(&view, 10);
}

}  // namespace
