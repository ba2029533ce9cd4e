// The PLY and PCD readers of make_points. Both decode every value in its stored type and
// size (a double stays a double until it is checked and narrowed), so nothing is read as
// another type; PCD's compressed data is unpacked by the point library's LZF routine.
#include <float.h>
#include <stdint.h>
#include <string.h>

#include <cmath>

#include <pcl/io/lzf.h>

#include "scan_points.h"

namespace {

enum class Scalar { int8, uint8, int16, uint16, int32, uint32, int64, uint64, float32, float64 };

// The value of a scalar of type T whose bytes are in this machine's order, as a double.
template <typename T>
double value_as_double(const unsigned char* bytes) {
    T value;
    memcpy(&value, bytes, sizeof value);
    return (double)value;
}

// A stored scalar type: its size and the reading of its value.
struct ScalarType {
    size_t size;
    double (*read)(const unsigned char* bytes);
};

template <typename T>
constexpr ScalarType scalar_type() {
    return ScalarType{sizeof(T), value_as_double<T>};
}

// NOTE: in the order of Scalar.
const ScalarType kScalarTypes[] = {
    scalar_type<int8_t>(),   scalar_type<uint8_t>(),  scalar_type<int16_t>(),
    scalar_type<uint16_t>(), scalar_type<int32_t>(),  scalar_type<uint32_t>(),
    scalar_type<int64_t>(),  scalar_type<uint64_t>(), scalar_type<float>(),
    scalar_type<double>(),
};
static_assert(sizeof kScalarTypes / sizeof kScalarTypes[0] == (size_t)Scalar::float64 + 1,
              "one entry per scalar type");

size_t scalar_size(Scalar type) {
    return kScalarTypes[(size_t)type].size;
}

// The value of size bytes at p, stored in the given byte order.
double load_scalar(const unsigned char* p, Scalar type, bool big_endian) {
    unsigned char bytes[8];
    const size_t size = scalar_size(type);
    for (size_t i = 0; i < size; ++i) bytes[i] = big_endian ? p[size - 1 - i] : p[i];
    // NOTE: the bytes are now in this machine's (little-endian) order.
    return kScalarTypes[(size_t)type].read(bytes);
}

// A header or data line: the text up to the next '\n' (a '\r' before it dropped).
bool next_line(const std::string& bytes, size_t* at, std::string* line) {
    if (*at >= bytes.size()) return false;
    size_t end = bytes.find('\n', *at);
    if (end == std::string::npos) end = bytes.size();
    *line = bytes.substr(*at, end - *at);
    if (!line->empty() && line->back() == '\r') line->pop_back();
    *at = end + 1;
    return true;
}

std::vector<std::string> words(const std::string& line) {
    std::vector<std::string> result;
    size_t i = 0;
    while (i < line.size()) {
        while (i < line.size() && (line[i] == ' ' || line[i] == '\t' || line[i] == '\r')) ++i;
        const size_t start = i;
        while (i < line.size() && line[i] != ' ' && line[i] != '\t' && line[i] != '\r') ++i;
        if (i > start) result.push_back(line.substr(start, i - start));
    }
    return result;
}

bool whole_number(const std::string& text, int64_t* value) {
    if (text.empty() || text.size() > 18) return false;
    int64_t v = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return false;
        v = v * 10 + (c - '0');
    }
    *value = v;
    return true;
}

// Reads one stored number of the given type from text; a float32 value must fit a float.
bool text_value(const std::string& token, Scalar type, double* value, std::string* why) {
    if (!parse_scan_number(token, value, why)) return false;
    if (type == Scalar::float32 && std::isfinite(*value) && std::fabs(*value) > FLT_MAX) {
        *why = "'" + token + "' does not fit the float it is declared as";
        return false;
    }
    return true;
}

// Which of a record's values are the position and the normal, by their names.
struct PointFields {
    int position[3] = {-1, -1, -1};
    int normal[3] = {-1, -1, -1};
    bool has_normals() const { return normal[0] >= 0; }
};

// Finds x, y, z and the normal names among names; false with a reason when one is missing.
bool find_point_fields(const std::vector<std::string>& names, const char* const normal_names[2][3],
                       PointFields* fields, std::vector<std::string>* extra, std::string* reason) {
    const char* const kPosition[3] = {"x", "y", "z"};
    for (size_t i = 0; i < names.size(); ++i) {
        bool used = false;
        for (int c = 0; c < 3; ++c) {
            if (names[i] == kPosition[c] && fields->position[c] < 0) {
                fields->position[c] = (int)i;
                used = true;
            }
            for (int k = 0; k < 2 && !used; ++k) {
                if (normal_names[k][c] && names[i] == normal_names[k][c] && fields->normal[c] < 0) {
                    fields->normal[c] = (int)i;
                    used = true;
                }
            }
        }
        if (!used) extra->push_back(names[i]);
    }
    if (fields->position[0] < 0 || fields->position[1] < 0 || fields->position[2] < 0) {
        *reason = "the points have no x, y and z";
        return false;
    }
    const int normals =
        (fields->normal[0] >= 0) + (fields->normal[1] >= 0) + (fields->normal[2] >= 0);
    if (normals != 0 && normals != 3) {
        *reason = "the points have some normal components but not all three";
        return false;
    }
    return true;
}

// Adds the point whose values (indexed like the names) are given.
bool add_point_values(const double* values, const PointFields& fields, double scale,
                      const std::string& where, ScanPoints* out, std::string* reason) {
    const double position[3] = {values[fields.position[0]], values[fields.position[1]],
                                values[fields.position[2]]};
    if (!fields.has_normals()) return add_scan_point(position, nullptr, scale, where, out, reason);
    const double normal[3] = {values[fields.normal[0]], values[fields.normal[1]],
                              values[fields.normal[2]]};
    return add_scan_point(position, normal, scale, where, out, reason);
}

// --- PLY ---------------------------------------------------------------------------------

struct PlyProperty {
    std::string name;
    Scalar type;
    bool list;
    Scalar count_type;
};

struct PlyElement {
    std::string name;
    int64_t count;
    std::vector<PlyProperty> properties;
};

enum class PlyFormat { ascii, little_endian, big_endian };

struct PlyHeader {
    PlyFormat format;
    std::vector<PlyElement> elements;
    size_t data_start;
};

bool ply_scalar(const std::string& name, Scalar* type) {
    static const struct {
        const char* name;
        Scalar type;
    } kTypes[] = {
        {"char", Scalar::int8},      {"int8", Scalar::int8},       {"uchar", Scalar::uint8},
        {"uint8", Scalar::uint8},    {"short", Scalar::int16},     {"int16", Scalar::int16},
        {"ushort", Scalar::uint16},  {"uint16", Scalar::uint16},   {"int", Scalar::int32},
        {"int32", Scalar::int32},    {"uint", Scalar::uint32},     {"uint32", Scalar::uint32},
        {"float", Scalar::float32},  {"float32", Scalar::float32}, {"double", Scalar::float64},
        {"float64", Scalar::float64}};
    for (const auto& entry : kTypes) {
        if (name == entry.name) {
            *type = entry.type;
            return true;
        }
    }
    return false;
}

bool read_ply_header(const std::string& bytes, PlyHeader* header, std::string* reason) {
    size_t at = 0;
    std::string line;
    if (!next_line(bytes, &at, &line) || line != "ply") {
        *reason = bytes.empty() ? "the file is empty" : "the file does not start with \"ply\"";
        return false;
    }
    bool has_format = false;
    int64_t line_number = 1;
    while (next_line(bytes, &at, &line)) {
        ++line_number;
        const std::string where = "header line " + std::to_string(line_number) + ": ";
        const std::vector<std::string> w = words(line);
        if (w.empty() || w[0] == "comment" || w[0] == "obj_info") continue;
        if (w[0] == "end_header") {
            if (!has_format) {
                *reason = "the header has no format line";
                return false;
            }
            header->data_start = at;
            return true;
        }
        if (w[0] == "format" && w.size() == 3) {
            if (w[1] == "ascii") {
                header->format = PlyFormat::ascii;
            } else if (w[1] == "binary_little_endian") {
                header->format = PlyFormat::little_endian;
            } else if (w[1] == "binary_big_endian") {
                header->format = PlyFormat::big_endian;
            } else {
                *reason = where + "unknown format '" + w[1] + "'";
                return false;
            }
            has_format = true;
        } else if (w[0] == "element" && w.size() == 3) {
            PlyElement element{w[1], 0, {}};
            if (!whole_number(w[2], &element.count)) {
                *reason = where + "the count '" + w[2] + "' of element " + w[1] + " is not valid";
                return false;
            }
            header->elements.push_back(element);
        } else if (w[0] == "property" && !header->elements.empty()) {
            PlyProperty property{"", Scalar::float32, false, Scalar::uint8};
            bool valid;
            if (w.size() == 5 && w[1] == "list") {
                property.list = true;
                property.name = w[4];
                valid = ply_scalar(w[2], &property.count_type) &&
                        ply_scalar(w[3], &property.type) &&
                        property.count_type != Scalar::float32 &&
                        property.count_type != Scalar::float64;
            } else {
                property.name = w.size() == 3 ? w[2] : "";
                valid = w.size() == 3 && ply_scalar(w[1], &property.type);
            }
            if (!valid) {
                *reason = where + "the property \"" + line + "\" is not understood";
                return false;
            }
            header->elements.back().properties.push_back(property);
        } else {
            *reason = where + "\"" + line + "\" is not understood";
            return false;
        }
    }
    *reason = "the header has no end_header line";
    return false;
}

// Reads one binary instance of element at *at, storing its scalar values (lists skipped);
// false when the data ends within it.
bool read_ply_binary_instance(const std::string& bytes, const PlyElement& element, bool big,
                              size_t* at, double* values) {
    const unsigned char* data = (const unsigned char*)bytes.data();
    for (size_t i = 0; i < element.properties.size(); ++i) {
        const PlyProperty& property = element.properties[i];
        if (!property.list) {
            const size_t size = scalar_size(property.type);
            if (bytes.size() - *at < size) return false;
            if (values) values[i] = load_scalar(data + *at, property.type, big);
            *at += size;
            continue;
        }
        const size_t count_size = scalar_size(property.count_type);
        if (bytes.size() - *at < count_size) return false;
        const double count = load_scalar(data + *at, property.count_type, big);
        *at += count_size;
        if (count < 0) return false;
        const uint64_t list_bytes = (uint64_t)count * scalar_size(property.type);
        if (bytes.size() - *at < list_bytes) return false;
        *at += (size_t)list_bytes;
        if (values) values[i] = NAN;
    }
    return true;
}

// Reads one ascii instance (one line) of element, storing its scalar values.
bool read_ply_ascii_instance(const std::string& line, const PlyElement& element, double* values,
                             std::string* why) {
    const std::vector<std::string> w = words(line);
    size_t next = 0;
    for (size_t i = 0; i < element.properties.size(); ++i) {
        const PlyProperty& property = element.properties[i];
        if (next >= w.size()) {
            *why = "the line has too few values";
            return false;
        }
        double value;
        if (!text_value(w[next++], property.list ? property.count_type : property.type, &value,
                        why)) {
            return false;
        }
        if (!property.list) {
            values[i] = value;
            continue;
        }
        if (!(value >= 0 && value == std::floor(value) && value <= (double)(w.size() - next))) {
            *why = "the line has too few values for its list";
            return false;
        }
        next += (size_t)value;
        values[i] = NAN;
    }
    if (next != w.size()) {
        *why = "the line has " + std::to_string(w.size() - next) +
               " values more than the header declares";
        return false;
    }
    return true;
}

bool read_ply_data(const std::string& bytes, const PlyHeader& header, double scale, ScanPoints* out,
                   std::string* reason) {
    const bool ascii = header.format == PlyFormat::ascii;
    const bool big = header.format == PlyFormat::big_endian;
    size_t at = header.data_start;
    int64_t line_number = 0;
    for (size_t i = 0; i < bytes.size() && i < header.data_start; ++i)
        line_number += bytes[i] == '\n';
    for (const PlyElement& element : header.elements) {
        const bool vertices = element.name == "vertex";
        PointFields fields;
        if (vertices) {
            std::vector<std::string> names;
            for (const PlyProperty& property : element.properties) {
                names.push_back(property.list ? std::string() : property.name);
            }
            const char* const kNormals[2][3] = {{"nx", "ny", "nz"},
                                                {"normal_x", "normal_y", "normal_z"}};
            if (!find_point_fields(names, kNormals, &fields, &out->extra_columns, reason))
                return false;
        }
        std::vector<double> values(element.properties.size());
        for (int64_t k = 0; k < element.count; ++k) {
            const std::string where =
                element.name + " " + std::to_string(k + 1) + " of " + std::to_string(element.count);
            if (ascii) {
                std::string line;
                do {
                    ++line_number;
                    if (!next_line(bytes, &at, &line)) {
                        *reason = "the file ends at " + where;
                        return false;
                    }
                } while (words(line).empty());
                std::string why;
                if (!read_ply_ascii_instance(line, element, values.data(), &why)) {
                    *reason = "line " + std::to_string(line_number) + " (" + where + "): " + why;
                    return false;
                }
            } else if (!read_ply_binary_instance(bytes, element, big, &at,
                                                 vertices ? values.data() : nullptr)) {
                *reason = "the file ends within " + where;
                return false;
            }
            if (vertices) {
                const std::string label =
                    ascii ? "line " + std::to_string(line_number) + " (" + where + ")" : where;
                if (!add_point_values(values.data(), fields, scale, label, out, reason))
                    return false;
            }
        }
        // NOTE: the elements after the points (faces, edges) are not needed.
        if (vertices) return true;
    }
    *reason = "the file has no vertex element";
    return false;
}

// --- PCD ---------------------------------------------------------------------------------

struct PcdField {
    std::string name;
    Scalar type;
    int64_t count;
    size_t offset;  // within a point's record
};

struct PcdHeader {
    std::vector<PcdField> fields;
    int64_t points = -1;
    int64_t width = -1, height = -1;
    std::string data;
    size_t record_size = 0;
    size_t data_start = 0;
};

bool pcd_scalar(const std::string& type, int64_t size, Scalar* scalar) {
    if (type == "F" && size == 4) return *scalar = Scalar::float32, true;
    if (type == "F" && size == 8) return *scalar = Scalar::float64, true;
    const Scalar kSigned[4] = {Scalar::int8, Scalar::int16, Scalar::int32, Scalar::int64};
    const Scalar kUnsigned[4] = {Scalar::uint8, Scalar::uint16, Scalar::uint32, Scalar::uint64};
    for (int i = 0; i < 4; ++i) {
        if (size != (int64_t)1 << i) continue;
        if (type == "I") return *scalar = kSigned[i], true;
        if (type == "U") return *scalar = kUnsigned[i], true;
    }
    return false;
}

bool read_pcd_header(const std::string& bytes, PcdHeader* header, std::string* reason) {
    if (bytes.empty()) {
        *reason = "the file is empty";
        return false;
    }
    size_t at = 0;
    std::string line;
    std::vector<std::string> names, types, sizes, counts;
    int64_t line_number = 0;
    while (next_line(bytes, &at, &line)) {
        ++line_number;
        std::vector<std::string> w = words(line);
        if (w.empty() || w[0][0] == '#') continue;
        const std::string key = w[0];
        w.erase(w.begin());
        const std::string where = "header line " + std::to_string(line_number) + ": ";
        if (key == "FIELDS") {
            names = w;
        } else if (key == "SIZE") {
            sizes = w;
        } else if (key == "TYPE") {
            types = w;
        } else if (key == "COUNT") {
            counts = w;
        } else if (key == "WIDTH" || key == "HEIGHT" || key == "POINTS") {
            int64_t value;
            if (w.size() != 1 || !whole_number(w[0], &value)) {
                *reason = where + key + " needs one whole number";
                return false;
            }
            (key == "WIDTH"    ? header->width
             : key == "HEIGHT" ? header->height
                               : header->points) = value;
        } else if (key == "DATA") {
            if (w.size() != 1 ||
                (w[0] != "ascii" && w[0] != "binary" && w[0] != "binary_compressed")) {
                *reason = where + "unknown DATA kind";
                return false;
            }
            header->data = w[0];
            header->data_start = at;
            break;
        } else if (key != "VERSION" && key != "VIEWPOINT") {
            *reason = where + "\"" + line + "\" is not a PCD header line";
            return false;
        }
    }
    if (header->data.empty()) {
        *reason = "the header has no DATA line";
        return false;
    }
    if (names.empty() || sizes.size() != names.size() || types.size() != names.size() ||
        (!counts.empty() && counts.size() != names.size())) {
        *reason = "the header's FIELDS, SIZE, TYPE and COUNT lines do not match";
        return false;
    }
    if (header->points < 0 && header->width >= 0 && header->height >= 0) {
        header->points = header->width * header->height;
    }
    if (header->points < 0) {
        *reason = "the header gives no POINTS";
        return false;
    }
    if (header->width >= 0 && header->height >= 0 &&
        (header->height > 0 && header->width > INT64_MAX / header->height
             ? true
             : header->width * header->height != header->points)) {
        *reason = "the header's WIDTH x HEIGHT is not its POINTS";
        return false;
    }
    for (size_t i = 0; i < names.size(); ++i) {
        PcdField field{names[i], Scalar::float32, 1, header->record_size};
        int64_t size;
        if (!whole_number(sizes[i], &size) || !pcd_scalar(types[i], size, &field.type) ||
            (!counts.empty() && (!whole_number(counts[i], &field.count) || field.count < 1 ||
                                 field.count > 1 << 20))) {
            *reason = "the field " + names[i] + " has a size, type or count that is not understood";
            return false;
        }
        header->record_size += scalar_size(field.type) * (size_t)field.count;
        header->fields.push_back(field);
    }
    return true;
}

// The stored value of the first element of each field, for point i of binary data (records
// end to end, or each field's values together as in compressed data).
void load_pcd_record(const unsigned char* data, const PcdHeader& header, int64_t i, bool by_field,
                     double* values) {
    for (size_t f = 0; f < header.fields.size(); ++f) {
        const PcdField& field = header.fields[f];
        const size_t bytes = scalar_size(field.type) * (size_t)field.count;
        const size_t at = by_field ? field.offset * (size_t)header.points + bytes * (size_t)i
                                   : header.record_size * (size_t)i + field.offset;
        values[f] = load_scalar(data + at, field.type, false);
    }
}

bool read_pcd_binary(const std::string& bytes, const PcdHeader& header, const PointFields& fields,
                     double scale, ScanPoints* out, std::string* reason) {
    const size_t available = bytes.size() - header.data_start;
    const unsigned char* data = (const unsigned char*)bytes.data() + header.data_start;
    std::vector<unsigned char> unpacked;
    const bool compressed = header.data == "binary_compressed";
    // NOTE: compressed data gives its unpacked size in 32 bits, so it holds at most 4 GiB.
    const uint64_t limit = compressed ? UINT32_MAX : SIZE_MAX;
    if ((uint64_t)header.points > limit / header.record_size) {
        *reason = "the header's " + std::to_string(header.points) +
                  " POINTS are more than the file can hold";
        return false;
    }
    const size_t needed = header.record_size * (size_t)header.points;
    if (compressed) {
        if (available < 8) {
            *reason = "the compressed data has no sizes";
            return false;
        }
        uint32_t packed_size, unpacked_size;
        memcpy(&packed_size, data, 4);
        memcpy(&unpacked_size, data + 4, 4);
        if (unpacked_size != needed || packed_size > available - 8) {
            *reason = "the compressed data's sizes (" + std::to_string(packed_size) + " packed, " +
                      std::to_string(unpacked_size) + " unpacked) do not fit the file or its " +
                      std::to_string(header.points) + " points";
            return false;
        }
        unpacked.resize(needed ? needed : 1);
        if (needed &&
            pcl::lzfDecompress(data + 8, packed_size, unpacked.data(), unpacked_size) != needed) {
            *reason = "the compressed data is damaged";
            return false;
        }
        data = unpacked.data();
    } else if (available < needed) {
        *reason = "the file ends within point " +
                  std::to_string(available / header.record_size + 1) + " of " +
                  std::to_string(header.points);
        return false;
    }
    std::vector<double> values(header.fields.size());
    for (int64_t i = 0; i < header.points; ++i) {
        load_pcd_record(data, header, i, compressed, values.data());
        const std::string where = "point " + std::to_string(i + 1);
        if (!add_point_values(values.data(), fields, scale, where, out, reason)) return false;
    }
    return true;
}

bool read_pcd_ascii(const std::string& bytes, const PcdHeader& header, const PointFields& fields,
                    double scale, ScanPoints* out, std::string* reason) {
    int64_t line_number = 0;
    for (size_t i = 0; i < header.data_start; ++i) line_number += bytes[i] == '\n';
    size_t at = header.data_start, expected = 0;
    for (const PcdField& field : header.fields) expected += (size_t)field.count;
    std::vector<double> values(header.fields.size());
    std::string line;
    int64_t read = 0;
    while (next_line(bytes, &at, &line)) {
        ++line_number;
        const std::vector<std::string> w = words(line);
        if (w.empty()) continue;
        const std::string where = "line " + std::to_string(line_number);
        if (read == header.points) {
            *reason = where + ": more points than the header's POINTS (" +
                      std::to_string(header.points) + ")";
            return false;
        }
        if (w.size() != expected) {
            *reason = where + ": " + std::to_string(w.size()) +
                      " values where the header declares " + std::to_string(expected);
            return false;
        }
        size_t next = 0;
        for (size_t f = 0; f < header.fields.size(); ++f) {
            std::string why;
            if (!text_value(w[next], header.fields[f].type, &values[f], &why)) {
                *reason = where + ": " + why;
                return false;
            }
            next += (size_t)header.fields[f].count;
        }
        if (!add_point_values(values.data(), fields, scale, where, out, reason)) return false;
        ++read;
    }
    if (read != header.points) {
        *reason = "the file ends after " + std::to_string(read) + " of its " +
                  std::to_string(header.points) + " points";
        return false;
    }
    return true;
}

}  // namespace

bool read_scan_ply(const std::string& bytes, double scale, ScanPoints* out, std::string* reason) {
    PlyHeader header{PlyFormat::ascii, {}, 0};
    if (!read_ply_header(bytes, &header, reason)) return false;
    const char* const kFormats[3] = {"ascii PLY", "binary little-endian PLY",
                                     "binary big-endian PLY"};
    out->layout = kFormats[(int)header.format];
    return read_ply_data(bytes, header, scale, out, reason);
}

bool read_scan_pcd(const std::string& bytes, double scale, ScanPoints* out, std::string* reason) {
    PcdHeader header;
    if (!read_pcd_header(bytes, &header, reason)) return false;
    out->layout = header.data + " PCD";
    std::vector<std::string> names;
    for (const PcdField& field : header.fields) names.push_back(field.name);
    const char* const kNormals[2][3] = {{"normal_x", "normal_y", "normal_z"},
                                        {nullptr, nullptr, nullptr}};
    PointFields fields;
    if (!find_point_fields(names, kNormals, &fields, &out->extra_columns, reason)) return false;
    if (header.points == 0) return true;
    if (header.data == "ascii") return read_pcd_ascii(bytes, header, fields, scale, out, reason);
    return read_pcd_binary(bytes, header, fields, scale, out, reason);
}
