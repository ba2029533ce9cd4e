// Fuzzes the match file path of Twinscope as the program walks it: index the file, load
// every frame into the reusable arrays (links resolved) and build its statistics line.
// Each result is checked against the file layout decoded here independently, and against
// the invariants the view and the log rely on.
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <wchar.h>

#include <vector>

#include "fuzz_support.h"
#include "matchviewer/log_lines.h"
#include "matchviewer/match_file.h"
#include "matchviewer/scroll_rules.h"

namespace {

// The bytes of the file, read with bounds.
struct Bytes {
    const uint8_t* data;
    int64_t size;
};

bool have(const Bytes& b, int64_t pos, int64_t n) {
    return pos >= 0 && pos + n <= b.size;
}

int32_t i32_at(const Bytes& b, int64_t pos) {
    const uint8_t* p = b.data + pos;
    return (int32_t)((uint32_t)p[0] | (uint32_t)p[1] << 8 | (uint32_t)p[2] << 16 |
                     (uint32_t)p[3] << 24);
}

// The index as the file layout gives it: a frame per whole tag; a frame with a negative or
// overflowing count is refused together with everything after it.
struct ExpectedIndex {
    std::vector<int64_t> offsets;
    IndexStop stop = IndexStop::end_of_file;
    int32_t bad_frame = 0;
    bool last_frame_cut = false;
};

ExpectedIndex expected_index(const Bytes& b) {
    ExpectedIndex e;
    int64_t pos = 0;
    while (have(b, pos, 4)) {
        e.offsets.push_back(pos + 4);
        if (!have(b, pos + 4, 1)) {
            e.last_frame_cut = true;
            break;
        }
        const uint8_t kind = b.data[pos + 4];
        pos += 5;
        // The frame's two parts: W world records, then K match records.
        const int64_t record_sizes[2] = {kind == 0 ? 24 : 28, kind == 0 ? 28 : 32};
        const IndexStop negative[2] = {IndexStop::negative_world_count,
                                       IndexStop::negative_match_count};
        const IndexStop overflow[2] = {IndexStop::world_size_overflow,
                                       IndexStop::match_size_overflow};
        bool stopped = false;
        for (int part = 0; part < 2; ++part) {
            if (!have(b, pos, 4)) {
                e.last_frame_cut = true;
                stopped = true;
                break;
            }
            const int64_t n = i32_at(b, pos);
            if (n < 0 || n * record_sizes[part] > INT32_MAX) {
                e.stop = n < 0 ? negative[part] : overflow[part];
                e.bad_frame = (int32_t)e.offsets.size();
                e.offsets.pop_back();
                stopped = true;
                break;
            }
            pos += 4 + n * record_sizes[part];
        }
        if (stopped) break;
        if (pos > b.size) e.last_frame_cut = true;
    }
    return e;
}

// One frame as the file layout and the link rules give it: only whole records count, a
// frame cut inside its world records has no match points, links that cannot be positions
// become -1.
struct ExpectedFrame {
    FrameRead read = {0, 0, 0, 1, false, false};
    std::vector<FramePoint> world;
    std::vector<FramePoint> matches;
};

void read_vectors(const Bytes& b, int64_t pos, FramePoint& p) {
    memcpy(p.position, b.data + pos, 12);
    memcpy(p.direction, b.data + pos + 12, 12);
}

// The halving search of a to-frame frame: lo .. hi - 1 searched, the first equal id reached
// wins; -1 when none is found.
int32_t halving_search(const std::vector<FramePoint>& matches, int32_t id) {
    int64_t lo = 0;
    int64_t hi = (int64_t)matches.size();
    while (lo < hi) {
        const int64_t mid = (lo + hi) / 2;
        if (id < matches[mid].id) {
            hi = mid;
        } else if (id > matches[mid].id) {
            lo = mid + 1;
        } else {
            return (int32_t)mid;
        }
    }
    return -1;
}

ExpectedFrame expected_frame(const Bytes& b, int64_t offset) {
    ExpectedFrame e;
    if (have(b, offset, 1)) e.read.links_to_world = b.data[offset] == 0 ? 1 : 0;
    if (!have(b, offset, 5) || i32_at(b, offset + 1) < 0) {
        e.read.cut_short = true;
        return e;
    }
    const uint8_t kind = b.data[offset];
    const bool to_world = kind == 0;
    const int64_t sw = to_world ? 24 : 28;
    const int64_t sm = to_world ? 28 : 32;
    const int64_t declared_world = i32_at(b, offset + 1);
    int64_t pos = offset + 5;
    for (int64_t i = 0; i < declared_world && have(b, pos, sw); ++i, pos += sw) {
        FramePoint p = {-1, -1, {0, 0, 0}, {0, 0, 0}};
        read_vectors(b, pos, p);
        if (!to_world) p.link = i32_at(b, pos + 24);
        e.world.push_back(p);
    }
    if ((int64_t)e.world.size() < declared_world || !have(b, pos, 4) || i32_at(b, pos) < 0) {
        e.read.cut_short = true;
    } else {
        const int64_t declared_match = i32_at(b, pos);
        pos += 4;
        for (int64_t i = 0; i < declared_match && have(b, pos, sm); ++i, pos += sm) {
            FramePoint p = {-1, -1, {0, 0, 0}, {0, 0, 0}};
            read_vectors(b, pos, p);
            p.link = i32_at(b, pos + 24);
            if (!to_world) p.id = i32_at(b, pos + 28);
            e.matches.push_back(p);
        }
        if ((int64_t)e.matches.size() < declared_match) e.read.cut_short = true;
    }
    const int32_t w = (int32_t)e.world.size();
    int32_t matched = 0;
    if (to_world) {
        for (size_t i = 0; i < e.matches.size(); ++i) {
            FramePoint& m = e.matches[i];
            if (m.link < 0) continue;
            matched += 1;
            if (m.link < w) {
                e.world[m.link].link = (int32_t)i;  // the last one in file order wins
            } else {
                m.link = -1;
            }
        }
    } else {
        for (FramePoint& p : e.world) {
            if (p.link < 0) continue;
            matched += 1;
            p.link = halving_search(e.matches, p.link);
        }
    }
    e.read.world_count = w;
    e.read.match_count = (int32_t)e.matches.size();
    e.read.matched = matched;
    return e;
}

bool same_vectors(const FramePoint& a, const FramePoint& b) {
    return memcmp(a.position, b.position, sizeof a.position) == 0 &&
           memcmp(a.direction, b.direction, sizeof a.direction) == 0;
}

// What the view draws from a frame must name points that exist: a link is negative or a
// position in the other array. In a to-frame frame the match links are kept as read and
// never drawn, so they are not positions.
void check_links(const FrameRead& read, const WorldPoint* world, const MatchPoint* matches) {
    for (int32_t j = 0; j < read.world_count; ++j) {
        FUZZ_CHECK(world[j].link <= -1 || world[j].link < read.match_count);
    }
    if (!read.links_to_world) return;
    for (int32_t i = 0; i < read.match_count; ++i) {
        FUZZ_CHECK(matches[i].link <= -1 || matches[i].link < read.world_count);
    }
}

// The statistics line fits its buffer whole, is terminated, and says what was read.
void check_statistics_line(int32_t n, const FrameRead& read) {
    wchar_t line[kLogLineCapacity + 1];
    line[kLogLineCapacity] = L'#';  // a guard behind the buffer the line is given
    const int length = format_statistics_line(n, read, line, kLogLineCapacity);
    FUZZ_CHECK(line[kLogLineCapacity] == L'#');
    FUZZ_CHECK(length >= 0 && length < kLogLineCapacity);
    FUZZ_CHECK(wcslen(line) == (size_t)length);
    int fn = 0, w = 0, m = 0, k = 0, consumed = 0;
    FUZZ_CHECK(swscanf(line, L"Frame No %d: %d world points; %d of %d match points (%n", &fn, &w,
                       &m, &k, &consumed) == 4);
    FUZZ_CHECK(fn == n && w == read.world_count && m == read.matched && k == read.match_count);
    const wchar_t* rest = line + consumed;
    const wchar_t* close = wcsstr(rest, L"%) ");
    FUZZ_CHECK(close != nullptr);
    const wchar_t* kind_text = read.links_to_world ? L"%)  - to world\r\n" : L"%)  to frame\r\n";
    FUZZ_CHECK(wcscmp(close, kind_text) == 0);
    if (read.match_count == 0) {
        FUZZ_CHECK(close - rest == 1 && rest[0] == L'-');
        return;
    }
    // P = M x 100 / K, cut (not rounded) at the second decimal.
    const int digits = (int)(close - rest);
    FUZZ_CHECK(digits >= 4 && rest[digits - 3] == L'.');
    double cents = 0;
    for (int c = 0; c < digits; ++c) {
        if (c == digits - 3) continue;
        FUZZ_CHECK(rest[c] >= L'0' && rest[c] <= L'9');
        cents = cents * 10 + (rest[c] - L'0');
    }
    const double exact = read.matched * 100.0 / read.match_count * 100.0;
    const double slack = 1e-9 * (exact > 1 ? exact : 1);
    FUZZ_CHECK(cents <= exact + slack);
    FUZZ_CHECK(exact - cents < 1 + slack);
}

// Compares a frame read by the program with the expected one, record by record.
void check_frame(const FrameRead& read, const ExpectedFrame& e, const WorldPoint* world,
                 int32_t world_capacity, const MatchPoint* matches, int32_t match_capacity) {
    FUZZ_CHECK(!read.out_of_memory);
    FUZZ_CHECK(read.world_count >= 0 && read.world_count <= world_capacity);
    FUZZ_CHECK(read.match_count >= 0 && read.match_count <= match_capacity);
    FUZZ_CHECK(read.world_count == e.read.world_count);
    FUZZ_CHECK(read.match_count == e.read.match_count);
    FUZZ_CHECK(read.matched == e.read.matched);
    FUZZ_CHECK(read.links_to_world == e.read.links_to_world);
    FUZZ_CHECK(read.cut_short == e.read.cut_short);
    for (int32_t j = 0; j < read.world_count; ++j) {
        FUZZ_CHECK(same_vectors(world[j], e.world[j]));
        FUZZ_CHECK(world[j].link == e.world[j].link);
    }
    for (int32_t i = 0; i < read.match_count; ++i) {
        FUZZ_CHECK(same_vectors(matches[i], e.matches[i]));
        FUZZ_CHECK(matches[i].link == e.matches[i].link);
        if (!read.links_to_world) FUZZ_CHECK(matches[i].id == e.matches[i].id);
    }
    check_links(read, world, matches);
}

void check_index(const FrameIndex& index, const IndexResult& result, const ExpectedIndex& e) {
    FUZZ_CHECK(index.count >= 0 && index.count <= index.capacity);
    FUZZ_CHECK((size_t)index.count == e.offsets.size());
    for (int32_t n = 0; n < index.count; ++n) FUZZ_CHECK(index.offsets[n] == e.offsets[n]);
    FUZZ_CHECK(result.stop == e.stop);
    FUZZ_CHECK(result.bad_frame == e.bad_frame);
    FUZZ_CHECK(result.last_frame_cut == e.last_frame_cut);

    wchar_t line[kLogLineCapacity];
    int length = format_frame_count_line(index.count, line, kLogLineCapacity);
    FUZZ_CHECK(length > 0 && length < kLogLineCapacity && wcslen(line) == (size_t)length);
    length = format_index_problem(result, line, kLogLineCapacity);
    FUZZ_CHECK(length >= 0 && length < kLogLineCapacity && wcslen(line) == (size_t)length);
    FUZZ_CHECK((length > 0) == (result.stop != IndexStop::end_of_file));
}

// Requests outside 1 .. count are clamped into it; with no frames nothing is loaded.
void check_clamping(int32_t count) {
    const int32_t requests[] = {INT32_MIN, -5, 0, 1, 2, count, count + 10, INT32_MAX};
    for (int32_t n : requests) {
        const int32_t shown = clamp_frame_number(n, count);
        if (count == 0) {
            FUZZ_CHECK(shown == 0);
        } else {
            FUZZ_CHECK(shown >= 1 && shown <= count);
            if (n >= 1 && n <= count) FUZZ_CHECK(shown == n);
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz_write_input(data, size);
    FILE* file = fopen(fuzz_input_path(), "rb");
    FUZZ_CHECK(file != nullptr);
    const Bytes bytes = {data, (int64_t)size};

    FrameIndex index = {nullptr, 0, 0};
    const IndexResult result = index_match_file(file, index);
    check_index(index, result, expected_index(bytes));
    check_clamping(index.count);

    WorldPoint* world = nullptr;
    MatchPoint* matches = nullptr;
    int32_t world_capacity = 0;
    int32_t match_capacity = 0;
    // Every frame in file order, then frame 1 again once the arrays have grown.
    for (int32_t step = 1; step <= index.count + 1 && index.count > 0; ++step) {
        const int32_t n = clamp_frame_number(step <= index.count ? step : 1, index.count);
        const int64_t offset = index.offsets[n - 1];
        const FrameRead read =
            read_frame(file, offset, world, world_capacity, matches, match_capacity);
        check_frame(read, expected_frame(bytes, offset), world, world_capacity, matches,
                    match_capacity);
        check_statistics_line(n, read);
    }
    free(world);
    free(matches);
    free_frame_index(index);
    fclose(file);
    return 0;
}
