// The greedy projection triangulation of an oriented point set, from plain arrays to a
// MeshRecord. The triangulation is the library's own; only its neighbour rows may be computed
// ahead by helper threads, from the same search tree, so the triangles and their order are
// the library's. This header holds plain types only; the library's types stay in the
// reconstruction's source and its internal header (reconstruction_internal.h), which only
// that source, the tests and the benchmark include.
#pragma once

#include <stdint.h>

#include <atomic>
#include <string>

#include "meshbuilder/mesh_record.h"

// The triangulation parameters. The search radius is in the unit of the positions.
const double kSearchRadius = 0.1;
const double kMu = 2.5;
const int kMaximumNearestNeighbors = 100;
const double kMaximumSurfaceAngle = 0.7853981633974483;  // pi / 4
const double kMinimumAngle = 0.17453292519943295;        // pi / 18
const double kMaximumAngle = 2.0943951023931953;         // 2 pi / 3
const bool kNormalConsistency = false;

// How far a running reconstruction has come: written on the thread that runs the
// triangulation, readable from any other.
//   rows_asked      neighbour rows the triangulation has asked for so far; it asks for a row
//                   of some of the points only (about a third to a half), so this count
//                   grows but is no fraction of the work;
//   points_reached  points the triangulation has reached: a point leaves the library's
//                   "free" state once, when the growing mesh front first takes it in (or it
//                   starts a new part), and every point has left it when the triangulation
//                   ends. Sampled now and then during the run, exact at its end;
//   triangulated    the triangulation has ended.
struct ReconstructionProgress {
    std::atomic<int64_t> rows_asked{0};
    std::atomic<int64_t> points_reached{0};
    std::atomic<bool> triangulated{false};
};

// How the triangulation's neighbour rows are found: by the library's search tree alone
// (helper_threads 0), or by the same tree with helper threads computing the rows it is
// likely to ask for next.
struct SearchAhead {
    int helper_threads;
    // For tests: before a row is served, wait until the helpers have computed every row
    // predicted so far, so that which rows come from a helper does not depend on timing.
    bool wait_for_helpers;
    // When set, the tree counts the rows asked for into progress and samples how many points
    // the triangulation has reached.
    ReconstructionProgress* progress = nullptr;
};

// What the search ahead did during one reconstruction.
struct SearchAheadCounts {
    int64_t rows_asked;     // neighbour rows the triangulation asked for
    int64_t rows_served;    // of those, rows a helper had computed ahead
    int64_t rows_computed;  // rows the helpers computed, served or not
};

// The helper threads that pay off on this machine: one per processor core beyond the one
// that runs the triangulation (none on a single core), at most 7.
int search_ahead_threads();

// Whether the k-d trees of this process run the program's own serial instance of the search
// library's k-nearest query (meshbuilder/serial_search.cpp, linked into the programs) rather
// than the library's OpenMP one. Same results either way; the serial one is faster. Always
// false off Linux.
bool neighbour_search_is_programs_own();

// The whole reconstruction of n oriented points into out, with search_ahead_threads()
// helpers. before_run, when given, is called with context after the set-up and before the
// triangulation runs. progress, when given, follows the triangulation (it must start zeroed
// and outlive the call). With n = 0 the library
// is not called (it cannot handle an empty cloud) and the mesh has no triangle. Returns
// false, with a reason for the user and an empty record, when it cannot complete (out of
// memory or a library failure).
bool reconstruct_mesh(int32_t n, const float* positions, const float* normals, MeshRecord* out,
                      std::wstring* reason, void (*before_run)(void* context) = nullptr,
                      void* context = nullptr, ReconstructionProgress* progress = nullptr);
