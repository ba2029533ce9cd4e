// The oriented point file reader on real files: good ones, and every way a file can be
// short, implausible or damaged.
#include "meshbuilder/point_file.h"

#include <string.h>

#include <float.h>

#include <cmath>

#include "shapes.h"
#include "test_files.h"

namespace {

std::string le32(uint32_t v) {
    return std::string{(char)v, (char)(v >> 8), (char)(v >> 16), (char)(v >> 24)};
}

// A point file built byte by byte: the count, then position and normal of each point.
std::string point_bytes(int32_t count, const std::vector<float>& values) {
    std::string bytes = le32((uint32_t)count);
    for (float v : values) {
        uint32_t bits;
        memcpy(&bits, &v, 4);
        bytes += le32(bits);
    }
    return bytes;
}

// Loads a file written with bytes; a refused file must leave nothing to free.
struct Loaded {
    PointFile points{-7, nullptr, nullptr, false, {}};
    LoadResult result;
    Loaded(const TempFolder& folder, const std::string& bytes) {
        write_whole_file(folder.file("points.dat"), bytes);
        result = load_points(folder.file("points.dat").c_str(), &points);
        if (result.status != LoadStatus::ok) {
            EXPECT_EQ(points.count, 0);
            EXPECT_TRUE(points.positions == nullptr && points.normals == nullptr);
            EXPECT_FALSE(result.reason.empty());
        }
    }
    ~Loaded() {
        free(points.positions);
        free(points.normals);
    }
};

TEST(LoadPoints, ReadsPointsInFileOrderAndIgnoresTrailingBytes) {
    TempFolder folder;
    const std::vector<float> values = {1.5f,  -2.0f,  3.25f, 0.0f, 0.0f,  1.0f,
                                       -0.0f, 1e-30f, 7.0f,  0.0f, 0.0f,  0.0f,    // zero normal
                                       4.0f,  5.0f,   6.0f,  3.0f, -4.0f, 12.0f};  // not unit
    for (const std::string& tail : {std::string(), std::string("extra bytes")}) {
        Loaded loaded(folder, point_bytes(3, values) + tail);
        ASSERT_EQ(loaded.result.status, LoadStatus::ok);
        ASSERT_EQ(loaded.points.count, 3);
        for (int i = 0; i < 3; ++i) {
            EXPECT_EQ(memcmp(loaded.points.positions + 3 * i, &values[6 * i], 12), 0) << i;
            EXPECT_EQ(memcmp(loaded.points.normals + 3 * i, &values[6 * i + 3], 12), 0) << i;
        }
    }
    Loaded empty(folder, le32(0));
    ASSERT_EQ(empty.result.status, LoadStatus::ok);
    EXPECT_EQ(empty.points.count, 0);
    EXPECT_TRUE(empty.points.positions != nullptr && empty.points.normals != nullptr);

    // More points than one read block, written by the tool's writer.
    const OrientedPoints sphere = make_sphere(10007, 0.02);
    std::string reason;
    ASSERT_TRUE(write_point_file(folder.file("sphere.dat").c_str(), sphere, &reason)) << reason;
    Loaded many(folder, read_whole_file(folder.file("sphere.dat")));
    ASSERT_EQ(many.points.count, 10007);
    EXPECT_EQ(memcmp(many.points.positions, sphere.positions.data(), 12 * 10007), 0);
    EXPECT_EQ(memcmp(many.points.normals, sphere.normals.data(), 12 * 10007), 0);
}

TEST(LoadPoints, RefusesShortFilesAndImplausibleCounts) {
    TempFolder folder;
    const std::string full = point_bytes(2, std::vector<float>(12, 1.0f));
    for (const std::string& bytes : {std::string(), std::string("\x02\x00\x00", 3), le32(2),
                                     full.substr(0, full.size() - 1), full.substr(0, 40)}) {
        Loaded loaded(folder, bytes);
        EXPECT_EQ(loaded.result.status, LoadStatus::too_short) << bytes.size();
    }
    Loaded negative(folder, le32((uint32_t)-5) + std::string(240, '\0'));
    EXPECT_EQ(negative.result.status, LoadStatus::negative_count);
    EXPECT_NE(negative.result.reason.find(L"-5"), std::wstring::npos);
    // NOTE: checked against the length before anything is allocated: 2^31 - 1 points would
    // ask for two blocks of 24 GiB.
    Loaded huge(folder, le32(0x7fffffffu) + std::string(4800, '\0'));
    EXPECT_EQ(huge.result.status, LoadStatus::too_short);
    EXPECT_NE(huge.result.reason.find(L"2147483647 points needs 51539607532 bytes"),
              std::wstring::npos);
}

TEST(LoadPoints, RefusalsCountOneInTheSingular) {
    TempFolder folder;
    const struct {
        std::string bytes;
        const wchar_t* words;
    } cases[] = {
        {std::string(), L"(0 bytes)"},
        {std::string(1, '\x01'), L"(1 byte)"},
        {std::string(3, '\x01'), L"(3 bytes)"},
        {le32(1) + std::string(23, '\0'), L"its count of 1 point needs 28 bytes, but it has 27."},
        {le32(2) + std::string(24, '\0'), L"its count of 2 points needs 52 bytes"},
    };
    for (const auto& c : cases) {
        Loaded loaded(folder, c.bytes);
        EXPECT_EQ(loaded.result.status, LoadStatus::too_short);
        EXPECT_NE(loaded.result.reason.find(c.words), std::wstring::npos)
            << std::string(loaded.result.reason.begin(), loaded.result.reason.end());
    }
}

TEST(LoadPoints, RefusesNonFiniteCoordinates) {
    TempFolder folder;
    // A NaN in a position, an infinity in a normal, and one in the last point of a late block.
    const std::pair<size_t, const wchar_t*> cases[] = {{6 * 1 + 2, L"point 2 of 9000"},
                                                       {6 * 2 + 4, L"point 3 of 9000"},
                                                       {6 * 8999 + 5, L"point 9000 of 9000"}};
    for (const auto& c : cases) {
        std::vector<float> values(6 * 9000, 0.25f);
        values[c.first] = c.first == 8 ? NAN : -INFINITY;
        Loaded loaded(folder, point_bytes(9000, values));
        EXPECT_EQ(loaded.result.status, LoadStatus::not_finite);
        EXPECT_NE(loaded.result.reason.find(c.second), std::wstring::npos);
    }
}

// Finite coordinates the triangulation's search tree cannot take (it aborts on an infinite
// squared distance) are refused with the limit in the reason; the limit itself is accepted.
TEST(LoadPoints, RefusesCoordinatesBeyondTheLimit) {
    TempFolder folder;
    const OrientedPoints sphere = make_sphere(2000, 0.02);
    std::vector<float> values;
    for (int i = 0; i < 2000; ++i) {
        for (int c = 0; c < 3; ++c) values.push_back(sphere.positions[3 * i + c]);
        for (int c = 0; c < 3; ++c) values.push_back(sphere.normals[3 * i + c]);
    }
    // The sphere scaled so that its largest coordinate is 3e38.
    float largest = 0;
    for (float v : sphere.positions) largest = std::max(largest, std::fabs(v));
    std::vector<float> scaled = values;
    for (size_t k = 0; k < scaled.size(); ++k) {
        if (k % 6 < 3) scaled[k] = (float)((double)scaled[k] / largest * 3e38);
    }
    std::vector<float> some_at_max = values;
    for (int i = 50; i < 2000; i += 100) some_at_max[6 * i + 1] = -FLT_MAX;
    const std::pair<const std::vector<float>*, const wchar_t*> refused[] = {
        {&scaled, L"point 1 of 2000"}, {&some_at_max, L"point 51 of 2000"}};
    for (const auto& c : refused) {
        Loaded loaded(folder, point_bytes(2000, *c.first));
        EXPECT_EQ(loaded.result.status, LoadStatus::out_of_range);
        EXPECT_NE(loaded.result.reason.find(c.second), std::wstring::npos);
        EXPECT_NE(loaded.result.reason.find(L"larger than 1e18"), std::wstring::npos);
    }
    // One point at the limit with a unit normal, one at the origin with the largest normal.
    std::vector<float> at_limit = {kCoordinateLimit, -kCoordinateLimit, 0, 0, 0, 1};
    for (float v : {0.0f, 0.0f, 0.0f, FLT_MAX, 0.0f, 0.0f}) at_limit.push_back(v);
    Loaded accepted(folder, point_bytes(2, at_limit));
    EXPECT_EQ(accepted.result.status, LoadStatus::ok);
    at_limit[2] = std::nextafter(kCoordinateLimit, INFINITY);
    Loaded beyond(folder, point_bytes(2, at_limit));
    EXPECT_EQ(beyond.result.status, LoadStatus::out_of_range);
}

TEST(LoadPoints, MissingFileOrFolderCannotBeOpened) {
    TempFolder folder;
    for (const std::string& path : {folder.file("missing.dat"), folder.path}) {
        PointFile points;
        const LoadResult result = load_points(path.c_str(), &points);
        EXPECT_EQ(result.status, LoadStatus::cannot_open) << path;
        EXPECT_EQ(result.reason, L"Cannot open file");
        EXPECT_EQ(points.positions, nullptr);
    }
}

}  // namespace
