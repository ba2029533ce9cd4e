// The match file: frame index, frame reading and link resolution.
#include "matchviewer/match_file.h"

#include <stdlib.h>
#include <string.h>
#include <wchar.h>

#include "common/count_words.h"
#include "common/little_endian.h"
#include "platform/crt.h"

static_assert(sizeof(FramePoint) == 32, "a point record is 32 bytes in memory");

namespace {

// NOTE: a hint only; compilers without it lose speed, not correctness.
#if defined(__GNUC__) || defined(__clang__)
#define PREFETCH_FOR_READ(address) __builtin_prefetch((address), 0)
#else
#define PREFETCH_FOR_READ(address) ((void)(address))
#endif

// How many records ahead the scattered reads of identifier resolution are announced.
const int32_t kPrefetchDistance = 24;

const int64_t kFirstBlock = 4096;
const int64_t kLargestBlock = 1 << 20;

// A signed 32-bit little-endian value at p.
inline int32_t get_i32(const unsigned char* p) {
    const uint32_t v = load_le32(p);
    int32_t value;
    memcpy(&value, &v, sizeof value);
    return value;
}

// A little-endian IEEE single at p.
inline float get_f32(const unsigned char* p) {
    const uint32_t v = load_le32(p);
    float value;
    memcpy(&value, &v, sizeof value);
    return value;
}

// The byte length of a seekable stream, or -1.
int64_t stream_size(FILE* file) {
    if (crt_seek64(file, 0, SEEK_END) != 0) return -1;
    return crt_tell64(file);
}

// Small reads at absolute positions of a stream, served from one block that is read
// sequentially. Reads are never needed twice, so no seek happens inside a block.
struct BlockReader {
    FILE* file;
    unsigned char* data;  // kLargestBlock bytes
    int64_t start;        // file position of data[0]
    int64_t length;       // valid bytes in data
    int64_t block;        // size of the last read
    bool at_end;          // the last read came back short: the file ends at start + length
    bool failed;          // the stream reported an error
};

// Reads the block that begins at pos.
void reader_fill(BlockReader& r, int64_t pos) {
    const int64_t end = r.start + r.length;
    // NOTE: a read that continues the last one (small frames) doubles the block up to 1 MiB;
    // a far jump (over the records of a big frame) starts again at 4 KiB, so indexing reads
    // little more than the tags and counts of big frames.
    if (pos >= r.start && pos - end <= r.block) {
        r.block = r.block * 2 < kLargestBlock ? r.block * 2 : kLargestBlock;
    } else {
        r.block = kFirstBlock;
    }
    r.start = pos;
    r.length = 0;
    if (crt_seek64(r.file, pos, SEEK_SET) != 0) {
        r.at_end = true;
        r.failed = true;
        return;
    }
    r.length = (int64_t)fread(r.data, 1, (size_t)r.block, r.file);
    r.at_end = r.length < r.block;
    if (r.at_end && ferror(r.file)) r.failed = true;
}

// Copies size bytes from file position pos into out; false when the file ends first.
inline bool reader_get(BlockReader& r, int64_t pos, int size, unsigned char* out) {
    if (pos < r.start || pos + size > r.start + r.length) {
        // NOTE: once a read has come back short at the end of the file, a request that
        // reaches behind that end cannot succeed either; skip the seek and the read.
        if (r.at_end && pos >= r.start) return false;
        reader_fill(r, pos);
        if (pos + size > r.start + r.length) return false;
    }
    memcpy(out, r.data + (pos - r.start), (size_t)size);
    return true;
}

// Appends one offset, growing the block geometrically; false when memory runs out.
bool append_offset(FrameIndex& index, int64_t offset) {
    if (index.count == index.capacity) {
        int64_t capacity = index.capacity ? (int64_t)index.capacity * 2 : 1024;
        if (capacity > INT32_MAX) capacity = INT32_MAX;
        void* grown = realloc(index.offsets, (size_t)capacity * sizeof(int64_t));
        if (!grown) return false;
        index.offsets = (int64_t*)grown;
        index.capacity = (int32_t)capacity;
    }
    index.offsets[index.count++] = offset;
    return true;
}

// Takes the frame just appended out of the index again and records why.
void refuse_last_frame(FrameIndex& index, IndexResult& result, IndexStop stop) {
    result.stop = stop;
    result.bad_frame = index.count;
    index.count -= 1;
}

// Checks a count of records of record_size bytes of the frame just appended: a negative
// count refuses the frame for negative, one whose bytes do not fit a signed 32-bit byte
// count for overflow. Returns true when the count is usable.
bool count_fits(FrameIndex& index, IndexResult& result, int32_t count, int32_t record_size,
                IndexStop negative, IndexStop overflow) {
    if (count < 0) {
        refuse_last_frame(index, result, negative);
        return false;
    }
    if (count > INT32_MAX / record_size) {
        refuse_last_frame(index, result, overflow);
        return false;
    }
    return true;
}

}  // namespace

// Walks the frames: tag, kind byte, W, W records, K, K records, as a stream would seek over
// them, but from large sequential blocks (a seek discards the stream's buffer).
IndexResult index_match_file(FILE* file, FrameIndex& index) {
    IndexResult result = {IndexStop::end_of_file, 0, false};
    index.count = 0;
    const int64_t size = stream_size(file);
    BlockReader r = {
        file, (unsigned char*)malloc((size_t)kLargestBlock), 0, 0, kFirstBlock / 2, false, false};
    if (!r.data) {
        result.stop = IndexStop::out_of_memory;
        return result;
    }
    unsigned char bytes[5];
    int64_t pos = 0;
    while (reader_get(r, pos, 4, bytes)) {
        if (index.count == INT32_MAX) {
            result.stop = IndexStop::too_many_frames;
            break;
        }
        if (!append_offset(index, pos + 4)) {
            result.stop = IndexStop::out_of_memory;
            break;
        }
        // NOTE: a frame whose tag is whole is counted even when the file ends inside it;
        // its counts are not used when they could not be read.
        if (!reader_get(r, pos + 4, 5, bytes)) {
            result.last_frame_cut = true;
            break;
        }
        const uint8_t kind = bytes[0];
        const int32_t world_count = get_i32(bytes + 1);
        if (!count_fits(index, result, world_count, world_record_size(kind),
                        IndexStop::negative_world_count, IndexStop::world_size_overflow)) {
            break;
        }
        pos += 9 + (int64_t)world_count * world_record_size(kind);
        if (!reader_get(r, pos, 4, bytes)) {
            result.last_frame_cut = true;
            break;
        }
        const int32_t match_count = get_i32(bytes);
        if (!count_fits(index, result, match_count, match_record_size(kind),
                        IndexStop::negative_match_count, IndexStop::match_size_overflow)) {
            break;
        }
        pos += 4 + (int64_t)match_count * match_record_size(kind);
        if (size >= 0 && pos > size) {
            // NOTE: the next tag read fails, so this is the last frame, and it is cut.
            result.last_frame_cut = true;
        }
    }
    if (r.failed && result.stop == IndexStop::end_of_file) result.stop = IndexStop::read_error;
    free(r.data);
    clearerr(file);
    crt_seek64(file, 0, SEEK_SET);
    return result;
}

void free_frame_index(FrameIndex& index) {
    free(index.offsets);
    index.offsets = nullptr;
    index.count = 0;
    index.capacity = 0;
}

const wchar_t* index_stop_text(IndexStop stop) {
    // NOTE: in the order of IndexStop.
    static const wchar_t* const texts[] = {
        L"",
        L"negative count of world points",
        L"negative count of match points",
        L"impossibly large count of world points",
        L"impossibly large count of match points",
        L"too many frames",
        L"out of memory",
        L"read error",
    };
    static_assert(sizeof texts / sizeof texts[0] == (size_t)IndexStop::read_error + 1,
                  "one text per stop");
    const size_t i = (size_t)stop;
    return i < sizeof texts / sizeof texts[0] ? texts[i] : L"";
}

int format_index_problem(const IndexResult& result, wchar_t* dest, int capacity) {
    if (capacity <= 0) return 0;
    dest[0] = 0;
    if (result.stop == IndexStop::end_of_file) return 0;
    int written;
    const int32_t kept = result.bad_frame > 0 ? result.bad_frame - 1 : 0;
    if (result.bad_frame > 0) {
        written = swprintf(dest, (size_t)capacity,
                           L"Frame %d is damaged (%ls); only the %d %ls before it can be "
                           L"shown.",
                           (int)result.bad_frame, index_stop_text(result.stop), (int)kept,
                           noun_for_count(kept, L"frame", L"frames"));
    } else {
        written = swprintf(dest, (size_t)capacity, L"The frame index is incomplete (%ls).",
                           index_stop_text(result.stop));
    }
    if (written < 0) {
        // NOTE: swprintf fails rather than truncates when the text does not fit.
        dest[0] = 0;
        return 0;
    }
    return written;
}

namespace {

// Records read and decoded at a time (at most 1 MiB): small enough that a chunk is still in
// the cache when it is decoded and linked, large enough that the read calls of a frame are
// few (each costs a system call or two, about as much as decoding 4096 records).
const int32_t kChunkRecords = 32768;

// Records of record_size bytes that fit into bytes_left, at most wanted.
int32_t records_available(int32_t wanted, int32_t record_size, int64_t bytes_left) {
    if (bytes_left <= 0) return 0;
    const int64_t whole = bytes_left / record_size;
    return whole < wanted ? (int32_t)whole : wanted;
}

// Grows a point array to exactly count records when it is smaller; false when out of memory.
bool grow_points(FramePoint*& points, int32_t& capacity, int32_t count) {
    if (count <= capacity) return true;
    if ((uint64_t)count * sizeof(FramePoint) > (uint64_t)SIZE_MAX) return false;
    void* grown = realloc(points, (size_t)count * sizeof(FramePoint));
    if (!grown) return false;
    points = (FramePoint*)grown;
    capacity = count;
    return true;
}

// The point record of a raw record at p: position and direction, then the link and the id
// when the record has them (else -1).
inline FramePoint decode_point(const unsigned char* p, bool has_link, bool has_id) {
    FramePoint q;
    q.position[0] = get_f32(p);
    q.position[1] = get_f32(p + 4);
    q.position[2] = get_f32(p + 8);
    q.direction[0] = get_f32(p + 12);
    q.direction[1] = get_f32(p + 16);
    q.direction[2] = get_f32(p + 20);
    q.link = has_link ? get_i32(p + 24) : -1;
    q.id = has_id ? get_i32(p + 28) : -1;
    return q;
}

// Reads up to count records of record_size bytes into points, chunk by chunk: each chunk
// is read raw into the place of its own records and decoded there by decode(first, n)
// while it is still in the cache. Returns the whole records read.
// NOTE: raw record first + i lies at i x record_size <= i x 32 from points + first, so a
// decoder walking from the last record of the chunk down never overwrites a raw record
// before it has read it.
template <typename Decode>
int32_t read_records(FILE* file, FramePoint* points, int32_t count, int32_t record_size,
                     Decode decode) {
    int32_t done = 0;
    while (done < count) {
        const int32_t wanted = count - done < kChunkRecords ? count - done : kChunkRecords;
        const size_t got = fread(points + done, 1, (size_t)wanted * record_size, file);
        const int32_t whole = (int32_t)(got / (size_t)record_size);
        decode(done, whole);
        done += whole;
        if (whole < wanted) break;
    }
    return done;
}

// Decodes n raw records of record_size bytes packed at points + first, last first.
void decode_chunk(FramePoint* points, int32_t first, int32_t n, int32_t record_size, bool has_link,
                  bool has_id) {
    const unsigned char* raw = (const unsigned char*)(points + first);
    for (int32_t i = n - 1; i >= 0; --i) {
        points[first + i] = decode_point(raw + (int64_t)i * record_size, has_link, has_id);
    }
}

// To-frame match records: decodes the chunk and clears increasing unless every identifier
// is above the one before it (the chunk before included).
void decode_chunk_with_ids(MatchPoint* match_points, int32_t first, int32_t n, bool& increasing) {
    decode_chunk(match_points, first, n, kLinkedIdRecordSize, true, true);
    for (int32_t i = first > 0 ? first : 1; i < first + n; ++i) {
        if (match_points[i - 1].id >= match_points[i].id) increasing = false;
    }
}

// To-world match points first .. first + n - 1 link their world points back to them: the
// position of the match point goes into last_match[world point]; the last match point in
// file order wins. Returns how many carry a link >= 0. A link outside 0..world_count-1
// becomes -1: still counted in M, but not usable as a position.
// NOTE: the stores land all over the world; into a compact array of 4 bytes a point they
// mostly hit the cache, where the 32-byte points themselves would miss.
int32_t link_back(int32_t* last_match, int32_t world_count, MatchPoint* match_points, int32_t first,
                  int32_t n) {
    int32_t matched = 0;
    for (int32_t i = first; i < first + n; ++i) {
        const int32_t link = match_points[i].link;
        if (link < 0) continue;
        matched += 1;
        if (link < world_count) {
            last_match[link] = i;
        } else {
            match_points[i].link = -1;
        }
    }
    return matched;
}

// To-world world records: decodes the chunk with each point's link from last_match.
void decode_chunk_linked(WorldPoint* world_points, int32_t first, int32_t n,
                         const int32_t* last_match) {
    const unsigned char* raw = (const unsigned char*)(world_points + first);
    for (int32_t i = n - 1; i >= 0; --i) {
        FramePoint q = decode_point(raw + (int64_t)i * kPlainRecordSize, false, false);
        q.link = last_match[first + i];
        world_points[first + i] = q;
    }
}

// The position of the match point with identifier id found by halving [0, count) with probe
// as the first position looked at, or -1.
inline int32_t halve_for_id(const MatchPoint* match_points, int32_t count, int32_t id,
                            int32_t probe) {
    int32_t lo = 0;
    int32_t hi = count;
    int32_t mid = probe;
    while (lo < hi) {
        const int32_t at = match_points[mid].id;
        if (id < at) {
            hi = mid;
        } else if (id > at) {
            lo = mid + 1;
        } else {
            return mid;
        }
        mid = lo + (hi - lo) / 2;
    }
    return -1;
}

// The position of the match point with identifier id found by halving [0, count), or -1.
// NOTE: with repeated identifiers the first one the halving reaches wins, not the first in
// the array.
int32_t find_match_by_id(const MatchPoint* match_points, int32_t count, int32_t id) {
    return halve_for_id(match_points, count, id, count / 2);
}

// Linear interpolation of where identifiers lie among count strictly increasing ones from
// first to last: position = (id - first) x scale / 2^32, in integers. The product cannot
// overflow: it is at most (last - first) x scale <= (count - 1) x 2^32 < 2^63.
struct IdGuess {
    int64_t first;
    int64_t last;
    uint64_t scale;
    int32_t count;
};

IdGuess id_guess(const MatchPoint* match_points, int32_t count) {
    IdGuess g = {match_points[0].id, match_points[count - 1].id, 0, count};
    if (g.last > g.first) {
        g.scale = ((uint64_t)(count - 1) << 32) / (uint64_t)(g.last - g.first);
    }
    return g;
}

inline int32_t guess_position(const IdGuess& g, int64_t id) {
    if (id <= g.first) return 0;
    if (id >= g.last) return g.count - 1;
    return (int32_t)(((uint64_t)(id - g.first) * g.scale) >> 32);
}

// The position of id among strictly increasing identifiers, or -1. With unique identifiers
// the halving of find_match_by_id can only end at this same position, so this gives the
// same answer. The first probe is guess, the interpolated position (identifiers are
// usually spread evenly, so it mostly hits); later rounds halve, so uneven identifiers
// cost at most one probe more than the halving.
int32_t find_increasing_id(const MatchPoint* match_points, const IdGuess& g, int32_t id,
                           int32_t guess) {
    if (id < g.first || id > g.last) return -1;
    return halve_for_id(match_points, g.count, id, guess);
}

// The match points of a to-frame frame, as identifier resolution sees them.
struct IdTable {
    const MatchPoint* match_points;
    int32_t count;
    bool increasing;  // identifiers strictly increase: the interpolated search applies
    IdGuess guess;
};

// The position of the match point with identifier id, or -1 (also when there is none).
inline int32_t find_id(const IdTable& t, int32_t id, int32_t guess) {
    if (t.count == 0) return -1;
    if (t.increasing) return find_increasing_id(t.match_points, t.guess, id, guess);
    return find_match_by_id(t.match_points, t.count, id);
}

// To-frame world records: decodes the chunk and turns each identifier into the position of
// the match point with that id; an identifier that no match point has becomes -1. Returns
// how many had an identifier >= 0, found or not.
int32_t decode_chunk_resolving(WorldPoint* world_points, int32_t first, int32_t n,
                               const IdTable& t) {
    const unsigned char* raw = (const unsigned char*)(world_points + first);
    const bool guessing = t.increasing && t.count > 0;
    int32_t matched = 0;
    // Position found for the world point after this one, or -1. World points often name
    // match points in the same order; then this point's match lies just before it.
    int32_t found_after = -1;
    bool in_order = false;  // the last identifier was found by that shortcut
    for (int32_t i = n - 1; i >= 0; --i) {
        if (guessing && !in_order && i >= kPrefetchDistance) {
            // NOTE: the first probe for a later world point is known now; fetching it
            // early overlaps the cache misses of scattered identifiers.
            const int32_t ahead = i - kPrefetchDistance;
            const int32_t guess =
                guess_position(t.guess, get_i32(raw + ahead * kLinkedRecordSize + 24));
            PREFETCH_FOR_READ(&t.match_points[guess]);
        }
        FramePoint q = decode_point(raw + i * kLinkedRecordSize, true, false);
        if (q.link >= 0) {
            matched += 1;
            // NOTE: with strictly increasing identifiers a match is the only one with its
            // id, so the shortcut gives what the search would.
            in_order = guessing && found_after > 0 && t.match_points[found_after - 1].id == q.link;
            if (in_order) {
                q.link = found_after - 1;
            } else {
                q.link = find_id(t, q.link, guessing ? guess_position(t.guess, q.link) : 0);
            }
            found_after = q.link;
        } else {
            found_after = -1;
            in_order = false;
        }
        world_points[first + i] = q;
    }
    return matched;
}

// Reads K at the stream's position and then the match records, at most as many as the
// bytes left allow, decoding each chunk with decode. Sets cut when K is unreadable or
// negative or records are missing; returns the match points read, or -1 when the array
// cannot grow.
template <typename Decode>
int32_t read_match_part(FILE* file, int64_t bytes_left, int32_t record_size,
                        MatchPoint*& match_points, int32_t& match_capacity, bool& cut,
                        Decode decode) {
    unsigned char count[4];
    const int32_t declared =
        fread(count, 1, sizeof count, file) == sizeof count ? get_i32(count) : -1;
    if (declared < 0) {
        cut = true;
        return 0;
    }
    int32_t k = records_available(declared, record_size, bytes_left - 4);
    if (!grow_points(match_points, match_capacity, k)) return -1;
    k = read_records(file, match_points, k, record_size, decode);
    if (k < declared) cut = true;
    return k;
}

// A block of int32_t that only grows, kept by its thread from frame to frame.
struct GrowingTable {
    int32_t* values = nullptr;
    int32_t capacity = 0;
    ~GrowingTable() { free(values); }
};

// The table of at least count entries (at least one) in which a to-world frame notes each
// world point's last match point, or null when it cannot grow.
// NOTE: kept between frames: a fresh block of megabytes a frame costs a page fault per 4 KiB
// each time it is first written, as much as the reading itself.
int32_t* last_match_table(int32_t count) {
    thread_local GrowingTable table;
    if (count < 1) count = 1;
    if (count > table.capacity) {
        // NOTE: nothing of the last frame is kept, so the old block need not be copied.
        free(table.values);
        table.values = (int32_t*)malloc((size_t)count * sizeof(int32_t));
        table.capacity = table.values ? count : 0;
        if (!table.values) return nullptr;
    }
    return table.values;
}

// A to-world frame from its world records on. The match points are read first (they lie
// behind the world records) and noted per world point in a compact array, so that each
// chunk of world points takes its links while it is in the cache.
void read_to_world(FILE* file, int64_t world_start, int64_t size, int32_t w,
                   WorldPoint*& world_points, MatchPoint*& match_points, int32_t& match_capacity,
                   FrameRead& frame) {
    int32_t* last_match = last_match_table(w);
    if (!last_match) {
        frame.out_of_memory = true;
        return;
    }
    for (int32_t j = 0; j < w; ++j) last_match[j] = -1;
    int32_t k = 0;
    const int64_t match_start = world_start + (int64_t)w * kPlainRecordSize;
    // NOTE: a frame whose world records are missing shows those it has, and no match points.
    if (!frame.cut_short && crt_seek64(file, match_start, SEEK_SET) != 0) {
        frame.cut_short = true;
    } else if (!frame.cut_short) {
        MatchPoint*& m = match_points;
        k = read_match_part(file, size - match_start, kLinkedRecordSize, match_points,
                            match_capacity, frame.cut_short, [&](int32_t first, int32_t n) {
                                decode_chunk(m, first, n, kLinkedRecordSize, true, false);
                                frame.matched += link_back(last_match, w, m, first, n);
                            });
        if (k < 0) {
            frame.matched = 0;
            frame.out_of_memory = true;
            return;
        }
    }
    WorldPoint* world = world_points;
    int32_t read = 0;
    if (crt_seek64(file, world_start, SEEK_SET) == 0) {
        read = read_records(file, world, w, kPlainRecordSize, [&](int32_t first, int32_t n) {
            decode_chunk_linked(world, first, n, last_match);
        });
    }
    frame.world_count = read;
    frame.match_count = k;
    if (read < w) {
        // NOTE: as when the world records end early: no match points, so no links either.
        frame.cut_short = true;
        frame.match_count = 0;
        frame.matched = 0;
        for (int32_t j = 0; j < read; ++j) world[j].link = -1;
    }
}

// A to-frame frame from its world records on. The match points are read first (they lie
// behind the world records), so that each chunk of world points resolves its identifiers
// while it is in the cache.
void read_to_frame(FILE* file, int64_t world_start, int64_t size, int32_t w,
                   WorldPoint*& world_points, MatchPoint*& match_points, int32_t& match_capacity,
                   FrameRead& frame) {
    int32_t k = 0;
    bool increasing = true;
    const int64_t match_start = world_start + (int64_t)w * kLinkedRecordSize;
    if (!frame.cut_short && crt_seek64(file, match_start, SEEK_SET) == 0) {
        MatchPoint*& m = match_points;
        k = read_match_part(file, size - match_start, kLinkedIdRecordSize, match_points,
                            match_capacity, frame.cut_short, [&](int32_t first, int32_t n) {
                                decode_chunk_with_ids(m, first, n, increasing);
                            });
        if (k < 0) {
            frame.out_of_memory = true;
            return;
        }
    }
    if (crt_seek64(file, world_start, SEEK_SET) != 0) {
        frame.cut_short = true;
        return;
    }
    IdTable table = {match_points, k, increasing, IdGuess{0, 0, 0, 0}};
    if (k > 0 && increasing) table.guess = id_guess(match_points, k);
    WorldPoint* world = world_points;
    const int32_t read =
        read_records(file, world, w, kLinkedRecordSize, [&](int32_t first, int32_t n) {
            frame.matched += decode_chunk_resolving(world, first, n, table);
        });
    if (read < w) frame.cut_short = true;
    frame.world_count = read;
    frame.match_count = k;
}

}  // namespace

// Seeks to the kind byte, reads W, and then the records in large chunks, each decoded in
// place while it is in the cache. Counts are checked against the bytes left in the file
// before anything is allocated.
FrameRead read_frame(FILE* file, int64_t offset, WorldPoint*& world_points, int32_t& world_capacity,
                     MatchPoint*& match_points, int32_t& match_capacity) {
    FrameRead frame = {0, 0, 0, 1, false, false};
    const int64_t size = stream_size(file);
    unsigned char head[5];
    size_t got = 0;
    if (size >= 0 && offset >= 0 && crt_seek64(file, offset, SEEK_SET) == 0) {
        got = fread(head, 1, sizeof head, file);
    }
    if (got >= 1) frame.links_to_world = head[0] == 0 ? 1 : 0;
    const int32_t declared_world = got == sizeof head ? get_i32(head + 1) : -1;
    if (declared_world < 0) {
        frame.cut_short = true;
    } else {
        const int64_t world_start = offset + 5;
        const int32_t w =
            records_available(declared_world, world_record_size(head[0]), size - world_start);
        frame.cut_short = w < declared_world;
        if (!grow_points(world_points, world_capacity, w)) {
            frame.out_of_memory = true;
        } else if (head[0] == 0) {
            read_to_world(file, world_start, size, w, world_points, match_points, match_capacity,
                          frame);
        } else {
            read_to_frame(file, world_start, size, w, world_points, match_points, match_capacity,
                          frame);
        }
    }
    clearerr(file);
    return frame;
}
