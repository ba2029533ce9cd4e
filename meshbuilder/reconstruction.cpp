#include "meshbuilder/reconstruction.h"

#include <stdlib.h>
#include <string.h>

#include <exception>
#include <new>

#include "common/count_words.h"

void fill_cloud(int32_t n, const float* positions, const float* normals,
                pcl::PointCloud<pcl::PointNormal>& cloud) {
    // NOTE: resizing the point sequence, not the cloud, keeps width and height at 0.
    cloud.points.resize((size_t)n);
    for (int32_t i = 0; i < n; ++i) {
        pcl::PointNormal& point = cloud.points[(size_t)i];
        const float* position = positions + 3 * (size_t)i;
        const float* normal = normals + 3 * (size_t)i;
        point.x = position[0];
        point.y = position[1];
        point.z = position[2];
        point.normal_x = normal[0];
        point.normal_y = normal[1];
        point.normal_z = normal[2];
        point.curvature = 0.0f;
    }
}

void set_greedy_parameters(pcl::GreedyProjectionTriangulation<pcl::PointNormal>& triangulator) {
    triangulator.setSearchRadius(kSearchRadius);
    triangulator.setMu(kMu);
    triangulator.setMaximumNearestNeighbors(kMaximumNearestNeighbors);
    triangulator.setMaximumSurfaceAngle(kMaximumSurfaceAngle);
    triangulator.setMinimumAngle(kMinimumAngle);
    triangulator.setMaximumAngle(kMaximumAngle);
    triangulator.setNormalConsistency(kNormalConsistency);
}

void prepare_reconstruction(int32_t n, const float* positions, const float* normals,
                            GreedySetup* setup) {
    setup->cloud.reset(new pcl::PointCloud<pcl::PointNormal>);
    fill_cloud(n, positions, normals, *setup->cloud);
    setup->tree.reset(new pcl::search::KdTree<pcl::PointNormal>(true));
    set_greedy_parameters(setup->triangulator);
}

void run_reconstruction(GreedySetup* setup) {
    // NOTE: the cloud is not given to the tree here; reconstruct does that itself.
    setup->triangulator.setSearchMethod(setup->tree);
    setup->triangulator.setInputCloud(setup->cloud);
    setup->triangulator.reconstruct(setup->mesh);
}

bool fill_mesh_record(int32_t n, const float* positions, const std::vector<pcl::Vertices>& polygons,
                      MeshRecord* out, std::wstring* reason) {
    *out = MeshRecord{};
    if (polygons.size() > (size_t)INT32_MAX / 3) {
        *reason = L"The reconstruction found more triangles than a mesh can hold.";
        return false;
    }
    const int32_t triangles = (int32_t)polygons.size();
    // NOTE: at least one byte each, so an empty mesh still has two valid blocks and a null
    // pointer always means an allocation failure.
    const size_t vertex_bytes = 12 * (size_t)n;
    const size_t index_bytes = 12 * (size_t)triangles;
    float* vertices = (float*)malloc(vertex_bytes ? vertex_bytes : 1);
    int32_t* indices = (int32_t*)malloc(index_bytes ? index_bytes : 1);
    if (!vertices || !indices) {
        free(vertices);
        free(indices);
        *reason = L"There is not enough memory for the reconstructed mesh.";
        return false;
    }
    if (vertex_bytes) memcpy(vertices, positions, vertex_bytes);
    for (int32_t t = 0; t < triangles; ++t) {
        const pcl::Indices& corners = polygons[(size_t)t].vertices;
        bool sound = corners.size() >= 3;
        for (size_t k = 0; k < 3 && sound; ++k) {
            sound = corners[k] >= 0 && corners[k] < n;
            indices[3 * (size_t)t + k] = (int32_t)corners[k];
        }
        if (!sound) {
            free(vertices);
            free(indices);
            *reason = L"The reconstruction produced a damaged triangle; no mesh was made.";
            return false;
        }
    }
    out->vertex_count = n;
    out->vertices = vertices;
    out->triangle_count = triangles;
    out->indices = indices;
    return true;
}

bool reconstruct_mesh(int32_t n, const float* positions, const float* normals, MeshRecord* out,
                      std::wstring* reason, void (*before_run)(void* context), void* context) {
    *out = MeshRecord{};
    try {
        GreedySetup setup;
        if (n > 0) prepare_reconstruction(n, positions, normals, &setup);
        if (before_run) before_run(context);
        if (n > 0) run_reconstruction(&setup);
        return fill_mesh_record(n, positions, setup.mesh.polygons, out, reason);
    } catch (const std::bad_alloc&) {
        *reason = L"There is not enough memory to reconstruct a mesh from " + std::to_wstring(n) +
                  L" " + noun_for_count(n, L"point", L"points") + L".";
    } catch (const std::exception& failure) {
        std::wstring what;
        for (const char* c = failure.what(); *c; ++c) what += (wchar_t)(unsigned char)*c;
        *reason = L"The reconstruction failed: " + what;
    }
    *out = MeshRecord{};
    return false;
}
