// The oriented point file reader on real files: good ones, and every way a file can be
// short, implausible or damaged.
#include "meshbuilder/point_file.h"

#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>

#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "shapes.h"
#include "test_files.h"

namespace {

std::string le32(uint32_t v) {
    std::string bytes(4, '\0');
    for (int i = 0; i < 4; ++i) bytes[i] = (char)(v >> (8 * i));
    return bytes;
}

std::string le_float(float f) {
    uint32_t bits;
    memcpy(&bits, &f, 4);
    return le32(bits);
}

// A point file built byte by byte: the count, then position and normal of each point.
std::string point_bytes(int32_t count, const std::vector<float>& values) {
    std::string bytes = le32((uint32_t)count);
    for (float v : values) bytes += le_float(v);
    return bytes;
}

struct Loaded {
    LoadResult result;
    PointFile points;
    Loaded() : result{LoadStatus::ok, std::wstring()}, points{} {}
    ~Loaded() {
        free(points.positions);
        free(points.normals);
    }
};

void load(const std::string& path, Loaded* loaded) {
    loaded->points.count = -7;  // overwritten in every case
    loaded->result = load_points(path.c_str(), &loaded->points);
    if (loaded->result.status != LoadStatus::ok) {
        EXPECT_EQ(loaded->points.count, 0);
        EXPECT_EQ(loaded->points.positions, nullptr);
        EXPECT_EQ(loaded->points.normals, nullptr);
        EXPECT_FALSE(loaded->result.reason.empty());
    }
}

TEST(LoadPoints, ReadsPositionsAndNormalsInFileOrder) {
    TempFolder folder;
    const std::vector<float> values = {1.5f, -2.0f, 3.25f, 0.0f, 0.0f, 1.0f,   // point 0
                                       -0.0f, 1e-30f, 7.0f, 0.0f, 0.0f, 0.0f,  // zero normal
                                       4.0f, 5.0f, 6.0f, 3.0f, -4.0f, 12.0f};  // not unit
    const std::string bytes = point_bytes(3, values);
    write_whole_file(folder.file("good.dat"), bytes);
    write_whole_file(folder.file("trailing.dat"), bytes + "extra bytes after the last point");
    for (const char* name : {"good.dat", "trailing.dat"}) {
        Loaded loaded;
        load(folder.file(name), &loaded);
        ASSERT_EQ(loaded.result.status, LoadStatus::ok) << name;
        ASSERT_EQ(loaded.points.count, 3);
        for (int i = 0; i < 3; ++i) {
            EXPECT_EQ(memcmp(loaded.points.positions + 3 * i, &values[6 * i], 12), 0) << i;
            EXPECT_EQ(memcmp(loaded.points.normals + 3 * i, &values[6 * i + 3], 12), 0) << i;
        }
    }
}

TEST(LoadPoints, EmptyFileAndManyBlocksRoundTrip) {
    TempFolder folder;
    write_whole_file(folder.file("empty.dat"), le32(0));
    Loaded empty;
    load(folder.file("empty.dat"), &empty);
    ASSERT_EQ(empty.result.status, LoadStatus::ok);
    EXPECT_EQ(empty.points.count, 0);
    EXPECT_NE(empty.points.positions, nullptr);
    EXPECT_NE(empty.points.normals, nullptr);

    // More points than one read block holds, written by the tool's writer.
    const OrientedPoints sphere = make_sphere(10007, 0.02);
    std::string reason;
    ASSERT_TRUE(write_point_file(folder.file("sphere.dat").c_str(), sphere, &reason)) << reason;
    Loaded loaded;
    load(folder.file("sphere.dat"), &loaded);
    ASSERT_EQ(loaded.result.status, LoadStatus::ok);
    ASSERT_EQ(loaded.points.count, 10007);
    EXPECT_EQ(memcmp(loaded.points.positions, sphere.positions.data(), 12 * 10007), 0);
    EXPECT_EQ(memcmp(loaded.points.normals, sphere.normals.data(), 12 * 10007), 0);
}

TEST(LoadPoints, RefusesShortFiles) {
    TempFolder folder;
    const std::vector<float> two(12, 1.0f);
    const std::string full = point_bytes(2, two);
    const std::pair<const char*, std::string> cases[] = {
        {"nothing.dat", ""},
        {"partial_count.dat", "\x02\x00\x00"},
        {"count_only.dat", le32(2)},
        {"one_byte_short.dat", full.substr(0, full.size() - 1)},
        {"half_a_point.dat", full.substr(0, 4 + 24 + 12)},
    };
    for (const auto& c : cases) {
        write_whole_file(folder.file(c.first), c.second);
        Loaded loaded;
        load(folder.file(c.first), &loaded);
        EXPECT_EQ(loaded.result.status, LoadStatus::too_short) << c.first;
        EXPECT_NE(loaded.result.reason.find(L"too short"), std::wstring::npos);
    }
}

TEST(LoadPoints, RefusesNegativeAndHugeCounts) {
    TempFolder folder;
    write_whole_file(folder.file("negative.dat"), le32((uint32_t)-5) + std::string(240, '\0'));
    Loaded negative;
    load(folder.file("negative.dat"), &negative);
    EXPECT_EQ(negative.result.status, LoadStatus::negative_count);
    EXPECT_NE(negative.result.reason.find(L"-5"), std::wstring::npos);

    // NOTE: the count is checked against the length before anything is allocated: a count
    // of 2^31 - 1 would ask for 2 x 24 GiB.
    write_whole_file(folder.file("huge.dat"), le32(0x7fffffffu) + std::string(4800, '\0'));
    Loaded huge;
    load(folder.file("huge.dat"), &huge);
    EXPECT_EQ(huge.result.status, LoadStatus::too_short);
    EXPECT_NE(huge.result.reason.find(L"2147483647"), std::wstring::npos);
}

TEST(LoadPoints, RefusesNonFiniteCoordinates) {
    TempFolder folder;
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float inf = std::numeric_limits<float>::infinity();
    // A bad value in a position, in a normal, and in the last point of a later block.
    std::vector<float> position_nan(6 * 3, 0.5f);
    position_nan[6 * 1 + 2] = nan;
    std::vector<float> normal_inf(6 * 3, 0.5f);
    normal_inf[6 * 2 + 4] = -inf;
    std::vector<float> late(6 * 9000, 0.25f);
    late[6 * 8999 + 5] = inf;
    const std::pair<std::string, std::string> cases[] = {
        {"position_nan.dat", point_bytes(3, position_nan)},
        {"normal_inf.dat", point_bytes(3, normal_inf)},
        {"late.dat", point_bytes(9000, late)},
    };
    const wchar_t* points[] = {L"point 2 of 3", L"point 3 of 3", L"point 9000 of 9000"};
    for (int i = 0; i < 3; ++i) {
        write_whole_file(folder.file(cases[i].first), cases[i].second);
        Loaded loaded;
        load(folder.file(cases[i].first), &loaded);
        EXPECT_EQ(loaded.result.status, LoadStatus::not_finite) << cases[i].first;
        EXPECT_NE(loaded.result.reason.find(points[i]), std::wstring::npos) << cases[i].first;
    }
}

TEST(LoadPoints, MissingFileOrFolderCannotBeOpened) {
    TempFolder folder;
    for (const std::string& path : {folder.file("missing.dat"), folder.path()}) {
        Loaded loaded;
        load(path, &loaded);
        EXPECT_EQ(loaded.result.status, LoadStatus::cannot_open) << path;
        EXPECT_EQ(loaded.result.reason, L"Cannot open file");
    }
}

}  // namespace
