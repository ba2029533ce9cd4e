#include "meshbuilder/reconstruction_internal.h"

#include <stdlib.h>
#include <string.h>
#ifdef __linux__
#include <dlfcn.h>
#endif

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <exception>
#include <memory>
#include <mutex>
#include <new>
#include <system_error>
#include <thread>

namespace {

using Tree = pcl::search::KdTree<pcl::PointNormal>;

// Rows kept ready at most; the oldest is dropped for a new one. Memory: this many rows of k
// indices, whatever the size of the cloud.
const int kRingRows = 4096;
// Point indices waiting for a helper at most; further predictions are not queued.
const int kPendingCapacity = 8192;
// The closest neighbours of each row asked for whose rows are predicted to be asked soon.
const int kPredictedNeighbours = 12;

// How long a helper out of work watches for more before it sleeps.
const std::chrono::microseconds kWatchBeforeSleep(200);

// Queries between two looks at the clock for a progress sample.
const int kQueriesPerClockCheck = 256;
// The least time between two progress samples, and how many times its own cost a sample
// waits at least before the next, so that sampling takes at most about 1 % of the run.
const std::chrono::milliseconds kLeastSampleInterval(250);
const int kSampleCostFactor = 100;

// A point's place in the bookkeeping: a ring slot (0 or more) or one of these.
const int32_t kNotPredicted = -1;  // neither queued nor asked yet
const int32_t kQueued = -2;        // waiting for a helper, or being computed by one
const int32_t kPassed = -3;        // asked for, or its row dropped: never queued again

// The squared distance of two points exactly as the library's search computes it: in float,
// the squared differences of x, y and z summed in that order. NOTE: this file is compiled
// without floating-point contraction, so no fused multiply-add changes the last bit.
float squared_distance(const pcl::PointNormal& a, const pcl::PointNormal& b) {
    const float dx = a.x - b.x, dy = a.y - b.y, dz = a.z - b.z;
    float sum = dx * dx;
    sum += dy * dy;
    sum += dz * dz;
    return sum;
}

// The shared state of the caller and the helpers, behind one lock.
struct AheadState {
    std::mutex lock;
    std::condition_variable work_ready;  // helpers wait here for pending points
    std::condition_variable idle;        // wait_for_helpers waits here for an empty queue
    // NOTE: atomic so that a helper watching for work sees it without the lock; written
    // under the lock like the rest.
    std::atomic<bool> stopping{false};
    int live_helpers = 0;
    int busy_helpers = 0;
    int k = 0;                          // the row length asked for, fixed by the first query
    std::vector<int32_t> place;         // per query index: its slot or a state above
    std::vector<int32_t> pending;       // circular FIFO of query indices
    size_t pending_first = 0, pending_count = 0;
    // pending_count as last written under the lock, for a helper that watches it without the
    // lock before it goes to sleep.
    std::atomic<size_t> pending_seen{0};
    std::vector<pcl::index_t> rows;     // kRingRows rows of k indices
    std::vector<int32_t> row_length;    // per slot
    std::vector<int32_t> row_owner;     // per slot: its query index, or -1
    int32_t next_slot = 0;
    SearchAheadCounts counts{};
};

// The points of a triangulation that have left the library's free state.
int64_t count_points_reached(const GreedyTriangulation& triangulator) {
    const std::vector<int> states = triangulator.getPointStates();
    return (int64_t)std::count_if(states.begin(), states.end(),
                                  [](int state) { return state != GreedyTriangulation::FREE; });
}

// The library's sorted k-d tree whose neighbour query by index serves rows that helper
// threads compute ahead from the same tree: every row is what the tree itself answers for
// that query, and a row not ready is computed on the caller's thread.
class SearchAheadTree : public Tree {
public:
    SearchAheadTree(const SearchAhead& ahead, const GreedyTriangulation* watched)
        : Tree(true), ahead_(ahead), watched_(watched) {}
    ~SearchAheadTree() override { stop_helpers(); }

    using Tree::nearestKSearch;

    void setInputCloud(const PointCloudConstPtr& cloud,
                       const IndicesConstPtr& indices = IndicesConstPtr()) override {
        stop_helpers();
        Tree::setInputCloud(cloud, indices);
    }

    int nearestKSearch(pcl::index_t index, int k, pcl::Indices& k_indices,
                       std::vector<float>& k_sqr_distances) const override;

    // Ends the helper threads and keeps what they did in counts().
    void stop_helpers() const;

    SearchAheadCounts counts() const {
        return state_ ? state_->counts : SearchAheadCounts{};
    }

private:
    size_t query_count() const { return indices_ ? indices_->size() : input_->size(); }
    const pcl::PointNormal& query_point(pcl::index_t index) const {
        return (*input_)[indices_ ? (size_t)(*indices_)[(size_t)index] : (size_t)index];
    }
    void start_helpers(int k) const;
    void helper_loop() const;
    int queue_neighbours(pcl::index_t index, const pcl::Indices& row) const;
    void wake_helpers(int queued) const;
    void wait_until_idle(std::unique_lock<std::mutex>& held) const;
    void note_progress() const;

    const SearchAhead ahead_;
    const GreedyTriangulation* const watched_;  // null: no points-reached samples
    // Progress sampling, on the triangulation's thread only.
    mutable int queries_until_clock_check_ = 0;
    mutable std::chrono::steady_clock::time_point next_sample_{};
    // NOTE: the library's query is const; the bookkeeping behind it changes all the same.
    mutable std::unique_ptr<AheadState> state_;
    mutable std::vector<std::thread> helpers_;
};

// Makes the bookkeeping for rows of k and starts the helpers.
void SearchAheadTree::start_helpers(int k) const {
    state_.reset(new AheadState);
    AheadState& s = *state_;
    s.k = k;
    s.place.assign(query_count(), kNotPredicted);
    s.pending.resize(kPendingCapacity);
    s.rows.resize((size_t)kRingRows * (size_t)k);
    s.row_length.assign(kRingRows, 0);
    s.row_owner.assign(kRingRows, -1);
    helpers_.reserve((size_t)ahead_.helper_threads);
    for (int h = 0; h < ahead_.helper_threads; ++h) {
        {
            std::lock_guard<std::mutex> held(s.lock);
            ++s.live_helpers;
        }
        try {
            helpers_.emplace_back([this] { helper_loop(); });
        } catch (const std::system_error&) {
            std::lock_guard<std::mutex> held(s.lock);
            --s.live_helpers;
            break;  // run with the helpers that started
        }
    }
}

void SearchAheadTree::stop_helpers() const {
    if (state_) {
        std::lock_guard<std::mutex> held(state_->lock);
        state_->stopping = true;
    }
    if (state_) state_->work_ready.notify_all();
    for (std::thread& helper : helpers_) helper.join();
    helpers_.clear();
}

// Before a helper sleeps, it watches for new work for a short while: the triangulation asks
// for a row every few tens of microseconds, and waking a sleeping thread costs the asking
// thread a system call and the helper a late start.
void watch_for_work(const AheadState& s) {
    const auto until = std::chrono::steady_clock::now() + kWatchBeforeSleep;
    while (s.pending_seen.load(std::memory_order_relaxed) == 0 &&
           !s.stopping.load(std::memory_order_relaxed) &&
           std::chrono::steady_clock::now() < until) {
#if defined(__x86_64__) || defined(__i386__)
        __builtin_ia32_pause();
#endif
    }
}

// A helper: takes the oldest pending query, computes its row with the tree's own query and
// puts it into the next ring slot, unless the caller has asked for it meanwhile.
void SearchAheadTree::helper_loop() const {
    AheadState& s = *state_;
    pcl::Indices row;
    std::vector<float> distances;
    std::unique_lock<std::mutex> held(s.lock);
    while (true) {
        if (s.pending_count == 0 && s.busy_helpers == 0) s.idle.notify_all();
        if (s.pending_count == 0 && !s.stopping) {
            held.unlock();
            watch_for_work(s);
            held.lock();
        }
        s.work_ready.wait(held, [&] { return s.stopping || s.pending_count > 0; });
        if (s.stopping) break;
        const int32_t index = s.pending[s.pending_first];
        s.pending_first = (s.pending_first + 1) % s.pending.size();
        --s.pending_count;
        s.pending_seen.store(s.pending_count, std::memory_order_relaxed);
        if (s.place[(size_t)index] != kQueued) continue;
        ++s.busy_helpers;
        held.unlock();
        bool computed = true;
        try {
            Tree::nearestKSearch(index, s.k, row, distances);
        } catch (const std::exception&) {
            computed = false;  // the caller computes what a helper cannot
        }
        held.lock();
        --s.busy_helpers;
        if (!computed) break;
        ++s.counts.rows_computed;
        if (s.place[(size_t)index] == kQueued && row.size() <= (size_t)s.k) {
            const int32_t slot = s.next_slot;
            s.next_slot = (s.next_slot + 1) % kRingRows;
            const int32_t dropped = s.row_owner[(size_t)slot];
            if (dropped >= 0) s.place[(size_t)dropped] = kPassed;
            std::copy(row.begin(), row.end(), s.rows.begin() + (ptrdiff_t)slot * s.k);
            s.row_length[(size_t)slot] = (int32_t)row.size();
            s.row_owner[(size_t)slot] = index;
            s.place[(size_t)index] = slot;
        }
    }
    --s.live_helpers;
    s.idle.notify_all();
}

void SearchAheadTree::wait_until_idle(std::unique_lock<std::mutex>& held) const {
    AheadState& s = *state_;
    s.idle.wait(held, [&] {
        return s.live_helpers == 0 || (s.pending_count == 0 && s.busy_helpers == 0);
    });
}

// Queues the closest neighbours of a row just asked for that nobody has queued or asked,
// with the lock held; returns how many were queued.
int SearchAheadTree::queue_neighbours(pcl::index_t index, const pcl::Indices& row) const {
    AheadState& s = *state_;
    if (s.live_helpers == 0) return 0;
    int queued = 0;
    const size_t closest = std::min(row.size(), (size_t)kPredictedNeighbours + 1);
    for (size_t m = 0; m < closest && s.pending_count < s.pending.size(); ++m) {
        const pcl::index_t neighbour = row[m];
        if (neighbour == index || neighbour < 0 || (size_t)neighbour >= s.place.size()) continue;
        if (s.place[(size_t)neighbour] != kNotPredicted) continue;
        s.place[(size_t)neighbour] = kQueued;
        s.pending[(s.pending_first + s.pending_count) % s.pending.size()] = neighbour;
        ++s.pending_count;
        ++queued;
    }
    s.pending_seen.store(s.pending_count, std::memory_order_relaxed);
    return queued;
}

// Wakes as many helpers as rows were queued.
void SearchAheadTree::wake_helpers(int queued) const {
    if (queued == 1) state_->work_ready.notify_one();
    if (queued > 1) state_->work_ready.notify_all();
}

// Counts the row asked for and, when a sample is due, how many points the triangulation has
// reached. NOTE: this runs on the triangulation's own thread, inside its query, so the
// library's point states are read while nothing changes them; they are copied whole (the
// library hands out no other view), which is why samples are spaced by their own cost.
void SearchAheadTree::note_progress() const {
    ReconstructionProgress* progress = ahead_.progress;
    progress->rows_asked.fetch_add(1, std::memory_order_relaxed);
    if (!watched_ || --queries_until_clock_check_ > 0) return;
    queries_until_clock_check_ = kQueriesPerClockCheck;
    const auto now = std::chrono::steady_clock::now();
    if (now < next_sample_) return;
    try {
        progress->points_reached.store(count_points_reached(*watched_),
                                       std::memory_order_relaxed);
    } catch (const std::bad_alloc&) {
        // NOTE: no memory for the copy: the display keeps its last sample, the work goes on.
    }
    const auto cost = std::chrono::steady_clock::now() - now;
    next_sample_ = now + std::max<std::chrono::steady_clock::duration>(kLeastSampleInterval,
                                                                      cost * kSampleCostFactor);
}

int SearchAheadTree::nearestKSearch(pcl::index_t index, int k, pcl::Indices& k_indices,
                                    std::vector<float>& k_sqr_distances) const {
    if (ahead_.progress) note_progress();
    if (!input_ || index < 0 || (size_t)index >= query_count() || k <= 0)
        return Tree::nearestKSearch(index, k, k_indices, k_sqr_distances);
    if (!state_) start_helpers(k);
    AheadState& s = *state_;
    std::unique_lock<std::mutex> held(s.lock);
    if (ahead_.wait_for_helpers) wait_until_idle(held);
    ++s.counts.rows_asked;
    const int32_t slot = s.place[(size_t)index];
    s.place[(size_t)index] = kPassed;
    if (slot < 0 || k != s.k) {
        held.unlock();
        const int found = Tree::nearestKSearch(index, k, k_indices, k_sqr_distances);
        if (k == s.k) {
            held.lock();
            const int queued = queue_neighbours(index, k_indices);
            held.unlock();
            wake_helpers(queued);
        }
        return found;
    }
    ++s.counts.rows_served;
    const pcl::index_t* row = s.rows.data() + (ptrdiff_t)slot * s.k;
    k_indices.assign(row, row + s.row_length[(size_t)slot]);
    s.row_owner[(size_t)slot] = -1;
    const int queued = queue_neighbours(index, k_indices);
    held.unlock();
    wake_helpers(queued);
    const pcl::PointNormal& query = query_point(index);
    k_sqr_distances.resize(k_indices.size());
    for (size_t m = 0; m < k_indices.size(); ++m)
        k_sqr_distances[m] = squared_distance(query, (*input_)[(size_t)k_indices[m]]);
    return (int)k_indices.size();
}

}  // namespace

bool neighbour_search_is_programs_own() {
#ifdef __linux__
    // The mangled name of flann::NNIndex<flann::L2_Simple<float>>::knnSearch for a matrix of
    // queries and matrices of size_t indices and float distances, the one the tree calls.
    const char* const name =
        "_ZNK5flann7NNIndexINS_9L2_SimpleIfEEE9knnSearchERKNS_6MatrixIfEERNS4_ImEERS5_mRKNS_"
        "12SearchParamsE";
    void* search = dlsym(RTLD_DEFAULT, name);
    Dl_info search_home, program_home;
    return search && dladdr(search, &search_home) &&
           dladdr((void*)&neighbour_search_is_programs_own, &program_home) &&
           search_home.dli_fbase == program_home.dli_fbase;
#else
    return false;
#endif
}

int search_ahead_threads() {
    const unsigned cores = std::thread::hardware_concurrency();
    return cores > 1 ? (int)std::min(cores - 1, 7u) : 0;
}

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

void set_greedy_parameters(GreedyTriangulation& triangulator) {
    triangulator.setSearchRadius(kSearchRadius);
    triangulator.setMu(kMu);
    triangulator.setMaximumNearestNeighbors(kMaximumNearestNeighbors);
    triangulator.setMaximumSurfaceAngle(kMaximumSurfaceAngle);
    triangulator.setMinimumAngle(kMinimumAngle);
    triangulator.setMaximumAngle(kMaximumAngle);
    triangulator.setNormalConsistency(kNormalConsistency);
}

Tree::Ptr make_search_tree(const SearchAhead& ahead, const GreedyTriangulation* watched) {
    if (ahead.helper_threads > 0 || ahead.progress)
        return Tree::Ptr(new SearchAheadTree(ahead, ahead.progress ? watched : nullptr));
    return Tree::Ptr(new Tree(true));
}

SearchAheadCounts finish_search_ahead(const Tree& tree) {
    const SearchAheadTree* ahead = dynamic_cast<const SearchAheadTree*>(&tree);
    if (!ahead) return SearchAheadCounts{};
    ahead->stop_helpers();
    return ahead->counts();
}

void prepare_reconstruction(int32_t n, const float* positions, const float* normals,
                            const SearchAhead& ahead, GreedySetup* setup) {
    setup->cloud.reset(new pcl::PointCloud<pcl::PointNormal>);
    fill_cloud(n, positions, normals, *setup->cloud);
    setup->progress = ahead.progress;
    setup->tree = make_search_tree(ahead, &setup->triangulator);
    set_greedy_parameters(setup->triangulator);
}

void run_reconstruction(GreedySetup* setup) {
    // NOTE: the cloud is not given to the tree here; reconstruct does that itself.
    setup->triangulator.setSearchMethod(setup->tree);
    setup->triangulator.setInputCloud(setup->cloud);
    setup->triangulator.reconstruct(setup->mesh);
    setup->counts = finish_search_ahead(*setup->tree);
    if (setup->progress)
        setup->progress->points_reached.store(count_points_reached(setup->triangulator));
}

bool fill_mesh_record(int32_t n, const float* positions, const std::vector<pcl::Vertices>& polygons,
                      MeshRecord* out, std::wstring* reason) {
    *out = MeshRecord{};
    if (polygons.size() > (size_t)INT32_MAX / 3) {
        *reason = L"The reconstruction found more triangles than a mesh can hold.";
        return false;
    }
    const int32_t triangles = (int32_t)polygons.size();
    const size_t vertex_bytes = 12 * (size_t)n;
    const size_t index_bytes = 12 * (size_t)triangles;
    void* vertex_block;
    void* index_block;
    if (!allocate_two_blocks(vertex_bytes, index_bytes, &vertex_block, &index_block)) {
        *reason = L"There is not enough memory for the reconstructed mesh.";
        return false;
    }
    float* vertices = (float*)vertex_block;
    int32_t* indices = (int32_t*)index_block;
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
                      std::wstring* reason, void (*before_run)(void* context), void* context,
                      ReconstructionProgress* progress) {
    *out = MeshRecord{};
    try {
        GreedySetup setup;
        if (n > 0)
            prepare_reconstruction(n, positions, normals,
                                   SearchAhead{search_ahead_threads(), false, progress}, &setup);
        if (before_run) before_run(context);
        if (n > 0) run_reconstruction(&setup);
        if (progress) progress->triangulated = true;
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
