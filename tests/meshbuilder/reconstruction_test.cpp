// The reconstruction: the cloud as filled, the record against a direct call of the library
// on the same points, and the cases where no triangle can be found.
#include "meshbuilder/reconstruction.h"

#include <string.h>

#include <gtest/gtest.h>

#include "shapes.h"

namespace {

// The library's triangulation of points, called directly with the same parameters.
std::vector<pcl::Vertices> direct_triangulation(const OrientedPoints& points) {
    pcl::PointCloud<pcl::PointNormal>::Ptr cloud(new pcl::PointCloud<pcl::PointNormal>);
    for (size_t i = 0; i < points.positions.size() / 3; ++i) {
        const float* p = &points.positions[3 * i];
        const float* n = &points.normals[3 * i];
        cloud->push_back(pcl::PointNormal(p[0], p[1], p[2], n[0], n[1], n[2], 0.0f));
    }
    pcl::search::KdTree<pcl::PointNormal>::Ptr tree(new pcl::search::KdTree<pcl::PointNormal>);
    pcl::GreedyProjectionTriangulation<pcl::PointNormal> gp3;
    gp3.setSearchRadius(0.1);
    gp3.setMu(2.5);
    gp3.setMaximumNearestNeighbors(100);
    gp3.setMaximumSurfaceAngle(M_PI / 4);
    gp3.setMinimumAngle(M_PI / 18);
    gp3.setMaximumAngle(2 * M_PI / 3);
    gp3.setNormalConsistency(false);
    gp3.setInputCloud(cloud);
    gp3.setSearchMethod(tree);
    pcl::PolygonMesh mesh;
    gp3.reconstruct(mesh);
    return mesh.polygons;
}

// reconstruct_mesh on points, counting the calls made before the triangulation runs.
struct Built {
    MeshRecord mesh{};
    std::wstring reason;
    int before_run = 0;
    bool ok;
    explicit Built(const OrientedPoints& points) {
        ok = reconstruct_mesh((int32_t)point_count(points), points.positions.data(),
                              points.normals.data(), &mesh, &reason,
                              [](void* self) { ++static_cast<Built*>(self)->before_run; }, this);
    }
    ~Built() { free_mesh_record(&mesh); }
};

TEST(Reconstruction, SphereMatchesTheLibrarysOwnTriangulation) {
    const OrientedPoints sphere = make_sphere(3000, 0.02);
    Built built(sphere);
    ASSERT_TRUE(built.ok);
    EXPECT_EQ(built.before_run, 1);
    ASSERT_EQ(built.mesh.vertex_count, 3000);
    EXPECT_EQ(memcmp(built.mesh.vertices, sphere.positions.data(), 12 * 3000), 0);
    // A closed surface has about two triangles per point; most must be found.
    EXPECT_GT(built.mesh.triangle_count, 3 * 3000 / 2);
    const std::vector<pcl::Vertices> direct = direct_triangulation(sphere);
    ASSERT_EQ((size_t)built.mesh.triangle_count, direct.size());
    for (size_t t = 0; t < direct.size(); ++t) {
        for (size_t k = 0; k < 3; ++k) {
            ASSERT_LT(built.mesh.indices[3 * t + k], 3000);
            ASSERT_EQ(built.mesh.indices[3 * t + k], direct[t].vertices[k]) << t;
        }
    }
}

TEST(Reconstruction, TorusAndPlaneAreJoinedToo) {
    const OrientedPoints torus = make_torus(4000, 0.02, 0.3);
    Built built_torus(torus), built_plane(make_plane(900, 0.02));
    ASSERT_TRUE(built_torus.ok && built_plane.ok);
    EXPECT_GT(built_torus.mesh.triangle_count, point_count(torus) * 3 / 2);
    // A 30 x 30 grid has 2 x 29 x 29 = 1682 triangles.
    EXPECT_GT(built_plane.mesh.triangle_count, 1500);
    EXPECT_LE(built_plane.mesh.triangle_count, 1682);
}

TEST(Reconstruction, PointsTooFarApartOrNoPointsGiveNoTriangle) {
    Built sparse(make_plane(100, 1.0));  // ten times the search radius apart
    Built none{OrientedPoints()};
    for (const Built* built : {&sparse, &none}) {
        ASSERT_TRUE(built->ok);
        EXPECT_EQ(built->before_run, 1);
        EXPECT_EQ(built->mesh.triangle_count, 0);
        EXPECT_TRUE(built->mesh.vertices != nullptr && built->mesh.indices != nullptr);
    }
    EXPECT_EQ(sparse.mesh.vertex_count, 100);
    EXPECT_EQ(none.mesh.vertex_count, 0);
}

TEST(Reconstruction, CloudIsFilledMemberByMember) {
    const OrientedPoints points = make_sphere(5, 0.02);
    pcl::PointCloud<pcl::PointNormal> cloud;
    fill_cloud(5, points.positions.data(), points.normals.data(), cloud);
    ASSERT_EQ(cloud.points.size(), 5u);
    EXPECT_TRUE(cloud.width == 0 && cloud.height == 0 && cloud.is_dense);
    for (size_t i = 0; i < 5; ++i) {
        EXPECT_EQ(memcmp(cloud.points[i].data, &points.positions[3 * i], 12), 0);
        EXPECT_EQ(memcmp(cloud.points[i].normal, &points.normals[3 * i], 12), 0);
        EXPECT_EQ(cloud.points[i].curvature, 0.0f);
    }
}

TEST(Reconstruction, RecordTakesThreeCornersAndRefusesDamagedPolygons) {
    const float positions[12] = {0, 0, 0, 1, 0, 0, 0, 1, 0, 1, 1, 0};
    std::vector<pcl::Vertices> polygons(2);
    polygons[0].vertices = {0, 1, 2};
    polygons[1].vertices = {1, 3, 2, 0};  // a fourth corner is ignored
    MeshRecord mesh;
    std::wstring reason;
    ASSERT_TRUE(fill_mesh_record(4, positions, polygons, &mesh, &reason));
    EXPECT_EQ(std::vector<int32_t>(mesh.indices, mesh.indices + 3 * mesh.triangle_count),
              (std::vector<int32_t>{0, 1, 2, 1, 3, 2}));
    free_mesh_record(&mesh);
    for (const pcl::Indices& corners :
         {pcl::Indices{0, 1}, pcl::Indices{0, 1, 4}, pcl::Indices{0, -1, 2}}) {
        polygons[1].vertices = corners;
        EXPECT_FALSE(fill_mesh_record(4, positions, polygons, &mesh, &reason));
        EXPECT_TRUE(mesh.vertices == nullptr && mesh.indices == nullptr &&
                    mesh.triangle_count == 0);
    }
}

}  // namespace
