// The greedy projection triangulation of an oriented point set, from plain arrays to a
// MeshRecord. All library objects live inside one GreedySetup. The triangulation is the
// library's own; only its neighbour rows may be computed ahead by helper threads, from the
// same search tree, so the triangles and their order are the library's.
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

// How the triangulation's neighbour rows are found: by the library's search tree alone
// (helper_threads 0), or by the same tree with helper threads computing the rows it is
// likely to ask for next.
struct SearchAhead {
    int helper_threads;
    // For tests: before a row is served, wait until the helpers have computed every row
    // predicted so far, so that which rows come from a helper does not depend on timing.
    bool wait_for_helpers;
};

// What the search ahead did during one reconstruction.
struct SearchAheadCounts {
    int64_t rows_asked;     // neighbour rows the triangulation asked for
    int64_t rows_served;    // of those, rows a helper had computed ahead
    int64_t rows_computed;  // rows the helpers computed, served or not
};

// The library objects of one reconstruction.
struct GreedySetup {
    pcl::PointCloud<pcl::PointNormal>::Ptr cloud;
    pcl::search::KdTree<pcl::PointNormal>::Ptr tree;
    pcl::PolygonMesh mesh;
    pcl::GreedyProjectionTriangulation<pcl::PointNormal> triangulator;
    SearchAheadCounts counts;  // filled by run_reconstruction
};

// The helper threads that pay off on this machine: one per processor core beyond the one
// that runs the triangulation (none on a single core), at most 7.
int search_ahead_threads();

// Resizes cloud to n default points and sets position, normal and a zero curvature of each;
// width and height are left as they are.
void fill_cloud(int32_t n, const float* positions, const float* normals,
                pcl::PointCloud<pcl::PointNormal>& cloud);

// Sets the seven triangulation parameters.
void set_greedy_parameters(pcl::GreedyProjectionTriangulation<pcl::PointNormal>& triangulator);

// The search tree of a reconstruction: the library's k-d tree with sorted results, or, with
// helper threads, one whose neighbour query by point index serves the rows they computed
// ahead from the same tree (the tree's own answers, bit for bit).
pcl::search::KdTree<pcl::PointNormal>::Ptr make_search_tree(const SearchAhead& ahead);

// Stops the helper threads of a tree made by make_search_tree and says what they did (all
// zero for the library's tree).
SearchAheadCounts finish_search_ahead(const pcl::search::KdTree<pcl::PointNormal>& tree);

// Fills the cloud, makes the search tree (sorted results; with helpers as ahead says) and
// sets the parameters. n must be at least 1, and every coordinate finite. May throw
// std::bad_alloc or std::system_error (no thread could be started).
void prepare_reconstruction(int32_t n, const float* positions, const float* normals,
                            const SearchAhead& ahead, GreedySetup* setup);

// Hands the tree and the cloud to the triangulator, runs it into setup->mesh, stops the
// helper threads and fills setup->counts.
void run_reconstruction(GreedySetup* setup);

// Makes the record: the vertices a byte copy of positions, three indices per polygon in the
// library's order. Returns false, with a reason and an empty record, when memory runs out or
// a polygon has fewer than three corners or an index outside 0..n-1.
bool fill_mesh_record(int32_t n, const float* positions, const std::vector<pcl::Vertices>& polygons,
                      MeshRecord* out, std::wstring* reason);

// The whole reconstruction of n oriented points into out, with search_ahead_threads()
// helpers. before_run, when given, is called
// with context after the set-up and before the triangulation runs. With n = 0 the library
// is not called (it cannot handle an empty cloud) and the mesh has no triangle. Returns
// false, with a reason for the user and an empty record, when it cannot complete (out of
// memory or a library failure).
bool reconstruct_mesh(int32_t n, const float* positions, const float* normals, MeshRecord* out,
                      std::wstring* reason, void (*before_run)(void* context) = nullptr,
                      void* context = nullptr);
