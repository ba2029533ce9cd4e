#include "meshbuilder/mesh_formats.h"

#include <errno.h>
#include <string.h>

#include <charconv>
#include <cmath>
#include <string>
#include <vector>

namespace {

typedef size_t (*WriteCall)(const void* data, size_t size, FILE* file);

// Bytes collected and handed to the write call a block at a time.
struct BlockWriter {
    FILE* file;
    WriteCall write;
    std::vector<char> block;
    int64_t total;
    bool failed;
};

const size_t kBlockBytes = 1 << 20;
// More than the longest record of any format (an OBJ vertex line of three floats).
const size_t kLongestRecord = 128;

void hand_over(BlockWriter& out) {
    const size_t size = out.block.size();
    if (size && !out.failed && out.write(out.block.data(), size, out.file) != size) {
        out.failed = true;
    }
    out.total += (int64_t)size;
    out.block.clear();
}

// Room for one more record; hands the block over when it is nearly full.
void reserve_record(BlockWriter& out) {
    if (out.block.size() + kLongestRecord > kBlockBytes) hand_over(out);
}

void append(BlockWriter& out, const char* text, size_t size) {
    out.block.insert(out.block.end(), text, text + size);
}

void append_text(BlockWriter& out, const std::string& text) {
    append(out, text.data(), text.size());
}

void append_le32(BlockWriter& out, uint32_t value) {
    const char bytes[4] = {(char)(value & 0xff), (char)(value >> 8 & 0xff),
                           (char)(value >> 16 & 0xff), (char)(value >> 24 & 0xff)};
    append(out, bytes, 4);
}

void append_float(BlockWriter& out, float value) {
    uint32_t bits;
    memcpy(&bits, &value, 4);
    append_le32(out, bits);
}

// Text of the shortest decimal that reads back as value.
void append_float_text(BlockWriter& out, float value) {
    char text[32];
    const std::to_chars_result end = std::to_chars(text, text + sizeof text, value);
    append(out, text, (size_t)(end.ptr - text));
}

void append_int_text(BlockWriter& out, int64_t value) {
    char text[24];
    const std::to_chars_result end = std::to_chars(text, text + sizeof text, value);
    append(out, text, (size_t)(end.ptr - text));
}

int64_t finish(BlockWriter& out) {
    hand_over(out);
    return out.failed ? -1 : out.total;
}

BlockWriter start(FILE* file, WriteCall write) {
    BlockWriter out{file, write, std::vector<char>(), 0, false};
    try {
        out.block.reserve(kBlockBytes);
    } catch (const std::bad_alloc&) {
        out.failed = true;
    }
    return out;
}

const float* corner(const MeshRecord& mesh, int32_t triangle, int k) {
    return mesh.vertices + 3 * (size_t)mesh.indices[3 * (size_t)triangle + k];
}

// The unit normal of a triangle from its winding (right hand), or zero when degenerate.
void triangle_normal(const float* a, const float* b, const float* c, float normal[3]) {
    const double u[3] = {(double)b[0] - a[0], (double)b[1] - a[1], (double)b[2] - a[2]};
    const double v[3] = {(double)c[0] - a[0], (double)c[1] - a[1], (double)c[2] - a[2]};
    const double n[3] = {u[1] * v[2] - u[2] * v[1], u[2] * v[0] - u[0] * v[2],
                         u[0] * v[1] - u[1] * v[0]};
    const double length = std::sqrt(n[0] * n[0] + n[1] * n[1] + n[2] * n[2]);
    for (int i = 0; i < 3; ++i) {
        normal[i] = length > 0 && std::isfinite(length) ? (float)(n[i] / length) : 0.0f;
    }
}

struct FormatContent {
    MeshFormat format;
    const MeshRecord* mesh;
};

bool write_format_content(const void* context, FILE* file, WriteCall write) {
    const FormatContent& content = *static_cast<const FormatContent*>(context);
    switch (content.format) {
        case MeshFormat::ply:
            return write_ply_stream(*content.mesh, file, write) >= 0;
        case MeshFormat::obj:
            return write_obj_stream(*content.mesh, file, write) >= 0;
        case MeshFormat::stl:
            return write_stl_stream(*content.mesh, file, write) >= 0;
    }
    return false;
}

}  // namespace

const char* mesh_format_extension(MeshFormat format) {
    switch (format) {
        case MeshFormat::ply:
            return ".ply";
        case MeshFormat::obj:
            return ".obj";
        case MeshFormat::stl:
            return ".stl";
    }
    return "";
}

int64_t write_ply_stream(const MeshRecord& mesh, FILE* file, WriteCall write) {
    BlockWriter out = start(file, write);
    if (out.failed) return errno = ENOMEM, -1;
    append_text(out, "ply\nformat binary_little_endian 1.0\nelement vertex " +
                         std::to_string(mesh.vertex_count) +
                         "\nproperty float x\nproperty float y\nproperty float z\nelement face " +
                         std::to_string(mesh.triangle_count) +
                         "\nproperty list uchar int vertex_indices\nend_header\n");
    for (int32_t i = 0; i < mesh.vertex_count && !out.failed; ++i) {
        reserve_record(out);
        for (int k = 0; k < 3; ++k) append_float(out, mesh.vertices[3 * (size_t)i + k]);
    }
    for (int32_t t = 0; t < mesh.triangle_count && !out.failed; ++t) {
        reserve_record(out);
        const char corners = 3;
        append(out, &corners, 1);
        for (int k = 0; k < 3; ++k) append_le32(out, (uint32_t)mesh.indices[3 * (size_t)t + k]);
    }
    return finish(out);
}

int64_t write_obj_stream(const MeshRecord& mesh, FILE* file, WriteCall write) {
    BlockWriter out = start(file, write);
    if (out.failed) return errno = ENOMEM, -1;
    append_text(out, "# " + std::to_string(mesh.vertex_count) + " vertices, " +
                         std::to_string(mesh.triangle_count) + " triangles\n");
    for (int32_t i = 0; i < mesh.vertex_count && !out.failed; ++i) {
        reserve_record(out);
        const float* v = mesh.vertices + 3 * (size_t)i;
        append(out, "v", 1);
        for (int k = 0; k < 3; ++k) {
            append(out, " ", 1);
            append_float_text(out, v[k]);
        }
        append(out, "\n", 1);
    }
    for (int32_t t = 0; t < mesh.triangle_count && !out.failed; ++t) {
        reserve_record(out);
        append(out, "f", 1);
        for (int k = 0; k < 3; ++k) {
            append(out, " ", 1);
            // NOTE: OBJ counts vertices from 1.
            append_int_text(out, (int64_t)mesh.indices[3 * (size_t)t + k] + 1);
        }
        append(out, "\n", 1);
    }
    return finish(out);
}

int64_t write_stl_stream(const MeshRecord& mesh, FILE* file, WriteCall write) {
    BlockWriter out = start(file, write);
    if (out.failed) return errno = ENOMEM, -1;
    // NOTE: the header must not start with "solid": readers take such a file for text STL.
    char header[80] = {};
    const char title[] = "binary STL made by Haldenmoor";
    memcpy(header, title, sizeof title - 1);
    append(out, header, sizeof header);
    append_le32(out, (uint32_t)mesh.triangle_count);
    for (int32_t t = 0; t < mesh.triangle_count && !out.failed; ++t) {
        reserve_record(out);
        const float* a = corner(mesh, t, 0);
        const float* b = corner(mesh, t, 1);
        const float* c = corner(mesh, t, 2);
        float normal[3];
        triangle_normal(a, b, c, normal);
        for (float value : normal) append_float(out, value);
        for (const float* p : {a, b, c}) {
            for (int k = 0; k < 3; ++k) append_float(out, p[k]);
        }
        const char attribute[2] = {0, 0};
        append(out, attribute, 2);
    }
    return finish(out);
}

SaveOutcome save_mesh_format(MeshFormat format, const char* path, const MeshRecord& mesh,
                             const FileSteps& steps) {
    const FormatContent content{format, &mesh};
    return save_durably(path, write_format_content, &content, steps);
}
