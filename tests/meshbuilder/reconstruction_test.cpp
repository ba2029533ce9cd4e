// The reconstruction: the cloud as filled, the record against a direct call of the library
// on the same points, and the cases where no triangle can be found.
#include "meshbuilder/reconstruction_internal.h"

#include <math.h>
#include <stdio.h>
#include <string.h>

#include <random>

#include <gtest/gtest.h>

#include "convert.h"
#include "shapes.h"
#include "test_files.h"

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

// A scan of a wavy patch as a scanner's text export gives it: points scattered at random,
// a millimetre of noise, coordinates to three decimals, no normals. The normals are then
// estimated from the neighbours as make_points does for such a file, so they point either
// way and vary with the noise.
OrientedPoints make_scan(int32_t count) {
    std::mt19937 random(20240611);
    std::uniform_real_distribution<float> across(-1.3f, 1.3f);
    std::normal_distribution<float> noise(0.0f, 0.001f);
    std::string text;
    char line[96];
    for (int32_t i = 0; i < count; ++i) {
        const float x = across(random), y = across(random);
        const float z = 0.05f * sinf(3 * x) * cosf(2 * y) + noise(random);
        snprintf(line, sizeof line, "%.3f %.3f %.3f\n", x, y, z);
        text += line;
    }
    TempFolder folder;
    write_whole_file(folder.file("scan.xyz"), text);
    OrientedPoints scan;
    ConversionReport report;
    std::string reason;
    EXPECT_TRUE(convert_points(folder.file("scan.xyz"), 12, 1.0, &scan, &report, &reason)) << reason;
    return scan;
}

// The four clouds the search ahead is checked on: a closed surface, one with a hole, a grid
// whose neighbours lie at many equal distances, and a scan.
struct NamedCloud {
    const char* name;
    OrientedPoints points;
};

std::vector<NamedCloud> identity_clouds() {
    return {{"sphere", make_sphere(6000, 0.02)},
            {"torus", make_torus(6000, 0.02, 0.3)},
            {"grid", make_plane(6400, 0.02)},
            {"scan", make_scan(6000)}};
}

// The tree's answers for every point, asked in the order of a walk outward from point 0 as
// the triangulation asks them: indices and distances of each row, bit for bit.
void expect_same_rows(const OrientedPoints& points, const SearchAhead& ahead,
                      const char* name) {
    pcl::PointCloud<pcl::PointNormal>::Ptr cloud(new pcl::PointCloud<pcl::PointNormal>);
    fill_cloud((int32_t)point_count(points), points.positions.data(), points.normals.data(),
               *cloud);
    const auto plain = make_search_tree(SearchAhead{0, false});
    const auto fast = make_search_tree(ahead);
    plain->setInputCloud(cloud);
    fast->setInputCloud(cloud);
    std::vector<bool> seen(cloud->size(), false);
    std::vector<int> walk{0};
    seen[0] = true;
    pcl::Indices plain_row, fast_row;
    std::vector<float> plain_distances, fast_distances;
    for (size_t w = 0; w < walk.size(); ++w) {
        plain->nearestKSearch(walk[w], kMaximumNearestNeighbors, plain_row, plain_distances);
        fast->nearestKSearch(walk[w], kMaximumNearestNeighbors, fast_row, fast_distances);
        ASSERT_EQ(fast_row, plain_row) << name << ", row of point " << walk[w];
        ASSERT_EQ(fast_distances.size(), plain_distances.size());
        ASSERT_EQ(memcmp(fast_distances.data(), plain_distances.data(),
                         4 * plain_distances.size()),
                  0)
            << name << ", distances of point " << walk[w];
        // Each second point is skipped, as the triangulation leaves many rows unasked.
        for (size_t m = 1; m < plain_row.size() && m < 8; ++m) {
            if (!seen[(size_t)plain_row[m]]) {
                seen[(size_t)plain_row[m]] = true;
                if (m % 2) walk.push_back(plain_row[m]);
            }
        }
    }
    const SearchAheadCounts counts = finish_search_ahead(*fast);
    EXPECT_EQ(counts.rows_asked, (int64_t)walk.size()) << name;
    EXPECT_GT(counts.rows_served, counts.rows_asked / 2) << name;
}

TEST(SearchAhead, RowsAreTheTreesOwnBitForBit) {
    for (const NamedCloud& cloud : identity_clouds()) {
        expect_same_rows(cloud.points, SearchAhead{1, true}, cloud.name);
        expect_same_rows(cloud.points, SearchAhead{3, true}, cloud.name);
    }
}

// The triangles, list and order, with rows computed ahead against the library called
// directly: in the waiting mode of the tests, where most rows come from the helpers, and
// running freely as the program runs.
TEST(SearchAhead, TrianglesAreTheLibrarysOnSphereTorusGridAndScan) {
    for (const NamedCloud& cloud : identity_clouds()) {
        const int32_t n = (int32_t)point_count(cloud.points);
        const std::vector<pcl::Vertices> direct = direct_triangulation(cloud.points);
        EXPECT_GT(direct.size(), (size_t)n) << cloud.name;  // about two triangles a point
        const int free_helpers = std::max(search_ahead_threads(), 1);
        for (const SearchAhead ahead :
             {SearchAhead{1, true}, SearchAhead{2, true}, SearchAhead{free_helpers, false}}) {
            SCOPED_TRACE(std::string(cloud.name) + " with " +
                         std::to_string(ahead.helper_threads) + " helpers" +
                         (ahead.wait_for_helpers ? ", waiting" : ""));
            GreedySetup setup;
            prepare_reconstruction(n, cloud.points.positions.data(),
                                   cloud.points.normals.data(), ahead, &setup);
            run_reconstruction(&setup);
            ASSERT_EQ(setup.mesh.polygons.size(), direct.size());
            for (size_t t = 0; t < direct.size(); ++t)
                ASSERT_EQ(setup.mesh.polygons[t].vertices, direct[t].vertices) << t;
            const SearchAheadCounts& counts = setup.counts;
            EXPECT_GT(counts.rows_asked, n / 4);
            EXPECT_LE(counts.rows_served, counts.rows_asked);
            if (ahead.wait_for_helpers) {
                EXPECT_GT(counts.rows_served, counts.rows_asked / 2);
            }
        }
    }
}

// This test program links the programs' serial instance of the library's k-nearest query, as
// Meshweaver and mesh_points do: the library's trees must run it (an unchanged result, but
// the programs lose the speed it gives if the link or the function's name changes).
TEST(Reconstruction, LibrarysTreeRunsTheProgramsSerialSearch) {
    EXPECT_TRUE(neighbour_search_is_programs_own());
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
