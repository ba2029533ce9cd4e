#include "wrl_reader.h"

#include <stdint.h>
#include <stdlib.h>
#include <string.h>

#include <charconv>
#include <new>
#include <vector>

#include "common/fixed_point.h"

namespace {

const char kHead[] =
    "#VRML V1.0 ascii\r\n\r\nSeparator\r\n{\r\n  Coordinate3\r\n  {\r\n    point\r\n    [";
const char kVertexStart[] = "\r\n      ";
const char kPointsEnd[] = "\r\n    ]\r\n  }\r\nIndexedFaceSet { coordIndex [\r\n";
const char kFaceEnd[] = ", -1";
const char kTail[] = "]}\r\n}";
// Integer digits of the largest float (3.4e38).
const int kMostIntegerDigits = 39;

struct Cursor {
    const char* start;
    const char* p;
    const char* end;
    std::string problem;  // the first refusal, without its line
};

bool refuse(Cursor& in, const std::string& problem) {
    if (in.problem.empty()) in.problem = problem;
    return false;
}

// The expected text as it would be typed, line ends written "\r\n".
std::string shown(const char* literal) {
    std::string text;
    for (const char* c = literal; *c; ++c) {
        if (*c == '\r') {
            text += "\\r";
        } else if (*c == '\n') {
            text += "\\n";
        } else {
            text += *c;
        }
    }
    return text;
}

bool at(const Cursor& in, const char* literal) {
    const size_t length = strlen(literal);
    return (size_t)(in.end - in.p) >= length && memcmp(in.p, literal, length) == 0;
}

// Moves past literal when the text goes on with it.
bool skip_if(Cursor& in, const char* literal) {
    if (!at(in, literal)) return false;
    in.p += strlen(literal);
    return true;
}

bool expect(Cursor& in, const char* literal) {
    return skip_if(in, literal) || refuse(in, "expected \"" + shown(literal) + "\"");
}

bool is_digit(const Cursor& in) {
    return in.p < in.end && *in.p >= '0' && *in.p <= '9';
}

// Digits as the writer puts them: at least one, no leading zero before another digit.
bool skip_digits(Cursor& in, const char* what) {
    const char* first = in.p;
    while (is_digit(in)) ++in.p;
    if (in.p == first) return refuse(in, std::string("expected the digits of ") + what);
    if (*first == '0' && in.p - first > 1)
        return refuse(in, std::string("a leading zero in ") + what);
    return true;
}

// A coordinate: an optional "-", the integer digits, "." and five decimals.
bool read_coordinate(Cursor& in, float* value) {
    const char* first = in.p;
    if (in.p < in.end && *in.p == '-') ++in.p;
    if (at(in, "nan") || at(in, "inf"))
        return refuse(in, "a coordinate that is not a finite number");
    const char* digits = in.p;
    if (!skip_digits(in, "a coordinate")) return false;
    if (in.p - digits > kMostIntegerDigits)
        return refuse(in, "a coordinate beyond the float range");
    if (!expect(in, ".")) return false;
    for (int i = 0; i < 5; ++i, ++in.p) {
        if (!is_digit(in)) return refuse(in, "expected five decimals in a coordinate");
    }
    const std::from_chars_result read = std::from_chars(first, in.p, *value);
    if (read.ec != std::errc() || read.ptr != in.p) {
        return refuse(in, "a coordinate beyond the float range");
    }
    return true;
}

bool read_vertex(Cursor& in, std::vector<float>& vertices) {
    float xyz[3];
    if (!expect(in, kVertexStart) || !read_coordinate(in, &xyz[0]) || !expect(in, " ") ||
        !read_coordinate(in, &xyz[1]) || !expect(in, " ") || !read_coordinate(in, &xyz[2])) {
        return false;
    }
    vertices.insert(vertices.end(), xyz, xyz + 3);
    return true;
}

bool read_index(Cursor& in, int64_t vertex_count, std::vector<int32_t>& indices) {
    if (in.p < in.end && *in.p == '-') return refuse(in, "a negative vertex index");
    const char* first = in.p;
    if (!skip_digits(in, "a vertex index")) return false;
    int64_t index = 0;
    for (const char* c = first; c < in.p && index < vertex_count; ++c)
        index = index * 10 + (*c - '0');
    if (index >= vertex_count) {
        return refuse(in, "vertex index " +
                              std::string(first, in.p - first > 20 ? 20 : in.p - first) +
                              " beyond the " + std::to_string(vertex_count) + " vertices");
    }
    indices.push_back((int32_t)index);
    return true;
}

bool read_face(Cursor& in, int64_t vertex_count, std::vector<int32_t>& indices) {
    return read_index(in, vertex_count, indices) && expect(in, ", ") &&
           read_index(in, vertex_count, indices) && expect(in, ", ") &&
           read_index(in, vertex_count, indices) && expect(in, kFaceEnd);
}

bool read_layout(Cursor& in, std::vector<float>& vertices, std::vector<int32_t>& indices) {
    if (!at(in, "#VRML V1.0 ascii")) {
        return refuse(in, at(in, "#VRML") ? "not VRML 1.0 text (only VRML 1.0 ascii is read)"
                                          : "not a VRML file (no \"#VRML V1.0 ascii\" header)");
    }
    if (!expect(in, kHead)) return false;
    if (at(in, kVertexStart)) {
        do {
            if (!read_vertex(in, vertices)) return false;
            if (vertices.size() / 3 > INT32_MAX) return refuse(in, "more than 2147483647 vertices");
        } while (skip_if(in, ","));
    }
    if (!expect(in, kPointsEnd)) return false;
    const int64_t vertex_count = (int64_t)(vertices.size() / 3);
    if (!at(in, "]")) {
        do {
            if (!read_face(in, vertex_count, indices)) return false;
            if (indices.size() / 3 > INT32_MAX) return refuse(in, "more than 2147483647 triangles");
        } while (skip_if(in, ",\r\n"));
    }
    if (!expect(in, kTail)) return false;
    if (in.p != in.end) return refuse(in, "text after the end of the mesh");
    return true;
}

int line_of(const Cursor& in) {
    int line = 1;
    for (const char* c = in.start; c < in.p && c < in.end; ++c) line += *c == '\n';
    return line;
}

}  // namespace

bool read_meshweaver_vrml(const char* text, size_t size, MeshRecord* mesh, std::string* reason) {
    *mesh = MeshRecord{};
    Cursor in{text, text, text + size, std::string()};
    std::vector<float> vertices;
    std::vector<int32_t> indices;
    try {
        if (!read_layout(in, vertices, indices)) {
            *reason = "line " + std::to_string(line_of(in)) + ": " + in.problem +
                      "; only the VRML files Meshweaver writes are read";
            return false;
        }
    } catch (const std::bad_alloc&) {
        *reason = "not enough memory for the mesh";
        return false;
    }
    // NOTE: one byte at least, so that an empty mesh has arrays that free() accepts as well.
    float* vertex_block = (float*)malloc(vertices.size() * sizeof(float) + 1);
    int32_t* index_block = (int32_t*)malloc(indices.size() * sizeof(int32_t) + 1);
    if (!vertex_block || !index_block) {
        free(vertex_block);
        free(index_block);
        *reason = "not enough memory for the mesh";
        return false;
    }
    if (!vertices.empty()) memcpy(vertex_block, vertices.data(), vertices.size() * sizeof(float));
    if (!indices.empty()) memcpy(index_block, indices.data(), indices.size() * sizeof(int32_t));
    *mesh = MeshRecord{(int32_t)(vertices.size() / 3), vertex_block, (int32_t)(indices.size() / 3),
                       index_block};
    return true;
}

float vrml_coordinate_as_written(float value) {
    char text[kFixedTextCapacity];
    const int length = format_fixed(value, 5, text);
    float read = value;
    // NOTE: non-finite values ("nan", "inf") stay as they are; Meshweaver refuses them.
    std::from_chars(text, text + length, read);
    return read;
}
