#include "convert.h"

#include <errno.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <cmath>
#include <fstream>
#include <sstream>

#include <pcl/PCLPointCloud2.h>
#include <pcl/conversions.h>
#include <pcl/features/normal_3d.h>
#include <pcl/io/pcd_io.h>
#include <pcl/io/ply_io.h>
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

bool has_field(const pcl::PCLPointCloud2& cloud, const char* name) {
    for (const pcl::PCLPointField& field : cloud.fields) {
        if (field.name == name) return true;
    }
    return false;
}

bool finite3(const float* v) {
    return std::isfinite(v[0]) && std::isfinite(v[1]) && std::isfinite(v[2]);
}

// Reads a PLY or PCD file into positions and, when it has them, normals.
bool read_cloud_file(const std::string& path, bool ply, std::vector<float>* positions,
                     std::vector<float>* normals, std::string* reason) {
    pcl::PCLPointCloud2 blob;
    const int status = ply ? pcl::io::loadPLYFile(path, blob) : pcl::io::loadPCDFile(path, blob);
    if (status < 0) {
        *reason = "cannot read " + path + " as a " + (ply ? "PLY" : "PCD") + " file";
        return false;
    }
    if (!has_field(blob, "x") || !has_field(blob, "y") || !has_field(blob, "z")) {
        *reason = path + " has no x, y and z fields";
        return false;
    }
    const bool with_normals =
        has_field(blob, "normal_x") && has_field(blob, "normal_y") && has_field(blob, "normal_z");
    if (with_normals) {
        pcl::PointCloud<pcl::PointNormal> cloud;
        pcl::fromPCLPointCloud2(blob, cloud);
        for (const pcl::PointNormal& p : cloud.points) {
            positions->insert(positions->end(), {p.x, p.y, p.z});
            normals->insert(normals->end(), {p.normal_x, p.normal_y, p.normal_z});
        }
    } else {
        pcl::PointCloud<pcl::PointXYZ> cloud;
        pcl::fromPCLPointCloud2(blob, cloud);
        for (const pcl::PointXYZ& p : cloud.points)
            positions->insert(positions->end(), {p.x, p.y, p.z});
    }
    return true;
}

bool read_text_file(const std::string& path, std::vector<float>* positions,
                    std::vector<float>* normals, std::string* reason) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        *reason = "cannot open " + path + ": " + strerror(errno);
        return false;
    }
    std::ostringstream text;
    text << in.rdbuf();
    if (!parse_point_text(text.str(), positions, normals, reason)) {
        *reason = path + ": " + *reason;
        return false;
    }
    return true;
}

// Estimates a normal for every point from its neighbours nearest points (PCL flips each
// towards the viewpoint at the origin).
void estimate_normals(const std::vector<float>& positions, int neighbours,
                      std::vector<float>* normals) {
    pcl::PointCloud<pcl::PointXYZ>::Ptr cloud(new pcl::PointCloud<pcl::PointXYZ>);
    cloud->points.resize(positions.size() / 3);
    for (size_t i = 0; i < cloud->points.size(); ++i) {
        cloud->points[i].x = positions[3 * i];
        cloud->points[i].y = positions[3 * i + 1];
        cloud->points[i].z = positions[3 * i + 2];
    }
    cloud->width = (uint32_t)cloud->points.size();
    cloud->height = 1;
    pcl::search::KdTree<pcl::PointXYZ>::Ptr tree(new pcl::search::KdTree<pcl::PointXYZ>);
    pcl::NormalEstimation<pcl::PointXYZ, pcl::Normal> estimation;
    estimation.setInputCloud(cloud);
    estimation.setSearchMethod(tree);
    estimation.setKSearch(neighbours);
    pcl::PointCloud<pcl::Normal> estimated;
    estimation.compute(estimated);
    normals->clear();
    for (const pcl::Normal& n : estimated.points) {
        normals->insert(normals->end(), {n.normal_x, n.normal_y, n.normal_z});
    }
}

}  // namespace

bool parse_point_text(const std::string& text, std::vector<float>* positions,
                      std::vector<float>* normals, std::string* reason) {
    int columns = 0;
    size_t line_number = 0;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        std::string line = text.substr(start, end - start);
        start = end + 1;
        ++line_number;
        const size_t comment = line.find('#');
        if (comment != std::string::npos) line.erase(comment);
        float values[7];
        int found = 0;
        const char* p = line.c_str();
        while (true) {
            while (*p == ' ' || *p == '\t' || *p == '\r' || *p == ',') ++p;
            if (!*p) break;
            char* after;
            const double value = strtod(p, &after);
            if (after == p || found == 7) {
                *reason = "line " + std::to_string(line_number) +
                          ": expected 3 or 6 numbers (x y z [nx ny nz])";
                return false;
            }
            values[found++] = (float)value;
            p = after;
        }
        if (found == 0) continue;
        if ((found != 3 && found != 6) || (columns && found != columns)) {
            *reason = "line " + std::to_string(line_number) + ": " + std::to_string(found) +
                      " numbers where " + (columns ? std::to_string(columns) : "3 or 6") +
                      " are expected";
            return false;
        }
        columns = found;
        positions->insert(positions->end(), values, values + 3);
        if (found == 6) normals->insert(normals->end(), values + 3, values + 6);
    }
    return true;
}

bool convert_points(const std::string& path, int neighbours, OrientedPoints* out,
                    ConversionReport* report, std::string* reason) {
    *report = ConversionReport{0, 0, 0, false};
    std::vector<float> positions, normals;
    bool read;
    if (ends_with(path, ".ply")) {
        read = read_cloud_file(path, true, &positions, &normals, reason);
    } else if (ends_with(path, ".pcd")) {
        read = read_cloud_file(path, false, &positions, &normals, reason);
    } else {
        read = read_text_file(path, &positions, &normals, reason);
    }
    if (!read) return false;
    report->read = (int64_t)(positions.size() / 3);

    // Points with a non-finite value are dropped before any neighbour search sees them.
    const bool given_normals = !normals.empty();
    std::vector<float> kept_positions, kept_normals;
    for (size_t i = 0; i < positions.size() / 3; ++i) {
        if (!finite3(&positions[3 * i]) || (given_normals && !finite3(&normals[3 * i]))) {
            ++report->dropped_not_finite;
            continue;
        }
        kept_positions.insert(kept_positions.end(), &positions[3 * i], &positions[3 * i] + 3);
        if (given_normals) {
            kept_normals.insert(kept_normals.end(), &normals[3 * i], &normals[3 * i] + 3);
        }
    }
    if (kept_positions.empty()) {
        *reason = path + " holds no point with finite coordinates";
        return false;
    }
    if (!given_normals) {
        report->normals_estimated = true;
        estimate_normals(kept_positions, neighbours, &kept_normals);
    }

    out->positions.clear();
    out->normals.clear();
    for (size_t i = 0; i < kept_positions.size() / 3; ++i) {
        if (!finite3(&kept_normals[3 * i])) {
            ++report->dropped_no_normal;
            continue;
        }
        out->positions.insert(out->positions.end(), &kept_positions[3 * i],
                              &kept_positions[3 * i] + 3);
        out->normals.insert(out->normals.end(), &kept_normals[3 * i], &kept_normals[3 * i] + 3);
    }
    if (out->positions.empty()) {
        *reason = "no normal could be estimated for any point of " + path;
        return false;
    }
    return true;
}
