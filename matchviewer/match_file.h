// The match file: frame index, frame reading and link resolution. No window, no display.
#pragma once

#include <stdint.h>
#include <stdio.h>

#include "matchviewer/match_points.h"

// Record sizes in the file. Every record starts with position and direction (six singles);
// a linked record adds a link or an identifier, a linked and identified record both.
const int32_t kPlainRecordSize = 24;
const int32_t kLinkedRecordSize = 28;
const int32_t kLinkedIdRecordSize = 32;

// Record sizes by the frame's kind byte (0: to-world, any other: to-frame).
inline int32_t world_record_size(uint8_t kind) {
    return kind == 0 ? kPlainRecordSize : kLinkedRecordSize;
}
inline int32_t match_record_size(uint8_t kind) {
    return kind == 0 ? kLinkedRecordSize : kLinkedIdRecordSize;
}

// The offsets of the frames of a match file: offsets[n - 1] is the position of frame n's
// kind byte (frame start + 4). offsets is a malloc block owned by whoever holds the record.
struct FrameIndex {
    int64_t* offsets;
    int32_t count;
    int32_t capacity;
};

// Why indexing stopped.
enum class IndexStop {
    end_of_file,           // no further complete frame tag: the normal end
    negative_world_count,  // frame bad_frame has W < 0
    negative_match_count,  // frame bad_frame has K < 0
    world_size_overflow,   // W x record size does not fit a signed 32-bit byte count
    match_size_overflow,   // K x record size does not fit a signed 32-bit byte count
    too_many_frames,       // the index holds the largest signed 32-bit count of frames
    out_of_memory,         // the index could not grow
    read_error,            // the stream reported an error other than its end
};

// What index_match_file found besides the offsets.
struct IndexResult {
    IndexStop stop;
    int32_t bad_frame;    // 1-based number of the refused frame; 0 when none was refused
    bool last_frame_cut;  // the file ends inside the last indexed frame
};

// Indexes the frames of file from its start into index (emptied first). A refused frame
// and everything after it are left out. The stream's end-of-file state is cleared after.
IndexResult index_match_file(FILE* file, FrameIndex& index);

// Frees the offsets and empties the record.
void free_frame_index(FrameIndex& index);

// A short text for a stop that refused a frame ("negative count of world points"), or an
// empty text for end_of_file.
const wchar_t* index_stop_text(IndexStop stop);

// Writes the line that explains a refused frame, e.g. "Frame 12 is damaged (negative count
// of world points); only the 11 frames before it can be shown.", into dest (capacity wide
// characters with the terminator). Returns its length; 0 and an empty text when result
// refused nothing.
int format_index_problem(const IndexResult& result, wchar_t* dest, int capacity);

// The counts of a frame after read_frame.
struct FrameRead {
    int32_t world_count;     // W: world point records read whole
    int32_t match_count;     // K: match point records read whole
    int32_t matched;         // M: match points with a link >= 0 (to-world) or world points
                             // with an identifier >= 0 (to-frame), resolved or not
    uint8_t links_to_world;  // 1: kind byte 0, lines start at the match points
    bool cut_short;          // the frame is not whole: the file ends inside it or a count is
                             // negative; the counts are those of the complete records
    bool out_of_memory;      // the arrays could not grow; both counts are 0
};

// Reads the frame whose kind byte lies at offset into the reusable arrays and turns its
// links into array positions. The arrays only grow, to exactly the count needed (realloc);
// the capacities follow. The links the view follows (match points' in a to-world frame,
// world points' in a to-frame frame) are negative or a valid position in the other array:
// - to-world: world_points[j].link is the last match point naming j, or -1; a match
//   point naming a world point outside 0..W-1 gets link -1 (it still counts in M).
// - to-frame: world_points[j].link is the position of the match point with that
//   identifier (binary search by id); an identifier no match point has gives -1 (it still
//   counts in M); a negative identifier is kept as read. Match links are kept as read.
// The caller must have withdrawn both arrays from the view: they may move.
FrameRead read_frame(FILE* file, int64_t offset, WorldPoint*& world_points, int32_t& world_capacity,
                     MatchPoint*& match_points, int32_t& match_capacity);
