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
    return FileHandle(file_with(bytes), fclose);
}

// Indexes bytes; the offsets are copied out and the index freed.
IndexResult index_bytes(const std::vector<uint8_t>& bytes, std::vector<int64_t>& offsets) {
    FileHandle file = open_bytes(bytes);
    FrameIndex index = {};
    const IndexResult result = index_match_file(file.get(), index);
    offsets.assign(index.offsets, index.offsets + index.count);
    free_frame_index(index);
    return result;
}

// A frame of W and K zero-filled records of the sizes of its kind.
void put_blank_frame(std::vector<uint8_t>& out, uint8_t kind, int32_t w, int32_t k) {
    put_i32(out, 1);
    out.push_back(kind);
    put_i32(out, w);
    out.insert(out.end(), (size_t)w * (kind == 0 ? 24 : 28), 0);
    put_i32(out, k);
    out.insert(out.end(), (size_t)k * (kind == 0 ? 28 : 32), 0);
}

// The seek-by-seek walk over the frames, as a stream would do it, for well-formed files.
std::vector<int64_t> reference_offsets(FILE* file) {
    std::vector<int64_t> offsets;
    rewind(file);
    unsigned char b[4];
    while (fread(b, 1, 4, file) == 4) {
        offsets.push_back(ftello(file));
        unsigned char kind = 0;
        if (fread(&kind, 1, 1, file) != 1 || fread(b, 1, 4, file) != 4) break;
        const int32_t w = (int32_t)(b[0] | b[1] << 8 | b[2] << 16 | (uint32_t)b[3] << 24);
        fseeko(file, (off_t)w * (kind == 0 ? 24 : 28), SEEK_CUR);
        if (fread(b, 1, 4, file) != 4) break;
        const int32_t k = (int32_t)(b[0] | b[1] << 8 | b[2] << 16 | (uint32_t)b[3] << 24);
        fseeko(file, (off_t)k * (kind == 0 ? 28 : 32), SEEK_CUR);
    }
    return offsets;
}

// The reusable arrays of the viewer, freed at the end of a test.
struct Arrays {
    WorldPoint* world = nullptr;
    int32_t world_capacity = 0;
    MatchPoint* matches = nullptr;
    int32_t match_capacity = 0;
    ~Arrays() {
        free(world);
        free(matches);
    }
};

FrameRead read_at(FILE* file, int64_t offset, Arrays& a) {
    return read_frame(file, offset, a.world, a.world_capacity, a.matches, a.match_capacity);
}

// Reads frame 1 of bytes.
FrameRead read_first(const std::vector<uint8_t>& bytes, Arrays& a) {
    FileHandle file = open_bytes(bytes);
    return read_at(file.get(), 4, a);
}

}  // namespace

TEST(FrameIndex, RecordSizesFollowTheKindByte) {
    std::vector<uint8_t> bytes;
    put_blank_frame(bytes, 0, 0, 0);  // 13 bytes
    put_blank_frame(bytes, 0, 2, 3);  // 13 + 48 + 84
    put_blank_frame(bytes, 5, 2, 3);  // 13 + 56 + 96
    put_blank_frame(bytes, 1, 1, 1);
    put_blank_frame(bytes, 255, 1, 1);
    put_blank_frame(bytes, 0, 0, 0);
    std::vector<int64_t> offsets;
    const IndexResult result = index_bytes(bytes, offsets);
    EXPECT_EQ(result.stop, IndexStop::end_of_file);
    EXPECT_EQ(result.bad_frame, 0);
    EXPECT_FALSE(result.last_frame_cut);
    const std::vector<int64_t> expected = {4, 17, 162, 327, 400, 473};
    EXPECT_EQ(offsets, expected);
}

TEST(FrameIndex, KindsZeroFiveZeroGiveThreeOffsets) {
    std::vector<uint8_t> bytes;
    std::vector<int64_t> starts;
    for (uint8_t kind : {0, 5, 0}) {
        starts.push_back((int64_t)bytes.size());
        put_frame(bytes, kind, {file_point(1, 0), file_point(2, 1)}, {file_point(3, 1, 4)});
    }
    std::vector<int64_t> offsets;
    index_bytes(bytes, offsets);
    ASSERT_EQ(offsets.size(), 3u);
    EXPECT_EQ(offsets[0], 4);
    for (size_t i = 0; i < 3; ++i) EXPECT_EQ(offsets[i], starts[i] + 4);
}

TEST(FrameIndex, PartialTagsAndEmptyFiles) {
    std::vector<int64_t> offsets;
    IndexResult result = index_bytes({}, offsets);
    EXPECT_TRUE(offsets.empty());
    EXPECT_EQ(result.stop, IndexStop::end_of_file);

    result = index_bytes({1, 2, 3}, offsets);  // shorter than a tag
    EXPECT_TRUE(offsets.empty());

    std::vector<uint8_t> bytes;
    for (int i = 0; i < 3; ++i) put_blank_frame(bytes, 0, 1, 1);
    bytes.push_back(0x11);
    bytes.push_back(0x22);  // two bytes into a fourth tag
    result = index_bytes(bytes, offsets);
    EXPECT_EQ(offsets.size(), 3u);
    EXPECT_FALSE(result.last_frame_cut);
    EXPECT_EQ(result.stop, IndexStop::end_of_file);
}

TEST(FrameIndex, FramesCutByTheEndOfTheFileAreCounted) {
    std::vector<uint8_t> whole;
    put_blank_frame(whole, 0, 2, 0);
    put_blank_frame(whole, 0, 3, 2);
    const size_t second = 13 + 48;
    // Cut inside the tag of frame 2's W, inside its world records, inside K, inside the
    // match records, and exactly at its end.
    const struct {
        size_t length;
        size_t frames;
        bool cut;
    } cases[] = {
        {second + 3, 1, false},           // tag of frame 2 incomplete
        {second + 4, 2, true},            // tag complete, kind byte missing
        {second + 7, 2, true},            // W incomplete
        {second + 9 + 50, 2, true},       // in the world records
        {second + 9 + 72 + 2, 2, true},   // K incomplete
        {second + 9 + 72 + 4 + 30, 2, true},
        {whole.size(), 2, false},
    };
    for (const auto& c : cases) {
        std::vector<uint8_t> bytes(whole.begin(), whole.begin() + (long)c.length);
        std::vector<int64_t> offsets;
        const IndexResult result = index_bytes(bytes, offsets);
        EXPECT_EQ(offsets.size(), c.frames) << "length " << c.length;
        EXPECT_EQ(result.last_frame_cut, c.cut) << "length " << c.length;
        EXPECT_EQ(result.stop, IndexStop::end_of_file);
    }
}

TEST(FrameIndex, DamagedCountsRefuseTheFrameAndAllAfterIt) {
    const struct {
        uint8_t kind;
        int32_t w;
        int32_t k;
        IndexStop stop;
    } cases[] = {
        {0, -1, 0, IndexStop::negative_world_count},
        {3, INT32_MIN, 0, IndexStop::negative_world_count},
        {0, 0, -5, IndexStop::negative_match_count},
        {0, INT32_MAX / 24 + 1, 0, IndexStop::world_size_overflow},
        {9, INT32_MAX / 28 + 1, 0, IndexStop::world_size_overflow},
        {0, 0, INT32_MAX / 28 + 1, IndexStop::match_size_overflow},
        {1, 0, INT32_MAX / 32 + 1, IndexStop::match_size_overflow},
        {0, 0, 2000000000, IndexStop::match_size_overflow},
    };
    for (const auto& c : cases) {
        std::vector<uint8_t> bytes;
        put_blank_frame(bytes, 0, 1, 1);
        put_blank_frame(bytes, 1, 1, 1);
        put_counts_only(bytes, c.kind, c.w, c.k);
        put_blank_frame(bytes, 0, 1, 1);  // never reached
        std::vector<int64_t> offsets;
        const IndexResult result = index_bytes(bytes, offsets);
        EXPECT_EQ(offsets.size(), 2u) << c.w << " " << c.k;
        EXPECT_EQ(result.bad_frame, 3);
        EXPECT_EQ(result.stop, c.stop) << c.w << " " << c.k;
        wchar_t text[260];
        EXPECT_GT(format_index_problem(result, text, 260), 0);
        EXPECT_NE(wcsstr(text, L"Frame 3 is damaged"), nullptr);
        EXPECT_NE(wcsstr(text, index_stop_text(c.stop)), nullptr);
    }
    // The largest counts whose byte size still fits are a frame like any other, here one
    // that the file ends inside.
    std::vector<uint8_t> bytes;
    put_counts_only(bytes, 0, INT32_MAX / 24, 0);
    std::vector<int64_t> offsets;
    const IndexResult result = index_bytes(bytes, offsets);
    EXPECT_EQ(offsets.size(), 1u);
    EXPECT_TRUE(result.last_frame_cut);
    EXPECT_EQ(result.bad_frame, 0);
    wchar_t text[260];
    EXPECT_EQ(format_index_problem(result, text, 260), 0);
}

TEST(FrameIndex, AgreesWithSeekingFrameByFrameAcrossBlocks) {
    // Small frames across many blocks, with big frames in between that are skipped far
    // beyond any block, and a last frame that the file ends inside.
    std::vector<uint8_t> bytes;
    uint32_t state = 12345;
    for (int i = 0; i < 40000; ++i) {
        state = state * 1103515245u + 12345u;
        const bool big = (state >> 16) % 2000 == 0;
        const int32_t w = big ? 60000 : (int32_t)((state >> 8) % 4);
        const int32_t k = big ? 50000 : (int32_t)((state >> 12) % 5);
        put_blank_frame(bytes, (uint8_t)((state >> 20) % 3), w, k);
    }
    bytes.resize(bytes.size() - 10);
    FileHandle file = open_bytes(bytes);
    const std::vector<int64_t> expected = reference_offsets(file.get());
    FrameIndex index = {};
    const IndexResult result = index_match_file(file.get(), index);
    const std::vector<int64_t> offsets(index.offsets, index.offsets + index.count);
    EXPECT_EQ(offsets.size(), 40000u);
    EXPECT_EQ(offsets, expected);
    EXPECT_TRUE(result.last_frame_cut);
    EXPECT_GE(index.capacity, index.count);
    // The stream is usable afterwards: not at its end, and reads succeed.
    EXPECT_FALSE(feof(file.get()));
    unsigned char b[4];
    EXPECT_EQ(fread(b, 1, 4, file.get()), 4u);
    // Indexing again into the same record gives the same offsets.
    index_match_file(file.get(), index);
    EXPECT_EQ(std::vector<int64_t>(index.offsets, index.offsets + index.count), expected);
    free_frame_index(index);
    EXPECT_EQ(index.offsets, nullptr);
}

TEST(ReadFrame, RecordsAreDecodedExactlyForBothKinds) {
    std::vector<uint8_t> bytes;
    put_frame(bytes, 0, {file_point(1), file_point(2)}, {file_point(3, 1)});
    put_frame(bytes, 200, {file_point(4, 7)}, {file_point(5, 33, 7), file_point(6, -4, 8)});
    FileHandle file = open_bytes(bytes);
    Arrays a;
    FrameRead f = read_at(file.get(), 4, a);
    EXPECT_EQ(f.links_to_world, 1);
    EXPECT_FALSE(f.cut_short);
    ASSERT_EQ(f.world_count, 2);
    ASSERT_EQ(f.match_count, 1);
    EXPECT_EQ(a.world[1].position[0], 2.0f);
    EXPECT_EQ(a.world[1].position[1], 2.25f);
    EXPECT_EQ(a.world[1].position[2], -2.0f);
    EXPECT_EQ(a.world[1].direction[0], 0.5f);
    EXPECT_EQ(a.world[1].direction[1], -1.0f);
    EXPECT_EQ(a.world[1].direction[2], 4.0f);
    EXPECT_EQ(a.matches[0].position[0], 3.0f);
    EXPECT_EQ(a.matches[0].direction[2], 6.0f);

    f = read_at(file.get(), 13 + 48 + 28 + 4, a);
    EXPECT_EQ(f.links_to_world, 0);
    ASSERT_EQ(f.world_count, 1);
    ASSERT_EQ(f.match_count, 2);
    EXPECT_EQ(a.world[0].position[1], 4.25f);
    EXPECT_EQ(a.world[0].link, 0);  // identifier 7 is match point 0
    EXPECT_EQ(a.matches[0].id, 7);
    EXPECT_EQ(a.matches[0].link, 33);  // stored unchanged
    EXPECT_EQ(a.matches[1].id, 8);
    EXPECT_EQ(a.matches[1].link, -4);
    EXPECT_EQ(a.matches[1].direction[2], 12.0f);
    EXPECT_EQ(f.matched, 1);
}

TEST(ReadFrame, BackLinksOfToWorldFrames) {
    // World point 1 is named by match points 2 and 7: the last one wins. World point 3 is
    // named by nobody. Match point 4 names world point 0.
    std::vector<FilePoint> world;
    for (int i = 0; i < 5; ++i) world.push_back(file_point(i));
    std::vector<FilePoint> matches;
    const int32_t links[] = {-1, -9, 1, -1, 0, 4, 2, 1};
    for (int i = 0; i < 8; ++i) matches.push_back(file_point(10 + i, links[i]));
    std::vector<uint8_t> bytes;
    put_frame(bytes, 0, world, matches);
    Arrays a;
    const FrameRead f = read_first(bytes, a);
    EXPECT_EQ(f.matched, 5);  // 1, 0, 4, 2, 1: duplicates count
    EXPECT_EQ(a.world[0].link, 4);
    EXPECT_EQ(a.world[1].link, 7);
    EXPECT_EQ(a.world[2].link, 6);
    EXPECT_EQ(a.world[3].link, -1);
    EXPECT_EQ(a.world[4].link, 5);
    for (int i = 0; i < 8; ++i) EXPECT_EQ(a.matches[i].link, links[i]) << i;
}

TEST(ReadFrame, BackLinksOutsideTheWorldListAreDropped) {
    // Arrays larger than the frame, with marked records behind W: an out-of-range back-link
    // written into the array would change them.
    Arrays a;
    a.world_capacity = 8;
    a.world = (WorldPoint*)calloc(8, sizeof(WorldPoint));
    for (int i = 0; i < 8; ++i) a.world[i].link = 1000 + i;
    std::vector<uint8_t> bytes;
    put_frame(bytes, 0, {file_point(0), file_point(1)},
              {file_point(5, 2), file_point(6, 1), file_point(7, 1000000000), file_point(8, 5),
               file_point(9, -7)});
    const FrameRead f = read_first(bytes, a);
    EXPECT_EQ(a.world_capacity, 8);
    EXPECT_EQ(f.world_count, 2);
    EXPECT_EQ(f.matched, 4);  // the out-of-range links still count
    EXPECT_EQ(a.matches[0].link, -1);
    EXPECT_EQ(a.matches[1].link, 1);
    EXPECT_EQ(a.matches[2].link, -1);
    EXPECT_EQ(a.matches[3].link, -1);
    EXPECT_EQ(a.matches[4].link, -7);  // a negative link is kept as read
    EXPECT_EQ(a.world[0].link, -1);
    EXPECT_EQ(a.world[1].link, 1);
    for (int i = 2; i < 8; ++i) EXPECT_EQ(a.world[i].link, 1000 + i) << i;
}

TEST(ReadFrame, IdentifiersOfToFrameFramesBecomePositions) {
    // Match ids 10, 20, 30 at 0, 1, 2. World identifiers: 20 found, -1 kept, 25 and 40 not
    // found, 10 and 30 at the ends. M counts every identifier >= 0, so M > K here.
    std::vector<FilePoint> world = {file_point(0, 20), file_point(1, -1), file_point(2, 25),
                                    file_point(3, 10), file_point(4, 30), file_point(5, 40),
                                    file_point(6, -3)};
    std::vector<FilePoint> matches = {file_point(7, -1, 10), file_point(8, 5, 20),
                                      file_point(9, -1, 30)};
    std::vector<uint8_t> bytes;
    put_frame(bytes, 1, world, matches);
    Arrays a;
    const FrameRead f = read_first(bytes, a);
    EXPECT_EQ(f.links_to_world, 0);
    EXPECT_EQ(f.world_count, 7);
    EXPECT_EQ(f.match_count, 3);
    EXPECT_EQ(f.matched, 5);
    const int32_t expected[] = {1, -1, -1, 0, 2, -1, -3};
    for (int i = 0; i < 7; ++i) EXPECT_EQ(a.world[i].link, expected[i]) << i;
}

TEST(ReadFrame, RepeatedIdentifiersResolveToTheFirstReachedByHalving) {
    // ids 1 5 5 5 9: halving over [0, 5) looks at 2 first. ids 5 5 7 8: [0, 4) looks at 2
    // (7), then [0, 2) at 1.
    std::vector<uint8_t> bytes;
    put_frame(bytes, 1, {file_point(0, 5)},
              {file_point(1, 0, 1), file_point(2, 0, 5), file_point(3, 0, 5),
               file_point(4, 0, 5), file_point(5, 0, 9)});
    Arrays a;
    read_first(bytes, a);
    EXPECT_EQ(a.world[0].link, 2);
    bytes.clear();
    put_frame(bytes, 1, {file_point(0, 5)},
              {file_point(1, 0, 5), file_point(2, 0, 5), file_point(3, 0, 7),
               file_point(4, 0, 8)});
    read_first(bytes, a);
    EXPECT_EQ(a.world[0].link, 1);
}

TEST(ReadFrame, ToFrameWithoutMatchPointsLeavesNoIdentifierAsPosition) {
    std::vector<uint8_t> bytes;
    put_frame(bytes, 1, {file_point(0, 0), file_point(1, 3), file_point(2, -1)}, {});
    Arrays a;
    const FrameRead f = read_first(bytes, a);
    EXPECT_EQ(f.match_count, 0);
    EXPECT_EQ(f.matched, 2);
    EXPECT_EQ(a.world[0].link, -1);
    EXPECT_EQ(a.world[1].link, -1);
    EXPECT_EQ(a.world[2].link, -1);
}

TEST(ReadFrame, FramesCutShortUseOnlyWholeRecords) {
    std::vector<FilePoint> world = {file_point(0), file_point(1), file_point(2),
                                    file_point(3)};
    std::vector<FilePoint> matches = {file_point(4, 3), file_point(5, 0), file_point(6, 2)};
    std::vector<uint8_t> whole;
    put_frame(whole, 0, world, matches);
    Arrays a;

    // Cut in world record 3: two world points, no match points.
    std::vector<uint8_t> bytes(whole.begin(), whole.begin() + 9 + 2 * 24 + 10);
    FrameRead f = read_first(bytes, a);
    EXPECT_TRUE(f.cut_short);
    EXPECT_EQ(f.world_count, 2);
    EXPECT_EQ(f.match_count, 0);
    EXPECT_EQ(f.matched, 0);
    EXPECT_EQ(a.world[1].position[0], 1.0f);
    EXPECT_EQ(a.world[1].link, -1);

    // Cut inside K: all world points, no match points.
    bytes.assign(whole.begin(), whole.begin() + 9 + 4 * 24 + 2);
    f = read_first(bytes, a);
    EXPECT_TRUE(f.cut_short);
    EXPECT_EQ(f.world_count, 4);
    EXPECT_EQ(f.match_count, 0);

    // Cut in match record 3: the first two match points and their back-links only.
    bytes.assign(whole.begin(), whole.end() - 5);
    f = read_first(bytes, a);
    EXPECT_TRUE(f.cut_short);
    EXPECT_EQ(f.world_count, 4);
    EXPECT_EQ(f.match_count, 2);
    EXPECT_EQ(f.matched, 2);
    EXPECT_EQ(a.world[3].link, 0);
    EXPECT_EQ(a.world[0].link, 1);
    EXPECT_EQ(a.world[2].link, -1);  // named only by the record that was cut

    // An offset behind the end, and one inside the kind byte's frame header.
    FileHandle file = open_bytes(whole);
    f = read_at(file.get(), (int64_t)whole.size() + 100, a);
    EXPECT_TRUE(f.cut_short);
    EXPECT_EQ(f.world_count, 0);
    EXPECT_EQ(f.match_count, 0);
    f = read_at(file.get(), (int64_t)whole.size() - 2, a);
    EXPECT_TRUE(f.cut_short);
    EXPECT_EQ(f.world_count + f.match_count, 0);
    // The stream still reads after that.
    f = read_at(file.get(), 4, a);
    EXPECT_FALSE(f.cut_short);
    EXPECT_EQ(f.match_count, 3);
}

TEST(ReadFrame, CountsBeyondTheDataAllocateOnlyWhatIsThere) {
    std::vector<uint8_t> bytes;
    put_i32(bytes, 1);
    bytes.push_back(0);
    put_i32(bytes, 2);
    for (int i = 0; i < 2 * 6; ++i) put_f32(bytes, 1.0f);
    put_i32(bytes, 2000000000);  // K = 2e9, but only 3 records follow
    for (int i = 0; i < 3; ++i) {
        for (int j = 0; j < 6; ++j) put_f32(bytes, 2.0f);
        put_i32(bytes, i % 2);
    }
    Arrays a;
    FrameRead f = read_first(bytes, a);
    EXPECT_TRUE(f.cut_short);
    EXPECT_EQ(f.match_count, 3);
    EXPECT_EQ(a.match_capacity, 3);
    EXPECT_EQ(f.matched, 3);
    EXPECT_EQ(a.world[0].link, 2);
    EXPECT_EQ(a.world[1].link, 1);

    bytes.clear();
    put_counts_only(bytes, 4, 70000000, 0);  // W records absent
    f = read_first(bytes, a);
    EXPECT_TRUE(f.cut_short);
    EXPECT_EQ(f.world_count, 0);
    EXPECT_EQ(a.world_capacity, 2);

    bytes.clear();
    put_counts_only(bytes, 0, -3, 0);
    f = read_first(bytes, a);
    EXPECT_TRUE(f.cut_short);
    EXPECT_EQ(f.world_count, 0);
}

TEST(ReadFrame, ArraysOnlyGrowAndToExactlyTheCount) {
    std::vector<FilePoint> big(9, file_point(1)), small(2, file_point(2));
    std::vector<uint8_t> bytes;
    put_frame(bytes, 0, big, std::vector<FilePoint>(6, file_point(3, 8)));
    const int64_t second = (int64_t)bytes.size() + 4;
    put_frame(bytes, 0, small, std::vector<FilePoint>(1, file_point(4, 1)));
    FileHandle file = open_bytes(bytes);
    Arrays a;
    FrameRead f = read_at(file.get(), 4, a);
    EXPECT_EQ(a.world_capacity, 9);
    EXPECT_EQ(a.match_capacity, 6);
    EXPECT_EQ(a.world[8].link, 5);
    f = read_at(file.get(), second, a);
    EXPECT_EQ(f.world_count, 2);
    EXPECT_EQ(f.match_count, 1);
    EXPECT_EQ(a.world_capacity, 9);
    EXPECT_EQ(a.match_capacity, 6);
    EXPECT_EQ(a.world[1].link, 0);
    EXPECT_EQ(a.world[0].link, -1);
}

TEST(ClampFrameNumber, LoadsOnlyFramesThatExist) {
    EXPECT_EQ(clamp_frame_number(0, 57), 1);
    EXPECT_EQ(clamp_frame_number(-5, 57), 1);
    EXPECT_EQ(clamp_frame_number(67, 57), 57);
    EXPECT_EQ(clamp_frame_number(12, 57), 12);
    EXPECT_EQ(clamp_frame_number(1, 0), 0);
    EXPECT_EQ(clamp_frame_number(INT32_MIN, 3), 1);
}

namespace {

// What a frame holds after loading, worked out record by record from the bytes: the
// links turned into positions by the plain rules (last back-link wins, halving search by
// id), with out-of-range back-links and unresolved identifiers set to -1.
struct ReferenceFrame {
    std::vector<FramePoint> world;
    std::vector<FramePoint> matches;
    int32_t matched = 0;
};

int32_t i32_at(const std::vector<uint8_t>& b, size_t at) {
    return (int32_t)(b[at] | b[at + 1] << 8 | b[at + 2] << 16 | (uint32_t)b[at + 3] << 24);
}

float f32_at(const std::vector<uint8_t>& b, size_t at) {
    const int32_t v = i32_at(b, at);
    float f;
    memcpy(&f, &v, sizeof f);
    return f;
}

ReferenceFrame reference_frame(const std::vector<uint8_t>& b, size_t at) {
    ReferenceFrame r;
    const bool to_world = b[at] == 0;
    const int32_t w = i32_at(b, at + 1);
    at += 5;
    for (int32_t i = 0; i < w; ++i) {
        FramePoint p = {};
        for (int c = 0; c < 3; ++c) p.position[c] = f32_at(b, at + 4 * c);
        for (int c = 0; c < 3; ++c) p.direction[c] = f32_at(b, at + 12 + 4 * c);
        p.link = to_world ? -1 : i32_at(b, at + 24);
        p.id = -1;
        at += to_world ? 24 : 28;
        r.world.push_back(p);
    }
    const int32_t k = i32_at(b, at);
    at += 4;
    for (int32_t i = 0; i < k; ++i) {
        FramePoint p = {};
        for (int c = 0; c < 3; ++c) p.position[c] = f32_at(b, at + 4 * c);
        for (int c = 0; c < 3; ++c) p.direction[c] = f32_at(b, at + 12 + 4 * c);
        p.link = i32_at(b, at + 24);
        p.id = to_world ? -1 : i32_at(b, at + 28);
        at += to_world ? 28 : 32;
        r.matches.push_back(p);
    }
    if (to_world) {
        for (int32_t i = 0; i < k; ++i) {
            const int32_t link = r.matches[i].link;
            if (link < 0) continue;
            r.matched += 1;
            if (link < w) {
                r.world[link].link = i;
            } else {
                r.matches[i].link = -1;
            }
        }
        return r;
    }
    for (FramePoint& p : r.world) {
        if (p.link < 0) continue;
        r.matched += 1;
        const int32_t id = p.link;
        p.link = -1;
        int32_t lo = 0, hi = k;
        while (lo < hi) {
            const int32_t mid = (int32_t)(((int64_t)lo + hi) / 2);
            if (id < r.matches[mid].id) {
                hi = mid;
            } else if (id > r.matches[mid].id) {
                lo = mid + 1;
            } else {
                p.link = mid;
                break;
            }
        }
    }
    return r;
}

// Reads the one frame of bytes and compares every record with the reference.
void expect_as_reference(const std::vector<uint8_t>& bytes, const char* what) {
    const ReferenceFrame ref = reference_frame(bytes, 4);
    Arrays a;
    const FrameRead f = read_first(bytes, a);
    EXPECT_FALSE(f.cut_short) << what;
    ASSERT_EQ(f.world_count, (int32_t)ref.world.size()) << what;
    ASSERT_EQ(f.match_count, (int32_t)ref.matches.size()) << what;
    EXPECT_EQ(f.matched, ref.matched) << what;
    int differing = 0;
    for (size_t i = 0; i < ref.world.size(); ++i) {
        differing += memcmp(&a.world[i], &ref.world[i], sizeof(FramePoint)) != 0;
    }
    for (size_t i = 0; i < ref.matches.size(); ++i) {
        differing += memcmp(&a.matches[i], &ref.matches[i], sizeof(FramePoint)) != 0;
    }
    EXPECT_EQ(differing, 0) << what;
}

uint32_t next_random(uint32_t& state) {
    state = state * 1664525u + 1013904223u;
    return state >> 8;
}

// A to-frame frame of 20000 world points over the given match ids: most world points name
// an id that exists, some one that does not, some none.
std::vector<uint8_t> to_frame_bytes(const std::vector<int32_t>& ids, uint32_t seed) {
    uint32_t state = seed;
    std::vector<FilePoint> world, matches;
    for (size_t i = 0; i < ids.size(); ++i) {
        matches.push_back(file_point((int)(i % 1000), (int32_t)next_random(state) % 50, ids[i]));
    }
    for (int j = 0; j < 20000; ++j) {
        const uint32_t roll = next_random(state) % 10;
        int32_t id = -1;
        if (roll < 7) id = ids[next_random(state) % ids.size()];
        if (roll == 7) id = (int32_t)(next_random(state) % 3000000);
        if (roll == 8) id = -(int32_t)(next_random(state) % 5) - 1;
        if (id == INT32_MIN) id = -1;
        world.push_back(file_point(j % 777, id));
    }
    std::vector<uint8_t> bytes;
    put_frame(bytes, 3, world, matches);
    return bytes;
}

}  // namespace

TEST(ReadFrameLargeFrames, ToWorldMatchesThePlainRules) {
    uint32_t state = 99;
    std::vector<FilePoint> world, matches;
    for (int j = 0; j < 20000; ++j) world.push_back(file_point(j % 500));
    for (int i = 0; i < 25000; ++i) {
        const uint32_t roll = next_random(state) % 10;
        int32_t link = (int32_t)(next_random(state) % 20000);
        if (roll == 0) link = -1 - (int32_t)(next_random(state) % 9);
        if (roll == 1) link = 20000 + (int32_t)(next_random(state) % 100);
        matches.push_back(file_point(i % 300, link));
    }
    std::vector<uint8_t> bytes;
    put_frame(bytes, 0, world, matches);
    expect_as_reference(bytes, "to world");
}

TEST(ReadFrameLargeFrames, ToFrameMatchesTheHalvingSearch) {
    uint32_t state = 5;
    // Evenly spread, unevenly spread (squares), and unsorted with repeats.
    std::vector<int32_t> even, uneven, shuffled;
    for (int32_t i = 0; i < 30000; ++i) even.push_back(3 * i + 11);
    for (int32_t i = 0; i < 30000; ++i) uneven.push_back(i < 15000 ? i : 15000 + (i - 15000) * (i - 15000) / 100);
    uneven.erase(std::unique(uneven.begin(), uneven.end()), uneven.end());
    for (int32_t i = 0; i < 30000; ++i) shuffled.push_back((int32_t)(next_random(state) % 40000));
    expect_as_reference(to_frame_bytes(even, 1), "even ids");
    expect_as_reference(to_frame_bytes(uneven, 2), "uneven ids");
    expect_as_reference(to_frame_bytes(shuffled, 3), "shuffled ids");
    // Identifiers over the whole signed range.
    expect_as_reference(to_frame_bytes({INT32_MIN, -70000, -5, 0, 7, 1000000, INT32_MAX - 1,
                                        INT32_MAX},
                                       4),
                        "extreme ids");
    // Ascending ids with one repeat, wherever that repeat lies (also where large frames are
    // read in pieces): the repeat must send the search back to plain halving.
    for (int32_t at : {1, 1023, 1024, 2047, 2048, 4095, 4096, 8191, 8192, 16383, 16384}) {
        std::vector<int32_t> ids;
        for (int32_t i = 0; i < 20000; ++i) ids.push_back(i);
        ids[at] = ids[at - 1];
        std::vector<uint8_t> bytes = to_frame_bytes(ids, 7);
        // Ask for the repeated id from the first world point, where the two searches differ.
        const size_t first_link = 4 + 5 + 24;
        const int32_t id = ids[at];
        for (int c = 0; c < 4; ++c) bytes[first_link + c] = (uint8_t)((uint32_t)id >> (8 * c));
        expect_as_reference(bytes, ("repeat at " + std::to_string(at)).c_str());
    }
}
