// The reconstruction: the cloud as filled, the record against a direct call of the library
// on the same points, and the cases where no triangle can be found.
#include "meshbuilder/reconstruction.h"

#include <stdlib.h>
#include <string.h>

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "shapes.h"

namespace {

// The polygons of the library's triangulation, called directly with the same parameters.
std::vector<pcl::Vertices> direct_triangulation(const OrientedPoints& points) {
    pcl::PointCloud<pcl::PointNormal>::Ptr cloud(new pcl::PointCloud<pcl::PointNormal>);
    for (size_t i = 0; i < points.positions.size() / 3; ++i) {
        pcl::PointNormal p;
        p.x = points.positions[3 * i];
        p.y = points.positions[3 * i + 1];
        p.z = points.positions[3 * i + 2];
        p.normal_x = points.normals[3 * i];
        p.normal_y = points.normals[3 * i + 1];
        p.normal_z = points.normals[3 * i + 2];
        p.curvature = 0.0f;
        cloud->push_back(p);
    }
    pcl::search::KdTree<pcl::PointNormal>::Ptr tree(new pcl::search::KdTree<pcl::PointNormal>);
    tree->setInputCloud(cloud);
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

struct Built {
    MeshRecord mesh{};
    std::wstring reason;
    bool ok = false;
    int boxes = 0;
    ~Built() { free_mesh_record(&mesh); }
};

void count_call(void* context) { ++static_cast<Built*>(context)->boxes; }

void build(const OrientedPoints& points, Built* built) {
    built->ok = reconstruct_mesh((int32_t)point_count(points), points.positions.data(),
                                 points.normals.data(), &built->mesh, &built->reason, count_call,
                                 built);
}

TEST(Reconstruction, SphereMatchesTheLibrarysOwnTriangulation) {
    const OrientedPoints sphere = make_sphere(3000, 0.02);
    Built built;
    build(sphere, &built);
    ASSERT_TRUE(built.ok);
    EXPECT_EQ(built.boxes, 1);
    const MeshRecord& mesh = built.mesh;
    ASSERT_EQ(mesh.vertex_count, 3000);
    EXPECT_EQ(memcmp(mesh.vertices, sphere.positions.data(), 12 * 3000), 0);
    // A closed surface has about two triangles per point; most of them must be found.
    EXPECT_GT(mesh.triangle_count, 3 * 3000 / 2);
    for (int32_t i = 0; i < 3 * mesh.triangle_count; ++i) {
        ASSERT_GE(mesh.indices[i], 0);
        ASSERT_LT(mesh.indices[i], mesh.vertex_count);
    }
    const std::vector<pcl::Vertices> direct = direct_triangulation(sphere);
    ASSERT_EQ((size_t)mesh.triangle_count, direct.size());
    for (size_t t = 0; t < direct.size(); ++t) {
        ASSERT_EQ(direct[t].vertices.size(), 3u);
        for (size_t k = 0; k < 3; ++k) {
            ASSERT_EQ(mesh.indices[3 * t + k], direct[t].vertices[k]) << t;
        }
    }
}

TEST(Reconstruction, TorusAndPlaneAreJoinedToo) {
    const OrientedPoints torus = make_torus(4000, 0.02, 0.3);
    const OrientedPoints plane = make_plane(900, 0.02);
    Built built_torus, built_plane;
    build(torus, &built_torus);
    build(plane, &built_plane);
    ASSERT_TRUE(built_torus.ok);
    ASSERT_TRUE(built_plane.ok);
    EXPECT_GT(built_torus.mesh.triangle_count, point_count(torus) * 3 / 2);
    // A 30 x 30 grid has 2 x 29 x 29 = 1682 cells' triangles.
    EXPECT_GT(built_plane.mesh.triangle_count, 1500);
    EXPECT_LE(built_plane.mesh.triangle_count, 1682);
}

TEST(Reconstruction, PointsTooFarApartAndNoPointsGiveNoTriangle) {
    OrientedPoints sparse = make_plane(100, 1.0);  // ten times the search radius apart
    Built built;
    build(sparse, &built);
    ASSERT_TRUE(built.ok);
    EXPECT_EQ(built.boxes, 1);
    EXPECT_EQ(built.mesh.vertex_count, 100);
    EXPECT_EQ(built.mesh.triangle_count, 0);
    EXPECT_NE(built.mesh.indices, nullptr);

    Built none;
    build(OrientedPoints(), &none);
    ASSERT_TRUE(none.ok);
    EXPECT_EQ(none.boxes, 1);
    EXPECT_EQ(none.mesh.vertex_count, 0);
    EXPECT_EQ(none.mesh.triangle_count, 0);
    EXPECT_NE(none.mesh.vertices, nullptr);
}

TEST(Reconstruction, CloudIsFilledMemberByMember) {
    const OrientedPoints points = make_sphere(5, 0.02);
    pcl::PointCloud<pcl::PointNormal> cloud;
    fill_cloud(5, points.positions.data(), points.normals.data(), cloud);
    ASSERT_EQ(cloud.points.size(), 5u);
    EXPECT_EQ(cloud.width, 0u);
    EXPECT_EQ(cloud.height, 0u);
    EXPECT_TRUE(cloud.is_dense);
    for (size_t i = 0; i < 5; ++i) {
        const pcl::PointNormal& p = cloud.points[i];
        EXPECT_EQ(p.x, points.positions[3 * i]);
        EXPECT_EQ(p.y, points.positions[3 * i + 1]);
        EXPECT_EQ(p.z, points.positions[3 * i + 2]);
        EXPECT_EQ(p.normal_x, points.normals[3 * i]);
        EXPECT_EQ(p.normal_y, points.normals[3 * i + 1]);
        EXPECT_EQ(p.normal_z, points.normals[3 * i + 2]);
        EXPECT_EQ(p.curvature, 0.0f);
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
    EXPECT_EQ(mesh.triangle_count, 2);
    EXPECT_EQ(std::vector<int32_t>(mesh.indices, mesh.indices + 6),
              (std::vector<int32_t>{0, 1, 2, 1, 3, 2}));
    EXPECT_EQ(memcmp(mesh.vertices, positions, sizeof positions), 0);
    free_mesh_record(&mesh);
    EXPECT_EQ(mesh.vertices, nullptr);
    EXPECT_EQ(mesh.triangle_count, 0);

    const pcl::Indices damaged[] = {{0, 1}, {0, 1, 4}, {0, -1, 2}};
    for (const pcl::Indices& corners : damaged) {
        polygons[1].vertices = corners;
        EXPECT_FALSE(fill_mesh_record(4, positions, polygons, &mesh, &reason));
        EXPECT_EQ(mesh.vertices, nullptr);
        EXPECT_EQ(mesh.indices, nullptr);
        EXPECT_EQ(mesh.triangle_count, 0);
        EXPECT_FALSE(reason.empty());
    }
}

}  // namespace
