// The sample-file tool: its files, read back with the viewer's index and frame reader.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "matchviewer/match_file.h"

namespace {

const std::filesystem::path kDir =
    std::filesystem::temp_directory_path() / ("make_matches_" + std::to_string(getpid()));

// Runs the tool; returns its exit code.
int run_tool(const std::string& arguments) {
    std::filesystem::create_directories(kDir);
    const std::string command = std::string("cd '") + kDir.string() + "' && '" + MAKE_MATCHES_PATH +
                                "' " + arguments + " 2>/dev/null";
    const int status = system(command.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::string bytes_of(const std::string& name) {
    std::ifstream in(kDir / name, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

// A match file indexed and read frame by frame; every frame read is checked to leave only
// links that are negative or positions in the other array.
struct Loaded {
    FILE* file;
    FrameIndex index = {};
    IndexResult result = {};
    WorldPoint* world = nullptr;
    MatchPoint* matches = nullptr;
    int32_t world_capacity = 0, match_capacity = 0;

    explicit Loaded(const std::string& name) : file(fopen((kDir / name).c_str(), "rb")) {
        if (file) result = index_match_file(file, index);
    }
    ~Loaded() {
        if (file) fclose(file);
        free_frame_index(index);
        free(world);
        free(matches);
    }
    FrameRead frame(int32_t n) {
        const FrameRead r =
            read_frame(file, index.offsets[n - 1], world, world_capacity, matches, match_capacity);
        for (int32_t i = 0; i < r.world_count; ++i) EXPECT_LT(world[i].link, r.match_count);
        for (int32_t i = 0; r.links_to_world && i < r.match_count; ++i) {
            EXPECT_LT(matches[i].link, r.world_count);
        }
        return r;
    }
};

// Each test leaves no files behind.
struct MakeMatches : ::testing::Test {
    void TearDown() override { std::filesystem::remove_all(kDir); }
};

}  // namespace

TEST_F(MakeMatches, DemoAndRandomFiles) {
    ASSERT_EQ(run_tool("demo demo.dat"), 0);
    Loaded demo("demo.dat");
    ASSERT_EQ(demo.index.count, 48);
    for (int32_t n = 1; n <= 48; ++n) {
        const FrameRead r = demo.frame(n);
        EXPECT_EQ(r.links_to_world, n <= 24 ? 1 : 0) << n;
        EXPECT_EQ(r.world_count, 81);
        EXPECT_EQ(r.match_count, 64);
        EXPECT_EQ(r.matched, 61);
        for (int32_t i = 0; i < r.world_count; ++i) {
            for (float v : demo.world[i].position) EXPECT_LE(v * v, 1.0f);  // near the origin
        }
    }
    ASSERT_EQ(run_tool("random a.dat --frames 200 --points 30 --seed 5"), 0);
    ASSERT_EQ(run_tool("random b.dat --frames 200 --points 30 --seed 5"), 0);
    ASSERT_EQ(run_tool("random c.dat --frames 200 --points 30 --seed 6 --kind frame"), 0);
    EXPECT_EQ(bytes_of("a.dat"), bytes_of("b.dat"));
    Loaded a("a.dat"), c("c.dat");
    ASSERT_EQ(a.index.count, 200);
    ASSERT_EQ(c.index.count, 200);
    int to_world = 0;
    for (int32_t n = 1; n <= 200; ++n) {
        const FrameRead r = a.frame(n);
        EXPECT_FALSE(r.cut_short);
        EXPECT_EQ(r.world_count + r.match_count, 60);
        to_world += r.links_to_world;
        EXPECT_EQ(c.frame(n).links_to_world, 0);
    }
    EXPECT_TRUE(to_world > 50 && to_world < 150) << to_world;
}

TEST_F(MakeMatches, DamagedFiles) {
    const struct {
        const char* name;
        int32_t frames;
        IndexStop stop;
        bool cut;
        int32_t w, k, m;  // of frame 3
    } cases[] = {
        {"negative-world", 2, IndexStop::negative_world_count, false, 0, 0, 0},
        {"negative-match", 2, IndexStop::negative_match_count, false, 0, 0, 0},
        {"overflow-world", 2, IndexStop::world_size_overflow, false, 0, 0, 0},
        {"overflow-match", 2, IndexStop::match_size_overflow, false, 0, 0, 0},
        {"huge-count", 3, IndexStop::end_of_file, true, 4, 3, 0},
        {"truncated", 3, IndexStop::end_of_file, true, 2, 0, 0},
        {"tail-bytes", 3, IndexStop::end_of_file, false, 3, 2, 2},
        {"bad-link", 3, IndexStop::end_of_file, false, 4, 3, 3},
        {"unresolved-id", 3, IndexStop::end_of_file, false, 4, 3, 3},
        {"empty", 0, IndexStop::end_of_file, false, 0, 0, 0},
    };
    for (const auto& c : cases) {
        ASSERT_EQ(run_tool(std::string("hostile ") + c.name + " h.dat"), 0);
        Loaded f("h.dat");
        EXPECT_EQ(f.index.count, c.frames) << c.name;
        EXPECT_EQ(f.result.stop, c.stop) << c.name;
        EXPECT_EQ(f.result.bad_frame, c.stop == IndexStop::end_of_file ? 0 : 3) << c.name;
        EXPECT_EQ(f.result.last_frame_cut, c.cut) << c.name;
        for (int32_t n = 1; n <= f.index.count; ++n) {
            const FrameRead r = f.frame(n);
            EXPECT_EQ(r.cut_short, c.cut && n == 3) << c.name << " frame " << n;
            if (n < 3) continue;
            EXPECT_EQ(r.world_count, c.w) << c.name;
            EXPECT_EQ(r.match_count, c.k) << c.name;
            EXPECT_EQ(r.matched, c.m) << c.name;
            EXPECT_LE(f.match_capacity, 3) << c.name;
        }
    }
}

TEST_F(MakeMatches, WrongArgumentsAreRefused) {
    EXPECT_EQ(run_tool(""), 2);
    EXPECT_EQ(run_tool("hostile no-such-case x.dat"), 2);
    EXPECT_EQ(run_tool("random x.dat --frames -3"), 2);
    EXPECT_EQ(run_tool("random x.dat --kind sideways"), 2);
    EXPECT_EQ(run_tool("demo missing/x.dat"), 1);
}
