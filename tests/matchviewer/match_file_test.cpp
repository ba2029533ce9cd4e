// The frame index and frame reading on real files: sizes by kind, damaged counts, cut
// frames, both link resolutions.
#include "matchviewer/match_file.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "match_bytes.h"

namespace {

using FileHandle = std::unique_ptr<FILE, int (*)(FILE*)>;

FileHandle open_bytes(const std::vector<uint8_t>& bytes) {
    return {file_with(bytes), fclose};
}

IndexResult index_bytes(const std::vector<uint8_t>& bytes, std::vector<int64_t>& offsets) {
    FileHandle file = open_bytes(bytes);
    FrameIndex index = {};
    const IndexResult result = index_match_file(file.get(), index);
    offsets.assign(index.offsets, index.offsets + index.count);
    free_frame_index(index);
    return result;
}

// The viewer's reusable arrays, freed at the end of a test.
struct Arrays {
    WorldPoint* world = nullptr;
    int32_t world_capacity = 0;
    MatchPoint* matches = nullptr;
    int32_t match_capacity = 0;
    ~Arrays() {
        free(world);
        free(matches);
    }
    FrameRead read(FILE* file, int64_t offset) {
        return read_frame(file, offset, world, world_capacity, matches, match_capacity);
    }
    FrameRead read(const std::vector<uint8_t>& bytes) { return read(open_bytes(bytes).get(), 4); }
    std::vector<int32_t> links(const FramePoint* p, int32_t n) const {
        std::vector<int32_t> out;
        for (int32_t i = 0; i < n; ++i) out.push_back(p[i].link);
        return out;
    }
};

using Links = std::vector<int32_t>;

}  // namespace

TEST(FrameIndex, OffsetsFollowTheRecordSizesOfEachKind) {
    std::vector<uint8_t> bytes;
    put_blank(bytes, 0, 0, 0);  // 13 bytes
    put_blank(bytes, 0, 2, 3);  // 13 + 48 + 84
    put_blank(bytes, 5, 2, 3);  // 13 + 56 + 96
    put_blank(bytes, 1, 1, 1);  // 13 + 28 + 32
    put_blank(bytes, 255, 1, 1);
    put_blank(bytes, 0, 0, 0);
    bytes.push_back(0x11);
    bytes.push_back(0x22);  // two bytes into another tag
    std::vector<int64_t> offsets;
    const IndexResult result = index_bytes(bytes, offsets);
    EXPECT_EQ(offsets, (std::vector<int64_t>{4, 17, 162, 327, 400, 473}));
    EXPECT_EQ(result.stop, IndexStop::end_of_file);
    EXPECT_EQ(result.bad_frame, 0);
    EXPECT_FALSE(result.last_frame_cut);
    EXPECT_TRUE(index_bytes({}, offsets).stop == IndexStop::end_of_file && offsets.empty());
    index_bytes({1, 2, 3}, offsets);
    EXPECT_TRUE(offsets.empty());
}

TEST(FrameIndex, FramesCutByTheEndOfTheFileAreCounted) {
    std::vector<uint8_t> whole;
    put_blank(whole, 0, 2, 0);
    put_blank(whole, 0, 3, 2);
    const size_t second = 61;
    // Lengths: inside frame 2's tag, then its kind byte, W, world records, K, match records.
    const size_t cut_at[] = {second + 4, second + 7, second + 59, second + 83, second + 115};
    std::vector<int64_t> offsets;
    for (size_t length : cut_at) {
        const IndexResult r = index_bytes({whole.begin(), whole.begin() + (long)length}, offsets);
        EXPECT_EQ(offsets.size(), 2u) << length;
        EXPECT_TRUE(r.last_frame_cut) << length;
    }
    EXPECT_FALSE(index_bytes({whole.begin(), whole.begin() + second + 3}, offsets).last_frame_cut);
    EXPECT_EQ(offsets.size(), 1u);
    EXPECT_FALSE(index_bytes(whole, offsets).last_frame_cut);
}

TEST(FrameIndex, DamagedCountsRefuseTheFrameAndAllAfterIt) {
    const struct {
        uint8_t kind;
        int32_t w, k;
        IndexStop stop;
    } cases[] = {
        {0, -1, 0, IndexStop::negative_world_count},
        {3, INT32_MIN, 0, IndexStop::negative_world_count},
        {0, 0, -5, IndexStop::negative_match_count},
        {0, INT32_MAX / 24 + 1, 0, IndexStop::world_size_overflow},
        {9, INT32_MAX / 28 + 1, 0, IndexStop::world_size_overflow},
        {0, 0, INT32_MAX / 28 + 1, IndexStop::match_size_overflow},
        {1, 0, INT32_MAX / 32 + 1, IndexStop::match_size_overflow},
    };
    for (const auto& c : cases) {
        std::vector<uint8_t> bytes;
        put_blank(bytes, 0, 1, 1);
        put_blank(bytes, 1, 1, 1);
        put_blank(bytes, c.kind, c.w, c.k, false);
        put_blank(bytes, 0, 1, 1);
        std::vector<int64_t> offsets;
        const IndexResult result = index_bytes(bytes, offsets);
        EXPECT_EQ(offsets.size(), 2u) << c.w << " " << c.k;
        EXPECT_EQ(result.bad_frame, 3);
        EXPECT_EQ(result.stop, c.stop) << c.w << " " << c.k;
        wchar_t text[260];
        format_index_problem(result, text, 260);
        EXPECT_NE(wcsstr(text, L"Frame 3 is damaged"), nullptr);
        EXPECT_NE(wcsstr(text, index_stop_text(c.stop)), nullptr);
        EXPECT_NE(wcsstr(text, L"only the 2 frames before it can be shown."), nullptr);
    }
    // One frame kept is counted in the singular.
    {
        std::vector<uint8_t> bytes;
        put_blank(bytes, 0, 1, 1);
        put_blank(bytes, 0, -1, 0, false);
        std::vector<int64_t> offsets;
        const IndexResult result = index_bytes(bytes, offsets);
        ASSERT_EQ(result.bad_frame, 2);
        wchar_t text[260];
        format_index_problem(result, text, 260);
        EXPECT_STREQ(text,
                     L"Frame 2 is damaged (negative count of world points); only the 1 "
                     L"frame before it can be shown.");
    }
    // The largest count whose byte size fits is a frame like any other (here one cut).
    std::vector<uint8_t> bytes;
    put_blank(bytes, 0, INT32_MAX / 24, 0, false);
    std::vector<int64_t> offsets;
    const IndexResult result = index_bytes(bytes, offsets);
    EXPECT_EQ(offsets.size(), 1u);
    EXPECT_TRUE(result.last_frame_cut);
    wchar_t text[260];
    EXPECT_EQ(format_index_problem(result, text, 260), 0);
}

TEST(FrameIndex, AgreesWithSeekingFrameByFrame) {
    // Many small frames over many blocks, big frames skipped far beyond a block, and a
    // last frame that the file ends inside; offsets computed from the counts written.
    std::vector<uint8_t> bytes;
    std::vector<int64_t> expected;
    uint32_t state = 12345;
    for (int i = 0; i < 40000; ++i) {
        state = state * 1103515245u + 12345u;
        const bool big = (state >> 16) % 2000 == 0;
        expected.push_back((int64_t)bytes.size() + 4);
        put_blank(bytes, (uint8_t)((state >> 20) % 3), big ? 60000 : (state >> 8) % 4,
                  big ? 50000 : (state >> 12) % 5);
    }
    bytes.resize(bytes.size() - 10);
    FileHandle file = open_bytes(bytes);
    FrameIndex index = {};
    EXPECT_TRUE(index_match_file(file.get(), index).last_frame_cut);
    EXPECT_EQ(std::vector<int64_t>(index.offsets, index.offsets + index.count), expected);
    // The stream reads again afterwards, and a second run gives the same offsets.
    EXPECT_FALSE(feof(file.get()));
    unsigned char b[4];
    EXPECT_EQ(fread(b, 1, 4, file.get()), 4u);
    index_match_file(file.get(), index);
    EXPECT_EQ(std::vector<int64_t>(index.offsets, index.offsets + index.count), expected);
    free_frame_index(index);
}

TEST(ReadFrame, RecordsAreDecodedExactlyForBothKinds) {
    std::vector<uint8_t> bytes;
    put_frame(bytes, 0, {pt(1), pt(2)}, {pt(3, 1)});
    put_frame(bytes, 200, {pt(4, 7)}, {pt(5, 33, 7), pt(6, -4, 8)});
    FileHandle file = open_bytes(bytes);
    Arrays a;
    FrameRead f = a.read(file.get(), 4);
    EXPECT_EQ(f.links_to_world, 1);
    EXPECT_FALSE(f.cut_short);
    ASSERT_EQ(f.world_count, 2);
    ASSERT_EQ(f.match_count, 1);
    const FramePoint expected = {0, -1, {2.0f, 2.25f, -2.0f}, {0.5f, -1.0f, 4.0f}};
    EXPECT_EQ(memcmp(&a.world[1], &expected, sizeof expected), 0);
    f = a.read(file.get(), 93);
    EXPECT_EQ(f.links_to_world, 0);
    ASSERT_EQ(f.match_count, 2);
    const FramePoint world = {0, -1, {4.0f, 4.25f, -4.0f}, {0.5f, -1.0f, 8.0f}};
    const FramePoint match = {-4, 8, {6.0f, 6.25f, -6.0f}, {0.5f, -1.0f, 12.0f}};
    EXPECT_EQ(memcmp(&a.world[0], &world, sizeof world), 0);    // identifier 7 is match 0
    EXPECT_EQ(memcmp(&a.matches[1], &match, sizeof match), 0);  // link kept as read
    EXPECT_EQ(f.matched, 1);
}

TEST(ReadFrame, BackLinksOfToWorldFrames) {
    // World point 1 is named by match points 2 and 7 (the last wins), 3 by none. Links 5,
    // 9 and 10^9 are outside the world list: -1, but counted. Negative links stay as read.
    // The arrays are larger than the frame, with marked records behind W.
    Arrays a;
    a.world_capacity = 8;
    a.world = (WorldPoint*)calloc(8, sizeof(WorldPoint));
    for (int i = 0; i < 8; ++i) a.world[i].link = 1000 + i;
    const Links links = {-1, -9, 1, 5, 0, 4, 2, 1, 9, 1000000000};
    std::vector<FilePoint> matches;
    for (size_t i = 0; i < links.size(); ++i) matches.push_back(pt((int)i, links[i]));
    std::vector<uint8_t> bytes;
    put_frame(bytes, 0, {pt(0), pt(1), pt(2), pt(3), pt(4)}, matches);
    const FrameRead f = a.read(bytes);
    EXPECT_EQ(f.matched, 8);
    EXPECT_EQ(a.links(a.world, 8), (Links{4, 7, 6, -1, 5, 1005, 1006, 1007}));
    EXPECT_EQ(a.links(a.matches, 10), (Links{-1, -9, 1, -1, 0, 4, 2, 1, -1, -1}));
    EXPECT_EQ(a.world_capacity, 8);
}

TEST(ReadFrame, IdentifiersOfToFrameFramesBecomePositions) {
    // Match ids 10, 20, 30. Identifiers 20, 10, 30 are found; 25 and 40 are not (-1);
    // negative ones stay. M counts every identifier >= 0, so here M > K.
    std::vector<uint8_t> bytes;
    put_frame(bytes, 1,
              {pt(0, 20), pt(1, -1), pt(2, 25), pt(3, 10), pt(4, 30), pt(5, 40), pt(6, -3)},
              {pt(7, -1, 10), pt(8, 5, 20), pt(9, -1, 30)});
    Arrays a;
    FrameRead f = a.read(bytes);
    EXPECT_EQ(f.matched, 5);
    EXPECT_EQ(a.links(a.world, 7), (Links{1, -1, -1, 0, 2, -1, -3}));
    // No match points: no identifier is left as a position.
    bytes.clear();
    put_frame(bytes, 1, {pt(0, 0), pt(1, 3), pt(2, -1)}, {});
    f = a.read(bytes);
    EXPECT_EQ(f.matched, 2);
    EXPECT_EQ(a.links(a.world, 3), (Links{-1, -1, -1}));
    // Repeated ids: the first the halving reaches wins (ids 1 5 5 5 9: position 2; ids
    // 5 5 7 8: the halving looks at 2, then 1).
    bytes.clear();
    put_frame(bytes, 1, {pt(0, 5)},
              {pt(1, 0, 1), pt(2, 0, 5), pt(3, 0, 5), pt(4, 0, 5), pt(5, 0, 9)});
    a.read(bytes);
    EXPECT_EQ(a.world[0].link, 2);
    bytes.clear();
    put_frame(bytes, 1, {pt(0, 5)}, {pt(1, 0, 5), pt(2, 0, 5), pt(3, 0, 7), pt(4, 0, 8)});
    a.read(bytes);
    EXPECT_EQ(a.world[0].link, 1);
}

TEST(ReadFrame, FramesCutShortUseOnlyWholeRecords) {
    std::vector<uint8_t> whole;
    put_frame(whole, 0, {pt(0), pt(1), pt(2), pt(3)}, {pt(4, 3), pt(5, 0), pt(6, 2)});
    const struct {
        size_t length;
        int32_t w, k, m;
        Links world_links;
    } cases[] = {
        {9 + 48 + 10, 2, 0, 0, {-1, -1}},             // in world record 3
        {9 + 96 + 2, 4, 0, 0, {-1, -1, -1, -1}},      // in K
        {whole.size() - 5, 4, 2, 2, {1, -1, -1, 0}},  // in match record 3
        {3, 0, 0, 0, {}},                             // in W
    };
    Arrays a;
    for (const auto& c : cases) {
        const FrameRead f = a.read({whole.begin(), whole.begin() + (long)c.length});
        EXPECT_TRUE(f.cut_short) << c.length;
        EXPECT_EQ(f.world_count, c.w) << c.length;
        EXPECT_EQ(f.match_count, c.k) << c.length;
        EXPECT_EQ(f.matched, c.m) << c.length;
        EXPECT_EQ(a.links(a.world, f.world_count), c.world_links) << c.length;
    }
    // To-frame, cut in the match records: identifiers resolve against whole records only.
    std::vector<uint8_t> to_frame;
    put_frame(to_frame, 2, {pt(0, 30), pt(1, 10), pt(2, 20)},
              {pt(3, -1, 10), pt(4, -1, 20), pt(5, -1, 30)});
    to_frame.pop_back();
    FrameRead f = a.read(to_frame);
    EXPECT_TRUE(f.cut_short);
    EXPECT_EQ(f.match_count, 2);
    EXPECT_EQ(f.matched, 3);
    EXPECT_EQ(a.links(a.world, 3), (Links{-1, 0, 1}));
    // Behind the end of the file; and the stream still reads after that.
    FileHandle file = open_bytes(whole);
    EXPECT_TRUE(a.read(file.get(), (int64_t)whole.size() + 100).cut_short);
    EXPECT_FALSE(a.read(file.get(), 4).cut_short);
}

TEST(ReadFrame, ArraysGrowOnlyToWhatTheFileHolds) {
    std::vector<uint8_t> bytes;
    put_i32(bytes, 1);
    bytes.push_back(0);
    put_i32(bytes, 2);
    for (int i = 0; i < 2; ++i) put_vectors(bytes, i);
    put_i32(bytes, 2000000000);  // K = 2e9, but only 3 records follow
    for (int i = 0; i < 3; ++i) {
        put_vectors(bytes, i);
        put_i32(bytes, i % 2);
    }
    Arrays a;
    FrameRead f = a.read(bytes);
    EXPECT_TRUE(f.cut_short);
    EXPECT_EQ(f.match_count, 3);
    EXPECT_EQ(a.match_capacity, 3);
    EXPECT_EQ(a.links(a.world, 2), (Links{2, 1}));
    bytes.clear();
    put_blank(bytes, 4, 70000000, 0, false);
    EXPECT_EQ(a.read(bytes).world_count, 0);
    bytes.clear();
    put_blank(bytes, 0, -3, 0, false);
    EXPECT_TRUE(a.read(bytes).cut_short);
    EXPECT_EQ(a.world_capacity, 2);
    // A smaller frame after a larger one keeps the arrays.
    bytes.clear();
    put_frame(bytes, 0, std::vector<FilePoint>(9, pt(1)), std::vector<FilePoint>(6, pt(3, 8)));
    a.read(bytes);
    EXPECT_EQ(a.world_capacity, 9);
    EXPECT_EQ(a.match_capacity, 6);
    bytes.clear();
    put_frame(bytes, 0, {pt(1), pt(2)}, {pt(4, 1)});
    f = a.read(bytes);
    EXPECT_EQ(f.world_count, 2);
    EXPECT_EQ(a.world_capacity, 9);
    EXPECT_EQ(a.links(a.world, 2), (Links{-1, 0}));
}

namespace {

uint32_t next_random(uint32_t& state) {
    state = state * 1664525u + 1013904223u;
    return state >> 8;
}

// The links of one frame worked out from what was written, by the plain rules: the last
// back-link wins, identifiers by halving over the ids; out-of-range back-links and
// unresolved identifiers -1.
void expect_plain_rules(uint8_t kind, const std::vector<FilePoint>& world,
                        const std::vector<FilePoint>& matches, const char* what) {
    const int32_t w = (int32_t)world.size(), k = (int32_t)matches.size();
    Links world_links(w, -1), match_links;
    int32_t matched = 0;
    for (int32_t i = 0; i < k; ++i) {
        int32_t link = matches[i].link;
        if (kind == 0 && link >= 0) {
            matched += 1;
            if (link < w)
                world_links[link] = i;
            else
                link = -1;
        }
        match_links.push_back(link);
    }
    for (int32_t j = 0; kind != 0 && j < w; ++j) {
        const int32_t id = world[j].link;
        world_links[j] = id;
        if (id < 0) continue;
        matched += 1;
        world_links[j] = -1;
        for (int32_t lo = 0, hi = k; lo < hi;) {
            const int32_t mid = (lo + hi) / 2;
            if (id == matches[mid].id) {
                world_links[j] = mid;
                break;
            }
            if (id < matches[mid].id) {
                hi = mid;
            } else {
                lo = mid + 1;
            }
        }
    }
    std::vector<uint8_t> bytes;
    put_frame(bytes, kind, world, matches);
    Arrays a;
    const FrameRead f = a.read(bytes);
    EXPECT_EQ(f.matched, matched) << what;
    EXPECT_TRUE(a.links(a.world, f.world_count) == world_links) << what;
    EXPECT_TRUE(a.links(a.matches, f.match_count) == match_links) << what;
    EXPECT_EQ(a.matches[k - 1].position[1], matches[k - 1].seed + 0.25f) << what;
}

// 20000 world points over the given match ids: most name an id that exists, some one that
// does not, some none.
std::vector<FilePoint> world_naming(const std::vector<int32_t>& ids, uint32_t state) {
    std::vector<FilePoint> world;
    for (int j = 0; j < 20000; ++j) {
        const uint32_t roll = next_random(state) % 10;
        int32_t id = roll < 7 ? ids[next_random(state) % ids.size()] : -1 - (int32_t)(roll % 3);
        if (roll == 7) id = (int32_t)(next_random(state) % 3000000);
        world.push_back(pt(j % 777, id == INT32_MIN ? -1 : id));
    }
    return world;
}

std::vector<FilePoint> matches_with(const std::vector<int32_t>& ids) {
    std::vector<FilePoint> matches;
    for (size_t i = 0; i < ids.size(); ++i) matches.push_back(pt((int)(i % 1000), 3, ids[i]));
    return matches;
}

// count ascending match ids 0, 1, ... with the one at position at repeating the one before,
// named by world points: the first of them names the repeated id.
void expect_repeat_found(int32_t count, int32_t at, uint32_t seed) {
    std::vector<int32_t> ids;
    for (int32_t i = 0; i < count; ++i) ids.push_back(i == at ? i - 1 : i);
    std::vector<FilePoint> world = world_naming(ids, seed);
    world[0].link = at - 1;
    expect_plain_rules(3, world, matches_with(ids), ("repeat at " + std::to_string(at)).c_str());
}

}  // namespace

TEST(ReadFrameLargeFrames, LinksFollowThePlainRules) {
    uint32_t state = 99;
    std::vector<FilePoint> world(20000, pt(2)), matches;
    for (int i = 0; i < 25000; ++i) {
        const uint32_t roll = next_random(state) % 10;
        const int32_t link = (int32_t)(next_random(state) % 20000);
        matches.push_back(pt(i % 300, roll == 0 ? -1 - link % 9 : roll == 1 ? 20000 + link : link));
    }
    expect_plain_rules(0, world, matches, "to world");

    // Evenly spread ids, unevenly spread ones, unsorted ones with repeats, extreme ones.
    std::vector<int32_t> even, uneven, shuffled;
    for (int32_t i = 0; i < 30000; ++i) {
        even.push_back(3 * i + 11);
        uneven.push_back(i < 15000 ? i : 15000 + (i - 15000) * (i - 15000) / 100);
        shuffled.push_back((int32_t)(next_random(state) % 40000));
    }
    uneven.erase(std::unique(uneven.begin(), uneven.end()), uneven.end());
    const std::vector<int32_t> extreme = {INT32_MIN, -70000,        -5,       0, 7,
                                          1000000,   INT32_MAX - 1, INT32_MAX};
    for (const auto& ids : {even, uneven, shuffled, extreme}) {
        expect_plain_rules(3, world_naming(ids, state++), matches_with(ids), "to frame");
    }
    // Ascending ids with one repeat wherever it lies (large frames are read in pieces):
    // the repeat sends the search back to plain halving, which differs for the repeat.
    for (int32_t at : {1, 1024, 2048, 4096, 8192, 16384}) expect_repeat_found(20000, at, 7);
}

// Frames of several read chunks (over 32768 records a part), then a small frame after a big
// one: the links follow the same rules across chunk ends and nothing of a frame read before
// leaks into the next.
TEST(ReadFrameLargeFrames, ChunkEndsAndFramesAfterBigOnes) {
    uint32_t state = 5;
    std::vector<FilePoint> world(70000, pt(4)), matches;
    for (int i = 0; i < 90000; ++i) {
        const int32_t link = (int32_t)(next_random(state) % 80000);
        matches.push_back(pt(i % 500, link));
    }
    expect_plain_rules(0, world, matches, "to world, big");
    std::vector<FilePoint> few_world(10, pt(1)), few_matches = {pt(0, 3), pt(1, 12), pt(2, 3)};
    expect_plain_rules(0, few_world, few_matches, "to world, small after big");

    for (int32_t at : {32767, 32768, 65536}) expect_repeat_found(70000, at, 9);
}
