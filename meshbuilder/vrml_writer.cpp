#include "meshbuilder/vrml_writer.h"

#include <errno.h>
#include <cmath>
#include <stdlib.h>
#include <string.h>

#include "common/fixed_point.h"
#include "meshbuilder/durable_save.h"

namespace {

const char kDigitPairs[] =
    "00010203040506070809101112131415161718192021222324252627282930313233343536373839"
    "40414243444546474849505152535455565758596061626364656667686970717273747576777879"
    "8081828384858687888990919293949596979899";

// Output is formatted into blocks of this size and handed to the writer block by block.
const size_t kBlockBytes = 1 << 20;
// Room kept free at the end of a block: more than the longest vertex line (three reals of
// at most 46 characters and their separators) or face line.
const size_t kBlockMargin = 512;

// Number of decimal digits of v.
int digit_count(uint32_t v) {
    int n = 1;
    while (v >= 100000) {
        v /= 100000;
        n += 5;
    }
    return v >= 10000 ? n + 4 : v >= 1000 ? n + 3 : v >= 100 ? n + 2 : v >= 10 ? n + 1 : n;
}

// Writes v in decimal at p, without padding; returns the end.
char* put_u32(char* p, uint32_t v) {
    char* end = p + digit_count(v);
    char* q = end;
    while (v >= 100) {
        const uint32_t pair = v % 100;
        v /= 100;
        q -= 2;
        memcpy(q, kDigitPairs + 2 * pair, 2);
    }
    if (v >= 10) {
        memcpy(q - 2, kDigitPairs + 2 * v, 2);
    } else {
        q[-1] = (char)('0' + v);
    }
    return end;
}

char* put_i32(char* p, int32_t v) {
    if (v < 0) {
        *p++ = '-';
        return put_u32(p, 0u - (uint32_t)v);
    }
    return put_u32(p, (uint32_t)v);
}

char* put_text(char* p, const char* text, size_t length) {
    memcpy(p, text, length);
    return p + length;
}

// Writes the fixed-point text of a float32 coordinate at p, byte for byte what
// format_fixed gives with five decimals for the value widened to double; returns the end.
char* put_fixed5(char* p, float coordinate) {
    double v = coordinate;
    if (v < 0) {
        *p++ = '-';
        v = -v;
    }
    if (!(v < 2147483648.0)) {
        if (std::isnan(v)) return put_text(p, "nan", 3);
        if (std::isinf(v)) return put_text(p, "inf", 3);
        // NOTE: a float of 2^31 or more has no fraction bits, so the decimals are zero.
        p += exact_integer_digits(v, p);
        return put_text(p, ".00000", 6);
    }
    const uint32_t n = (uint32_t)v;
    p = put_u32(p, n);
    *p++ = '.';
    // NOTE: for a widened float the fraction is f x 2^-k with f below 2^24, so the product
    // f x 3125 x 2^(5-k) needs at most 36 bits and is exact: its truncation is the five
    // digits that repeated multiplication by ten gives.
    const uint32_t decimals = (uint32_t)((v - n) * 100000.0);
    memcpy(p, kDigitPairs + 2 * (decimals / 1000), 2);
    memcpy(p + 2, kDigitPairs + 2 * (decimals / 10 % 100), 2);
    p[4] = (char)('0' + decimals % 10);
    return p + 5;
}

// A block of output being formatted, handed to the writer when it fills up.
struct OutBlock {
    char* data;
    char* p;
    char* limit;  // where the margin starts
    FILE* file;
    size_t (*write)(const void* data, size_t size, FILE* file);
    int64_t total;
    bool failed;
};

void drain(OutBlock& out) {
    const size_t size = (size_t)(out.p - out.data);
    if (size && !out.failed && out.write(out.data, size, out.file) != size) out.failed = true;
    out.total += (int64_t)size;
    out.p = out.data;
}

void make_room(OutBlock& out) {
    if (out.p > out.limit) drain(out);
}

void put(OutBlock& out, const char* text) {
    out.p = put_text(out.p, text, strlen(text));
}

void put_vertices(OutBlock& out, const MeshRecord& mesh) {
    for (int32_t i = 0; i < mesh.vertex_count && !out.failed; ++i) {
        make_room(out);
        const float* v = mesh.vertices + 3 * (size_t)i;
        char* p = out.p;
        if (i > 0) *p++ = ',';
        p = put_text(p, "\r\n      ", 8);
        p = put_fixed5(p, v[0]);
        *p++ = ' ';
        p = put_fixed5(p, v[1]);
        *p++ = ' ';
        out.p = put_fixed5(p, v[2]);
    }
}

void put_faces(OutBlock& out, const MeshRecord& mesh) {
    for (int32_t t = 0; t < mesh.triangle_count && !out.failed; ++t) {
        make_room(out);
        const int32_t* face = mesh.indices + 3 * (size_t)t;
        char* p = out.p;
        if (t > 0) p = put_text(p, ",\r\n", 3);
        for (int k = 0; k < 3; ++k) {
            p = put_i32(p, face[k]);
            p = put_text(p, ", ", 2);
        }
        out.p = put_text(p, "-1", 2);
    }
}

std::wstring widen_ascii(const char* text) {
    std::wstring wide;
    for (const char* c = text; *c; ++c) wide += (wchar_t)(unsigned char)*c;
    return wide;
}

// The reason of a failed save, with the system's words for errno.
std::wstring save_failure(const wchar_t* what, int error) {
    std::wstring reason = what;
    if (error) reason += L" (" + widen_ascii(strerror(error)) + L")";
    return reason + L". Nothing was saved and the point file was kept.";
}

// The VRML text of the mesh (context) as the content of a durable save.
bool write_vrml_content(const void* context, FILE* file,
                        size_t (*write)(const void* data, size_t size, FILE* file)) {
    return write_vrml_stream(*static_cast<const MeshRecord*>(context), file, write) >= 0;
}

}  // namespace

bool vrml_output_path(const char* input_path, char output[MAX_PATH]) {
    output[0] = '\0';
    const size_t length = strlen(input_path);
    size_t name_start = 0;
    for (size_t i = 0; i < length; ++i) {
        if (input_path[i] == '/' || input_path[i] == '\\') name_start = i + 1;
    }
    size_t cut = length;
    for (size_t i = name_start; i < length; ++i) {
        if (input_path[i] == '.') cut = i;
    }
    if (cut + 4 + 1 > MAX_PATH) return false;
    memcpy(output, input_path, cut);
    memcpy(output + cut, ".wrl", 5);
    return true;
}

int64_t write_vrml_stream(const MeshRecord& mesh, FILE* file,
                          size_t (*write)(const void* data, size_t size, FILE* file)) {
    char* data = (char*)malloc(kBlockBytes);
    if (!data) {
        errno = ENOMEM;
        return -1;
    }
    OutBlock out{data, data, data + kBlockBytes - kBlockMargin, file, write, 0, false};
    put(out, "#VRML V1.0 ascii\r\n\r\n");
    put(out, "Separator\r\n{\r\n");
    put(out, "  Coordinate3\r\n  {\r\n    point\r\n    [");
    put_vertices(out, mesh);
    make_room(out);
    put(out, "\r\n    ]\r\n  }");
    put(out, "\r\nIndexedFaceSet { coordIndex [\r\n");
    put_faces(out, mesh);
    make_room(out);
    put(out, "]}");
    put(out, "\r\n}");
    drain(out);
    free(data);
    return out.failed ? -1 : out.total;
}

VrmlResult write_vrml(const char* input_path, const MeshRecord& mesh, const FileSteps& steps) {
    VrmlResult result;
    result.ok = false;
    if (!vrml_output_path(input_path, result.path)) {
        result.reason = L"The name of the mesh file would be longer than " +
                        std::to_wstring(MAX_PATH - 1) +
                        L" characters. Nothing was saved and the point file was kept.";
        return result;
    }
    const SaveOutcome saved = save_durably(result.path, write_vrml_content, &mesh, steps);
    switch (saved.failed_step) {
        case SaveStep::none:
            break;
        case SaveStep::created:
            result.reason = save_failure(L"The mesh file could not be created", saved.error);
            return result;
        case SaveStep::written:
            result.reason = save_failure(L"Writing the mesh file failed", saved.error);
            return result;
        case SaveStep::synced:
            result.reason =
                save_failure(L"The mesh file could not be put on the disk", saved.error);
            return result;
        case SaveStep::renamed:
            result.reason = save_failure(
                L"The finished mesh file could not be given its name on the disk", saved.error);
            return result;
    }
    result.ok = true;
    return result;
}
