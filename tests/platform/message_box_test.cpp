// Message boxes as a user meets them: a window titled with the caption that has the
// keyboard, closes on Return, Escape, a click on OK or the close request, keeps its owner
// disabled meanwhile while the owner's thread still answers sends, and draws its icon.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "platform/x11/x11_shared.h"
#include "test_util.h"

namespace {

struct Geometry {
    int x = 0, y = 0, width = 0, height = 0;
};

Geometry geometry_of(unsigned long id) {
    std::string out;
    run("xdotool getwindowgeometry " + std::to_string(id), &out);
    Geometry g;
    size_t at = out.find("Position: ");
    if (at != std::string::npos) sscanf(out.c_str() + at, "Position: %d,%d", &g.x, &g.y);
    at = out.find("Geometry: ");
    if (at != std::string::npos) sscanf(out.c_str() + at, "Geometry: %dx%d", &g.width, &g.height);
    return g;
}

// Runs a user's part on another thread while the calling thread sits in MessageBoxW.
struct User {
    explicit User(std::function<void()> act) : thread(std::move(act)) {}
    ~User() { thread.join(); }
    std::thread thread;
};

using MessageBox = RecordingTest;

}  // namespace

TEST_F(MessageBox, ModalOverItsOwnerAndClosedByReturn) {
    HWND owner = make_focused_window(L"Owner", 100, 100, 500, 400);
    recorder().handler = [](HWND, UINT message, WPARAM, LPARAM, LRESULT* result) {
        if (message != WM_USER + 7) return false;
        *result = 77;
        return true;
    };
    std::atomic<bool> focused{false}, disabled{false};
    std::atomic<LRESULT> answer{0};
    std::atomic<unsigned long> box{0};
    Geometry box_area;
    int result;
    {
        User user([&] {
            box = find_window_by_title("Layer box");
            if (!box) return;
            box_area = geometry_of(box);
            std::string focus;
            for (DWORD start = GetTickCount(); !focused && GetTickCount() - start < 20000; Sleep(20)) {
                run("xdotool getwindowfocus", &focus);
                focused = !focus.empty() && std::stoul(focus) == box;
            }
            disabled = !IsWindowEnabled(owner);
            answer = SendMessageW(owner, WM_USER + 7, 0, 0);  // the owner's thread is in the box
            run("xdotool mousemove 130 140 click 1");         // on the owner: ignored
            Sleep(100);
            run("xdotool key Return");
        });
        result = MessageBoxW(owner, L"First line\nSecond line", L"Layer box", MB_OK);
    }
    ASSERT_NE(0ul, box.load()) << "no window titled with the caption";
    EXPECT_EQ(IDOK, result);
    EXPECT_TRUE(focused) << "the box did not take the keyboard focus";
    EXPECT_TRUE(disabled) << "the owner stayed enabled";
    EXPECT_EQ(77, answer.load());
    EXPECT_EQ(0, seen_count(WM_LBUTTONDOWN));
    EXPECT_TRUE(IsWindowEnabled(owner));
    EXPECT_EQ(0ul, find_window_by_title("Layer box", 0));
    // Centred on its owner.
    Geometry owner_area = geometry_of(x11_window_of(owner));
    EXPECT_NEAR(owner_area.x + owner_area.width / 2, box_area.x + box_area.width / 2, 2);
    pump_until([owner] { return GetFocus() == owner; });
    EXPECT_EQ(owner, GetFocus()) << "the keyboard did not return to the owner";
    DestroyWindow(owner);
}

TEST_F(MessageBox, ClosesOnEscapeOkClickAndCloseRequest) {
    std::vector<std::string> ways = {"escape", "click", "close"};
    for (const std::string& way : ways) {
        std::atomic<bool> found{false};
        int result;
        {
            User user([&] {
                unsigned long box = find_window_by_title("Closing " + way);
                found = box != 0;
                if (!box) return;
                std::string id = std::to_string(box);
                if (way == "escape") run("xdotool key --window " + id + " Escape");
                if (way == "close") send_delete_window(box);
                if (way == "click") {
                    Geometry g = geometry_of(box);
                    // The OK button is centred, 12 pixels above the bottom, 26 high.
                    int x = g.x + g.width / 2, y = g.y + g.height - 12 - 13;
                    run("xdotool mousemove " + std::to_string(x) + " " + std::to_string(y) +
                        " click 1");
                }
            });
            std::wstring caption = L"Closing " + std::wstring(way.begin(), way.end());
            result = MessageBoxW(nullptr, L"Text", caption.c_str(), MB_OK);
        }
        EXPECT_TRUE(found) << way;
        EXPECT_EQ(IDOK, result) << way;
    }
}

TEST_F(MessageBox, IconsAndTextAreDrawn) {
    struct Case {
        UINT type;
        const char* title;
        int dx, dy;  // inside the icon circle, off its white sign
        COLORREF color;
    };
    for (const Case& c : {Case{MB_ICONERROR, "Error icon", 6, 16, RGB(220, 30, 30)},
                          Case{MB_ICONINFORMATION, "Info icon", 6, 16, RGB(30, 80, 220)}}) {
        std::atomic<bool> colored{false}, sign{false}, text{false};
        {
            User user([&] {
                unsigned long box = find_window_by_title(c.title);
                if (!box) return;
                Geometry g = geometry_of(box);
                // The sign: an X through the centre, or the dot of the "i" above it.
                const int sign_y = c.type == MB_ICONERROR ? 16 : 9;
                // Read until all three show (the box paints once it is mapped), or the deadline.
                for (DWORD start = GetTickCount(); GetTickCount() - start < 20000; Sleep(10)) {
                    colored = near_color(c.color, screen_pixel(g.x + 12 + c.dx, g.y + 12 + c.dy), 8);
                    sign = near_color(RGB(255, 255, 255), screen_pixel(g.x + 12 + 16, g.y + 12 + sign_y), 8);
                    text = false;
                    for (int x = 56; x < g.width - 12 && !text; ++x)
                        for (int y = 12; y < 44 && !text; ++y) text = GetRValue(screen_pixel(g.x + x, g.y + y)) < 80;
                    if (colored && sign && text) break;
                }
                run("xdotool key --window " + std::to_string(box) + " space");
            });
            std::wstring title(c.title, c.title + strlen(c.title));
            MessageBoxW(nullptr, L"Some words of text", title.c_str(), c.type);
        }
        EXPECT_TRUE(colored) << c.title;
        EXPECT_TRUE(sign) << c.title;
        EXPECT_TRUE(text) << c.title << ": no dark text pixels";
    }
}

TEST_F(MessageBox, OpenedOnAKeyPressLeavesNoKeyHeld) {
    HWND owner = make_focused_window(L"Key owner", 100, 100, 500, 400);
    recorder().handler = [](HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam, LRESULT*) {
        if (message == WM_KEYDOWN && wparam == 'X' && !(lparam & (1 << 30)))
            MessageBoxW(hwnd, L"Opened by a key", L"Key box", MB_OK);
        return false;
    };
    std::atomic<bool> held{true}, found{false};
    User user([&] {
        // NOTE: xdotool presses through XTEST while the owner has the focus, then sends
        // the release to the owner itself; the box must not take the focus in between.
        run("xdotool key --window " + std::to_string(x11_window_of(owner)) + " x");
        unsigned long box = find_window_by_title("Key box");
        found = box != 0;
        Sleep(1000);  // longer than the server's auto-repeat delay
        held = any_key_held();
        if (box) run("xdotool key --window " + std::to_string(box) + " Return");
    });
    EXPECT_TRUE(pump_until([&] { return found && !find_window_by_title("Key box", 0); }, 8000));
    EXPECT_TRUE(found);
    EXPECT_FALSE(held) << "a key stayed down in the server";
    int presses = 0;
    for (const Seen& s : seen_messages(WM_KEYDOWN)) presses += s.wparam == 'X';
    EXPECT_EQ(1, presses);
    recorder().handler = nullptr;
    DestroyWindow(owner);
}

static DWORD WINAPI box_thread(LPVOID param) {
    *static_cast<std::atomic<int>*>(param) =
        MessageBoxW(nullptr, L"From a thread", L"Thread box", MB_ICONINFORMATION);
    return 0;
}

TEST_F(MessageBox, WorksFromAnotherThreadCentredOnTheScreen) {
    std::atomic<int> result{-1};
    ASSERT_NE(nullptr, CreateThread(nullptr, 0, box_thread, &result, 0, nullptr));
    unsigned long box = find_window_by_title("Thread box");
    ASSERT_NE(0ul, box);
    Geometry g = geometry_of(box);
    EXPECT_NEAR(1280 / 2, g.x + g.width / 2, 2);
    // The outer frame is centred: the client area sits 27 pixels below its top, 4 above its bottom.
    EXPECT_NEAR(1024 / 2 + (27 - 4) / 2, g.y + g.height / 2, 2);
    run("xdotool key --window " + std::to_string(box) + " Return");
    DWORD start = GetTickCount();
    while (result == -1 && GetTickCount() - start < 5000) Sleep(10);
    EXPECT_EQ(IDOK, result.load());
    Sleep(100);  // NOTE: lets the thread close its connection before the process ends
}

TEST_F(MessageBox, OwnedBoxIsTheOwnersTransientDialogAndAnUnownedOneIsNot) {
    // The owner is given as a child of the main window, as the view's boxes are: the box
    // belongs to the child's top-level window.
    HWND owner = make_focused_window(L"Dialog owner", 100, 100, 500, 400);
    HWND child = CreateWindowExW(0, recording_class(), L"", WS_CHILD | WS_VISIBLE, 10, 10, 100, 100,
                                 owner, nullptr, nullptr, nullptr);
    ASSERT_NE(nullptr, child);
    for (HWND given : {owner, child, (HWND) nullptr}) {
        std::atomic<bool> found{false};
        WmHints hints;
        {
            User user([&] {
                unsigned long box = find_window_by_title("Owned box");
                found = box != 0;
                if (!box) return;
                hints = wm_hints_of(box);
                run("xdotool key --window " + std::to_string(box) + " Return");
            });
            MessageBoxW(given, L"Text", L"Owned box", MB_OK);
        }
        ASSERT_TRUE(found);
        const std::vector<std::string> owned_states = {"_NET_WM_STATE_SKIP_TASKBAR",
                                                       "_NET_WM_STATE_MODAL"};
        if (given) {
            EXPECT_EQ(x11_window_of(owner), hints.transient_for);
            EXPECT_EQ(std::vector<std::string>{"_NET_WM_WINDOW_TYPE_DIALOG"}, hints.types);
            EXPECT_EQ(owned_states, hints.states) << "kept above its owner, no task bar entry";
        } else {
            EXPECT_EQ(0ul, hints.transient_for) << "a box without owner is a window of its own";
            EXPECT_TRUE(hints.types.empty());
            EXPECT_TRUE(hints.states.empty()) << "a box without owner has its own task bar entry";
        }
    }
    DestroyWindow(owner);
}
