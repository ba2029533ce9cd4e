// make_points: writes oriented point files for Meshweaver, from synthetic shapes or scans.
#include <errno.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <cmath>
#include <string>

#include "common/tool_help.h"
#include "convert.h"
#include "shapes.h"

namespace {

const char kUsage[] =
    "Usage:\n"
    "  make_points sphere  [--count N] [--spacing S] -o FILE\n"
    "  make_points torus   [--count N] [--spacing S] [--tube-ratio R] -o FILE\n"
    "  make_points plane   [--count N] [--spacing S] -o FILE\n"
    "  make_points convert INPUT [--neighbours K] [--scale S] -o FILE\n"
    "\n"
    "Writes an oriented point file (int32 count, then per point float32 x y z and\n"
    "nx ny nz, little-endian).\n"
    "  sphere   Fibonacci sphere around the origin, outward normals\n"
    "  torus    torus around the z axis (tube radius R x ring radius), outward normals\n"
    "  plane    square patch in z = 0, normals +z\n"
    "  convert  INPUT is PLY (.ply: ascii or binary), PCD (.pcd: ascii, binary or\n"
    "           binary_compressed) or a text scan (.txt .xyz .pts .asc ...: x y z and\n"
    "           optional normals, intensity or colour, blank-, comma- or semicolon-\n"
    "           separated, or columns named in a first line such as \"x y z nx ny nz\");\n"
    "           float or double values. What cannot be read as written is refused with\n"
    "           the line or point and why. Points with infinite or NaN coordinates are\n"
    "           dropped; missing or zero normals are estimated from the K nearest\n"
    "           neighbours, other normals made unit length. Prints what it read, the\n"
    "           bounding box and the spacing of the points, and a --scale to use when\n"
    "           that spacing does not suit Meshweaver's search radius of 0.1\n"
    "Options:\n"
    "  --count N        number of points (default 20000)\n"
    "  --spacing S      distance between neighbouring points (default 0.02; Meshweaver\n"
    "                   joins points closer than 0.1)\n"
    "  --tube-ratio R   torus tube radius over ring radius, 0 < R < 1 (default 0.3)\n"
    "  --neighbours K   neighbours for normal estimation, at least 3 (default 20)\n"
    "  --scale S        multiply the coordinates by S > 0 (default 1; e.g. 0.001 for a\n"
    "                   scan in millimetres)\n"
    "  -o FILE          output file\n";

struct Options {
    std::string shape;
    std::string input;
    std::string output;
    long long count = 20000;
    double spacing = 0.02;
    double tube_ratio = 0.3;
    long long neighbours = 20;
    double scale = 1.0;
};

int usage_error(const std::string& message) {
    fprintf(stderr, "make_points: %s\n\n%s", message.c_str(), kUsage);
    return 2;
}

bool parse_integer(const char* text, long long* value) {
    char* end;
    errno = 0;
    *value = strtoll(text, &end, 10);
    return end != text && *end == '\0' && errno == 0;
}

bool parse_real(const char* text, double* value) {
    char* end;
    *value = strtod(text, &end);
    return end != text && *end == '\0';
}

// Fills options from argv; returns an empty string or what is wrong.
std::string parse_options(int argc, char** argv, Options* options) {
    if (argc < 2) return "no shape given";
    options->shape = argv[1];
    int i = 2;
    if (options->shape == "convert") {
        if (argc < 3 || argv[2][0] == '-') return "convert needs an INPUT file";
        options->input = argv[2];
        i = 3;
    } else if (options->shape != "sphere" && options->shape != "torus" &&
               options->shape != "plane") {
        return "unknown shape '" + options->shape + "'";
    }
    for (; i < argc; ++i) {
        const std::string name = argv[i];
        if (i + 1 >= argc) return "option " + name + " needs a value";
        const char* value = argv[++i];
        if (name == "-o" || name == "--output") {
            options->output = value;
        } else if (name == "--count" && options->shape != "convert") {
            if (!parse_integer(value, &options->count) || options->count < 0 ||
                options->count > 2147483647LL) {
                return "--count needs a whole number from 0 to 2147483647";
            }
        } else if (name == "--spacing" && options->shape != "convert") {
            if (!parse_real(value, &options->spacing) || !(options->spacing > 0.0)) {
                return "--spacing needs a positive number";
            }
        } else if (name == "--tube-ratio" && options->shape == "torus") {
            if (!parse_real(value, &options->tube_ratio) || !(options->tube_ratio > 0.0) ||
                !(options->tube_ratio < 1.0)) {
                return "--tube-ratio needs a number between 0 and 1";
            }
        } else if (name == "--neighbours" && options->shape == "convert") {
            if (!parse_integer(value, &options->neighbours) || options->neighbours < 3 ||
                options->neighbours > 1000) {
                return "--neighbours needs a whole number from 3 to 1000";
            }
        } else if (name == "--scale" && options->shape == "convert") {
            if (!parse_real(value, &options->scale) || !(options->scale > 0.0) ||
                !std::isfinite(options->scale)) {
                return "--scale needs a positive number";
            }
        } else {
            return "unknown option " + name + " for " + options->shape;
        }
    }
    if (options->output.empty()) return "no output file given (-o FILE)";
    return std::string();
}

// What the conversion did: the points read, dropped and kept, where the normals came from.
void print_conversion(const ConversionReport& report, int64_t kept) {
    const ScanPoints& scan = report.scan;
    fprintf(stderr, "make_points: read %lld points (%s)", (long long)scan.read,
            scan.layout.c_str());
    if (!scan.extra_columns.empty()) {
        std::string names;
        for (const std::string& name : scan.extra_columns)
            names += (names.empty() ? "" : " ") + name;
        fprintf(stderr, "; left out the columns %s", names.c_str());
    }
    fprintf(stderr, "\n");
    if (scan.dropped_not_finite > 0) {
        fprintf(stderr, "make_points: dropped %lld points with an infinite or NaN coordinate\n",
                (long long)scan.dropped_not_finite);
    }
    if (report.dropped_no_normal > 0) {
        fprintf(stderr, "make_points: dropped %lld points whose normal could not be estimated\n",
                (long long)report.dropped_no_normal);
    }
    const long long given = (long long)(kept - report.normals_estimated);
    fprintf(stderr, "make_points: kept %lld points: normals given %lld", (long long)kept, given);
    if (scan.normals_normalised > 0) {
        fprintf(stderr, " (%lld of them made unit length)", (long long)scan.normals_normalised);
    }
    fprintf(stderr, ", estimated %lld", (long long)report.normals_estimated);
    if (scan.normals_missing > 0) {
        fprintf(stderr, " (%lld of them given as zero or not finite)",
                (long long)scan.normals_missing);
    }
    fprintf(stderr, "\n");
}

// The extent and spacing of the points, and the --scale to use when the spacing does not
// suit the mesh builder's search radius.
void print_spacing(const SpacingReport& spacing, double scale) {
    fprintf(stderr, "make_points: bounding box %g %g %g to %g %g %g\n", spacing.low[0],
            spacing.low[1], spacing.low[2], spacing.high[0], spacing.high[1], spacing.high[2]);
    fprintf(stderr, "make_points: median spacing %g", spacing.median_spacing);
    if (spacing.suits) {
        fprintf(stderr, ": suits Meshweaver's search radius of 0.1\n");
        return;
    }
    fprintf(stderr,
            ": too coarse for Meshweaver's search radius of 0.1 (at most %g suits; the mesh "
            "would have few or no triangles)\n",
            kLargestSuitableSpacing);
    fprintf(stderr, "make_points: convert again with --scale %g to give a spacing of %g\n",
            scale * spacing.suggested_scale, spacing.median_spacing * spacing.suggested_scale);
}

// Makes the points the options ask for; false after reporting an error on stderr.
bool make(const Options& options, OrientedPoints* points) {
    const int32_t count = (int32_t)options.count;
    if (options.shape == "sphere") {
        *points = make_sphere(count, options.spacing);
    } else if (options.shape == "plane") {
        *points = make_plane(count, options.spacing);
    } else if (options.shape == "torus") {
        *points = make_torus(count, options.spacing, options.tube_ratio);
        if (point_count(*points) == 0 && count > 0) {
            fprintf(stderr, "make_points: %d points are too few for a torus\n", count);
            return false;
        }
        if (point_count(*points) != count) {
            fprintf(stderr, "make_points: torus of %lld points (a whole grid of rings)\n",
                    (long long)point_count(*points));
        }
    } else {
        ConversionReport report;
        std::string reason;
        if (!convert_points(options.input, (int)options.neighbours, options.scale, points, &report,
                            &reason)) {
            fprintf(stderr, "make_points: %s\n", reason.c_str());
            return false;
        }
        print_conversion(report, point_count(*points));
        print_spacing(measure_spacing(*points), options.scale);
    }
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    if (answer_help_or_version(argc, argv, "make_points", kUsage)) return 0;
    Options options;
    const std::string problem = parse_options(argc, argv, &options);
    if (!problem.empty()) return usage_error(problem);
    OrientedPoints points;
    if (!make(options, &points)) return 1;
    std::string reason;
    if (!write_point_file(options.output.c_str(), points, &reason)) {
        fprintf(stderr, "make_points: %s\n", reason.c_str());
        return 1;
    }
    return 0;
}
