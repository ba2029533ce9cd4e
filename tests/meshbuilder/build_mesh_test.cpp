// build_mesh end to end on real files, with the message boxes recorded: the order of the
// boxes, the save before the input is deleted, and every failure that must keep the input.
#include "meshbuilder/build_mesh.h"

#include <errno.h>
#include <stdlib.h>
#include <string.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "meshbuilder/point_file.h"
#include "meshbuilder/vrml_writer.h"
#include "shapes.h"
#include "test_files.h"

namespace {

// What a box showed, and what the folder looked like at that moment.
struct Box {
    HWND owner;
    std::wstring text;
    std::wstring caption;
    UINT type;
    bool input_there;
    bool output_there;
    std::string output_bytes;
};

std::vector<Box> g_boxes;
std::string g_input, g_output;
std::vector<std::string> g_removed;

int WINAPI record_box(HWND owner, LPCWSTR text, LPCWSTR caption, UINT type) {
    g_boxes.push_back(Box{owner, text, caption, type, file_exists(g_input), file_exists(g_output),
                          read_whole_file(g_output)});
    return IDOK;
}

bool record_remove(const char* path) {
    g_removed.push_back(path);
    return system_file_steps().remove(path);
}

size_t write_fails(const void*, size_t, FILE*) {
    errno = ENOSPC;
    return 0;
}

struct BuildCase : ::testing::Test {
    TempFolder folder;
    FileSteps steps = system_file_steps();
    PointFile points{};
    MeshRecord mesh{};

    void SetUp() override {
        g_boxes.clear();
        g_removed.clear();
        steps.remove = record_remove;
    }
    void TearDown() override {
        free(points.positions);
        free(points.normals);
        free_mesh_record(&mesh);
    }

    // Writes shape as the input file name and reads it back as the shell does.
    void make_input(const OrientedPoints& shape, const std::string& name,
                    const std::string& output_name) {
        g_input = folder.file(name);
        g_output = folder.file(output_name);
        std::string reason;
        ASSERT_TRUE(write_point_file(g_input.c_str(), shape, &reason)) << reason;
        ASSERT_EQ(load_points(g_input.c_str(), &points).status, LoadStatus::ok);
    }

    BuildResult build() {
        const BuildHooks hooks{record_box, &steps};
        return build_mesh_with(hooks, g_input.c_str(), points.count, points.positions,
                               points.normals, &mesh);
    }

    std::string expected_text() {
        std::string text;
        write_vrml_stream(mesh, reinterpret_cast<FILE*>(&text),
                          [](const void* data, size_t size, FILE* file) {
                              reinterpret_cast<std::string*>(file)->append((const char*)data, size);
                              return size;
                          });
        return text;
    }

    void expect_box(size_t i, const wchar_t* text) {
        ASSERT_GT(g_boxes.size(), i);
        EXPECT_EQ(g_boxes[i].text, text);
        EXPECT_EQ(g_boxes[i].caption, L"Meshweaver");
        EXPECT_EQ(g_boxes[i].type, (UINT)MB_ICONINFORMATION);
        EXPECT_EQ(g_boxes[i].owner, nullptr);
    }

    // A failed save: the mesh exists, the input is kept, no temporary file, no "File Saved".
    void expect_failed_save(const BuildResult& result, const std::string& place,
                            const std::vector<std::string>& names) {
        EXPECT_FALSE(result.ok);
        EXPECT_TRUE(result.has_mesh);
        EXPECT_FALSE(result.reason.empty());
        EXPECT_GT(mesh.triangle_count, 0);
        ASSERT_EQ(g_boxes.size(), 1u);
        expect_box(0, L"Starting reconstruction");
        EXPECT_TRUE(file_exists(g_input));
        EXPECT_EQ(TempFolder::list(place), names);
        for (const std::string& removed : g_removed) EXPECT_NE(removed, g_input);
    }
};

TEST_F(BuildCase, SavesTheMeshThenDeletesTheInput) {
    make_input(make_sphere(2000, 0.02), "ball.dat", "ball.wrl");
    const BuildResult result = build();
    ASSERT_TRUE(result.ok);
    EXPECT_TRUE(result.has_mesh);
    ASSERT_EQ(g_boxes.size(), 2u);
    expect_box(0, L"Starting reconstruction");
    EXPECT_TRUE(g_boxes[0].input_there);
    EXPECT_FALSE(g_boxes[0].output_there);
    expect_box(1, L"File Saved");
    EXPECT_FALSE(g_boxes[1].input_there);
    ASSERT_TRUE(g_boxes[1].output_there);

    EXPECT_EQ(mesh.vertex_count, 2000);
    EXPECT_GT(mesh.triangle_count, 3000);
    EXPECT_EQ(memcmp(mesh.vertices, points.positions, 12 * 2000), 0);
    const std::string text = expected_text();
    EXPECT_TRUE(g_boxes[1].output_bytes == text);
    EXPECT_TRUE(read_whole_file(g_output) == text);
    EXPECT_EQ(folder.names(), std::vector<std::string>{"ball.wrl"});
}

TEST_F(BuildCase, NoTriangleStillWritesTheFileAndDeletesTheInput) {
    make_input(make_plane(50, 0.5), "sparse.pts", "sparse.wrl");
    const BuildResult result = build();
    ASSERT_TRUE(result.ok);
    EXPECT_EQ(mesh.triangle_count, 0);
    ASSERT_EQ(g_boxes.size(), 2u);
    expect_box(1, L"File Saved");
    const std::string text = read_whole_file(g_output);
    const std::string tail = "\r\n    ]\r\n  }\r\nIndexedFaceSet { coordIndex [\r\n]}\r\n}";
    ASSERT_GT(text.size(), tail.size());
    EXPECT_EQ(text.substr(text.size() - tail.size()), tail);
    EXPECT_NE(text.find("    [\r\n      -1.75000 -1.75000 0.00000,\r\n"), std::string::npos);
    EXPECT_EQ(folder.names(), std::vector<std::string>{"sparse.wrl"});
}

TEST_F(BuildCase, NoPointsGiveAnEmptyMeshFile) {
    make_input(OrientedPoints(), "none.dat", "none.wrl");
    ASSERT_TRUE(build().ok);
    EXPECT_EQ(g_boxes.size(), 2u);
    EXPECT_EQ(read_whole_file(g_output),
              "#VRML V1.0 ascii\r\n\r\nSeparator\r\n{\r\n  Coordinate3\r\n  {\r\n    point\r\n"
              "    [\r\n    ]\r\n  }\r\nIndexedFaceSet { coordIndex [\r\n]}\r\n}");
    EXPECT_EQ(folder.names(), std::vector<std::string>{"none.wrl"});
}

TEST_F(BuildCase, InputOfTheSameNameIsReplacedNotDeleted) {
    make_input(make_sphere(500, 0.02), "scan.wrl", "scan.wrl");
    const BuildResult result = build();
    ASSERT_TRUE(result.ok);
    EXPECT_TRUE(read_whole_file(g_output) == expected_text());
    EXPECT_EQ(folder.names(), std::vector<std::string>{"scan.wrl"});
    for (const std::string& removed : g_removed) EXPECT_NE(removed, g_input);
}

TEST_F(BuildCase, FailedWriteKeepsTheInput) {
    make_input(make_sphere(500, 0.02), "ball.dat", "ball.wrl");
    steps.write = write_fails;
    const BuildResult result = build();
    expect_failed_save(result, folder.path(), {"ball.dat"});
    EXPECT_NE(result.reason.find(L"No space left on device"), std::wstring::npos);
}

// A folder where no file can be created: a read-only folder for an ordinary user; for root,
// who may write anywhere, a small file system mounted read-only.
// Unmounts a file system mounted by a test, whatever the test's outcome.
struct MountGuard {
    std::string place;
    ~MountGuard() {
        if (!place.empty()) umount(place.c_str());
    }
};

TEST_F(BuildCase, ReadOnlyFolderKeepsTheInput) {
    const std::string place = folder.file("place");
    ASSERT_EQ(mkdir(place.c_str(), 0700), 0);
    MountGuard guard;
    if (geteuid() == 0) {
        if (mount("tmpfs", place.c_str(), "tmpfs", 0, "size=1m") != 0) {
            GTEST_SKIP() << "running as root without the right to mount a file system";
        }
        guard.place = place;
    }
    g_input = place + "/ball.dat";
    g_output = place + "/ball.wrl";
    std::string reason;
    ASSERT_TRUE(write_point_file(g_input.c_str(), make_sphere(500, 0.02), &reason)) << reason;
    ASSERT_EQ(load_points(g_input.c_str(), &points).status, LoadStatus::ok);
    if (!guard.place.empty()) {
        ASSERT_EQ(mount("tmpfs", place.c_str(), "tmpfs", MS_REMOUNT | MS_RDONLY, "size=1m"), 0);
    } else {
        ASSERT_EQ(chmod(place.c_str(), 0500), 0);
    }
    const BuildResult result = build();
    EXPECT_NE(result.reason.find(L"could not be created"), std::wstring::npos);
    expect_failed_save(result, place, {"ball.dat"});
    EXPECT_EQ(read_whole_file(g_input).size(), 4u + 24u * 500u);
}

}  // namespace
