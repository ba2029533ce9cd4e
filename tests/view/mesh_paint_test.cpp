// Meshweaver's renderer against the immediate-mode reference: the same pixels and the same
// state after the content, for closed and overlapping meshes and several camera poses.
#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <vector>

#include "meshbuilder/mesh_record.h"
#include "tests/view/paint_harness.h"
#include "view/view.h"

namespace {

const int kWidth = 400;
const int kHeight = 300;

struct Mesh {
    std::vector<float> vertices;
    std::vector<int32_t> indices;
};

// A latitude-longitude sphere of radius 1 with side x side quads.
Mesh sphere(int side) {
    Mesh m;
    for (int j = 0; j <= side; ++j) {
        for (int i = 0; i <= side; ++i) {
            const double u = 6.283185307179586 * i / side, v = 3.141592653589793 * j / side;
            m.vertices.push_back((float)(std::cos(u) * std::sin(v)));
            m.vertices.push_back((float)std::cos(v));
            m.vertices.push_back((float)(std::sin(u) * std::sin(v)));
        }
    }
    for (int j = 0; j < side; ++j) {
        for (int i = 0; i < side; ++i) {
            const int a = j * (side + 1) + i, b = a + 1, c = a + side + 1, d = c + 1;
            m.indices.insert(m.indices.end(), {a, c, b, b, c, d});
        }
    }
    return m;
}

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

void show(MeshRecord* mesh, Mesh& m) {
    mesh->vertices = m.vertices.data();
    mesh->vertex_count = (int32_t)(m.vertices.size() / 3);
    mesh->indices = m.indices.data();
    mesh->triangle_count = (int32_t)(m.indices.size() / 3);
}

void set_eye(ViewState* view, float x, float y, float z) {
    view->eye[0] = x;
    view->eye[1] = y;
    view->eye[2] = z;
}

// The program's paint equals the reference's pixel for pixel and leaves the same state.
void expect_same_paint(ViewState* view, int64_t least_drawn) {
    const PaintResult reference = paint_and_read(view, true);
    const PaintResult arrays = paint_and_read(view, false);
    ASSERT_EQ((size_t)kWidth * kHeight * 4, reference.pixels.size());
    EXPECT_GE(drawn_pixels(reference), least_drawn) << "the reference drew too little";
    EXPECT_EQ(0, differing_pixels(reference, arrays));
    for (int c = 0; c < 4; ++c) EXPECT_EQ(reference.current_colour[c], arrays.current_colour[c]);
    EXPECT_EQ(reference.lighting, arrays.lighting);
    EXPECT_FALSE(arrays.vertex_array) << "the vertex array is left enabled";
    EXPECT_EQ(glGetError(), (GLenum)GL_NO_ERROR);
}

class MeshPaint : public ::testing::Test {
  protected:
    static void SetUpTestSuite() { window_open = open_paint_window(kWidth, kHeight); }
    void SetUp() override {
        ASSERT_TRUE(window_open) << "no GL window";
        init_view_state(&view);
        hand_mesh_to_view(&view, &mesh);
    }
    static bool window_open;
    ViewState view;
    MeshRecord mesh{};
};
bool MeshPaint::window_open = false;

TEST_F(MeshPaint, SphereFromSeveralPosesEqualsImmediateMode) {
    Mesh m = sphere(120);
    show(&mesh, m);
    // The home pose sees the sphere whole; the others from the side, close up (the sphere
    // fills the frame and crosses the near plane) and from inside (only back faces: culled).
    expect_same_paint(&view, kWidth * kHeight / 20);
    set_eye(&view, 2.0f, 1.5f, 2.5f);
    expect_same_paint(&view, kWidth * kHeight / 20);
    set_eye(&view, 0.3f, 0.2f, 1.005f);
    expect_same_paint(&view, kWidth * kHeight / 2);
    set_eye(&view, 0.0f, 0.0f, 0.5f);
    expect_same_paint(&view, 100);
}

TEST_F(MeshPaint, OverlappingTrianglesEqualImmediateMode) {
    Mesh m = triangle_soup(2000, 30000);
    show(&mesh, m);
    expect_same_paint(&view, kWidth * kHeight / 10);
    set_eye(&view, -1.0f, 3.0f, 3.0f);
    expect_same_paint(&view, kWidth * kHeight / 10);
}

TEST_F(MeshPaint, EmptyMeshDrawsTheAxesOnly) {
    // As before a mesh is handed over: no arrays at all.
    expect_same_paint(&view, 10);
}

}  // namespace
