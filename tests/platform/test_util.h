// Helpers for the layer's tests: pumping messages with a deadline, a window class that
// records what it receives, xdotool, and reading the screen.
#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "platform/win32.h"
#include "tests/support/settle.h"

// One message as a window procedure saw it.
struct Seen {
    HWND hwnd;
    UINT message;
    WPARAM wparam;
    LPARAM lparam;
    DWORD thread;
    int order;  // position in the process-wide sequence
};

// Messages recorded by recording_proc (all threads), and what it answers.
struct Recorder {
    std::mutex lock;
    std::vector<Seen> seen;
    int next = 0;
    // Called for each message after recording; returns true when it answered (*result).
    std::function<bool(HWND, UINT, WPARAM, LPARAM, LRESULT*)> handler;
};
Recorder& recorder();
void reset_recorder();
std::vector<Seen> seen_messages(UINT message);
std::vector<Seen> seen_for(HWND hwnd);
int seen_count(UINT message);

// A test whose recorder starts and ends empty, without a handler.
class RecordingTest : public ::testing::Test {
  protected:
    void SetUp() override { reset_recorder(); }
    void TearDown() override { reset_recorder(); }
};

// A procedure that records every message, then defers to recorder().handler or to
// DefWindowProcW.
LRESULT CALLBACK recording_proc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam);
// Registers (once) and returns the name of a class using recording_proc.
LPCWSTR recording_class();

// Runs a shell command (xdotool, ...) and returns its exit status; output into *out.
int run(const std::string& command, std::string* out = nullptr);
// The X id of the first window titled exactly title, or 0 (waits up to timeout_ms).
unsigned long find_window_by_title(const std::string& title, int timeout_ms = 5000);
// The colour of a screen pixel, read from the root window.
COLORREF screen_pixel(int x, int y);
bool near_color(COLORREF a, COLORREF b, int tolerance = 3);
// True when the X server has any key down.
bool any_key_held();
// What the window manager reads of a top-level X window: the window it is transient for
// (0: none) and the atom names of its _NET_WM_WINDOW_TYPE and _NET_WM_STATE.
struct WmHints {
    unsigned long transient_for = 0;
    std::vector<std::string> types;
    std::vector<std::string> states;
};
WmHints wm_hints_of(unsigned long xwindow);
// Asks the X window to close, as a window manager's close button does.
void send_delete_window(unsigned long xwindow);
// A top-level window of the recording class, shown and given the keyboard focus.
HWND make_focused_window(LPCWSTR title, int x, int y, int width, int height);

// A thread that owns windows and runs a message loop; run() executes a function there
// (through a sent message, so it waits for the result).
struct WindowThread {
    WindowThread();
    ~WindowThread();
    LRESULT run(const std::function<LRESULT()>& fn);
    DWORD id = 0;
    HWND control = nullptr;  // a hidden window of the thread that runs the functions
    struct State;
    State* state;
};
