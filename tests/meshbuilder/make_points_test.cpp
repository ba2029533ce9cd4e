// make_points: its shape generators, the conversion of scans, and the tool as a user runs it.
#include <string.h>
#include <sys/wait.h>

#include <cmath>

#include <pcl/io/ply_io.h>

#include "convert.h"
#include "meshbuilder/point_file.h"
#include "shapes.h"
#include "test_files.h"

namespace {

TEST(MakePointsShapes, OutwardUnitNormalsAtTheAskedSize) {
    const OrientedPoints sphere = make_sphere(2000, 0.02), torus = make_torus(3000, 0.02, 0.3);
    ASSERT_EQ(point_count(sphere), 2000);
    EXPECT_TRUE(point_count(torus) <= 3000 && point_count(torus) > 2900);
    const double radius = 0.02 * std::sqrt(2000 / (4.0 * M_PI));
    for (size_t i = 0; i < 3 * 2000; ++i)
        ASSERT_NEAR(sphere.positions[i], radius * sphere.normals[i], 1e-6);
    // Each torus normal points from the middle of the tube to its point.
    const double ring = 0.02 * std::sqrt(3000 / (4.0 * M_PI * M_PI * 0.3));
    for (size_t i = 0; i < (size_t)point_count(torus); ++i) {
        const float* p = &torus.positions[3 * i];
        const double around = std::atan2(p[1], p[0]);
        const double middle[3] = {ring * std::cos(around), ring * std::sin(around), 0.0};
        for (int c = 0; c < 3; ++c)
            ASSERT_NEAR(p[c] - middle[c], 0.3 * ring * torus.normals[3 * i + c], 1e-5);
    }
    const OrientedPoints plane = make_plane(10, 0.5);  // a 4-wide grid, centred
    ASSERT_EQ(point_count(plane), 10);
    EXPECT_EQ(std::vector<float>(plane.positions.begin() + 15, plane.positions.begin() + 18),
              (std::vector<float>{-0.25f, -0.25f, 0.0f}));
    EXPECT_EQ(plane.normals[3 * 9 + 2], 1.0f);
}

TEST(MakePointsConversion, DropsNonFinitePointsAndEstimatesMissingNormals) {
    TempFolder folder;
    const OrientedPoints sphere = make_sphere(300, 0.02);
    std::string text = "inf 0 0\n0 nan 0\n";
    pcl::PointCloud<pcl::PointXYZ> bare;
    for (size_t i = 0; i < 300; ++i) {
        const float* p = &sphere.positions[3 * i];
        text +=
            std::to_string(p[0]) + " " + std::to_string(p[1]) + " " + std::to_string(p[2]) + "\n";
        bare.push_back(pcl::PointXYZ(p[0], p[1], p[2]));
    }
    write_whole_file(folder.file("scan.xyz"), text);
    ASSERT_EQ(pcl::io::savePLYFileBinary(folder.file("scan.ply"), bare), 0);
    for (const char* name : {"scan.xyz", "scan.ply"}) {
        OrientedPoints out;
        ConversionReport report;
        std::string reason;
        ASSERT_TRUE(convert_points(folder.file(name), 10, 1.0, &out, &report, &reason)) << reason;
        EXPECT_EQ(report.normals_estimated, 300);
        EXPECT_EQ(report.scan.dropped_not_finite, name[5] == 'x' ? 2 : 0);
        ASSERT_EQ(point_count(out), 300);
        // On a sphere an estimated normal is radial, up to its sign.
        for (size_t i = 0; i < 300; ++i) {
            double along = 0.0;
            for (int c = 0; c < 3; ++c) along += out.normals[3 * i + c] * sphere.normals[3 * i + c];
            ASSERT_GT(std::fabs(along), 0.98) << name << " " << i;
        }
    }
    OrientedPoints out;
    ConversionReport report;
    std::string reason;
    write_whole_file(folder.file("bad.txt"), "nan nan nan\n");
    EXPECT_FALSE(convert_points(folder.file("bad.txt"), 10, 1.0, &out, &report, &reason));
    EXPECT_FALSE(convert_points(folder.file("absent.pcd"), 10, 1.0, &out, &report, &reason));
}

int run(const std::string& arguments) {
    const int status =
        system((std::string(MAKE_POINTS_PATH) + arguments + " >/dev/null 2>&1").c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TEST(MakePointsTool, WritesFilesMeshweaverReadsAndRejectsBadUse) {
    TempFolder folder;
    const std::string out = folder.file("demo.dat");
    ASSERT_EQ(run(" sphere --count 1234 --spacing 0.02 -o " + out), 0);
    PointFile points{};
    ASSERT_EQ(load_points(out.c_str(), &points).status, LoadStatus::ok);
    EXPECT_EQ(memcmp(points.positions, make_sphere(1234, 0.02).positions.data(), 12 * 1234), 0);
    free(points.positions);
    free(points.normals);
    write_whole_file(folder.file("scan.txt"), "0 0 0 0 0 1\n0.01 0 0 0 0 1\nnan 1 1 0 0 1\n");
    // The output replaces an earlier file whole; a leftover temporary file is left alone.
    write_whole_file(folder.file("scan.dat"), "earlier");
    write_whole_file(folder.file("scan.dat.tmp"), "leftover");
    ASSERT_EQ(run(" convert " + folder.file("scan.txt") + " -o " + folder.file("scan.dat")), 0);
    EXPECT_EQ(read_whole_file(folder.file("scan.dat")).size(), 4u + 2 * 24u);
    EXPECT_EQ(read_whole_file(folder.file("scan.dat.tmp")), "leftover");
    EXPECT_FALSE(file_exists(folder.file("scan.dat.tmp1")));
    EXPECT_EQ(run(" --help"), 0);
    for (const char* args :
         {"", " cube -o x.dat", " sphere --count -3 -o x.dat", " sphere --count 10",
          " sphere --spacing 0 -o x.dat", " torus --tube-ratio 1.5 -o x.dat",
          " sphere --neighbours 5 -o x.dat", " convert"}) {
        EXPECT_EQ(run(args), 2) << args;
    }
    EXPECT_EQ(run(" convert " + folder.file("missing.txt") + " -o " + folder.file("m.dat")), 1);
    EXPECT_EQ(run(" plane --count 10 -o " + folder.file("no/such/folder.dat")), 1);
    EXPECT_FALSE(file_exists("x.dat"));
}

}  // namespace
