// Conversion of scans (PLY, PCD, text) into oriented points: read faithfully or refused,
// positions scaled, missing normals estimated from the k nearest neighbours; and the
// spacing of the result against the mesh builder's fixed search radius.
#pragma once

#include <stdint.h>

#include <string>

#include "scan_points.h"
#include "shapes.h"

// What a conversion read, kept, dropped and estimated, for the report on stderr.
struct ConversionReport {
    ScanPoints scan;                // what the reader saw (its arrays are released)
    int64_t normals_estimated = 0;  // points whose normal was estimated
    int64_t dropped_no_normal = 0;  // no normal could be estimated for the point
};

// Reads path (its kind from the extension: .ply, .pcd, else text) into out, positions
// multiplied by scale (> 0), estimating normals with neighbours nearest points where the
// input has none, or a zero or non-finite one. Returns false, with "path: reason", when the
// input cannot be read as written or has no usable point.
bool convert_points(const std::string& path, int neighbours, double scale, OrientedPoints* out,
                    ConversionReport* report, std::string* reason);

// The extent and spacing of a point set, and whether it suits the fixed search radius.
struct SpacingReport {
    float low[3], high[3];   // bounding box
    double median_spacing;   // median distance from a point to its nearest other point
    bool suits;              // the spacing suits the search radius
    double suggested_scale;  // when !suits: a power of ten that brings it to 0.004 to 0.04
};

// The mesh builder joins a point to neighbours within mu (2.5) x the nearest distance but
// never beyond the search radius (0.1): a spacing up to 0.1 / 2.5 leaves that rule whole
// (a regular grid still meshes up to about 0.06, scans are less even). A finer spacing
// needs no scaling: the triangulation takes the nearest 100 points within the radius.
const double kLargestSuitableSpacing = 0.04;

// Measures points (at least one). The median is taken over up to 20000 evenly chosen points.
SpacingReport measure_spacing(const OrientedPoints& points);
