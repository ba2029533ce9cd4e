#include "convert.h"

#include <errno.h>
#include <stdio.h>
#include <string.h>

#include <algorithm>
#include <cmath>

#include <pcl/features/normal_3d.h>
#include <pcl/point_types.h>
#include <pcl/search/kdtree.h>

namespace {

bool ends_with(const std::string& text, const char* suffix) {
    const size_t n = strlen(suffix);
    if (text.size() < n) return false;
    for (size_t i = 0; i < n; ++i) {
        char c = text[text.size() - n + i];
        if (c >= 'A' && c <= 'Z') c = (char)(c - 'A' + 'a');
        if (c != suffix[i]) return false;
    }
    return true;
}

bool read_whole_file(const std::string& path, std::string* bytes, std::string* reason) {
    FILE* file = fopen(path.c_str(), "rb");
    if (!file) {
        *reason = std::string("cannot open it: ") + strerror(errno);
        return false;
    }
    char block[1 << 16];
    size_t got;
    while ((got = fread(block, 1, sizeof block, file)) > 0) bytes->append(block, got);
    const bool failed = ferror(file) != 0;
    const int error = errno;
    fclose(file);
    if (failed) *reason = std::string("cannot read it: ") + strerror(error);
    return !failed;
}

pcl::PointCloud<pcl::PointXYZ>::Ptr make_cloud(const std::vector<float>& positions) {
    pcl::PointCloud<pcl::PointXYZ>::Ptr cloud(new pcl::PointCloud<pcl::PointXYZ>);
    cloud->points.resize(positions.size() / 3);
    for (size_t i = 0; i < cloud->points.size(); ++i) {
        cloud->points[i].x = positions[3 * i];
        cloud->points[i].y = positions[3 * i + 1];
        cloud->points[i].z = positions[3 * i + 2];
    }
    cloud->width = (uint32_t)cloud->points.size();
    cloud->height = 1;
    return cloud;
}

// Estimates a normal for every point from its neighbours nearest points (the library turns
// each towards the viewpoint at the origin).
void estimate_normals(const std::vector<float>& positions, int neighbours,
                      std::vector<float>* normals) {
    pcl::search::KdTree<pcl::PointXYZ>::Ptr tree(new pcl::search::KdTree<pcl::PointXYZ>);
    pcl::NormalEstimation<pcl::PointXYZ, pcl::Normal> estimation;
    estimation.setInputCloud(make_cloud(positions));
    estimation.setSearchMethod(tree);
    estimation.setKSearch(neighbours);
    pcl::PointCloud<pcl::Normal> estimated;
    estimation.compute(estimated);
    normals->clear();
    normals->reserve(3 * estimated.points.size());
    for (const pcl::Normal& n : estimated.points) {
        normals->insert(normals->end(), {n.normal_x, n.normal_y, n.normal_z});
    }
}

bool finite3(const float* v) {
    return std::isfinite(v[0]) && std::isfinite(v[1]) && std::isfinite(v[2]);
}

bool read_scan(const std::string& path, double scale, ScanPoints* scan, std::string* reason) {
    std::string bytes;
    if (!read_whole_file(path, &bytes, reason)) return false;
    if (ends_with(path, ".ply")) return read_scan_ply(bytes, scale, scan, reason);
    if (ends_with(path, ".pcd")) return read_scan_pcd(bytes, scale, scan, reason);
    if (bytes.empty()) {
        *reason = "the file is empty";
        return false;
    }
    return read_scan_text(bytes, scale, scan, reason);
}

}  // namespace

bool convert_points(const std::string& path, int neighbours, double scale, OrientedPoints* out,
                    ConversionReport* report, std::string* reason) {
    *report = ConversionReport();
    ScanPoints& scan = report->scan;
    if (!read_scan(path, scale, &scan, reason)) {
        *reason = path + ": " + *reason;
        return false;
    }
    out->positions.swap(scan.positions);
    out->normals.swap(scan.normals);
    if (out->positions.empty()) {
        *reason = path + ": " +
                  (scan.read == 0 ? "the file holds no points"
                                  : "none of its " + std::to_string(scan.read) +
                                        " points has finite coordinates");
        return false;
    }
    const size_t count = out->positions.size() / 3;
    // Points without a normal (none given, or a zero or non-finite one) get an estimate.
    const bool all_missing = out->normals.empty();
    if (all_missing || scan.normals_missing > 0) {
        std::vector<float> estimated;
        estimate_normals(out->positions, neighbours, &estimated);
        if (all_missing) out->normals.assign(3 * count, NAN);
        std::vector<float> positions, normals;
        positions.reserve(3 * count);
        normals.reserve(3 * count);
        for (size_t i = 0; i < count; ++i) {
            const float* normal = &out->normals[3 * i];
            if (!finite3(normal)) {
                normal = &estimated[3 * i];
                if (!finite3(normal)) {
                    ++report->dropped_no_normal;
                    continue;
                }
                ++report->normals_estimated;
            }
            positions.insert(positions.end(), &out->positions[3 * i], &out->positions[3 * i] + 3);
            normals.insert(normals.end(), normal, normal + 3);
        }
        out->positions.swap(positions);
        out->normals.swap(normals);
    }
    if (out->positions.empty()) {
        *reason = "no normal could be estimated for any point of " + path;
        return false;
    }
    return true;
}

SpacingReport measure_spacing(const OrientedPoints& points) {
    SpacingReport report;
    const size_t count = points.positions.size() / 3;
    for (int c = 0; c < 3; ++c) report.low[c] = report.high[c] = points.positions[c];
    for (size_t i = 0; i < count; ++i) {
        for (int c = 0; c < 3; ++c) {
            report.low[c] = std::min(report.low[c], points.positions[3 * i + c]);
            report.high[c] = std::max(report.high[c], points.positions[3 * i + c]);
        }
    }
    // NOTE: scans often hold the same point twice; the nearest point at a distance above
    // zero among a few neighbours is the spacing that matters.
    const int kNeighbours = 5;
    const size_t kSamples = 20000;
    std::vector<double> spacings;
    if (count > 1) {
        pcl::search::KdTree<pcl::PointXYZ> tree;
        tree.setInputCloud(make_cloud(points.positions));
        const size_t step = count > kSamples ? count / kSamples : 1;
        std::vector<int> indices;
        std::vector<float> squared;
        for (size_t i = 0; i < count; i += step) {
            pcl::PointXYZ p(points.positions[3 * i], points.positions[3 * i + 1],
                            points.positions[3 * i + 2]);
            tree.nearestKSearch(p, kNeighbours, indices, squared);
            for (float d : squared) {
                if (d > 0.0f) {
                    spacings.push_back(std::sqrt((double)d));
                    break;
                }
            }
        }
    }
    report.median_spacing = 0.0;
    if (!spacings.empty()) {
        std::nth_element(spacings.begin(), spacings.begin() + spacings.size() / 2, spacings.end());
        report.median_spacing = spacings[spacings.size() / 2];
    }
    const double s = report.median_spacing;
    report.suits = s <= kLargestSuitableSpacing;
    report.suggested_scale = 1.0;
    if (!report.suits) {
        // The largest power of ten that makes the spacing suit: scans in other units
        // (millimetres, centimetres) need exactly such a factor.
        const int exponent = (int)std::floor(std::log10(kLargestSuitableSpacing / s));
        report.suggested_scale = std::pow(10.0, exponent);
    }
    return report;
}
