#include "scan_points.h"

#include <ctype.h>
#include <errno.h>
#include <stdio.h>
#include <stdlib.h>

#include <cmath>

namespace {

const float kMissing = NAN;

std::string lower(std::string text) {
    for (char& c : text) {
        if (c >= 'A' && c <= 'Z') c = (char)(c - 'A' + 'a');
    }
    return text;
}

bool is_blank(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\f' || c == '\v';
}

std::string trim(const std::string& text) {
    size_t begin = 0, end = text.size();
    while (begin < end && is_blank(text[begin])) ++begin;
    while (end > begin && is_blank(text[end - 1])) --end;
    return text.substr(begin, end - begin);
}

// One line split at the file's separator; blanks around fields are dropped. With blanks as
// the separator, runs of blanks count as one.
std::vector<std::string> split_fields(const std::string& line, char separator) {
    std::vector<std::string> fields;
    if (separator == ' ') {
        size_t i = 0;
        while (i < line.size()) {
            while (i < line.size() && is_blank(line[i])) ++i;
            const size_t start = i;
            while (i < line.size() && !is_blank(line[i])) ++i;
            if (i > start) fields.push_back(line.substr(start, i - start));
        }
        return fields;
    }
    size_t start = 0;
    while (true) {
        const size_t end = line.find(separator, start);
        fields.push_back(trim(line.substr(start, end - start)));
        if (end == std::string::npos) break;
        start = end + 1;
    }
    return fields;
}

// What the columns of a text scan hold.
struct TextColumns {
    int count = 0;       // fields a line
    bool named = false;  // from a first line of column names
    int x = 0, y = 1, z = 2;
    int normal[3] = {-1, -1, -1};    // named normal columns
    int normal_triple = -1;          // which kept triple holds the normals, or -1
    std::vector<std::string> extra;  // names of the other columns
};

// A column triple over all lines, to tell normals from colours.
struct TripleShape {
    bool unit_or_zero = true;  // every line's triple has length 1 (or 0)
    bool bytes = true;         // whole numbers 0..255
    bool fractions = true;     // within 0..1
    bool colour() const { return bytes || fractions; }
};

void observe_triple(const double* v, TripleShape* shape) {
    const double length = std::sqrt(v[0] * v[0] + v[1] * v[1] + v[2] * v[2]);
    // NOTE: normals written with few decimals are unit only roughly, hence the wider margin.
    if (!(length == 0.0 || std::fabs(length - 1.0) <= 10 * kUnitTolerance)) {
        shape->unit_or_zero = false;
    }
    for (int c = 0; c < 3; ++c) {
        if (!(v[c] >= 0.0 && v[c] <= 255.0 && v[c] == std::floor(v[c]))) shape->bytes = false;
        if (!(v[c] >= 0.0 && v[c] <= 1.0)) shape->fractions = false;
    }
}

std::string line_label(int64_t line) {
    return "line " + std::to_string(line);
}

// Columns from a first line of names; false with a reason when x, y and z are not all named.
bool columns_from_names(const std::vector<std::string>& names, int64_t line_number,
                        TextColumns* columns, std::string* reason) {
    int found[6] = {-1, -1, -1, -1, -1, -1};
    const char* const kNames[6][3] = {{"x", "", ""},
                                      {"y", "", ""},
                                      {"z", "", ""},
                                      {"nx", "normal_x", "normalx"},
                                      {"ny", "normal_y", "normaly"},
                                      {"nz", "normal_z", "normalz"}};
    columns->count = (int)names.size();
    columns->named = true;
    for (int i = 0; i < columns->count; ++i) {
        std::string name = lower(names[i]);
        // NOTE: some exports start the names with "//" ("//X Y Z").
        while (!name.empty() && name[0] == '/') name.erase(0, 1);
        bool known = false;
        for (int k = 0; k < 6 && !known; ++k) {
            for (const char* candidate : kNames[k]) {
                if (*candidate && name == candidate && found[k] < 0) {
                    found[k] = i;
                    known = true;
                    break;
                }
            }
        }
        if (!known) columns->extra.push_back(names[i]);
    }
    if (found[0] < 0 || found[1] < 0 || found[2] < 0) {
        *reason = line_label(line_number) + ": '" + names[0] +
                  "' is not a number, and as a line of column names it names no x, y and z";
        return false;
    }
    columns->x = found[0];
    columns->y = found[1];
    columns->z = found[2];
    const int named_normals = (found[3] >= 0) + (found[4] >= 0) + (found[5] >= 0);
    if (named_normals == 3) {
        columns->normal_triple = 0;
        for (int c = 0; c < 3; ++c) columns->normal[c] = found[3 + c];
    } else if (named_normals > 0) {
        *reason = line_label(line_number) + " names some normal columns but not all three";
        return false;
    }
    return true;
}

// A text scan's rows as read: positions unscaled, and each row's candidate triples.
struct TextRows {
    std::vector<double> positions;
    std::vector<int64_t> lines;      // line number of each row
    std::vector<double> triples[2];  // columns 4-6 and 7-9 (5-7 of seven), or named normals
    TripleShape shapes[2];
};

const char kNameTheColumns[] = "; name the columns in a first line, e.g. \"x y z nx ny nz\"";

// Decides what unnamed columns hold, from their count and the values of all rows.
bool columns_from_values(const TextRows& rows, TextColumns* columns, std::string* reason) {
    const TripleShape& first = rows.shapes[0];
    const TripleShape& second = rows.shapes[1];
    const std::vector<std::string> colour = {"red", "green", "blue"};
    switch (columns->count) {
        case 3:
            return true;
        case 4:
            columns->extra = {"intensity"};
            return true;
        case 6:
            if (first.unit_or_zero) {
                columns->normal_triple = 0;
                return true;
            }
            if (first.colour()) {
                columns->extra = colour;
                return true;
            }
            *reason = std::string(
                          "columns 4 to 6 are neither normals (length 1 on every line) "
                          "nor colours (whole numbers 0 to 255, or 0 to 1)") +
                      kNameTheColumns;
            return false;
        case 7:
            if (first.colour()) {
                columns->extra = {"intensity", "red", "green", "blue"};
                return true;
            }
            *reason = std::string(
                          "7 numbers a line are read as x y z intensity red green blue, "
                          "but columns 5 to 7 are no colours") +
                      kNameTheColumns;
            return false;
        case 9:
            if (first.unit_or_zero && !second.unit_or_zero && second.colour()) {
                columns->normal_triple = 0;
                columns->extra = colour;
                return true;
            }
            if (second.unit_or_zero && !first.unit_or_zero && first.colour()) {
                columns->normal_triple = 1;
                columns->extra = colour;
                return true;
            }
            *reason = std::string(
                          "of 9 numbers a line, neither columns 4 to 6 nor 7 to 9 are "
                          "clearly normals beside a colour") +
                      kNameTheColumns;
            return false;
        default:
            *reason = std::to_string(columns->count) +
                      " numbers a line is no layout known without names (3, 4, 6, 7 and 9 are)" +
                      kNameTheColumns;
            return false;
    }
}

// Where the blank-separated numbers of a line hold a comma between digits, the file was
// written with decimal commas.
bool looks_like_decimal_comma(const std::string& field) {
    for (size_t i = 1; i + 1 < field.size(); ++i) {
        if (field[i] == ',' && isdigit((unsigned char)field[i - 1]) &&
            isdigit((unsigned char)field[i + 1])) {
            return true;
        }
    }
    return false;
}

// The separator a line uses: ';' if it has one, else ',' unless the comma-separated fields
// hold blanks inside (then the commas are decimal commas between blank-separated numbers).
char separator_of(const std::string& line) {
    if (line.find(';') != std::string::npos) return ';';
    if (line.find(',') == std::string::npos) return ' ';
    for (const std::string& field : split_fields(line, ',')) {
        if (field.find_first_of(" \t") != std::string::npos) return ' ';
    }
    return ',';
}

}  // namespace

std::string number_text(double value) {
    char text[32];
    snprintf(text, sizeof text, "%.9g", value);
    return text;
}

bool parse_scan_number(const std::string& token, double* value, std::string* why) {
    if (token.empty()) {
        *why = "an empty field";
        return false;
    }
    char* end;
    errno = 0;
    *value = strtod(token.c_str(), &end);
    // NOTE: compared with the token's length, so that a NUL byte inside it is no end.
    if (end == token.c_str() || end != token.c_str() + token.size()) {
        *why = looks_like_decimal_comma(token)
                   ? "'" + token + "' has a decimal comma; numbers must use a decimal point"
                   : "'" + token + "' is not a number";
        return false;
    }
    // NOTE: strtod answers HUGE_VAL with ERANGE for a value beyond any double; an
    // underflow towards zero (also ERANGE) is a faithful reading of a tiny value.
    if (errno == ERANGE && std::isinf(*value)) {
        *why = "'" + token + "' is too large for a float";
        return false;
    }
    return true;
}

bool add_scan_point(const double position[3], const double* normal, double scale,
                    const std::string& where, ScanPoints* out, std::string* reason) {
    ++out->read;
    if (!std::isfinite(position[0]) || !std::isfinite(position[1]) || !std::isfinite(position[2])) {
        ++out->dropped_not_finite;
        return true;
    }
    float scaled[3];
    for (int c = 0; c < 3; ++c) {
        const double v = position[c] * scale;
        if (!(std::fabs(v) <= kCoordinateLimit)) {
            *reason = where + ": the coordinate " + number_text(position[c]) +
                      (scale != 1.0 ? " (scaled " + number_text(v) + ")" : std::string()) +
                      " is too large: coordinates must stay within +-1e18 so that squared "
                      "distances fit a float";
            return false;
        }
        scaled[c] = (float)v;
    }
    out->positions.insert(out->positions.end(), scaled, scaled + 3);
    if (!normal) return true;
    double n[3] = {normal[0], normal[1], normal[2]};
    const double largest = std::fmax(std::fabs(n[0]), std::fmax(std::fabs(n[1]), std::fabs(n[2])));
    if (!std::isfinite(n[0]) || !std::isfinite(n[1]) || !std::isfinite(n[2]) || largest == 0.0) {
        ++out->normals_missing;
        out->normals.insert(out->normals.end(), {kMissing, kMissing, kMissing});
        return true;
    }
    double length = std::sqrt(n[0] * n[0] + n[1] * n[1] + n[2] * n[2]);
    if (std::fabs(length - 1.0) <= kUnitTolerance) {
        out->normals.insert(out->normals.end(), {(float)n[0], (float)n[1], (float)n[2]});
        return true;
    }
    // NOTE: divided by the largest component first, so that a length that would overflow
    // or underflow a double still gives the direction.
    for (double& c : n) c /= largest;
    length = std::sqrt(n[0] * n[0] + n[1] * n[1] + n[2] * n[2]);
    ++out->normals_normalised;
    out->normals.insert(out->normals.end(),
                        {(float)(n[0] / length), (float)(n[1] / length), (float)(n[2] / length)});
    return true;
}

namespace {

// Reads the numbers of one line into values; false with "line N: why".
bool parse_fields(const std::vector<std::string>& fields, char separator, int64_t line_number,
                  std::vector<double>* values, std::string* reason) {
    values->resize(fields.size());
    for (size_t i = 0; i < fields.size(); ++i) {
        std::string why;
        if (!parse_scan_number(fields[i], &(*values)[i], &why)) {
            if (separator != ' ' && fields[i].find_first_of(" \t") != std::string::npos) {
                why = "'" + fields[i] + "' between two " +
                      (separator == ',' ? "commas" : "semicolons") +
                      (separator == ','
                           ? " looks like numbers written with decimal commas; numbers must use a "
                             "decimal point"
                           : " is more than one number in one field");
            }
            *reason = line_label(line_number) + ": " + why;
            return false;
        }
    }
    return true;
}

// Hands the rows to add_scan_point with the normals the columns hold.
bool add_rows(const TextRows& rows, const TextColumns& columns, double scale, ScanPoints* out,
              std::string* reason) {
    const size_t count = rows.lines.size();
    out->positions.reserve(3 * count);
    const std::vector<double>* normals = nullptr;
    if (columns.normal_triple >= 0) {
        normals = &rows.triples[columns.normal_triple];
        out->normals.reserve(3 * count);
    }
    for (size_t i = 0; i < count; ++i) {
        if (!add_scan_point(&rows.positions[3 * i], normals ? &(*normals)[3 * i] : nullptr, scale,
                            line_label(rows.lines[i]), out, reason)) {
            return false;
        }
    }
    return true;
}

}  // namespace

bool read_scan_text(const std::string& text, double scale, ScanPoints* out, std::string* reason) {
    out->layout = "text";
    TextColumns columns;
    TextRows rows;
    char separator = 0;
    int64_t declared_count = -1;
    int64_t line_number = 0;
    bool first_content = true;
    std::vector<double> values;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        std::string line = text.substr(start, end - start);
        start = end + 1;
        ++line_number;
        const size_t comment = line.find('#');
        if (comment != std::string::npos) line.erase(comment);
        if (trim(line).empty()) continue;
        const char line_separator = separator_of(line);
        if (separator == 0) separator = line_separator;
        const std::vector<std::string> fields = split_fields(line, separator);
        if (first_content) {
            first_content = false;
            double value;
            std::string why;
            if (!parse_scan_number(fields[0], &value, &why) &&
                !looks_like_decimal_comma(fields[0]) && fields[0].find(',') == std::string::npos) {
                if (!columns_from_names(fields, line_number, &columns, reason)) return false;
                continue;
            }
            if (fields.size() == 1 && why.empty() && value >= 0 && value == std::floor(value) &&
                value < 9e18) {
                declared_count = (int64_t)value;
                // NOTE: the count line does not fix the separator of the points below it.
                separator = 0;
                continue;
            }
        }
        if (columns.count == 0) {
            if (fields.size() < 3) {
                *reason = line_label(line_number) + ": " + std::to_string(fields.size()) +
                          (fields.size() == 1 ? " field" : " fields") +
                          ", but a point needs at least x, y and z";
                return false;
            }
            columns.count = (int)fields.size();
        }
        if ((int)fields.size() != columns.count) {
            *reason = line_label(line_number) + ": " + std::to_string(fields.size()) +
                      " fields where the lines before have " + std::to_string(columns.count);
            if (line_separator != separator || looks_like_decimal_comma(line)) {
                *reason += " (a decimal comma or a different separator?)";
            }
            return false;
        }
        if (!parse_fields(fields, separator, line_number, &values, reason)) return false;
        rows.positions.insert(rows.positions.end(),
                              {values[columns.x], values[columns.y], values[columns.z]});
        rows.lines.push_back(line_number);
        if (columns.named) {
            if (columns.normal_triple >= 0) {
                rows.triples[0].insert(rows.triples[0].end(),
                                       {values[columns.normal[0]], values[columns.normal[1]],
                                        values[columns.normal[2]]});
            }
            continue;
        }
        // Columns 4-6 and 7-9 (5-7 of a seven-column line) are kept until all lines show
        // whether they are normals or colours.
        for (int t = 0; t < 2; ++t) {
            const int first = columns.count == 7 ? 4 : 3 + 3 * t;
            if (first + 3 > columns.count || (columns.count == 7 && t == 1)) continue;
            observe_triple(&values[first], &rows.shapes[t]);
            rows.triples[t].insert(rows.triples[t].end(), &values[first], &values[first] + 3);
        }
    }
    if (!columns.named && columns.count > 0 && !columns_from_values(rows, &columns, reason)) {
        return false;
    }
    if (declared_count >= 0 && declared_count != (int64_t)rows.lines.size()) {
        *reason = "the first line gives a count of " + std::to_string(declared_count) +
                  " points, but the file holds " + std::to_string(rows.lines.size());
        return false;
    }
    if (rows.lines.empty()) {
        *reason = "the file holds no point";
        return false;
    }
    out->extra_columns = columns.extra;
    return add_rows(rows, columns, scale, out, reason);
}
