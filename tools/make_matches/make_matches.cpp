// Writes sample match files for Twinscope: hand-made demo frames, seeded random frames of
// both kinds, and damaged files (negative, overflowing or excessive counts, cut frames, bad
// links) for tests.
//
//   make_matches demo OUTPUT
//   make_matches random OUTPUT [--frames N] [--points P] [--kind world|frame|mixed] [--seed S]
//   make_matches hostile CASE OUTPUT
//
// Every file is written little-endian, frames end to end: tag, kind byte, W, world records,
// K, match records.
#include <math.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <string>
#include <vector>

#include "haldenmoor_version.h"

namespace {

const char kUsage[] =
    "usage: make_matches demo OUTPUT\n"
    "       make_matches random OUTPUT [--frames N] [--points P] [--kind world|frame|mixed]"
    " [--seed S]\n"
    "       make_matches hostile CASE OUTPUT\n"
    "       make_matches --help | --version\n"
    "Writes a match file for Twinscope.\n"
    "  demo     48 frames: a waving grid of world points and its turning match points\n"
    "  random   N frames (default 100) of P world and P match points (default 100), to-world,\n"
    "           to-frame or mixed kinds (default mixed); the same seed (default 1) gives the\n"
    "           same file\n"
    "  hostile  a damaged file for tests, CASE one of: negative-world negative-match\n"
    "           overflow-world overflow-match huge-count truncated tail-bytes bad-link\n"
    "           unresolved-id empty\n";

// One point of a frame as the file carries it.
struct Point {
    float position[3];
    float direction[3];
    int32_t link;
    int32_t id;
};

// A match file being written: bytes collect in memory and go to the file in large writes.
struct Output {
    FILE* file;
    std::vector<uint8_t> bytes;
    bool failed;
};

void put_i32(Output& out, int32_t v) {
    const uint32_t u = (uint32_t)v;
    for (int i = 0; i < 4; ++i) out.bytes.push_back((uint8_t)(u >> (8 * i)));
}

void put_f32(Output& out, float f) {
    uint32_t u;
    memcpy(&u, &f, sizeof u);
    put_i32(out, (int32_t)u);
}

void put_vectors(Output& out, const Point& p) {
    for (float v : p.position) put_f32(out, v);
    for (float v : p.direction) put_f32(out, v);
}

// Appends one frame; kind 0 is a to-world frame. The counts written may differ from the
// records written (declared_* >= 0 replace the real counts), for damaged files.
void put_frame(Output& out, int32_t tag, uint8_t kind, const std::vector<Point>& world,
               const std::vector<Point>& matches, int64_t declared_world = -1,
               int64_t declared_matches = -1) {
    put_i32(out, tag);
    out.bytes.push_back(kind);
    put_i32(out, declared_world >= 0 ? (int32_t)declared_world : (int32_t)world.size());
    for (const Point& p : world) {
        put_vectors(out, p);
        if (kind != 0) put_i32(out, p.link);
    }
    put_i32(out, declared_matches >= 0 ? (int32_t)declared_matches : (int32_t)matches.size());
    for (const Point& p : matches) {
        put_vectors(out, p);
        put_i32(out, p.link);
        if (kind != 0) put_i32(out, p.id);
    }
}

// splitmix64: the same numbers on every platform and compiler.
struct Random {
    uint64_t state;
};

uint64_t next_u64(Random& r) {
    uint64_t z = (r.state += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
}

// A float in [-1, 1).
float next_unit(Random& r) {
    return (float)((next_u64(r) >> 40) / 8388608.0 - 1.0);
}

// An integer in [0, n); n > 0.
int32_t next_below(Random& r, int32_t n) {
    return (int32_t)(next_u64(r) % (uint64_t)n);
}

Point random_point(Random& r) {
    Point p = {};
    for (float& v : p.position) v = next_unit(r);
    for (float& v : p.direction) v = next_unit(r);
    p.link = -1;
    p.id = -1;
    return p;
}

// A random frame of P world and P match points. To-world: 80 % of the match points name a
// world point. To-frame: ascending match ids with gaps; 70 % of the world points name an
// existing id, 10 % one that no match point has, the rest none.
void put_random_frame(Output& out, Random& r, int32_t tag, bool to_world, int32_t points) {
    std::vector<Point> world(points), matches(points);
    for (Point& p : world) p = random_point(r);
    for (Point& p : matches) p = random_point(r);
    if (to_world) {
        for (Point& p : matches) {
            if (points > 0 && next_below(r, 10) < 8) p.link = next_below(r, points);
        }
        put_frame(out, tag, 0, world, matches);
        return;
    }
    int32_t id = next_below(r, 5);
    for (Point& p : matches) {
        p.id = id;
        id += 1 + next_below(r, 3);
    }
    for (Point& p : world) {
        const int32_t roll = next_below(r, 10);
        if (points > 0 && roll < 7) p.link = matches[next_below(r, points)].id;
        if (roll == 7) p.link = id + next_below(r, 1000);  // beyond the largest id
    }
    put_frame(out, tag, (uint8_t)(1 + next_below(r, 255)), world, matches);
}

// Demo frame n of count: a gently waving 9 x 9 grid of world points, 0.2 apart around the
// origin, and its match points turned and lifted a little more each frame. Every fourth
// grid point has no match, and three stray match points have no world point.
void put_demo_frame(Output& out, int32_t n, int32_t count) {
    const double t = (double)n / count;
    std::vector<Point> world, matches;
    for (int row = 0; row < 9; ++row) {
        for (int col = 0; col < 9; ++col) {
            Point p = {};
            const double x = -0.8 + 0.2 * col;
            const double y = -0.8 + 0.2 * row;
            p.position[0] = (float)x;
            p.position[1] = (float)y;
            p.position[2] = (float)(0.1 * sin(3.0 * x + 6.283 * t) * cos(2.0 * y));
            p.direction[2] = 3.0f;  // a tick of 0.06 along z
            p.link = -1;
            p.id = -1;
            world.push_back(p);
        }
    }
    const double angle = 0.6 * t;
    for (int i = 0; i < (int)world.size(); ++i) {
        if (i % 4 == 3) continue;
        const Point& w = world[i];
        Point m = {};
        m.position[0] = (float)(cos(angle) * w.position[0] - sin(angle) * w.position[1] + 0.1);
        m.position[1] = (float)(sin(angle) * w.position[0] + cos(angle) * w.position[1]);
        m.position[2] = (float)(w.position[2] + 0.3 + 0.2 * t);
        m.direction[0] = 2.0f;
        m.link = i;
        m.id = 100 + 2 * i;
        matches.push_back(m);
    }
    for (int s = 0; s < 3; ++s) {
        Point m = {};
        m.position[0] = (float)(-0.6 + 0.6 * s);
        m.position[1] = 1.0f;
        m.position[2] = 0.5f;
        m.direction[1] = 2.0f;
        m.link = -1;
        m.id = 1000 + s;
        matches.push_back(m);
    }
    const bool to_world = n <= count / 2;
    if (!to_world) {
        // NOTE: in a to-frame frame the world points carry the links, as match ids.
        for (Point& w : world) w.link = -1;
        for (const Point& m : matches) {
            if (m.link >= 0) world[m.link].link = m.id;
        }
        for (Point& m : matches) m.link = -1;
    }
    put_frame(out, n, to_world ? 0 : 1, world, matches);
}

// A small well-formed frame: 3 world and 2 match points, the match points naming world
// points 0 and 2.
void put_small_frame(Output& out, int32_t tag) {
    Random r = {(uint64_t)tag};
    std::vector<Point> world(3), matches(2);
    for (Point& p : world) p = random_point(r);
    for (Point& p : matches) p = random_point(r);
    matches[0].link = 0;
    matches[1].link = 2;
    put_frame(out, tag, 0, world, matches);
}

// Builds the damaged file CASE; false for an unknown case.
bool put_hostile(Output& out, const std::string& name) {
    if (name == "empty") return true;
    put_small_frame(out, 1);
    put_small_frame(out, 2);
    Random r = {99};
    std::vector<Point> world(4), matches(3);
    for (Point& p : world) p = random_point(r);
    for (Point& p : matches) p = random_point(r);
    if (name == "negative-world") {
        put_frame(out, 3, 0, world, matches, 0xFFFFFFFFll);  // W = -1
    } else if (name == "negative-match") {
        put_frame(out, 3, 0, world, matches, -1, 0xFFFFFFFBll);  // K = -5
    } else if (name == "overflow-world") {
        put_frame(out, 3, 0, world, matches, 100000000);  // x 24 > 2^31 - 1
    } else if (name == "overflow-match") {
        put_frame(out, 3, 7, world, matches, -1, 80000000);  // x 32 > 2^31 - 1
    } else if (name == "huge-count") {
        put_frame(out, 3, 0, world, matches, -1, 50000000);  // 1.4e9 bytes that are absent
    } else if (name == "truncated") {
        put_frame(out, 3, 0, world, matches);
        out.bytes.resize(out.bytes.size() - 3 * 28 - 4 - 24 - 10);  // cut in world record 3
    } else if (name == "tail-bytes") {
        put_small_frame(out, 3);
        out.bytes.push_back(0x44);
        out.bytes.push_back(0x33);
    } else if (name == "bad-link") {
        matches[0].link = 1;
        matches[1].link = 4 + 5;       // behind the last world point
        matches[2].link = 1000000000;  // far outside
        put_frame(out, 3, 0, world, matches);
    } else if (name == "unresolved-id") {
        for (int i = 0; i < 3; ++i) matches[i].id = 10 * (i + 1);  // 10, 20, 30
        world[0].link = 20;
        world[1].link = 25;  // no match point has it
        world[2].link = -1;
        world[3].link = 40;  // no match point has it
        put_frame(out, 3, 1, world, matches);
    } else {
        return false;
    }
    return true;
}

// Creates the output file; false (with a message) when that fails.
bool open_output(Output& out, const char* path) {
    out.file = fopen(path, "wb");
    out.failed = false;
    if (!out.file) fprintf(stderr, "make_matches: cannot create %s\n", path);
    return out.file != nullptr;
}

// Writes the collected bytes to the file.
void flush_output(Output& out) {
    if (!out.bytes.empty() &&
        fwrite(out.bytes.data(), 1, out.bytes.size(), out.file) != out.bytes.size()) {
        out.failed = true;
    }
    out.bytes.clear();
}

// Writes the rest and closes the file; false (with a message) when anything failed.
bool close_output(Output& out, const char* path) {
    flush_output(out);
    if (fclose(out.file) != 0 || out.failed) {
        fprintf(stderr, "make_matches: cannot write %s\n", path);
        return false;
    }
    return true;
}

// Parses a non-negative decimal option value.
bool parse_count(const char* text, int64_t limit, int64_t& value) {
    char* end = nullptr;
    const long long v = strtoll(text, &end, 10);
    if (end == text || *end != 0 || v < 0 || v > limit) return false;
    value = v;
    return true;
}

// make_matches random OUTPUT [options]
int run_random(int argc, char** argv) {
    int64_t frames = 100, points = 100, seed = 1;
    std::string kind = "mixed";
    for (int i = 3; i < argc; i += 2) {
        const std::string option = argv[i];
        if (i + 1 >= argc) return fputs(kUsage, stderr), 2;
        bool ok = true;
        if (option == "--frames") {
            ok = parse_count(argv[i + 1], INT32_MAX, frames);
        } else if (option == "--points") {
            ok = parse_count(argv[i + 1], 10000000, points);
        } else if (option == "--seed") {
            ok = parse_count(argv[i + 1], INT64_MAX, seed);
        } else if (option == "--kind") {
            kind = argv[i + 1];
            ok = kind == "world" || kind == "frame" || kind == "mixed";
        } else {
            ok = false;
        }
        if (!ok) return fputs(kUsage, stderr), 2;
    }
    Output out = {nullptr, {}, false};
    if (!open_output(out, argv[2])) return 1;
    Random r = {(uint64_t)seed};
    for (int64_t n = 1; n <= frames; ++n) {
        const bool to_world = kind == "world" || (kind == "mixed" && next_below(r, 2) == 0);
        put_random_frame(out, r, (int32_t)n, to_world, (int32_t)points);
        if (out.bytes.size() >= (1u << 20)) flush_output(out);
    }
    return close_output(out, argv[2]) ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
    const std::string command = argc > 1 ? argv[1] : "";
    if (argc == 2 && (command == "--help" || command == "-h")) {
        fputs(kUsage, stdout);
        return 0;
    }
    if (argc == 2 && command == "--version") {
        printf("make_matches (Haldenmoor) %s\n", HALDENMOOR_VERSION);
        return 0;
    }
    if (command == "demo" && argc == 3) {
        Output out = {nullptr, {}, false};
        if (!open_output(out, argv[2])) return 1;
        const int32_t count = 48;
        for (int32_t n = 1; n <= count; ++n) put_demo_frame(out, n, count);
        return close_output(out, argv[2]) ? 0 : 1;
    }
    if (command == "random" && argc >= 3) return run_random(argc, argv);
    if (command == "hostile" && argc == 4) {
        Output out = {nullptr, {}, false};
        if (!put_hostile(out, argv[2])) return fputs(kUsage, stderr), 2;
        if (!open_output(out, argv[3])) return 1;
        return close_output(out, argv[3]) ? 0 : 1;
    }
    fputs(kUsage, stderr);
    return 2;
}
