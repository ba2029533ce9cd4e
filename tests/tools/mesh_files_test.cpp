// The mesh files of mesh_points: the reader of Meshweaver's VRML text against the writer,
// its refusals, and the layout, indices and winding of the PLY, OBJ and STL files.
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "meshbuilder/mesh_formats.h"
#include "meshbuilder/vrml_writer.h"
#include "wrl_reader.h"

namespace {

// Collects what a stream writer hands over, in place of a file.
std::string collected;
size_t collect(const void* data, size_t size, FILE*) {
    collected.append(static_cast<const char*>(data), size);
    return size;
}

template <typename Writer>
std::string written_by(Writer writer, const MeshRecord& mesh) {
    collected.clear();
    const int64_t reported = writer(mesh, nullptr, collect);
    EXPECT_EQ(reported, (int64_t)collected.size());
    return collected;
}

// Four vertices, from tiny and negative to large, and two triangles of opposite winding.
float kVertices[] = {0.0f, 0.0f, 0.0f,  1.0f,        -0.000001f, 0.0f,
                     0.0f, 1.0f, 3e30f, 123456.789f, -2.5f,      0.333333f};
int32_t kIndices[] = {0, 1, 2, 3, 2, 1};
const MeshRecord kMesh = {4, kVertices, 2, kIndices};

std::string vrml_text(const MeshRecord& mesh) {
    return written_by(write_vrml_stream, mesh);
}

TEST(MeshweaverVrmlReader, ReadsBackWhatTheWriterWrites) {
    const MeshRecord empty = {0, nullptr, 0, nullptr};
    for (const MeshRecord* mesh : {&kMesh, &empty}) {
        const std::string text = vrml_text(*mesh);
        MeshRecord read;
        std::string reason;
        ASSERT_TRUE(read_meshweaver_vrml(text.data(), text.size(), &read, &reason)) << reason;
        ASSERT_EQ(read.vertex_count, mesh->vertex_count);
        ASSERT_EQ(read.triangle_count, mesh->triangle_count);
        for (int i = 0; i < 3 * mesh->vertex_count; ++i) {
            EXPECT_EQ(read.vertices[i], vrml_coordinate_as_written(mesh->vertices[i])) << i;
        }
        for (int i = 0; i < 3 * mesh->triangle_count; ++i) EXPECT_EQ(read.indices[i], kIndices[i]);
        free_mesh_record(&read);
    }
}

std::string replaced(std::string text, const std::string& from, const std::string& to) {
    const size_t at = text.find(from);
    EXPECT_NE(at, std::string::npos) << from;
    return at == std::string::npos ? text : text.replace(at, from.size(), to);
}

TEST(MeshweaverVrmlReader, RefusesOtherTextWithLineAndReason) {
    const std::string good = vrml_text(kMesh);
    std::string lf_only;
    for (char c : good) {
        if (c != '\r') lf_only += c;
    }
    const struct {
        std::string text;
        const char* reason;
    } cases[] = {
        {"", "line 1: not a VRML file"},
        {"#VRML V2.0 utf8\nShape {}\n", "line 1: not VRML 1.0 text"},
        {"#VRML V1.0 ascii\nSeparator {\n Coordinate3 { point [ 0 0 0, 1 0 0, 0 1 0 ] }\n"
         " IndexedFaceSet { coordIndex [ 0, 1, 2, -1 ] }\n}\n",
         "line 1: expected"},
        {lf_only, "line 1: expected"},
        {good.substr(0, good.size() / 2), "expected"},
        {good + "\r\n", "text after the end of the mesh"},
        {replaced(good, "3, 2, 1, -1", "3, 2, 4, -1"), "vertex index 4 beyond the 4 vertices"},
        {replaced(good, "3, 2, 1, -1", "3, 2, 99999999999999999999999, -1"), "beyond the 4"},
        {replaced(good, "3, 2, 1, -1", "3, 2, -1, -1"), "a negative vertex index"},
        {replaced(good, "3, 2, 1, -1", "3, 2, 1, 0, -1"), "expected \", -1\""},
        {replaced(good, "0.00000 0.00000 0.00000", "nan 0.00000 0.00000"), "not a finite number"},
        {replaced(good, "0.00000 0.00000 0.00000", "0.0000 0.00000 0.00000"), "five decimals"},
        {replaced(good, "0.00000 0.00000 0.00000",
                  "1" + std::string(40, '0') + ".00000 0.00000 0.00000"),
         "beyond the float range"},
        {replaced(good, "0.00000 0.00000 0.00000", "00.00000 0.00000 0.00000"), "a leading zero"},
    };
    for (const auto& c : cases) {
        MeshRecord read = {1, nullptr, 1, nullptr};
        std::string reason;
        EXPECT_FALSE(read_meshweaver_vrml(c.text.data(), c.text.size(), &read, &reason))
            << c.reason;
        EXPECT_NE(reason.find(c.reason), std::string::npos) << reason;
        EXPECT_EQ(read.vertex_count, 0);
        EXPECT_EQ(read.vertices, nullptr);
    }
}

uint32_t le32_at(const std::string& bytes, size_t at) {
    uint32_t v = 0;
    for (int i = 3; i >= 0; --i) v = v << 8 | (unsigned char)bytes[at + i];
    return v;
}

float float_at(const std::string& bytes, size_t at) {
    const uint32_t bits = le32_at(bytes, at);
    float v;
    memcpy(&v, &bits, 4);
    return v;
}

TEST(MeshFormats, KeepTheIndicesAndTheWindingOfTheMesh) {
    // PLY: the header, then 12 bytes a vertex and 13 a triangle, indices as in the mesh.
    const std::string ply = written_by(write_ply_stream, kMesh);
    const std::string header_end = "end_header\n";
    const size_t body = ply.find(header_end) + header_end.size();
    EXPECT_EQ(ply.rfind("ply\nformat binary_little_endian 1.0\nelement vertex 4\n", 0), 0u);
    EXPECT_NE(ply.find("element face 2\nproperty list uchar int vertex_indices\n"),
              std::string::npos);
    ASSERT_EQ(ply.size(), body + 4 * 12 + 2 * 13);
    EXPECT_EQ(float_at(ply, body + 3 * 12), kVertices[9]);
    EXPECT_EQ(ply[body + 48 + 13], 3);
    for (int k = 0; k < 3; ++k)
        EXPECT_EQ(le32_at(ply, body + 48 + 13 + 1 + 4 * k), (uint32_t)kIndices[3 + k]);

    // OBJ: vertices that read back as the same floats, faces counted from 1.
    std::istringstream obj(written_by(write_obj_stream, kMesh));
    std::vector<float> vertices;
    std::vector<int> faces;
    for (std::string kind; obj >> kind;) {
        if (kind == "v") {
            for (int k = 0; k < 3; ++k) vertices.push_back(0), obj >> vertices.back();
        } else if (kind == "f") {
            for (int k = 0; k < 3; ++k) faces.push_back(0), obj >> faces.back();
        } else {
            obj.ignore(1 << 20, '\n');
        }
    }
    EXPECT_EQ(vertices, std::vector<float>(kVertices, kVertices + 12));
    EXPECT_EQ(faces, (std::vector<int>{1, 2, 3, 4, 3, 2}));

    // STL: 84 bytes, then per triangle the normal by the right hand, corners in mesh order.
    float plane[] = {0, 0, 0, 1, 0, 0, 0, 1, 0};
    int32_t turns[] = {0, 1, 2, 0, 2, 1, 0, 1, 1};
    const std::string stl = written_by(write_stl_stream, MeshRecord{3, plane, 3, turns});
    ASSERT_EQ(stl.size(), 84u + 3 * 50);
    EXPECT_NE(stl.compare(0, 5, "solid"), 0);
    EXPECT_EQ(le32_at(stl, 80), 3u);
    EXPECT_EQ(float_at(stl, 84 + 8), 1.0f);
    EXPECT_EQ(float_at(stl, 84 + 50 + 8), -1.0f);
    EXPECT_EQ(float_at(stl, 84 + 100 + 8), 0.0f);           // degenerate: no direction
    EXPECT_EQ(float_at(stl, 84 + 50 + 12 + 12), plane[6]);  // second corner is vertex 2
}

}  // namespace
