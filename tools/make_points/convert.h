// Conversion of scanned points (PLY, PCD, or text lines "x y z [nx ny nz]") into oriented
// points; missing normals are estimated from the k nearest neighbours.
#pragma once

#include <stdint.h>

#include <string>

#include "shapes.h"

// What a conversion kept and dropped, for the report on stderr.
struct ConversionReport {
    int64_t read;                // points in the input
    int64_t dropped_not_finite;  // a coordinate or normal was infinite or NaN
    int64_t dropped_no_normal;   // no normal could be estimated for the point
    bool normals_estimated;
};

// Reads path (its type from the extension: .ply, .pcd, anything else is text) into out,
// estimating normals with neighbours nearest points when the input has none. Returns false,
// with a reason, when the input cannot be read or has no usable point.
bool convert_points(const std::string& path, int neighbours, OrientedPoints* out,
                    ConversionReport* report, std::string* reason);

// Parses text lines of three or six numbers ('#' starts a comment, blank lines are
// skipped); all lines must have the same number of values. Non-finite values are kept.
bool parse_point_text(const std::string& text, std::vector<float>* positions,
                      std::vector<float>* normals, std::string* reason);
