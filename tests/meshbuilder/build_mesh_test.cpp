// build_mesh end to end on real files, with the message boxes recorded: the order of the
// boxes, the save before the input is deleted, and every failure that must keep the input.
#include "meshbuilder/build_mesh.h"

#include <errno.h>
#include <fcntl.h>
#include <float.h>
#include <stdio.h>
#include <string.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <functional>

#include "meshbuilder/point_file.h"
#include "meshbuilder/reconstruction.h"
#include "meshbuilder/vrml_writer.h"
#include "shapes.h"
#include "test_files.h"

namespace {

// What a box showed, and whether the input and output existed at that moment.
struct Box {
    HWND owner;
    std::wstring text, caption;
    UINT type;
    bool input_there, output_there;
};
std::vector<Box> g_boxes;
std::string g_input, g_output;
std::vector<std::string> g_removed;
// What the user does while the first box is up (nothing unless a test says so).
std::function<void()> g_while_first_box;

// The progress window's life, seen through its hooks: the boxes shown when it was started
// and stopped, whether the mesh file existed when it was stopped, and what the progress
// record said then.
struct ProgressSeen {
    int starts = 0, stops = 0;
    size_t boxes_at_start = 0, boxes_at_stop = 0;
    int32_t point_count = -1;
    bool output_there_at_stop = false;
    const ReconstructionProgress* progress = nullptr;
    int64_t reached_at_stop = -1, rows_at_stop = -1;
    bool triangulated_at_stop = false;
};
ProgressSeen g_progress;
ProgressWindow* const kFakeWindow = reinterpret_cast<ProgressWindow*>(&g_progress);

ProgressWindow* record_progress_start(int32_t point_count, const ReconstructionProgress* progress) {
    ++g_progress.starts;
    g_progress.boxes_at_start = g_boxes.size();
    g_progress.point_count = point_count;
    g_progress.progress = progress;
    return kFakeWindow;
}
void record_progress_stop(ProgressWindow* window) {
    EXPECT_EQ(window, kFakeWindow);
    ++g_progress.stops;
    g_progress.boxes_at_stop = g_boxes.size();
    g_progress.output_there_at_stop = file_exists(g_output);
    g_progress.reached_at_stop = g_progress.progress->points_reached;
    g_progress.rows_at_stop = g_progress.progress->rows_asked;
    g_progress.triangulated_at_stop = g_progress.progress->triangulated;
}

int WINAPI record_box(HWND owner, LPCWSTR text, LPCWSTR caption, UINT type) {
    g_boxes.push_back(Box{owner, text, caption, type, file_exists(g_input), file_exists(g_output)});
    if (g_boxes.size() == 1 && g_while_first_box) g_while_first_box();
    return IDOK;
}
bool record_remove(const char* path) {
    g_removed.push_back(path);
    return system_file_steps().remove(path);
}
size_t write_fails(const void*, size_t, FILE*) {
    return errno = ENOSPC, 0;
}
int sync_fails(FILE*) {
    return errno = EIO, EOF;
}
// The rename happens, but the folder cannot be flushed, so it may not survive a power cut.
bool folder_sync_fails(const char* from, const char* to) {
    if (rename(from, to) != 0) ADD_FAILURE() << "rename failed";
    return errno = EIO, false;
}

const std::wstring kSavedInputKept =
    L"File Saved\n\nThe point file was kept: it was replaced or changed after it was read, so "
    L"it is not the file the mesh was made from.";

size_t append_to_string(const void* data, size_t size, FILE* file) {
    reinterpret_cast<std::string*>(file)->append((const char*)data, size);
    return size;
}

struct BuildCase : ::testing::Test {
    TempFolder folder;
    FileSteps steps = system_file_steps();
    PointFile points{};
    MeshRecord mesh{};

    void SetUp() override {
        g_boxes.clear();
        g_removed.clear();
        g_while_first_box = nullptr;
        g_progress = ProgressSeen{};
        steps.remove = record_remove;
    }
    void TearDown() override {
        free(points.positions);
        free(points.normals);
        free_mesh_record(&mesh);
    }
    // Writes shape as the input file and reads it back as the shell does.
    void make_input(const OrientedPoints& shape, const std::string& input,
                    const std::string& output) {
        g_input = input;
        g_output = output;
        std::string reason;
        ASSERT_TRUE(write_point_file(g_input.c_str(), shape, &reason)) << reason;
        ASSERT_EQ(load_points(g_input.c_str(), &points).status, LoadStatus::ok);
    }
    BuildResult build() {
        return build_mesh_with(
            BuildHooks{record_box, &steps, record_progress_start, record_progress_stop},
            g_input.c_str(),
                               points.identified ? &points.identity : nullptr, points.count,
                               points.positions, points.normals, &mesh);
    }
    std::string mesh_text() {
        std::string text;
        write_vrml_stream(mesh, reinterpret_cast<FILE*>(&text), append_to_string);
        return text;
    }
    void expect_boxes(const std::vector<std::wstring>& texts) {
        ASSERT_EQ(g_boxes.size(), texts.size());
        for (size_t i = 0; i < texts.size(); ++i) {
            EXPECT_EQ(g_boxes[i].text, texts[i]);
            EXPECT_EQ(g_boxes[i].caption, L"Meshweaver");
            EXPECT_EQ(g_boxes[i].type, (UINT)MB_ICONINFORMATION);
            EXPECT_EQ(g_boxes[i].owner, nullptr);
        }
    }
    // A failed save: the mesh exists, the input is kept, no temporary file, no "File Saved".
    void expect_failed_save(const BuildResult& result, const std::string& place) {
        EXPECT_FALSE(result.ok);
        EXPECT_TRUE(result.has_mesh);
        EXPECT_GT(mesh.triangle_count, 0);
        expect_boxes({L"Starting reconstruction"});
        EXPECT_EQ(g_progress.stops, 1);  // closed before the shell's error box
        EXPECT_EQ(names_in(place), std::vector<std::string>{"ball.dat"});
        EXPECT_EQ(read_whole_file(g_input).size(), 4u + 24u * points.count);
        for (const std::string& removed : g_removed) EXPECT_NE(removed, g_input);
    }
};

TEST_F(BuildCase, SavesTheMeshThenDeletesTheInput) {
    make_input(make_sphere(2000, 0.02), folder.file("ball.dat"), folder.file("ball.wrl"));
    const BuildResult result = build();
    ASSERT_TRUE(result.ok && result.has_mesh);
    expect_boxes({L"Starting reconstruction", L"File Saved"});
    EXPECT_TRUE(g_boxes[0].input_there && !g_boxes[0].output_there);
    EXPECT_TRUE(!g_boxes[1].input_there && g_boxes[1].output_there);
    EXPECT_EQ(mesh.vertex_count, 2000);
    EXPECT_GT(mesh.triangle_count, 3000);
    EXPECT_EQ(memcmp(mesh.vertices, points.positions, 12 * 2000), 0);
    EXPECT_TRUE(read_whole_file(g_output) == mesh_text());
    EXPECT_EQ(names_in(folder.path), std::vector<std::string>{"ball.wrl"});
}

// The progress window opens once the "Starting reconstruction" box is dismissed and closes
// after the mesh file is saved, before "File Saved"; by then every point has been reached,
// though the triangulation asked for the rows of only some of them.
TEST_F(BuildCase, ProgressWindowCoversTheWorkBetweenTheBoxes) {
    make_input(make_sphere(2000, 0.02), folder.file("ball.dat"), folder.file("ball.wrl"));
    ASSERT_TRUE(build().ok);
    ASSERT_EQ(g_progress.starts, 1);
    ASSERT_EQ(g_progress.stops, 1);
    EXPECT_EQ(g_progress.point_count, 2000);
    EXPECT_EQ(g_progress.boxes_at_start, 1u);
    EXPECT_EQ(g_progress.boxes_at_stop, 1u);
    EXPECT_TRUE(g_progress.output_there_at_stop);
    EXPECT_TRUE(g_progress.triangulated_at_stop);
    EXPECT_EQ(g_progress.reached_at_stop, 2000);
    EXPECT_GT(g_progress.rows_at_stop, 0);
    EXPECT_LT(g_progress.rows_at_stop, 2000);
}

TEST_F(BuildCase, NoTriangleOrNoPointStillWritesTheFileAndDeletesTheInput) {
    make_input(make_plane(50, 0.5), folder.file("sparse.pts"), folder.file("sparse.wrl"));
    ASSERT_TRUE(build().ok);
    EXPECT_EQ(mesh.triangle_count, 0);
    expect_boxes({L"Starting reconstruction", L"File Saved"});
    const std::string text = read_whole_file(g_output);
    EXPECT_NE(text.find("    [\r\n      -1.75000 -1.75000 0.00000,\r\n"), std::string::npos);
    EXPECT_EQ(text.substr(text.find("\r\n    ]")),
              "\r\n    ]\r\n  }\r\nIndexedFaceSet { coordIndex [\r\n]}\r\n}");

    free(points.positions);
    free(points.normals);
    free_mesh_record(&mesh);
    make_input(OrientedPoints(), folder.file("none.dat"), folder.file("none.wrl"));
    g_boxes.clear();
    ASSERT_TRUE(build().ok);
    expect_boxes({L"Starting reconstruction", L"File Saved"});
    EXPECT_EQ(read_whole_file(g_output), mesh_text());
    EXPECT_EQ(names_in(folder.path), (std::vector<std::string>{"none.wrl", "sparse.wrl"}));
}

TEST_F(BuildCase, InputOfTheSameNameIsReplacedNotDeleted) {
    make_input(make_sphere(500, 0.02), folder.file("scan.wrl"), folder.file("scan.wrl"));
    ASSERT_TRUE(build().ok);
    EXPECT_TRUE(read_whole_file(g_output) == mesh_text());
    EXPECT_EQ(names_in(folder.path), std::vector<std::string>{"scan.wrl"});
    EXPECT_TRUE(g_removed.empty());
}

TEST_F(BuildCase, FailedWriteKeepsTheInput) {
    make_input(make_sphere(500, 0.02), folder.file("ball.dat"), folder.file("ball.wrl"));
    steps.write = write_fails;
    const BuildResult result = build();
    expect_failed_save(result, folder.path);
    EXPECT_NE(result.reason.find(L"No space left on device"), std::wstring::npos);
}

TEST_F(BuildCase, FailedSyncOfTheFileOrOfTheFolderKeepsTheInputAndSaysWhy) {
    make_input(make_sphere(500, 0.02), folder.file("ball.dat"), folder.file("ball.wrl"));
    steps.sync = sync_fails;
    BuildResult result = build();
    expect_failed_save(result, folder.path);
    EXPECT_EQ(result.reason,
              L"The mesh file could not be put on the disk (Input/output error). Nothing was "
              L"saved and the point file was kept.");

    free_mesh_record(&mesh);
    g_boxes.clear();
    steps = system_file_steps();
    steps.remove = record_remove;
    steps.replace = folder_sync_fails;
    result = build();
    EXPECT_FALSE(result.ok);
    expect_boxes({L"Starting reconstruction"});
    EXPECT_EQ(result.reason,
              L"The finished mesh file could not be given its name on the disk (Input/output "
              L"error). Nothing was saved and the point file was kept.");
    // The renamed file may be lost in a power cut, so the input stays.
    EXPECT_EQ(names_in(folder.path), (std::vector<std::string>{"ball.dat", "ball.wrl"}));
    EXPECT_EQ(read_whole_file(g_input).size(), 4u + 24u * points.count);
}

// While "Starting reconstruction" is up, the input is replaced by another file, rewritten in
// place, or only touched: that file is not the one read, so it is kept; the mesh is saved.
TEST_F(BuildCase, InputChangedWhileTheFirstBoxIsUpIsKept) {
    const std::string other = "another file of the same name";
    const std::function<void()> changes[] = {
        [&] {
            write_whole_file(folder.file("new.dat"), other);
            ASSERT_EQ(rename(folder.file("new.dat").c_str(), g_input.c_str()), 0);
        },
        [&] {
            const int fd = open(g_input.c_str(), O_WRONLY | O_TRUNC);
            ASSERT_GE(fd, 0);
            ASSERT_EQ(write(fd, other.data(), other.size()), (ssize_t)other.size());
            close(fd);
        },
        [&] {
            struct stat info;
            ASSERT_EQ(stat(g_input.c_str(), &info), 0);
            timespec times[2] = {info.st_atim, info.st_mtim};
            times[1].tv_sec -= 3600;
            ASSERT_EQ(utimensat(AT_FDCWD, g_input.c_str(), times, 0), 0);
        },
    };
    int kind = 0;
    for (const auto& change : changes) {
        SCOPED_TRACE(kind);
        free(points.positions);
        free(points.normals);
        free_mesh_record(&mesh);
        g_boxes.clear();
        make_input(make_sphere(500, 0.02), folder.file("ball.dat"), folder.file("ball.wrl"));
        const std::string before = read_whole_file(g_input);
        g_while_first_box = change;
        const BuildResult result = build();
        ASSERT_TRUE(result.ok && result.has_mesh);
        expect_boxes({L"Starting reconstruction", kSavedInputKept});
        EXPECT_TRUE(read_whole_file(g_output) == mesh_text());
        EXPECT_EQ(names_in(folder.path), (std::vector<std::string>{"ball.dat", "ball.wrl"}));
        EXPECT_TRUE(read_whole_file(g_input) == (kind < 2 ? other : before));
        EXPECT_TRUE(g_removed.empty());
        ASSERT_EQ(unlink(g_output.c_str()), 0);
        ++kind;
    }
}

TEST_F(BuildCase, StaleTemporaryFilesDoNotBlockTheSave) {
    make_input(make_sphere(500, 0.02), folder.file("ball.dat"), folder.file("ball.wrl"));
    write_whole_file(g_output + ".tmp", "left by a crashed run");
    write_whole_file(g_output + ".tmp1", "");
    ASSERT_TRUE(build().ok);
    expect_boxes({L"Starting reconstruction", L"File Saved"});
    EXPECT_TRUE(read_whole_file(g_output) == mesh_text());
    EXPECT_EQ(read_whole_file(g_output + ".tmp"), "left by a crashed run");
    EXPECT_EQ(names_in(folder.path),
              (std::vector<std::string>{"ball.wrl", "ball.wrl.tmp", "ball.wrl.tmp1"}));
}

// Points at the largest accepted coordinates (the file reader refuses larger ones) go through
// the whole reconstruction and save: a sphere scaled to the limit, and a small sphere with 1 %
// of its points moved to the corners of the limit, some with huge normals.
TEST_F(BuildCase, CoordinatesAtTheLimitAreReconstructedWithoutAbort) {
    OrientedPoints scaled = make_sphere(2000, 0.02);
    float largest = 0;
    for (float v : scaled.positions) largest = std::max(largest, std::fabs(v));
    for (float& v : scaled.positions)
        v = std::min(v / largest * kCoordinateLimit, kCoordinateLimit);
    OrientedPoints cornered = make_sphere(2000, 0.02);
    for (int i = 0; i < 2000; i += 100) {
        for (int c = 0; c < 3; ++c) {
            cornered.positions[3 * i + c] =
                (i / 100 + c) % 2 ? kCoordinateLimit : -kCoordinateLimit;
            cornered.normals[3 * i + c] = (i / 100) % 3 ? FLT_MAX : -FLT_MAX;
        }
    }
    for (const OrientedPoints* shape : {&scaled, &cornered}) {
        free(points.positions);
        free(points.normals);
        free_mesh_record(&mesh);
        g_boxes.clear();
        make_input(*shape, folder.file("far.dat"), folder.file("far.wrl"));
        ASSERT_TRUE(build().ok);
        expect_boxes({L"Starting reconstruction", L"File Saved"});
        EXPECT_TRUE(read_whole_file(g_output) == mesh_text());
    }
    EXPECT_GT(mesh.triangle_count, 3000);  // the small sphere is still meshed
}

// Unmounts what a test mounted, whatever its outcome.
struct MountGuard {
    std::string place;
    ~MountGuard() {
        if (!place.empty()) umount(place.c_str());
    }
};

// A folder where no file can be created: read-only for an ordinary user; for root, who may
// write anywhere, a small file system mounted read-only.
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
    make_input(make_sphere(500, 0.02), place + "/ball.dat", place + "/ball.wrl");
    if (guard.place.empty()) {
        ASSERT_EQ(chmod(place.c_str(), 0500), 0);
    } else {
        ASSERT_EQ(mount("tmpfs", place.c_str(), "tmpfs", MS_REMOUNT | MS_RDONLY, "size=1m"), 0);
    }
    const BuildResult result = build();
    EXPECT_NE(result.reason.find(L"could not be created"), std::wstring::npos);
    expect_failed_save(result, place);
    chmod(place.c_str(), 0700);
}

}  // namespace
