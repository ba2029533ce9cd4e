#include "matchviewer/draw_frame.h"

#include <string.h>

#include <vector>

#include "platform/win32.h"

namespace {

// Dot and tick colour of a point: linked or not, per layer.
const GLfloat kLinkedColour[2][3] = {{0.0f, 1.0f, 0.0f}, {0.0f, 1.0f, 1.0f}};
const GLfloat kUnlinkedColour[2][3] = {{0.0f, 0.0f, 1.0f}, {1.0f, 0.0f, 0.0f}};

// Points handed to the renderer per call: the arrays of a call stay small (under 100 KiB)
// whatever the size of the frame.
const int32_t kPointsPerDraw = 4096;

// Scenes each step of a frame (dots, ticks, links) is cut into under a renderer that bins
// scenes (see draw_chunk); smaller steps are cut after every kPointsPerDraw primitives.
const int64_t kFlushesPerStep = 16;

// The arrays of one call and how the calls are handed over.
struct DrawChunk {
    std::vector<GLfloat> vertices;  // x, y, z per vertex
    std::vector<GLubyte> colours;   // r, g, b, a per vertex
    // The colours of kLinkedColour and kUnlinkedColour as bytes: [layer][linked].
    GLubyte colour_bytes[2][2][4];
    // Primitives handed over between two flushes (0: never flushed) and since the last one.
    int64_t flush_interval;
    int64_t since_flush;
};

// Whether the renderer collects a whole scene of primitives into screen tiles before it
// rasterises any. Mesa's llvmpipe does: a scene of millions of points outgrows the caches,
// and its rasteriser then waits on memory for every primitive of every tile.
bool renderer_bins_scenes() {
    const char* renderer = (const char*)glGetString(GL_RENDERER);
    return renderer && strstr(renderer, "llvmpipe");
}

// Primitives a scene gets under a renderer that bins scenes: a kFlushesPerStep-th of the
// shown points, at least kPointsPerDraw; 0 (never flushed) under any other renderer.
int64_t primitives_per_scene(const FrameLayers* layers) {
    if (!renderer_bins_scenes()) return 0;
    int64_t shown = 0;
    for (int layer = 0; layer < 2; ++layer)
        if (frame_layer_shown(layers, layer)) shown += layers->point_count[layer];
    const int64_t share = (shown + kFlushesPerStep - 1) / kFlushesPerStep;
    return share > kPointsPerDraw ? share : kPointsPerDraw;
}

void init_chunk(DrawChunk& chunk, const FrameLayers* layers) {
    chunk.vertices.resize(6 * (size_t)kPointsPerDraw);
    chunk.colours.resize(8 * (size_t)kPointsPerDraw);
    for (int layer = 0; layer < 2; ++layer) {
        for (int c = 0; c < 3; ++c) {
            // NOTE: the tables hold 0 and 1 only, which bytes 0 and 255 give back exactly.
            chunk.colour_bytes[layer][0][c] = (GLubyte)(kUnlinkedColour[layer][c] * 255.0f);
            chunk.colour_bytes[layer][1][c] = (GLubyte)(kLinkedColour[layer][c] * 255.0f);
        }
        chunk.colour_bytes[layer][0][3] = 255;
        chunk.colour_bytes[layer][1][3] = 255;
    }
    chunk.flush_interval = primitives_per_scene(layers);
    chunk.since_flush = 0;
}

const GLubyte* colour_bytes_of(const DrawChunk& chunk, int layer, const FramePoint& p) {
    return chunk.colour_bytes[layer][p.link >= 0 ? 1 : 0];
}

// One call of the chunk's arrays, and a flush when the scene has its share of primitives.
// NOTE: under a renderer that bins scenes, an unflushed step of a small frame is binned
// whole before any of it is rasterised, and its scene outgrows the caches; cut into scenes,
// the rasteriser threads work while the next scene is binned, on data still in the cache.
// A flush is not free, though: a 5M-point frame flushed after every call (thousands of
// scenes) painted slower than without any flush, so a step gets a fixed number of scenes.
// The same primitives in the same order either way, so the same pixels.
void draw_chunk(DrawChunk& chunk, GLenum mode, int32_t vertex_count) {
    glDrawArrays(mode, 0, vertex_count);
    if (chunk.flush_interval <= 0) return;
    chunk.since_flush += mode == GL_LINES ? vertex_count / 2 : vertex_count;
    if (chunk.since_flush < chunk.flush_interval) return;
    glFlush();
    chunk.since_flush = 0;
}

// The dots of one layer: positions straight from the points, colours from the chunk.
void draw_layer_dots(const FramePoint* points, int32_t count, int layer, DrawChunk& chunk) {
    for (int32_t first = 0; first < count; first += kPointsPerDraw) {
        const int32_t n = count - first < kPointsPerDraw ? count - first : kPointsPerDraw;
        GLubyte* colour = chunk.colours.data();
        for (int32_t i = 0; i < n; ++i, colour += 4) {
            memcpy(colour, colour_bytes_of(chunk, layer, points[first + i]), 4);
        }
        glVertexPointer(3, GL_FLOAT, sizeof(FramePoint), points[first].position);
        glColorPointer(4, GL_UNSIGNED_BYTE, 0, chunk.colours.data());
        draw_chunk(chunk, GL_POINTS, n);
    }
}

// The direction ticks of one layer: from each point 0.02 along its direction.
void draw_layer_ticks(const FramePoint* points, int32_t count, int layer, DrawChunk& chunk) {
    for (int32_t first = 0; first < count; first += kPointsPerDraw) {
        const int32_t n = count - first < kPointsPerDraw ? count - first : kPointsPerDraw;
        GLfloat* vertex = chunk.vertices.data();
        GLubyte* colour = chunk.colours.data();
        for (int32_t i = 0; i < n; ++i, vertex += 6, colour += 8) {
            const FramePoint& p = points[first + i];
            for (int c = 0; c < 3; ++c) {
                vertex[c] = p.position[c];
                vertex[3 + c] = p.position[c] + 0.02f * p.direction[c];
            }
            memcpy(colour, colour_bytes_of(chunk, layer, p), 4);
            memcpy(colour + 4, colour_bytes_of(chunk, layer, p), 4);
        }
        glVertexPointer(3, GL_FLOAT, 0, chunk.vertices.data());
        glColorPointer(4, GL_UNSIGNED_BYTE, 0, chunk.colours.data());
        draw_chunk(chunk, GL_LINES, 2 * n);
    }
}

// The 4-pixel dots of both shown layers, world points first.
void draw_dots(const FrameLayers* layers, DrawChunk& chunk) {
    glPointSize(4.0f);
    for (int layer = 0; layer < 2; ++layer) {
        if (!frame_layer_shown(layers, layer) || layers->point_count[layer] <= 0) continue;
        draw_layer_dots(layers->point_array[layer], layers->point_count[layer], layer, chunk);
    }
}

// The 1-pixel ticks of both shown layers, leaving the current colour where one glColor call
// per vertex would have left it: at the colour of the last tick.
void draw_ticks(const FrameLayers* layers, DrawChunk& chunk) {
    glLineWidth(1.0f);
    const GLfloat* last_colour = nullptr;
    for (int layer = 0; layer < 2; ++layer) {
        if (!frame_layer_shown(layers, layer) || layers->point_count[layer] <= 0) continue;
        const FramePoint* points = layers->point_array[layer];
        const int32_t count = layers->point_count[layer];
        draw_layer_ticks(points, count, layer, chunk);
        last_colour = frame_point_colour(layer, points[count - 1]);
    }
    // NOTE: the colour array leaves the current colour undefined.
    glDisableClientState(GL_COLOR_ARRAY);
    if (last_colour) glColor3fv(last_colour);
}

// The white correspondence lines from the walked layer to the points their links name.
void draw_links(const FrameLayers* layers, DrawChunk& chunk) {
    const int from = layers->links_to_world ? 1 : 0;
    const FramePoint* walked = layers->point_array[from];
    const int32_t walked_count = layers->point_count[from];
    const FramePoint* target = layers->point_array[1 - from];
    const int32_t target_count = layers->point_count[1 - from];
    glLineWidth(2.0f);
    glColor3f(1.0f, 1.0f, 1.0f);
    int32_t i = 0;
    while (i < walked_count) {
        GLfloat* vertex = chunk.vertices.data();
        int32_t lines = 0;
        for (; i < walked_count && lines < kPointsPerDraw; ++i) {
            const int32_t link = walked[i].link;
            // NOTE: a link that does not name a point of the other layer draws nothing;
            // the loader already removes such links, this keeps a paint safe regardless.
            if (link < 0 || link >= target_count) continue;
            memcpy(vertex, walked[i].position, 3 * sizeof(GLfloat));
            memcpy(vertex + 3, target[link].position, 3 * sizeof(GLfloat));
            vertex += 6;
            lines += 1;
        }
        glVertexPointer(3, GL_FLOAT, 0, chunk.vertices.data());
        draw_chunk(chunk, GL_LINES, 2 * lines);
    }
}

void draw_frame_record(const void* record) {
    draw_frame_content(static_cast<const FrameLayers*>(record));
}

}  // namespace

const GLfloat* frame_point_colour(int layer, const FramePoint& p) {
    return p.link >= 0 ? kLinkedColour[layer] : kUnlinkedColour[layer];
}

bool frame_layer_shown(const FrameLayers* layers, int layer) {
    return layer == 0 ? layers->show_world != 0 : layers->show_matches != 0;
}

void init_frame_layers(FrameLayers* layers) {
    layers->show_world = 1;
    layers->show_matches = 1;
    layers->show_links = 1;
    layers->links_to_world = 0;
    for (int layer = 0; layer < 2; ++layer) {
        layers->point_count[layer] = 0;
        layers->point_array[layer] = nullptr;
    }
}

ViewContent frame_view_content(const FrameLayers* layers) {
    return ViewContent{0.2f, draw_frame_record, layers};
}

// Hands the renderer arrays of a few thousand points per call (OpenGL 1.1 client-side
// arrays, no buffer objects) instead of one call per vertex and colour: the same primitives
// in the same order with the same colours, so the same pixels, and the same state after.
void draw_frame_content(const FrameLayers* layers) {
    glDisable(GL_LIGHTING);
    DrawChunk chunk;
    init_chunk(chunk, layers);
    glEnableClientState(GL_VERTEX_ARRAY);
    glEnableClientState(GL_COLOR_ARRAY);
    draw_dots(layers, chunk);
    draw_ticks(layers, chunk);
    if (layers->show_links) draw_links(layers, chunk);
    glDisableClientState(GL_VERTEX_ARRAY);
    glEnable(GL_LIGHTING);
}
