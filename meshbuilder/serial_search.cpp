// The search library's k-nearest query, instantiated in the program without OpenMP.
//
// The installed k-d tree library runs every k-nearest query through FLANN's knnSearch, which
// it compiled with OpenMP: even for the one query and the one thread it is given, each call
// opens and closes a parallel region, and that costs two futex system calls per query. The
// triangulation asks one query per call, hundreds of thousands of times, and on a virtual
// machine, where a system call is dear, the region costs about a quarter of a query's time.
//
// This file instantiates that same function from the same installed FLANN header, compiled
// without OpenMP: the same loop over the one query, the same result set, the same arithmetic
// (no fused multiply-add, as in the library), so the same neighbours, order and distances.
// The executables that link this object export the instance, and the dynamic linker binds
// the library's virtual call to the executable's definition before its own, so the library's
// tree runs this serial instance. Nothing else changes; a program that does not link it gets
// the library's own instance and the same results, only slower (the benchmark's baseline of
// the library as shipped is such a program). neighbour_search_is_programs_own() tells which
// one a process uses.
#ifdef _OPENMP
#error "serial_search.cpp must be compiled without OpenMP: it exists to leave the region out"
#endif

#include <flann/algorithms/dist.h>
#include <flann/algorithms/nn_index.h>

template int flann::NNIndex<flann::L2_Simple<float>>::knnSearch(
    const flann::Matrix<float>& queries, flann::Matrix<size_t>& indices,
    flann::Matrix<float>& dists, size_t knn, const flann::SearchParams& params) const;
