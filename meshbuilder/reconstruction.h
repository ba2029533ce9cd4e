// The greedy projection triangulation of an oriented point set, from plain arrays to a
// MeshRecord. All library objects live inside one GreedySetup.
#pragma once

#include <stdint.h>

#include <string>
#include <vector>

#include <pcl/PolygonMesh.h>
#include <pcl/point_types.h>
#include <pcl/search/kdtree.h>
#include <pcl/surface/gp3.h>

#include "meshbuilder/mesh_record.h"

// The triangulation parameters. The search radius is in the unit of the positions.
const double kSearchRadius = 0.1;
const double kMu = 2.5;
const int kMaximumNearestNeighbors = 100;
const double kMaximumSurfaceAngle = 0.7853981633974483;  // pi / 4
const double kMinimumAngle = 0.17453292519943295;        // pi / 18
const double kMaximumAngle = 2.0943951023931953;         // 2 pi / 3
const bool kNormalConsistency = false;

// The library objects of one reconstruction.
struct GreedySetup {
    pcl::PointCloud<pcl::PointNormal>::Ptr cloud;
    pcl::search::KdTree<pcl::PointNormal>::Ptr tree;
    pcl::PolygonMesh mesh;
    pcl::GreedyProjectionTriangulation<pcl::PointNormal> triangulator;
};

// Resizes cloud to n default points and sets position, normal and a zero curvature of each;
// width and height are left as they are.
void fill_cloud(int32_t n, const float* positions, const float* normals,
                pcl::PointCloud<pcl::PointNormal>& cloud);

// Sets the seven triangulation parameters.
void set_greedy_parameters(pcl::GreedyProjectionTriangulation<pcl::PointNormal>& triangulator);

// Fills the cloud, makes the search tree (sorted results) and sets the parameters.
// n must be at least 1, and every coordinate finite. May throw std::bad_alloc.
void prepare_reconstruction(int32_t n, const float* positions, const float* normals,
                            GreedySetup* setup);

// Hands the tree and the cloud to the triangulator and runs it into setup->mesh.
void run_reconstruction(GreedySetup* setup);

// Makes the record: the vertices a byte copy of positions, three indices per polygon in the
// library's order. Returns false, with a reason and an empty record, when memory runs out or
// a polygon has fewer than three corners or an index outside 0..n-1.
bool fill_mesh_record(int32_t n, const float* positions, const std::vector<pcl::Vertices>& polygons,
                      MeshRecord* out, std::wstring* reason);

// The whole reconstruction of n oriented points into out. before_run, when given, is called
// with context after the set-up and before the triangulation runs. With n = 0 the library
// is not called (it cannot handle an empty cloud) and the mesh has no triangle. Returns
// false, with a reason for the user and an empty record, when it cannot complete (out of
// memory or a library failure).
bool reconstruct_mesh(int32_t n, const float* positions, const float* normals, MeshRecord* out,
                      std::wstring* reason, void (*before_run)(void* context) = nullptr,
                      void* context = nullptr);
