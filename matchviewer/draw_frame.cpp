#include "matchviewer/draw_frame.h"

#include <string.h>

#include <vector>

#include "platform/win32.h"

namespace {

// Dot and tick colour of a point: linked or not, per layer.
const GLfloat kLinkedColour[2][3] = {{0.0f, 1.0f, 0.0f}, {0.0f, 1.0f, 1.0f}};
const GLfloat kUnlinkedColour[2][3] = {{0.0f, 0.0f, 1.0f}, {1.0f, 0.0f, 0.0f}};

const GLfloat* colour_of(int layer, const FramePoint& p) {
    return p.link >= 0 ? kLinkedColour[layer] : kUnlinkedColour[layer];
}

bool layer_shown(const FrameLayers* layers, int layer) {
    return layer == 0 ? layers->show_world != 0 : layers->show_matches != 0;
}

// Points handed to the renderer per call: the arrays built for a call stay small (under a
// MiB) whatever the size of the frame.
const int32_t kPointsPerDraw = 16384;

// The arrays of one call: up to two vertices and colours per point.
struct DrawChunk {
    std::vector<GLfloat> vertices;  // x, y, z per vertex
    std::vector<GLfloat> colours;   // r, g, b per vertex
};

// The dots of one layer: positions straight from the points, colours from the chunk.
void draw_dots(const FramePoint* points, int32_t count, int layer, DrawChunk& chunk) {
    for (int32_t first = 0; first < count; first += kPointsPerDraw) {
        const int32_t n = count - first < kPointsPerDraw ? count - first : kPointsPerDraw;
        GLfloat* colour = chunk.colours.data();
        for (int32_t i = 0; i < n; ++i, colour += 3) {
            memcpy(colour, colour_of(layer, points[first + i]), 3 * sizeof(GLfloat));
        }
        glVertexPointer(3, GL_FLOAT, sizeof(FramePoint), points[first].position);
        glColorPointer(3, GL_FLOAT, 0, chunk.colours.data());
        glDrawArrays(GL_POINTS, 0, n);
    }
}

// The direction ticks of one layer: from each point 0.02 along its direction.
void draw_ticks(const FramePoint* points, int32_t count, int layer, DrawChunk& chunk) {
    for (int32_t first = 0; first < count; first += kPointsPerDraw) {
        const int32_t n = count - first < kPointsPerDraw ? count - first : kPointsPerDraw;
        GLfloat* vertex = chunk.vertices.data();
        GLfloat* colour = chunk.colours.data();
        for (int32_t i = 0; i < n; ++i, vertex += 6, colour += 6) {
            const FramePoint& p = points[first + i];
            for (int c = 0; c < 3; ++c) {
                vertex[c] = p.position[c];
                vertex[3 + c] = p.position[c] + 0.02f * p.direction[c];
            }
            memcpy(colour, colour_of(layer, p), 3 * sizeof(GLfloat));
            memcpy(colour + 3, colour_of(layer, p), 3 * sizeof(GLfloat));
        }
        glVertexPointer(3, GL_FLOAT, 0, chunk.vertices.data());
        glColorPointer(3, GL_FLOAT, 0, chunk.colours.data());
        glDrawArrays(GL_LINES, 0, 2 * n);
    }
}

// The white correspondence lines from the walked layer to the points their links name.
void draw_links(const FramePoint* walked, int32_t walked_count, const FramePoint* target,
                int32_t target_count, DrawChunk& chunk) {
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
        glDrawArrays(GL_LINES, 0, 2 * lines);
    }
}

void draw_frame_record(const void* record) {
    draw_frame_content(static_cast<const FrameLayers*>(record));
}

}  // namespace

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
    chunk.vertices.resize(6 * (size_t)kPointsPerDraw);
    chunk.colours.resize(6 * (size_t)kPointsPerDraw);
    const GLfloat* last_colour = nullptr;
    glEnableClientState(GL_VERTEX_ARRAY);

    glPointSize(4.0f);
    glEnableClientState(GL_COLOR_ARRAY);
    for (int layer = 0; layer < 2; ++layer) {
        if (!layer_shown(layers, layer) || layers->point_count[layer] <= 0) continue;
        draw_dots(layers->point_array[layer], layers->point_count[layer], layer, chunk);
    }

    glLineWidth(1.0f);
    for (int layer = 0; layer < 2; ++layer) {
        if (!layer_shown(layers, layer) || layers->point_count[layer] <= 0) continue;
        const FramePoint* points = layers->point_array[layer];
        const int32_t count = layers->point_count[layer];
        draw_ticks(points, count, layer, chunk);
        last_colour = colour_of(layer, points[count - 1]);
    }
    glDisableClientState(GL_COLOR_ARRAY);
    // NOTE: the colour array leaves the current colour undefined; set it where one glColor
    // call per vertex would have left it, at the colour of the last tick.
    if (last_colour) glColor3fv(last_colour);

    if (layers->show_links) {
        const int from = layers->links_to_world ? 1 : 0;
        const int to = 1 - from;
        glLineWidth(2.0f);
        glColor3f(1.0f, 1.0f, 1.0f);
        draw_links(layers->point_array[from], layers->point_count[from], layers->point_array[to],
                   layers->point_count[to], chunk);
    }

    glDisableClientState(GL_VERTEX_ARRAY);
    glEnable(GL_LIGHTING);
}
