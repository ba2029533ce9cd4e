// The match file: frame index, frame reading and link resolution.
#include "matchviewer/match_file.h"

#include <stddef.h>
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
#define PREFETCH_FOR_WRITE(address) __builtin_prefetch((address), 1)
#else
#define PREFETCH_FOR_READ(address) ((void)(address))
#define PREFETCH_FOR_WRITE(address) ((void)(address))
#endif

// How many records ahead the scattered accesses of link resolution are announced.
const int32_t kPrefetchDistance = 64;

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

// Records read and decoded at a time (at most 512 KiB of raw records): the raw chunk stays in
// the core's own cache from the read to the decoding, and the read calls of a frame stay few
// (each costs a system call, about as much as decoding a few thousand records).
const int32_t kChunkRecords = 16384;

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

// A malloc block that only grows, kept by its thread from frame to frame.
// NOTE: a fresh block of megabytes a frame costs a page fault per 4 KiB each time it is first
// written, as much as the reading itself.
struct KeptBlock {
    void* data = nullptr;
    size_t size = 0;
    ~KeptBlock() { free(data); }
};

// At least count values of value_size bytes (at least one) in block, or null when it cannot
// grow. Nothing of the block's earlier use is kept.
void* grow_kept(KeptBlock& block, int32_t count, size_t value_size) {
    const size_t size = (count > 1 ? (size_t)count : 1) * value_size;
    if (size > block.size) {
        free(block.data);
        block.data = malloc(size);
        block.size = block.data ? size : 0;
    }
    return block.data;
}

// The thread's buffer for one chunk of raw records.
unsigned char* chunk_buffer() {
    thread_local KeptBlock block;
    return (unsigned char*)grow_kept(block, kChunkRecords, kLinkedIdRecordSize);
}

// The table in which a to-world frame notes each of its count world points' last match point.
int32_t* last_match_table(int32_t count) {
    thread_local KeptBlock block;
    return (int32_t*)grow_kept(block, count, sizeof(int32_t));
}

// The identifiers of a to-frame frame's count match points, packed: the searches of
// identifier resolution touch 4 bytes a probe instead of a whole point record.
int32_t* id_table(int32_t count) {
    thread_local KeptBlock block;
    return (int32_t*)grow_kept(block, count, sizeof(int32_t));
}

// Reads up to count records of record_size bytes from file position start on, chunk by
// chunk, into chunk and hands each to decode(raw, first, n) while it is still in the cache:
// raw holds records first .. first + n - 1. Returns the whole records read.
template <typename Decode>
int32_t read_records(FILE* file, int64_t start, unsigned char* chunk, int32_t count,
                     int32_t record_size, Decode decode) {
    int32_t done = 0;
    while (done < count) {
        const int32_t wanted = count - done < kChunkRecords ? count - done : kChunkRecords;
        const size_t got = crt_read_at(file, chunk, (size_t)wanted * record_size,
                                       start + (int64_t)done * record_size);
        const int32_t whole = (int32_t)(got / (size_t)record_size);
        decode(chunk, done, whole);
        done += whole;
        if (whole < wanted) break;
    }
    return done;
}

static_assert(offsetof(FramePoint, direction) == offsetof(FramePoint, position) + 12,
              "position and direction lie one after the other, as in a record");

// Decodes the position and direction of the raw record at p into q.
inline void decode_position(FramePoint& q, const unsigned char* p) {
    if (kHostIsLittleEndian) {
        // NOTE: one copy of the six singles; the compiler cannot join the field stores
        // itself, since the output may overlap the raw bytes as far as it knows.
        memcpy(q.position, p, 6 * sizeof(float));
        return;
    }
    q.position[0] = get_f32(p);
    q.position[1] = get_f32(p + 4);
    q.position[2] = get_f32(p + 8);
    q.direction[0] = get_f32(p + 12);
    q.direction[1] = get_f32(p + 16);
    q.direction[2] = get_f32(p + 20);
}

// Decodes the raw record at p into q with the given link and no identifier.
inline void decode_with_link(FramePoint& q, const unsigned char* p, int32_t link) {
    decode_position(q, p);
    q.link = link;
    q.id = -1;
}

// To-frame match records: decodes n raw records into match_points + first, notes their
// identifiers in ids and clears increasing unless every identifier is above the one before
// it (the chunk before included).
void decode_matches_with_ids(MatchPoint* match_points, int32_t* ids, const unsigned char* raw,
                             int32_t first, int32_t n, bool& increasing) {
    int32_t before = first > 0 ? ids[first - 1] : 0;
    bool rising = true;
    for (int32_t i = 0; i < n; ++i) {
        const unsigned char* p = raw + (int64_t)i * kLinkedIdRecordSize;
        const int32_t id = get_i32(p + 28);
        MatchPoint& q = match_points[first + i];
        decode_position(q, p);
        q.link = get_i32(p + 24);
        q.id = id;
        ids[first + i] = id;
        rising &= first + i == 0 || id > before;
        before = id;
    }
    if (!rising) increasing = false;
}

// To-world match records: decodes n raw records into match_points + first and links their
// world points back to them: the position of the match point goes into last_match[world
// point]; the last match point in file order wins. Returns how many carry a link >= 0. A link
// outside 0..world_count-1 becomes -1: still counted in M, but not usable as a position.
// NOTE: the stores land all over the world; into a compact array of 4 bytes a point they
// mostly hit the cache, where the 32-byte points themselves would miss, and the place of a
// later one is fetched early.
int32_t decode_matches_linking_back(MatchPoint* match_points, int32_t* last_match,
                                    int32_t world_count, const unsigned char* raw, int32_t first,
                                    int32_t n) {
    int32_t matched = 0;
    for (int32_t i = 0; i < n; ++i) {
        const unsigned char* p = raw + (int64_t)i * kLinkedRecordSize;
        if (i + kPrefetchDistance < n) {
            const uint32_t ahead =
                (uint32_t)get_i32(p + kPrefetchDistance * kLinkedRecordSize + 24);
            if (ahead < (uint32_t)world_count) PREFETCH_FOR_WRITE(&last_match[ahead]);
        }
        int32_t link = get_i32(p + 24);
        if (link >= 0) {
            matched += 1;
            if (link < world_count) {
                last_match[link] = first + i;
            } else {
                link = -1;
            }
        }
        decode_with_link(match_points[first + i], p, link);
    }
    return matched;
}

// To-world world records: decodes n raw records into world_points + first with each point's
// link from last_match.
void decode_world_linked(WorldPoint* world_points, const int32_t* last_match,
                         const unsigned char* raw, int32_t first, int32_t n) {
    for (int32_t i = 0; i < n; ++i) {
        decode_with_link(world_points[first + i], raw + (int64_t)i * kPlainRecordSize,
                         last_match[first + i]);
    }
}

// The position of identifier id found by halving [0, count) of ids with probe as the first
// position looked at, or -1.
inline int32_t halve_for_id(const int32_t* ids, int32_t count, int32_t id, int32_t probe) {
    int32_t lo = 0;
    int32_t hi = count;
    int32_t mid = probe;
    while (lo < hi) {
        const int32_t at = ids[mid];
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

// Linear interpolation of where identifiers lie among count strictly increasing ones from
// first to last: position = (id - first) x scale / 2^32, in integers. The product cannot
// overflow: it is at most (last - first) x scale <= (count - 1) x 2^32 < 2^63.
struct IdGuess {
    int64_t first;
    int64_t last;
    uint64_t scale;
};

IdGuess id_guess(const int32_t* ids, int32_t count) {
    IdGuess g = {ids[0], ids[count - 1], 0};
    if (g.last > g.first) g.scale = ((uint64_t)(count - 1) << 32) / (uint64_t)(g.last - g.first);
    return g;
}

inline int32_t guess_position(const IdGuess& g, int32_t count, int64_t id) {
    if (id <= g.first) return 0;
    if (id >= g.last) return count - 1;
    return (int32_t)(((uint64_t)(id - g.first) * g.scale) >> 32);
}

// The match points of a to-frame frame, as identifier resolution sees them.
struct IdTable {
    const int32_t* ids;
    int32_t count;
    bool increasing;  // identifiers strictly increase: the interpolated search applies
    IdGuess guess;
};

// The position of the match point with identifier id, or -1 (also when there is none).
// With repeated identifiers the first one the halving of [0, count) reaches wins, not the
// first in the array. With strictly increasing identifiers the first probe is the
// interpolated position (identifiers are usually spread evenly, so it mostly hits) and later
// rounds halve: an id is in one place only, so any halving order finds the same position,
// and uneven identifiers cost at most one probe more.
inline int32_t find_id(const IdTable& t, int32_t id) {
    if (t.count == 0) return -1;
    if (!t.increasing) return halve_for_id(t.ids, t.count, id, t.count / 2);
    if (id < t.guess.first || id > t.guess.last) return -1;
    return halve_for_id(t.ids, t.count, id, guess_position(t.guess, t.count, id));
}

// To-frame world records: decodes n raw records into world_points + first and turns each
// identifier into the position of the match point with that id; an identifier that no match
// point has becomes -1. Returns how many had an identifier >= 0, found or not.
int32_t decode_world_resolving(WorldPoint* world_points, const IdTable& t, const unsigned char* raw,
                               int32_t first, int32_t n) {
    const bool guessing = t.increasing && t.count > 0;
    int32_t matched = 0;
    // Position found for the world point before this one, or -1. World points often name
    // match points in the same order; then this point's match lies just after it.
    int32_t found_before = -1;
    for (int32_t i = 0; i < n; ++i) {
        const unsigned char* p = raw + (int64_t)i * kLinkedRecordSize;
        if (guessing && i + kPrefetchDistance < n) {
            // NOTE: the first probe for a later world point is known now; fetching it
            // early overlaps the cache misses of scattered identifiers.
            const int32_t ahead = get_i32(p + kPrefetchDistance * kLinkedRecordSize + 24);
            PREFETCH_FOR_READ(&t.ids[guess_position(t.guess, t.count, ahead)]);
        }
        int32_t link = get_i32(p + 24);
        if (link >= 0) {
            matched += 1;
            // NOTE: with strictly increasing identifiers a match is the only one with its
            // id, so the shortcut gives what the search would.
            const int32_t next = found_before + 1;
            if (guessing && found_before >= 0 && next < t.count && t.ids[next] == link) {
                link = next;
            } else {
                link = find_id(t, link);
            }
            found_before = link;
        } else {
            found_before = -1;
        }
        decode_with_link(world_points[first + i], p, link);
    }
    return matched;
}

// Reads K at file position match_start and grows the match array to the records that the
// file holds behind it, at most K. Returns that many; sets cut when K is unreadable or
// negative (0 then) or the file holds fewer records. -1 when the array cannot grow.
int32_t start_match_part(FILE* file, int64_t match_start, int64_t size, int32_t record_size,
                         MatchPoint*& match_points, int32_t& match_capacity, bool& cut) {
    unsigned char count[4];
    const int32_t declared =
        crt_read_at(file, count, sizeof count, match_start) == sizeof count ? get_i32(count) : -1;
    if (declared < 0) {
        cut = true;
        return 0;
    }
    const int32_t k = records_available(declared, record_size, size - match_start - 4);
    if (k < declared) cut = true;
    return grow_points(match_points, match_capacity, k) ? k : -1;
}

// A to-world frame from its world records on. The match points are read first (they lie
// behind the world records) and noted per world point in a compact array, so that each
// chunk of world points takes its links while it is in the cache.
void read_to_world(FILE* file, unsigned char* chunk, int64_t world_start, int64_t size, int32_t w,
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
    if (!frame.cut_short) {
        k = start_match_part(file, match_start, size, kLinkedRecordSize, match_points,
                             match_capacity, frame.cut_short);
        if (k < 0) {
            frame.out_of_memory = true;
            return;
        }
        MatchPoint* m = match_points;
        const int32_t read = read_records(file, match_start + 4, chunk, k, kLinkedRecordSize,
                                          [&](const unsigned char* raw, int32_t first, int32_t n) {
                                              frame.matched += decode_matches_linking_back(
                                                  m, last_match, w, raw, first, n);
                                          });
        if (read < k) frame.cut_short = true;
        k = read;
    }
    WorldPoint* world = world_points;
    const int32_t read = read_records(file, world_start, chunk, w, kPlainRecordSize,
                                      [&](const unsigned char* raw, int32_t first, int32_t n) {
                                          decode_world_linked(world, last_match, raw, first, n);
                                      });
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
void read_to_frame(FILE* file, unsigned char* chunk, int64_t world_start, int64_t size, int32_t w,
                   WorldPoint*& world_points, MatchPoint*& match_points, int32_t& match_capacity,
                   FrameRead& frame) {
    int32_t k = 0;
    bool increasing = true;
    int32_t* ids = nullptr;
    const int64_t match_start = world_start + (int64_t)w * kLinkedRecordSize;
    if (!frame.cut_short) {
        k = start_match_part(file, match_start, size, kLinkedIdRecordSize, match_points,
                             match_capacity, frame.cut_short);
        ids = k >= 0 ? id_table(k) : nullptr;
        if (!ids) {
            frame.out_of_memory = true;
            return;
        }
        MatchPoint* m = match_points;
        const int32_t read =
            read_records(file, match_start + 4, chunk, k, kLinkedIdRecordSize,
                         [&](const unsigned char* raw, int32_t first, int32_t n) {
                             decode_matches_with_ids(m, ids, raw, first, n, increasing);
                         });
        if (read < k) frame.cut_short = true;
        k = read;
    }
    IdTable table = {ids, k, increasing, IdGuess{0, 0, 0}};
    if (k > 0 && increasing) table.guess = id_guess(ids, k);
    WorldPoint* world = world_points;
    const int32_t read = read_records(file, world_start, chunk, w, kLinkedRecordSize,
                                      [&](const unsigned char* raw, int32_t first, int32_t n) {
                                          frame.matched +=
                                              decode_world_resolving(world, table, raw, first, n);
                                      });
    if (read < w) frame.cut_short = true;
    frame.world_count = read;
    frame.match_count = k;
}

}  // namespace

// Reads the kind byte and W, and then the records in chunks, each decoded while it is in the
// cache; all reads are at absolute positions, past the stream's buffer. Counts are checked
// against the bytes left in the file before anything is allocated.
FrameRead read_frame(FILE* file, int64_t offset, WorldPoint*& world_points, int32_t& world_capacity,
                     MatchPoint*& match_points, int32_t& match_capacity) {
    FrameRead frame = {0, 0, 0, 1, false, false};
    const int64_t size = stream_size(file);
    unsigned char head[5];
    size_t got = 0;
    if (size >= 0 && offset >= 0) got = crt_read_at(file, head, sizeof head, offset);
    if (got >= 1) frame.links_to_world = head[0] == 0 ? 1 : 0;
    const int32_t declared_world = got == sizeof head ? get_i32(head + 1) : -1;
    unsigned char* chunk = declared_world >= 0 ? chunk_buffer() : nullptr;
    if (declared_world < 0) {
        frame.cut_short = true;
    } else {
        const int64_t world_start = offset + 5;
        const int32_t w =
            records_available(declared_world, world_record_size(head[0]), size - world_start);
        frame.cut_short = w < declared_world;
        if (!chunk || !grow_points(world_points, world_capacity, w)) {
            frame.out_of_memory = true;
        } else if (head[0] == 0) {
            read_to_world(file, chunk, world_start, size, w, world_points, match_points,
                          match_capacity, frame);
        } else {
            read_to_frame(file, chunk, world_start, size, w, world_points, match_points,
                          match_capacity, frame);
        }
    }
    return frame;
}
