// Match files built byte by byte for the tests, independently of the code under test.
#pragma once

#include <stdint.h>
#include <stdio.h>
#include <string.h>

#include <vector>

// A point as the file carries it: position (s, s + 0.25, -s), direction (0.5, -1, 2s).
struct FilePoint {
    int seed;
    int32_t link;
    int32_t id;
};

inline FilePoint pt(int seed, int32_t link = -1, int32_t id = -1) {
    return {seed, link, id};
}

inline void put_i32(std::vector<uint8_t>& out, int32_t v) {
    for (int i = 0; i < 4; ++i) out.push_back((uint8_t)((uint32_t)v >> (8 * i)));
}

inline void put_f32(std::vector<uint8_t>& out, float f) {
    int32_t v;
    memcpy(&v, &f, sizeof v);
    put_i32(out, v);
}

inline void put_vectors(std::vector<uint8_t>& out, int seed) {
    const float s = (float)seed;
    for (float v : {s, s + 0.25f, -s, 0.5f, -1.0f, 2.0f * s}) put_f32(out, v);
}

// Appends a frame; kind 0 is to-world. World links are written for to-frame frames only,
// match ids likewise.
inline void put_frame(std::vector<uint8_t>& out, uint8_t kind, const std::vector<FilePoint>& world,
                      const std::vector<FilePoint>& matches) {
    put_i32(out, 0x54414d46);  // the tag, never read
    out.push_back(kind);
    put_i32(out, (int32_t)world.size());
    for (const FilePoint& p : world) {
        put_vectors(out, p.seed);
        if (kind != 0) put_i32(out, p.link);
    }
    put_i32(out, (int32_t)matches.size());
    for (const FilePoint& p : matches) {
        put_vectors(out, p.seed);
        put_i32(out, p.link);
        if (kind != 0) put_i32(out, p.id);
    }
}

// A frame of W and K zero-filled records of its kind's sizes; with records false only the
// counts are written (a damaged frame).
inline void put_blank(std::vector<uint8_t>& out, uint8_t kind, int32_t w, int32_t k,
                      bool records = true) {
    put_i32(out, 1);
    out.push_back(kind);
    put_i32(out, w);
    if (records) out.insert(out.end(), (size_t)w * (kind == 0 ? 24 : 28), 0);
    put_i32(out, k);
    if (records) out.insert(out.end(), (size_t)k * (kind == 0 ? 28 : 32), 0);
}

// A real temporary file holding bytes, positioned at its start.
inline FILE* file_with(const std::vector<uint8_t>& bytes) {
    FILE* file = tmpfile();
    if (file && !bytes.empty()) fwrite(bytes.data(), 1, bytes.size(), file);
    if (file) rewind(file);
    return file;
}
