// make_points convert on real scan files: double values read exactly in every encoding,
// text columns told apart, damaged or unreadable files refused with their reason, and the
// spacing advice that makes a millimetre scan mesh.
#include <stdio.h>
#include <string.h>
#include <sys/wait.h>

#include <cmath>
#include <random>

#include <pcl/PCLPointCloud2.h>
#include <pcl/io/pcd_io.h>
#include <pcl/io/ply_io.h>

#include "convert.h"
#include "meshbuilder/point_file.h"
#include "meshbuilder/reconstruction.h"
#include "shapes.h"
#include "test_files.h"

namespace {

// Points in doubles that no float holds exactly, with unit normals.
struct DoublePoints {
    std::vector<double> positions, normals;
};

DoublePoints random_double_points(int count) {
    std::mt19937 random(7);
    std::uniform_real_distribution<double> coordinate(-3.0, 3.0);
    DoublePoints points;
    for (int i = 0; i < count; ++i) {
        double n[3], length = 0.0;
        for (int c = 0; c < 3; ++c) {
            points.positions.push_back(coordinate(random));
            n[c] = coordinate(random) + 0.01;
            length += n[c] * n[c];
        }
        for (int c = 0; c < 3; ++c) points.normals.push_back(n[c] / std::sqrt(length));
    }
    return points;
}

void append_double(std::string* bytes, double value, bool big_endian) {
    unsigned char raw[8];
    memcpy(raw, &value, 8);
    for (int i = 0; i < 8; ++i) bytes->push_back((char)raw[big_endian ? 7 - i : i]);
}

// A PLY file of points in doubles, with a colour byte and a face element (lists) before and
// after the vertices, written byte by byte.
std::string double_ply(const DoublePoints& points, const char* format) {
    const size_t count = points.positions.size() / 3;
    std::string bytes = std::string("ply\nformat ") + format +
                        " 1.0\ncomment made by hand\nelement face 1\n"
                        "property list uchar int vertex_indices\nelement vertex " +
                        std::to_string(count) +
                        "\nproperty double x\nproperty double y\nproperty double z\n"
                        "property uchar red\nproperty double nx\nproperty double ny\n"
                        "property double nz\nelement face 1\n"
                        "property list uchar int vertex_indices\nend_header\n";
    const bool ascii = strcmp(format, "ascii") == 0, big = strstr(format, "big") != nullptr;
    const auto face = [&] {
        if (ascii) return bytes.append("3 0 1 2\n"), void();
        bytes.push_back(3);
        for (int v = 0; v < 3; ++v)
            bytes.append(big ? std::string("\0\0\0", 3) + (char)v
                             : (char)v + std::string("\0\0\0", 3));
    };
    face();
    char text[64];
    for (size_t i = 0; i < count; ++i) {
        for (int c = 0; c < 6; ++c) {
            const double v = c < 3 ? points.positions[3 * i + c] : points.normals[3 * i + c - 3];
            if (ascii) {
                snprintf(text, sizeof text, "%.17g ", v);
                bytes += text;
            } else {
                append_double(&bytes, v, big);
            }
            if (c == 2) ascii ? bytes.append("200 ") : bytes.append(1, (char)200);
        }
        if (ascii) bytes += "\n";
    }
    face();
    return bytes;
}

// The same points as a cloud of double fields, for the library's PCD writer.
pcl::PCLPointCloud2 double_cloud(const DoublePoints& points) {
    pcl::PCLPointCloud2 cloud;
    const char* names[6] = {"x", "y", "z", "normal_x", "normal_y", "normal_z"};
    for (int f = 0; f < 6; ++f) {
        pcl::PCLPointField field;
        field.name = names[f];
        field.offset = 8 * f;
        field.datatype = pcl::PCLPointField::FLOAT64;
        field.count = 1;
        cloud.fields.push_back(field);
    }
    const size_t count = points.positions.size() / 3;
    cloud.width = (uint32_t)count;
    cloud.height = 1;
    cloud.point_step = 48;
    cloud.row_step = 48 * cloud.width;
    cloud.is_dense = true;
    cloud.data.resize(48 * count);
    for (size_t i = 0; i < count; ++i) {
        memcpy(&cloud.data[48 * i], &points.positions[3 * i], 24);
        memcpy(&cloud.data[48 * i + 24], &points.normals[3 * i], 24);
    }
    return cloud;
}

TEST(ScanImport, DoubleValuesGiveTheirExactFloatsInEveryEncoding) {
    TempFolder folder;
    const DoublePoints points = random_double_points(700);
    for (const char* format : {"ascii", "binary_little_endian", "binary_big_endian"}) {
        write_whole_file(folder.file(std::string(format) + ".ply"), double_ply(points, format));
    }
    const pcl::PCLPointCloud2 cloud = double_cloud(points);
    pcl::PCDWriter writer;
    ASSERT_EQ(writer.writeASCII(folder.file("ascii.pcd"), cloud, Eigen::Vector4f::Zero(),
                                Eigen::Quaternionf::Identity(), 17),
              0);
    ASSERT_EQ(writer.writeBinary(folder.file("binary.pcd"), cloud), 0);
    ASSERT_EQ(writer.writeBinaryCompressed(folder.file("compressed.pcd"), cloud), 0);
    for (const char* name : {"ascii.ply", "binary_little_endian.ply", "binary_big_endian.ply",
                             "ascii.pcd", "binary.pcd", "compressed.pcd"}) {
        OrientedPoints out;
        ConversionReport report;
        std::string reason;
        ASSERT_TRUE(convert_points(folder.file(name), 10, 1.0, &out, &report, &reason)) << reason;
        ASSERT_EQ(point_count(out), 700) << name;
        EXPECT_EQ(report.normals_estimated, 0) << name;
        const bool ply = std::string(name).find(".ply") != std::string::npos;
        EXPECT_EQ(report.scan.extra_columns, std::vector<std::string>(ply ? 1 : 0, "red")) << name;
        for (size_t i = 0; i < 3 * 700; ++i) {
            ASSERT_EQ(out.positions[i], (float)points.positions[i]) << name << " value " << i;
            ASSERT_EQ(out.normals[i], (float)points.normals[i]) << name << " value " << i;
        }
    }
}

TEST(ScanImport, TextColumnsAreToldApart) {
    struct Case {
        const char* text;
        int kept;
        bool normals;
        std::vector<std::string> extra;
    };
    const Case cases[] = {
        // The colour of "x y z r g b" is no normal (it would have a length of about 250).
        {"1 2 3 200 30 99\n4 5 6 255 0 1\n", 2, false, {"red", "green", "blue"}},
        {"1 2 3 0.5 0.25 1\n4 5 6 0 0 0.5\n", 2, false, {"red", "green", "blue"}},
        {"1 2 3 0 0.6 0.8\n4 5 6 -1 0 0\n", 2, true, {}},
        {"1,2,3,7\n4,5,6,9\n", 2, false, {"intensity"}},
        {"2\n1 2 3 -500 10 20 30\n4 5 6 -20 40 50 60\n",
         2,
         false,
         {"intensity", "red", "green", "blue"}},
        {"1;2;3;10;20;30;0;0;1\n4;5;6;1;2;3;1;0;0\n", 2, true, {"red", "green", "blue"}},
        {"1 2 3 0 0 1 10 20 30\nnan 5 6 0 1 0 1 2 3\n", 1, true, {"red", "green", "blue"}},
        {"# exported\n//X Y Z Reflectance Nx Ny Nz\n1 2 3 0.5 0 0 2\n4 5 6 0.1 0 0 0\n",
         2,
         true,
         {"Reflectance"}},
    };
    for (const Case& c : cases) {
        ScanPoints scan;
        std::string reason;
        ASSERT_TRUE(read_scan_text(c.text, 1.0, &scan, &reason)) << c.text << reason;
        EXPECT_EQ((int)scan.positions.size(), 3 * c.kept) << c.text;
        EXPECT_EQ(scan.normals.size(), c.normals ? scan.positions.size() : 0u) << c.text;
        EXPECT_EQ(scan.extra_columns, c.extra) << c.text;
        EXPECT_EQ(scan.positions[2], 3.0f) << c.text;
    }
    // Named normals: one made unit length, one zero and so left to be estimated.
    ScanPoints scan;
    std::string reason;
    ASSERT_TRUE(read_scan_text(cases[7].text, 1.0, &scan, &reason));
    EXPECT_EQ(scan.normals_normalised, 1);
    EXPECT_EQ(scan.normals_missing, 1);
    EXPECT_EQ(std::vector<float>(scan.normals.begin(), scan.normals.begin() + 3),
              (std::vector<float>{0.0f, 0.0f, 1.0f}));
    EXPECT_TRUE(std::isnan(scan.normals[3]));
    EXPECT_EQ(scan.dropped_not_finite, 0);
}

struct ToolRun {
    int status;
    std::string output;
};

ToolRun run_make_points(const TempFolder& folder, const std::string& arguments) {
    const std::string log = folder.file("make_points.log");
    const int status =
        system((std::string(MAKE_POINTS_PATH) + " " + arguments + " >" + log + " 2>&1").c_str());
    return ToolRun{WIFEXITED(status) ? WEXITSTATUS(status) : -1, read_whole_file(log)};
}

TEST(ScanImport, UnreadableScansAreRefusedWithTheirReason) {
    TempFolder folder;
    const std::string ply_head =
        "ply\nformat binary_little_endian 1.0\nelement vertex 3\n"
        "property float x\nproperty float y\nproperty float z\n"
        "end_header\n";
    const struct {
        const char* name;
        std::string content;
        const char* reason;
    } cases[] = {
        {"empty.ply", "", "the file is empty"},
        {"empty.pcd", "", "the file is empty"},
        {"empty.txt", "", "the file is empty"},
        {"comments.xyz", "# nothing here\n\n", "the file holds no point"},
        {"no-points.pcd",
         "VERSION .7\nFIELDS x y z\nSIZE 4 4 4\nTYPE F F F\nWIDTH 0\nHEIGHT 1\nPOINTS 0\n"
         "DATA binary\n",
         "the file holds no points"},
        {"decimal-comma.txt", "0,5 1,25 2,125\n", "line 1: '0,5' has a decimal comma"},
        {"decimal-comma.csv", "1,5;2,5;3,5\n", "line 1: '1,5' has a decimal comma"},
        {"decimal-comma.asc", "1 2 3\n0,5 1,25 2,125\n", "line 2: '0,5' has a decimal comma"},
        {"ragged.xyz", "1 2 3\n4 5 6\n7 8\n", "line 3: 2 fields where the lines before have 3"},
        {"not-colour.txt", "1 2 3 300.5 2 3\n", "columns 4 to 6 are neither normals"},
        {"word.asc", "1 2 3\n4 five 6\n", "line 2: 'five' is not a number"},
        {"two.xyz", "# x y\n1 2\n1 2\n", "line 2: 2 fields, but a point needs at least x, y and z"},
        {"nul.xyz", std::string("1 2 3\n4 5 6\0\n", 13), "line 2: '6"},
        {"huge.pts", "1 2 3\n4 5 1e39\n", "line 2: the coordinate 1e+39 is too large"},
        {"beyond-double.txt", "1 2 1e999\n", "line 1: '1e999' is too large for a float"},
        {"count.pts", "3\n1 2 3\n4 5 6\n",
         "the first line gives a count of 3 points, but the file holds 2"},
        {"float-range.ply",
         "ply\nformat ascii 1.0\nelement vertex 1\nproperty float x\nproperty float y\n"
         "property float z\nend_header\n1 2 1e39\n",
         "line 8 (vertex 1 of 1): '1e39' does not fit the float it is declared as"},
        {"ragged.ply",
         "ply\nformat ascii 1.0\nelement vertex 2\nproperty float x\nproperty float y\n"
         "property float z\nend_header\n1 2 3\n1 2 3 4\n",
         "line 9 (vertex 2 of 2): the line has 1 values more than the header declares"},
        {"cut.ply", ply_head + std::string(24, '\0') + "\x01\x02",
         "the file ends within vertex 3 of 3"},
        {"faces.ply", "ply\nformat ascii 1.0\nelement face 0\nend_header\n",
         "the file has no vertex element"},
        {"cut.pcd",
         "FIELDS x y z\nSIZE 8 8 8\nTYPE F F F\nCOUNT 1 1 1\nWIDTH 3\nHEIGHT 1\nPOINTS 3\n"
         "DATA ascii\n1 2 3\n4 5 6\n",
         "the file ends after 2 of its 3 points"},
        {"packed.pcd",
         "FIELDS x y z\nSIZE 4 4 4\nTYPE F F F\nWIDTH 2\nHEIGHT 1\nPOINTS 2\n"
         "DATA binary_compressed\n" +
             std::string("\x05\0\0\0\x18\0\0\0\x1f\x01\x02\x03\x04", 13),
         "the compressed data is damaged"},
    };
    // An earlier output of the same name stays as it was.
    write_whole_file(folder.file("out.dat"), "earlier");
    for (const auto& c : cases) {
        write_whole_file(folder.file(c.name), c.content);
        const ToolRun run = run_make_points(
            folder, "convert " + folder.file(c.name) + " -o " + folder.file("out.dat"));
        EXPECT_EQ(run.status, 1) << c.name << ": " << run.output;
        EXPECT_NE(run.output.find(folder.file(c.name) + ": " + c.reason), std::string::npos)
            << c.name << ": " << run.output;
        EXPECT_EQ(read_whole_file(folder.file("out.dat")), "earlier") << c.name;
    }
}

// The triangles Meshweaver's reconstruction makes of a point file.
int32_t triangles_of(const std::string& path) {
    PointFile points{};
    if (load_points(path.c_str(), &points).status != LoadStatus::ok) return -1;
    MeshRecord mesh{};
    std::wstring reason;
    const bool built =
        reconstruct_mesh(points.count, points.positions, points.normals, &mesh, &reason);
    const int32_t triangles = built ? mesh.triangle_count : -1;
    free_mesh_record(&mesh);
    free(points.positions);
    free(points.normals);
    return triangles;
}

TEST(ScanImport, MillimetreScanGetsScaleAdviceAndMeshesAfterScale) {
    TempFolder folder;
    // A sphere of 3000 points 20 mm apart, given in millimetres.
    const OrientedPoints sphere = make_sphere(3000, 20.0);
    pcl::PointCloud<pcl::PointNormal> cloud;
    for (size_t i = 0; i < 3000; ++i) {
        const float* p = &sphere.positions[3 * i];
        const float* n = &sphere.normals[3 * i];
        pcl::PointNormal point;
        point.x = p[0], point.y = p[1], point.z = p[2];
        point.normal_x = n[0], point.normal_y = n[1], point.normal_z = n[2];
        cloud.push_back(point);
    }
    ASSERT_EQ(pcl::io::savePLYFileBinary(folder.file("scan.ply"), cloud), 0);

    const ToolRun as_given = run_make_points(
        folder, "convert " + folder.file("scan.ply") + " -o " + folder.file("mm.dat"));
    ASSERT_EQ(as_given.status, 0) << as_given.output;
    EXPECT_NE(as_given.output.find("median spacing 1"), std::string::npos) << as_given.output;
    EXPECT_NE(as_given.output.find("too coarse"), std::string::npos) << as_given.output;
    EXPECT_NE(as_given.output.find("convert again with --scale 0.001 "), std::string::npos)
        << as_given.output;
    EXPECT_EQ(triangles_of(folder.file("mm.dat")), 0);

    const ToolRun scaled = run_make_points(
        folder, "convert " + folder.file("scan.ply") + " --scale 0.001 -o " + folder.file("m.dat"));
    ASSERT_EQ(scaled.status, 0) << scaled.output;
    EXPECT_NE(scaled.output.find("suits Meshweaver's search radius"), std::string::npos)
        << scaled.output;
    // A closed surface of n points has about 2n triangles.
    EXPECT_GT(triangles_of(folder.file("m.dat")), 5000);

    // Centimetres get a tenth; a fine spacing (micrometres in metres) needs no scale.
    const SpacingReport centimetres = measure_spacing(make_sphere(3000, 2.0));
    EXPECT_FALSE(centimetres.suits);
    EXPECT_EQ(centimetres.suggested_scale, 0.01);
    EXPECT_NEAR(measure_spacing(make_sphere(3000, 0.02)).median_spacing, 0.0188, 0.0005);
    EXPECT_TRUE(measure_spacing(make_sphere(3000, 0.000002)).suits);
}

}  // namespace
