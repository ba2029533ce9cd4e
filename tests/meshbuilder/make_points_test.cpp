// make_points: its shape generators, the conversion of scans, and the tool as a user runs it.
#include <stdlib.h>
#include <string.h>
#include <sys/wait.h>

#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <pcl/io/pcd_io.h>
#include <pcl/io/ply_io.h>

#include "convert.h"
#include "meshbuilder/point_file.h"
#include "shapes.h"
#include "test_files.h"

namespace {

double distance(const float* a, const float* b) {
    const double dx = a[0] - b[0], dy = a[1] - b[1], dz = a[2] - b[2];
    return std::sqrt(dx * dx + dy * dy + dz * dz);
}

// The mean distance from each point to its nearest neighbour (brute force).
double mean_nearest(const OrientedPoints& points) {
    const size_t n = points.positions.size() / 3;
    double sum = 0.0;
    for (size_t i = 0; i < n; ++i) {
        double best = 1e30;
        for (size_t j = 0; j < n; ++j) {
            if (j != i) best = std::min(best, distance(&points.positions[3 * i], &points.positions[3 * j]));
        }
        sum += best;
    }
    return sum / n;
}

void expect_unit_normals(const OrientedPoints& points) {
    for (size_t i = 0; i < points.normals.size() / 3; ++i) {
        const float* n = &points.normals[3 * i];
        ASSERT_NEAR(n[0] * n[0] + n[1] * n[1] + n[2] * n[2], 1.0, 1e-5) << i;
    }
}

TEST(MakePointsShapes, SphereHasTheCountSpacingAndOutwardNormals) {
    const OrientedPoints sphere = make_sphere(2000, 0.02);
    ASSERT_EQ(point_count(sphere), 2000);
    expect_unit_normals(sphere);
    const double radius = 0.02 * std::sqrt(2000 / (4.0 * M_PI));
    for (size_t i = 0; i < 2000; ++i) {
        for (int c = 0; c < 3; ++c) {
            ASSERT_NEAR(sphere.positions[3 * i + c], radius * sphere.normals[3 * i + c], 1e-6);
        }
    }
    const double nearest = mean_nearest(sphere);
    EXPECT_GT(nearest, 0.7 * 0.02);
    EXPECT_LT(nearest, 1.1 * 0.02);
    EXPECT_TRUE(make_sphere(0, 0.02).positions.empty());
}

TEST(MakePointsShapes, TorusAndPlane) {
    const OrientedPoints torus = make_torus(3000, 0.02, 0.3);
    EXPECT_LE(point_count(torus), 3000);
    EXPECT_GT(point_count(torus), 2900);
    expect_unit_normals(torus);
    // Each normal points away from the middle of the tube.
    const double ring = 0.02 * std::sqrt(3000 / (4.0 * M_PI * M_PI * 0.3));
    for (size_t i = 0; i < (size_t)point_count(torus); ++i) {
        const float* p = &torus.positions[3 * i];
        const double around = std::atan2(p[1], p[0]);
        const float middle[3] = {(float)(ring * std::cos(around)), (float)(ring * std::sin(around)), 0.0f};
        for (int c = 0; c < 3; ++c) {
            ASSERT_NEAR(p[c] - middle[c], 0.3 * ring * torus.normals[3 * i + c], 1e-5) << i;
        }
    }
    EXPECT_NEAR(mean_nearest(torus), 0.02, 0.006);

    const OrientedPoints plane = make_plane(10, 0.5);
    ASSERT_EQ(point_count(plane), 10);
    EXPECT_EQ(plane.positions[0], -0.75f);  // a 4-wide grid, centred
    EXPECT_EQ(plane.positions[3 * 5], -0.25f);
    EXPECT_EQ(plane.positions[3 * 5 + 1], -0.25f);
    for (size_t i = 0; i < 10; ++i) {
        EXPECT_EQ(plane.positions[3 * i + 2], 0.0f);
        EXPECT_EQ(plane.normals[3 * i + 2], 1.0f);
    }
}

TEST(MakePointsConversion, ParsesTextLines) {
    std::vector<float> positions, normals;
    std::string reason;
    ASSERT_TRUE(parse_point_text("# scan\n1 2 3 0 0 1\r\n\n  4.5\t-5 6e1 0,1,0  # note\nnan 0 0 1 0 0\n",
                                 &positions, &normals, &reason))
        << reason;
    EXPECT_EQ(positions.size(), 9u);
    EXPECT_EQ(normals.size(), 9u);
    EXPECT_EQ(positions[3], 4.5f);
    EXPECT_EQ(positions[5], 60.0f);
    EXPECT_EQ(normals[4], 1.0f);
    EXPECT_TRUE(std::isnan(positions[6]));

    const char* bad[] = {"1 2 3\n1 2 3 4 5 6\n", "1 2\n", "1 2 3 x\n", "1 2 3 4 5 6 7\n"};
    for (const char* text : bad) {
        positions.clear();
        normals.clear();
        EXPECT_FALSE(parse_point_text(text, &positions, &normals, &reason)) << text;
        EXPECT_NE(reason.find("line "), std::string::npos);
    }
}

TEST(MakePointsConversion, DropsNonFinitePointsAndEstimatesMissingNormals) {
    TempFolder folder;
    std::string text = "inf 0 0\n0 nan 0\n";
    const OrientedPoints plane = make_plane(400, 0.01);
    for (size_t i = 0; i < 400; ++i) {
        text += std::to_string(plane.positions[3 * i]) + " " + std::to_string(plane.positions[3 * i + 1]) + " 0.5\n";
    }
    write_whole_file(folder.file("scan.xyz"), text);
    OrientedPoints out;
    ConversionReport report;
    std::string reason;
    ASSERT_TRUE(convert_points(folder.file("scan.xyz"), 8, &out, &report, &reason)) << reason;
    EXPECT_EQ(report.read, 402);
    EXPECT_EQ(report.dropped_not_finite, 2);
    EXPECT_TRUE(report.normals_estimated);
    ASSERT_EQ(point_count(out), 400 - report.dropped_no_normal);
    EXPECT_EQ(report.dropped_no_normal, 0);
    // Estimated normals of a plane at z = 0.5 are +z or, facing the viewpoint, -z.
    for (size_t i = 0; i < (size_t)point_count(out); ++i) {
        ASSERT_NEAR(std::fabs(out.normals[3 * i + 2]), 1.0, 1e-4) << i;
    }
    EXPECT_FALSE(convert_points(folder.file("absent.txt"), 8, &out, &report, &reason));
    write_whole_file(folder.file("all_bad.txt"), "nan nan nan\n");
    EXPECT_FALSE(convert_points(folder.file("all_bad.txt"), 8, &out, &report, &reason));
}

TEST(MakePointsConversion, ReadsPlyAndPcdWithAndWithoutNormals) {
    TempFolder folder;
    const OrientedPoints sphere = make_sphere(300, 0.02);
    pcl::PointCloud<pcl::PointNormal> with_normals;
    pcl::PointCloud<pcl::PointXYZ> bare;
    for (size_t i = 0; i < 300; ++i) {
        pcl::PointNormal p;
        p.x = sphere.positions[3 * i];
        p.y = sphere.positions[3 * i + 1];
        p.z = sphere.positions[3 * i + 2];
        p.normal_x = sphere.normals[3 * i];
        p.normal_y = sphere.normals[3 * i + 1];
        p.normal_z = sphere.normals[3 * i + 2];
        p.curvature = 0.0f;
        with_normals.push_back(p);
        bare.push_back(pcl::PointXYZ(p.x, p.y, p.z));
    }
    with_normals.points[7].normal_y = std::numeric_limits<float>::quiet_NaN();
    ASSERT_EQ(pcl::io::savePLYFileBinary(folder.file("normals.ply"), with_normals), 0);
    ASSERT_EQ(pcl::io::savePCDFileBinary(folder.file("normals.pcd"), with_normals), 0);
    ASSERT_EQ(pcl::io::savePLYFileASCII(folder.file("bare.ply"), bare), 0);
    for (const char* name : {"normals.ply", "normals.pcd"}) {
        OrientedPoints out;
        ConversionReport report;
        std::string reason;
        ASSERT_TRUE(convert_points(folder.file(name), 10, &out, &report, &reason)) << reason;
        EXPECT_FALSE(report.normals_estimated) << name;
        EXPECT_EQ(report.dropped_not_finite, 1) << name;
        ASSERT_EQ(point_count(out), 299) << name;
        EXPECT_EQ(out.positions[3 * 7], sphere.positions[3 * 8]) << name;
        EXPECT_EQ(out.normals[3 * 298 + 2], sphere.normals[3 * 299 + 2]) << name;
    }
    OrientedPoints out;
    ConversionReport report;
    std::string reason;
    ASSERT_TRUE(convert_points(folder.file("bare.ply"), 10, &out, &report, &reason)) << reason;
    EXPECT_TRUE(report.normals_estimated);
    ASSERT_EQ(point_count(out), 300);
    // On a sphere the estimated normal is radial, up to its sign.
    for (size_t i = 0; i < 300; ++i) {
        const double along = out.normals[3 * i] * sphere.normals[3 * i] +
                             out.normals[3 * i + 1] * sphere.normals[3 * i + 1] +
                             out.normals[3 * i + 2] * sphere.normals[3 * i + 2];
        ASSERT_GT(std::fabs(along), 0.98) << i;
    }
}

int run(const std::string& command) {
    const int status = system((command + " 2>/dev/null").c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TEST(MakePointsTool, WritesFilesMeshweaverReadsAndRejectsBadUse) {
    TempFolder folder;
    const std::string tool = MAKE_POINTS_PATH;
    const std::string out = folder.file("demo.dat");
    ASSERT_EQ(run(tool + " sphere --count 1234 --spacing 0.02 -o " + out), 0);
    PointFile points{};
    ASSERT_EQ(load_points(out.c_str(), &points).status, LoadStatus::ok);
    EXPECT_EQ(points.count, 1234);
    const OrientedPoints sphere = make_sphere(1234, 0.02);
    EXPECT_EQ(memcmp(points.positions, sphere.positions.data(), 12 * 1234), 0);
    free(points.positions);
    free(points.normals);

    write_whole_file(folder.file("scan.txt"), "0 0 0 0 0 1\n0.01 0 0 0 0 1\nnan 1 1 0 0 1\n");
    ASSERT_EQ(run(tool + " convert " + folder.file("scan.txt") + " -o " + folder.file("scan.dat")), 0);
    EXPECT_EQ(read_whole_file(folder.file("scan.dat")).size(), 4u + 2 * 24u);

    EXPECT_EQ(run(tool + " --help >/dev/null"), 0);
    const char* bad[] = {"", " cube -o x.dat", " sphere --count -3 -o x.dat", " sphere --count 10",
                         " sphere --spacing 0 -o x.dat", " torus --tube-ratio 1.5 -o x.dat",
                         " sphere --neighbours 5 -o x.dat", " convert"};
    for (const char* args : bad) EXPECT_EQ(run(tool + args), 2) << args;
    EXPECT_EQ(run(tool + " convert " + folder.file("missing.txt") + " -o " + folder.file("m.dat")), 1);
    EXPECT_EQ(run(tool + " plane --count 10 -o " + folder.file("no/such/folder.dat")), 1);
    EXPECT_FALSE(file_exists(folder.file("x.dat")));
}

}  // namespace
