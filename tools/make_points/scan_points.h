// Scanned points read from PLY, PCD and text files, faithfully or not at all: every value is
// read in its stored type and must fit the oriented point file's floats; whatever cannot be
// read as written is refused with where and why.
#pragma once

#include <stdint.h>

#include <string>
#include <vector>

#include "meshbuilder/point_file.h"

// Given normals whose length differs from 1 by more than this are normalised and counted.
const double kUnitTolerance = 1e-3;

// The points of one scan file.
struct ScanPoints {
    std::vector<float> positions;  // x, y, z of each kept point, scaled
    // Empty when the file has no normals; else one triple per kept point: a unit normal, or
    // NaN x 3 where the given normal was zero or not finite (to be estimated).
    std::vector<float> normals;
    int64_t read = 0;                        // points in the file
    int64_t dropped_not_finite = 0;          // a coordinate of the position was infinite or NaN
    int64_t normals_normalised = 0;          // given normals of a length other than 1
    int64_t normals_missing = 0;             // given normals that were zero or not finite
    std::string layout;                      // what was read, e.g. "binary big-endian PLY"
    std::vector<std::string> extra_columns;  // recognised and left out, e.g. "red"
};

// Reads the text of a scan (.txt, .xyz, .pts, .asc): one point a line, numbers separated by
// blanks, commas or semicolons (one kind per file), '#' starts a comment. An optional first
// line names the columns (x y z, nx ny nz or normal_x normal_y normal_z, anything else is
// an extra column); without it 3, 4 (intensity), 6 (normals or colour), 7 (intensity and
// colour) or 9 (normals and colour) numbers a line are understood, normals only where every
// line's triple has unit length or is zero. A first line of one whole number is a point
// count (as in .pts files) and must match. Positions are multiplied by scale (> 0).
// Returns false, with "line N: why" or a whole-file reason, when the text cannot be read
// as written: a decimal comma, a ragged line, a word, a value too large, no point.
bool read_scan_text(const std::string& text, double scale, ScanPoints* out, std::string* reason);

// Reads a PLY file (ascii, binary_little_endian, binary_big_endian): the vertex element's
// x, y, z and nx, ny, nz (or normal_x, ...) of any scalar type; other properties are extra
// columns, other elements are skipped.
bool read_scan_ply(const std::string& bytes, double scale, ScanPoints* out, std::string* reason);

// Reads a PCD file (DATA ascii, binary or binary_compressed): fields x, y, z and normal_x,
// normal_y, normal_z of any type and size; other fields are extra columns.
bool read_scan_pcd(const std::string& bytes, double scale, ScanPoints* out, std::string* reason);

// --- Shared by the readers ---------------------------------------------------------------

// Adds one point read at where (e.g. "line 12"): drops it when a position coordinate is not
// finite, refuses it (false, reason) when a scaled coordinate is larger than
// kCoordinateLimit, normalises a non-unit normal and marks a zero or non-finite one as
// missing. normal is null when the file has no normals.
bool add_scan_point(const double position[3], const double* normal, double scale,
                    const std::string& where, ScanPoints* out, std::string* reason);

// value as a short text for messages ("%.9g").
std::string number_text(double value);

// Parses the whole of token as a number (C locale; "nan" and "inf" allowed). Returns false
// for anything else, with why ("decimal comma", "not a number", "too large for a float").
bool parse_scan_number(const std::string& token, double* value, std::string* why);
