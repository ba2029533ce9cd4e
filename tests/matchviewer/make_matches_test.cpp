// The sample-file tool: its files, read back with the viewer's index and frame reader.
#include <gtest/gtest.h>
#include <math.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

#include "matchviewer/match_file.h"

namespace {

// A scratch folder for the files of one test.
struct Scratch {
    std::filesystem::path dir;
    Scratch() {
        dir = std::filesystem::temp_directory_path() /
              ("make_matches_" + std::to_string(getpid()) + "_" +
               ::testing::UnitTest::GetInstance()->current_test_info()->name());
        std::filesystem::remove_all(dir);
        std::filesystem::create_directories(dir);
    }
    ~Scratch() { std::filesystem::remove_all(dir); }
    std::string file(const std::string& name) const { return (dir / name).string(); }
};

// Runs the tool with arguments; returns its exit code.
int run_tool(const std::string& arguments) {
    const std::string command = std::string("'") + MAKE_MATCHES_PATH + "' " + arguments +
                                " 2>/dev/null";
    const int status = system(command.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// A match file opened, indexed and read frame by frame.
struct Loaded {
    FILE* file = nullptr;
    FrameIndex index = {};
    IndexResult result = {};
    WorldPoint* world = nullptr;
    int32_t world_capacity = 0;
    MatchPoint* matches = nullptr;
    int32_t match_capacity = 0;

    explicit Loaded(const std::string& name) {
        file = fopen(name.c_str(), "rb");
        if (file) result = index_match_file(file, index);
    }
    ~Loaded() {
        if (file) fclose(file);
        free_frame_index(index);
        free(world);
        free(matches);
    }
    FrameRead frame(int32_t n) {
        return read_frame(file, index.offsets[n - 1], world, world_capacity, matches,
                          match_capacity);
    }
};

// Every link of the frame just read is negative or a position in the other array.
void expect_links_usable(const Loaded& f, const FrameRead& r) {
    for (int32_t i = 0; i < r.world_count; ++i) {
        EXPECT_LT(f.world[i].link, r.match_count) << "world point " << i;
    }
    if (r.links_to_world) {
        for (int32_t i = 0; i < r.match_count; ++i) {
            EXPECT_LT(f.matches[i].link, r.world_count) << "match point " << i;
        }
    }
}

std::vector<uint8_t> bytes_of(const std::string& name) {
    std::vector<uint8_t> bytes;
    FILE* file = fopen(name.c_str(), "rb");
    if (!file) return bytes;
    int c;
    while ((c = fgetc(file)) != EOF) bytes.push_back((uint8_t)c);
    fclose(file);
    return bytes;
}

}  // namespace

TEST(MakeMatches, DemoFramesLookAsDescribed) {
    Scratch s;
    ASSERT_EQ(run_tool("demo '" + s.file("demo.dat") + "'"), 0);
    Loaded f(s.file("demo.dat"));
    ASSERT_NE(f.file, nullptr);
    EXPECT_EQ(f.result.stop, IndexStop::end_of_file);
    EXPECT_FALSE(f.result.last_frame_cut);
    ASSERT_EQ(f.index.count, 48);
    for (int32_t n = 1; n <= 48; ++n) {
        const FrameRead r = f.frame(n);
        EXPECT_FALSE(r.cut_short);
        EXPECT_EQ(r.links_to_world, n <= 24 ? 1 : 0) << n;
        EXPECT_EQ(r.world_count, 81);
        EXPECT_EQ(r.match_count, 64);
        EXPECT_EQ(r.matched, 61);
        expect_links_usable(f, r);
        int linked = 0;
        for (int32_t i = 0; i < r.world_count; ++i) {
            linked += f.world[i].link >= 0;
            // Within about a unit of the origin, where the camera looks.
            for (float v : f.world[i].position) EXPECT_LE(fabsf(v), 1.2f);
        }
        EXPECT_EQ(linked, 61) << n;
    }
}

TEST(MakeMatches, RandomFramesAreSeededAndWellFormed) {
    Scratch s;
    ASSERT_EQ(run_tool("random '" + s.file("a.dat") + "' --frames 200 --points 30 --seed 5"), 0);
    ASSERT_EQ(run_tool("random '" + s.file("b.dat") + "' --frames 200 --points 30 --seed 5"), 0);
    ASSERT_EQ(run_tool("random '" + s.file("c.dat") + "' --frames 200 --points 30 --seed 6"), 0);
    EXPECT_EQ(bytes_of(s.file("a.dat")), bytes_of(s.file("b.dat")));
    EXPECT_NE(bytes_of(s.file("a.dat")), bytes_of(s.file("c.dat")));

    Loaded f(s.file("a.dat"));
    ASSERT_EQ(f.index.count, 200);
    int to_world = 0;
    for (int32_t n = 1; n <= 200; ++n) {
        const FrameRead r = f.frame(n);
        EXPECT_FALSE(r.cut_short);
        EXPECT_EQ(r.world_count, 30);
        EXPECT_EQ(r.match_count, 30);
        to_world += r.links_to_world;
        expect_links_usable(f, r);
    }
    EXPECT_GT(to_world, 50);
    EXPECT_LT(to_world, 150);

    for (const char* kind : {"world", "frame"}) {
        const std::string name = s.file(std::string(kind) + ".dat");
        ASSERT_EQ(run_tool("random '" + name + "' --frames 20 --points 5 --kind " + kind), 0);
        Loaded k(name);
        ASSERT_EQ(k.index.count, 20);
        for (int32_t n = 1; n <= 20; ++n) {
            EXPECT_EQ(k.frame(n).links_to_world, kind[0] == 'w' ? 1 : 0);
        }
    }
}

TEST(MakeMatches, DamagedFiles) {
    Scratch s;
    const struct {
        const char* name;
        int32_t frames;
        IndexStop stop;
        bool cut;
    } cases[] = {
        {"negative-world", 2, IndexStop::negative_world_count, false},
        {"negative-match", 2, IndexStop::negative_match_count, false},
        {"overflow-world", 2, IndexStop::world_size_overflow, false},
        {"overflow-match", 2, IndexStop::match_size_overflow, false},
        {"huge-count", 3, IndexStop::end_of_file, true},
        {"truncated", 3, IndexStop::end_of_file, true},
        {"tail-bytes", 3, IndexStop::end_of_file, false},
        {"bad-link", 3, IndexStop::end_of_file, false},
        {"unresolved-id", 3, IndexStop::end_of_file, false},
        {"empty", 0, IndexStop::end_of_file, false},
    };
    for (const auto& c : cases) {
        const std::string name = s.file(std::string(c.name) + ".dat");
        ASSERT_EQ(run_tool(std::string("hostile ") + c.name + " '" + name + "'"), 0);
        Loaded f(name);
        EXPECT_EQ(f.index.count, c.frames) << c.name;
        EXPECT_EQ(f.result.stop, c.stop) << c.name;
        EXPECT_EQ(f.result.bad_frame, c.stop == IndexStop::end_of_file ? 0 : 3) << c.name;
        EXPECT_EQ(f.result.last_frame_cut, c.cut) << c.name;
        for (int32_t n = 1; n <= f.index.count; ++n) {
            const FrameRead r = f.frame(n);
            EXPECT_EQ(r.cut_short, c.cut && n == 3) << c.name << " frame " << n;
            expect_links_usable(f, r);
        }
    }

    Loaded huge(s.file("huge-count.dat"));
    FrameRead r = huge.frame(3);
    EXPECT_EQ(r.match_count, 3);
    EXPECT_LE(huge.match_capacity, 3);
    Loaded truncated(s.file("truncated.dat"));
    r = truncated.frame(3);
    EXPECT_EQ(r.world_count, 2);
    EXPECT_EQ(r.match_count, 0);
    Loaded bad_link(s.file("bad-link.dat"));
    r = bad_link.frame(3);
    EXPECT_EQ(r.matched, 3);
    EXPECT_EQ(bad_link.matches[0].link, 1);
    EXPECT_EQ(bad_link.matches[1].link, -1);
    EXPECT_EQ(bad_link.matches[2].link, -1);
    EXPECT_EQ(bad_link.world[1].link, 0);
    Loaded unresolved(s.file("unresolved-id.dat"));
    r = unresolved.frame(3);
    EXPECT_EQ(r.matched, 3);
    const int32_t expected[] = {1, -1, -1, -1};
    for (int i = 0; i < 4; ++i) EXPECT_EQ(unresolved.world[i].link, expected[i]) << i;
}

TEST(MakeMatches, WrongArgumentsAreRefused) {
    Scratch s;
    EXPECT_EQ(run_tool(""), 2);
    EXPECT_EQ(run_tool("hostile no-such-case '" + s.file("x.dat") + "'"), 2);
    EXPECT_EQ(run_tool("random '" + s.file("x.dat") + "' --frames -3"), 2);
    EXPECT_EQ(run_tool("random '" + s.file("x.dat") + "' --kind sideways"), 2);
    EXPECT_EQ(run_tool("demo '" + s.file("missing/x.dat") + "'"), 1);
    EXPECT_FALSE(std::filesystem::exists(s.file("missing")));
}
