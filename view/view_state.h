// The record an application shares with its 3D view thread.
#pragma once

#include <stdint.h>

#include <atomic>
#include <mutex>

#include "platform/win32.h"

// What a program hands its view before start_view: the length of the three axes, the
// renderer the paint cycle calls between the push and pop around the content, and the
// program's own content record that the renderer draws (a mesh, the layers of a frame).
// The view keeps the pointer and never looks inside the record; the program changes the
// record only while it holds the view's paint_lock.
struct ViewContent {
    float axis_length;
    void (*draw)(const void* record);  // null: the axes alone
    const void* record;
};

struct ViewState {
    HWND parent_window;
    HWND view_window;  // null until the view thread's CreateWindowExW has returned
    HINSTANCE instance;
    int32_t x, y, width, height;  // the view's rectangle in the parent's client area
    std::atomic<uint8_t> ready;   // raised once the window exists and GL set-up has finished
    float angle_x, angle_y, angle_z;
    float eye[3];
    float center[3];
    float up[3];
    uint8_t dragging;
    int32_t last_x, last_y;

    // What the program has handed over; set with set_view_content.
    ViewContent content;

    // NOTE: paint_view holds this while it reads the camera and the content; writers on the
    // main thread take it around their stores and never across a synchronous send, so a
    // paint never sees a count without its array or a half-moved camera.
    std::mutex paint_lock;
    // Raised by the view thread when it could not create its window (the wait ends at once).
    std::atomic<uint8_t> failed;
    // Raised while a set-up message box waits for the user (the start-up wait does not time
    // out meanwhile).
    std::atomic<uint8_t> asking_user;
};
