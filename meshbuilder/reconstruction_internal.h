// The steps of the reconstruction in the library's own types, for the reconstruction's source
// and for the tests and the benchmark that check and time those steps one by one (the
// search-ahead rows against the library's tree, the triangles against a plain run). All
// library objects of one reconstruction live inside one GreedySetup. The programs use the
// plain functions of reconstruction.h.
#pragma once

#include <stdint.h>

#include <string>
#include <vector>

#include <pcl/PolygonMesh.h>
#include <pcl/point_types.h>
#include <pcl/search/kdtree.h>
#include <pcl/surface/gp3.h>

#include "meshbuilder/mesh_record.h"
#include "meshbuilder/reconstruction.h"

using GreedyTriangulation = pcl::GreedyProjectionTriangulation<pcl::PointNormal>;

// The library objects of one reconstruction.
struct GreedySetup {
    pcl::PointCloud<pcl::PointNormal>::Ptr cloud;
    pcl::search::KdTree<pcl::PointNormal>::Ptr tree;
    pcl::PolygonMesh mesh;
    GreedyTriangulation triangulator;
    SearchAheadCounts counts;                    // filled by run_reconstruction
    ReconstructionProgress* progress = nullptr;  // when set, filled by run_reconstruction
};

// Resizes cloud to n default points and sets position, normal and a zero curvature of each;
// width and height are left as they are.
void fill_cloud(int32_t n, const float* positions, const float* normals,
                pcl::PointCloud<pcl::PointNormal>& cloud);

// Sets the seven triangulation parameters.
void set_greedy_parameters(GreedyTriangulation& triangulator);

// The search tree of a reconstruction: the library's k-d tree with sorted results, or, with
// helper threads or a progress record, one whose neighbour query by point index serves the
// rows the helpers computed ahead from the same tree (the tree's own answers, bit for bit)
// and keeps the progress record up to date, the points reached read from watched (when
// given: the triangulator that asks).
pcl::search::KdTree<pcl::PointNormal>::Ptr make_search_tree(
    const SearchAhead& ahead, const GreedyTriangulation* watched = nullptr);

// Stops the helper threads of a tree made by make_search_tree and says what they did (all
// zero for the library's tree).
SearchAheadCounts finish_search_ahead(const pcl::search::KdTree<pcl::PointNormal>& tree);

// Fills the cloud, makes the search tree (sorted results; with helpers and progress as ahead
// says, watching setup's triangulator) and sets the parameters. n must be at least 1, and
// every coordinate finite. May throw std::bad_alloc or std::system_error (no thread could be
// started).
void prepare_reconstruction(int32_t n, const float* positions, const float* normals,
                            const SearchAhead& ahead, GreedySetup* setup);

// Hands the tree and the cloud to the triangulator, runs it into setup->mesh, stops the
// helper threads and fills setup->counts, and setup->progress when given.
void run_reconstruction(GreedySetup* setup);

// Makes the record: the vertices a byte copy of positions, three indices per polygon in the
// library's order. Returns false, with a reason and an empty record, when memory runs out or
// a polygon has fewer than three corners or an index outside 0..n-1.
bool fill_mesh_record(int32_t n, const float* positions, const std::vector<pcl::Vertices>& polygons,
                      MeshRecord* out, std::wstring* reason);
