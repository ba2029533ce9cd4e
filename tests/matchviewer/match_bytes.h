// Builds match files byte by byte for the tests, independently of the code under test.
#pragma once

#include <stdint.h>
#include <stdio.h>
#include <string.h>

#include <vector>

// One point as the file carries it; which of link and id are written depends on the kind.
struct FilePoint {
    float position[3];
    float direction[3];
    int32_t link;
    int32_t id;
};

inline void put_i32(std::vector<uint8_t>& out, int32_t v) {
    const uint32_t u = (uint32_t)v;
    for (int i = 0; i < 4; ++i) out.push_back((uint8_t)(u >> (8 * i)));
}

inline void put_f32(std::vector<uint8_t>& out, float f) {
    uint32_t u;
    memcpy(&u, &f, sizeof u);
    put_i32(out, (int32_t)u);
}

// A point with recognisable coordinates: position (seed, seed + 0.25, -seed), direction
// (0.5, -1, seed x 2).
inline FilePoint file_point(int seed, int32_t link = -1, int32_t id = -1) {
    const float s = (float)seed;
    return FilePoint{{s, s + 0.25f, -s}, {0.5f, -1.0f, s * 2.0f}, link, id};
}

// Appends a frame with its real counts.
inline void put_frame(std::vector<uint8_t>& out, uint8_t kind,
                      const std::vector<FilePoint>& world,
                      const std::vector<FilePoint>& matches) {
    put_i32(out, 0x54414d46);  // tag, never read
    out.push_back(kind);
    put_i32(out, (int32_t)world.size());
    for (const FilePoint& p : world) {
        for (float v : p.position) put_f32(out, v);
        for (float v : p.direction) put_f32(out, v);
        if (kind != 0) put_i32(out, p.link);
    }
    put_i32(out, (int32_t)matches.size());
    for (const FilePoint& p : matches) {
        for (float v : p.position) put_f32(out, v);
        for (float v : p.direction) put_f32(out, v);
        put_i32(out, p.link);
        if (kind != 0) put_i32(out, p.id);
    }
}

// Appends a frame header with the given counts and no records.
inline void put_counts_only(std::vector<uint8_t>& out, uint8_t kind, int32_t world_count,
                            int32_t match_count) {
    put_i32(out, 7);
    out.push_back(kind);
    put_i32(out, world_count);
    put_i32(out, match_count);
}

// A real temporary file holding bytes, positioned at its start; closed by the caller.
inline FILE* file_with(const std::vector<uint8_t>& bytes) {
    FILE* file = tmpfile();
    if (!file) return nullptr;
    if (!bytes.empty()) fwrite(bytes.data(), 1, bytes.size(), file);
    fflush(file);
    rewind(file);
    return file;
}
