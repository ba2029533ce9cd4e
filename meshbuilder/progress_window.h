// A small window of its own that tells the user the mesh is being built: the number of
// points, the time since the work began and how far the triangulation has come. It lives on
// its own thread with its own message loop, and appears only when the triangulation is still
// going after about a second, so a small cloud never shows it. Once shown, it stays while
// the mesh file is saved.
#pragma once

#include <stdint.h>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>

#include "meshbuilder/reconstruction.h"
#include "platform/win32.h"

// The title of the progress window; its class is "MeshweaverProgress".
extern const wchar_t* const kProgressWindowTitle;

// One progress window and its thread, from start_progress_window to stop_progress_window.
struct ProgressWindow {
    int32_t point_count;
    const ReconstructionProgress* progress;  // the caller's, outlives the window
    std::chrono::steady_clock::time_point started;
    std::mutex lock;                     // guards stopping and window
    std::condition_variable stop_asked;  // the thread's first second is a wait on this
    bool stopping;
    HWND window;  // null until shown, and when it was never shown
    std::thread thread;
};

// What the window says, in three lines separated by "\n": the points, the elapsed time, and
// the stage (the neighbour search being prepared, the points reached, or the save).
std::wstring progress_text(int32_t point_count, double elapsed_seconds,
                           const ReconstructionProgress& progress);

// Starts the window's thread for the work on point_count points that progress follows.
// The window is shown only if, about a second later, stop_progress_window has not been
// called and the triangulation has not ended. Returns null when no thread could be started
// (the work goes on without it).
ProgressWindow* start_progress_window(int32_t point_count, const ReconstructionProgress* progress);

// Closes the window if it is shown, waits until its thread has ended (the window is then gone
// from the screen) and frees the record. Null is allowed.
void stop_progress_window(ProgressWindow* window);
