// The match file: frame index, frame reading and link resolution.
#include "matchviewer/match_file.h"

#include <stdlib.h>
#include <string.h>
#include <wchar.h>

#include "platform/crt.h"

static_assert(sizeof(FramePoint) == 32, "a point record is 32 bytes in memory");

namespace {

const int64_t kFirstBlock = 4096;
const int64_t kLargestBlock = 1 << 20;

// A signed 32-bit little-endian value at p.
inline int32_t get_i32(const unsigned char* p) {
    const uint32_t v = (uint32_t)p[0] | ((uint32_t)p[1] << 8) | ((uint32_t)p[2] << 16) |
                       ((uint32_t)p[3] << 24);
    int32_t value;
    memcpy(&value, &v, sizeof value);
    return value;
}

// A little-endian IEEE single at p.
inline float get_f32(const unsigned char* p) {
    const uint32_t v = (uint32_t)p[0] | ((uint32_t)p[1] << 8) | ((uint32_t)p[2] << 16) |
                       ((uint32_t)p[3] << 24);
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

}  // namespace

// Walks the frames: tag, kind byte, W, W records, K, K records, as a stream would seek over
// them, but from large sequential blocks (a seek discards the stream's buffer).
IndexResult index_match_file(FILE* file, FrameIndex& index) {
    IndexResult result = {IndexStop::end_of_file, 0, false};
    index.count = 0;
    const int64_t size = stream_size(file);
    BlockReader r = {file, (unsigned char*)malloc((size_t)kLargestBlock), 0, 0, kFirstBlock / 2,
                     false, false};
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
        if (world_count < 0) {
            refuse_last_frame(index, result, IndexStop::negative_world_count);
            break;
        }
        if (world_count > INT32_MAX / world_record_size(kind)) {
            refuse_last_frame(index, result, IndexStop::world_size_overflow);
            break;
        }
        pos += 9 + (int64_t)world_count * world_record_size(kind);
        if (!reader_get(r, pos, 4, bytes)) {
            result.last_frame_cut = true;
            break;
        }
        const int32_t match_count = get_i32(bytes);
        if (match_count < 0) {
            refuse_last_frame(index, result, IndexStop::negative_match_count);
            break;
        }
        if (match_count > INT32_MAX / match_record_size(kind)) {
            refuse_last_frame(index, result, IndexStop::match_size_overflow);
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
    switch (stop) {
    case IndexStop::end_of_file: return L"";
    case IndexStop::negative_world_count: return L"negative count of world points";
    case IndexStop::negative_match_count: return L"negative count of match points";
    case IndexStop::world_size_overflow: return L"impossibly large count of world points";
    case IndexStop::match_size_overflow: return L"impossibly large count of match points";
    case IndexStop::too_many_frames: return L"too many frames";
    case IndexStop::out_of_memory: return L"out of memory";
    case IndexStop::read_error: return L"read error";
    }
    return L"";
}

int format_index_problem(const IndexResult& result, wchar_t* dest, int capacity) {
    if (capacity <= 0) return 0;
    dest[0] = 0;
    if (result.stop == IndexStop::end_of_file) return 0;
    int written;
    const int32_t kept = result.bad_frame > 0 ? result.bad_frame - 1 : 0;
    if (result.bad_frame > 0) {
        written = swprintf(dest, (size_t)capacity,
                           L"Frame %d is damaged (%ls); only the %d frames before it can be "
                           L"shown.",
                           (int)result.bad_frame, index_stop_text(result.stop), (int)kept);
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

// Reads count raw records straight into the start of points; returns the whole records read.
int32_t read_raw_records(FILE* file, FramePoint* points, int32_t count, int32_t record_size) {
    if (count <= 0) return 0;
    const size_t bytes = (size_t)count * (size_t)record_size;
    const size_t got = fread(points, 1, bytes, file);
    return (int32_t)(got / (size_t)record_size);
}

// Expands count raw records, packed at the start of points, into point records. Raw record
// i lies at i x record_size <= i x 32, so walking from the last one down never overwrites
// a raw record before it is decoded.
void expand_records(FramePoint* points, int32_t count, int32_t record_size, bool has_link,
                    bool has_id) {
    const unsigned char* raw = (const unsigned char*)points;
    for (int32_t i = count - 1; i >= 0; --i) {
        const unsigned char* p = raw + (int64_t)i * record_size;
        FramePoint q;
        q.position[0] = get_f32(p);
        q.position[1] = get_f32(p + 4);
        q.position[2] = get_f32(p + 8);
        q.direction[0] = get_f32(p + 12);
        q.direction[1] = get_f32(p + 16);
        q.direction[2] = get_f32(p + 20);
        q.link = has_link ? get_i32(p + 24) : -1;
        q.id = has_id ? get_i32(p + 28) : -1;
        points[i] = q;
    }
}

// The position of the match point with identifier id found by halving [0, count), or -1.
// NOTE: with repeated identifiers the first one the halving reaches wins, not the first in
// the array.
int32_t find_match_by_id(const MatchPoint* match_points, int32_t count, int32_t id) {
    int32_t lo = 0;
    int32_t hi = count;
    while (lo < hi) {
        const int32_t mid = lo + (hi - lo) / 2;
        const int32_t at = match_points[mid].id;
        if (id < at) {
            hi = mid;
        } else if (id > at) {
            lo = mid + 1;
        } else {
            return mid;
        }
    }
    return -1;
}

// To-world frame: each match point's link names a world point; that world point links back
// to the last match point naming it. Links outside the world list become -1.
void resolve_back_links(WorldPoint* world_points, int32_t world_count,
                        MatchPoint* match_points, int32_t match_count, int32_t& matched) {
    for (int32_t i = 0; i < match_count; ++i) {
        const int32_t link = match_points[i].link;
        if (link < 0) continue;
        matched += 1;
        if (link < world_count) {
            world_points[link].link = i;
        } else {
            // NOTE: still counted in M, but no longer usable as a position.
            match_points[i].link = -1;
        }
    }
}

// To-frame frame: each world point's identifier becomes the position of the match point
// with that id; an identifier that no match point has becomes -1.
void resolve_identifiers(WorldPoint* world_points, int32_t world_count,
                         const MatchPoint* match_points, int32_t match_count) {
    for (int32_t j = 0; j < world_count; ++j) {
        const int32_t id = world_points[j].link;
        if (id < 0) continue;
        world_points[j].link = find_match_by_id(match_points, match_count, id);
    }
}

// M of a to-frame frame: world points with an identifier >= 0.
int32_t count_identifiers(const WorldPoint* world_points, int32_t world_count) {
    int32_t matched = 0;
    for (int32_t j = 0; j < world_count; ++j) matched += world_points[j].link >= 0;
    return matched;
}

}  // namespace

// Seeks to the kind byte and reads W, the world records, K and the match records in one
// fread each, decoding in place; counts are checked against the bytes left in the file
// before anything is allocated.
FrameRead read_frame(FILE* file, int64_t offset, WorldPoint*& world_points,
                     int32_t& world_capacity, MatchPoint*& match_points,
                     int32_t& match_capacity) {
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
        clearerr(file);
        return frame;
    }
    const uint8_t kind = head[0];
    const int32_t world_size = world_record_size(kind);
    const int32_t match_size = match_record_size(kind);
    int64_t pos = offset + 5;

    int32_t w = records_available(declared_world, world_size, size - pos);
    if (!grow_points(world_points, world_capacity, w)) {
        frame.out_of_memory = true;
        clearerr(file);
        return frame;
    }
    w = read_raw_records(file, world_points, w, world_size);
    expand_records(world_points, w, world_size, kind != 0, false);
    frame.world_count = w;
    if (kind != 0) frame.matched = count_identifiers(world_points, w);
    pos += (int64_t)w * world_size;

    int32_t k = 0;
    if (w < declared_world) {
        frame.cut_short = true;
    } else {
        unsigned char count[4];
        const int32_t declared_match =
            fread(count, 1, sizeof count, file) == sizeof count ? get_i32(count) : -1;
        pos += 4;
        if (declared_match < 0) {
            frame.cut_short = true;
        } else {
            k = records_available(declared_match, match_size, size - pos);
            if (!grow_points(match_points, match_capacity, k)) {
                frame.world_count = 0;
                frame.matched = 0;
                frame.out_of_memory = true;
                clearerr(file);
                return frame;
            }
            k = read_raw_records(file, match_points, k, match_size);
            expand_records(match_points, k, match_size, true, kind != 0);
            if (k < declared_match) frame.cut_short = true;
        }
    }
    frame.match_count = k;

    if (kind == 0) {
        resolve_back_links(world_points, w, match_points, k, frame.matched);
    } else {
        resolve_identifiers(world_points, w, match_points, k);
    }
    clearerr(file);
    return frame;
}

int32_t clamp_frame_number(int32_t n, int32_t frame_count) {
    if (frame_count <= 0) return 0;
    if (n < 1) return 1;
    if (n > frame_count) return frame_count;
    return n;
}
