// Windows and messages across threads under a real X server: synchronous sends, creation
// order and the WM_PARENTNOTIFY wait, SetWindowPos from another thread, destruction,
// geometry, queue order, painting, and the window manager's close request.
#include <gtest/gtest.h>
// NOTE: after gtest, whose internal::None the X headers would redefine.
#include <X11/Xlib.h>

#include <atomic>
#include <functional>
#include <thread>

#include "platform/x11/x11_shared.h"
#include "test_util.h"

namespace {

HWND make_window(LPCWSTR title, DWORD style = WS_OVERLAPPEDWINDOW, int x = 100, int y = 120,
                 int width = 400, int height = 300, HWND parent = nullptr, DWORD ex_style = 0) {
    return CreateWindowExW(ex_style, recording_class(), title, style, x, y, width, height, parent,
                           nullptr, nullptr, nullptr);
}

// The messages of one window from a set of interest, in order.
std::vector<UINT> sequence_of(HWND hwnd, std::initializer_list<UINT> wanted) {
    std::vector<UINT> out;
    for (const Seen& s : seen_for(hwnd))
        for (UINT w : wanted)
            if (s.message == w) out.push_back(s.message);
    return out;
}

const Seen* first_of(const std::vector<Seen>& seen, HWND hwnd, UINT message) {
    for (const Seen& s : seen)
        if (s.hwnd == hwnd && s.message == message) return &s;
    return nullptr;
}

std::vector<Seen> all_seen() {
    std::lock_guard<std::mutex> guard(recorder().lock);
    return recorder().seen;
}

using Messages = RecordingTest;

}  // namespace

TEST_F(Messages, SendToAnotherThreadWaitsForItsProcedure) {
    WindowThread worker;
    HWND target = (HWND)worker.run([] { return (LRESULT)make_window(L"target"); });
    ASSERT_NE(nullptr, target);
    // The posted message's handler sleeps; a send must not be handled before it has woken.
    static std::atomic<int> sleeper{0};  // 1 while the posted handler sleeps, 2 once it has woken
    static std::atomic<bool> sent_while_asleep{false};
    sleeper = 0;
    sent_while_asleep = false;
    recorder().handler = [](HWND, UINT message, WPARAM wparam, LPARAM, LRESULT* result) {
        if (message == WM_USER) {
            if (sleeper == 1) sent_while_asleep = true;
            Sleep(100);
            *result = (LRESULT)(1000 + wparam);
            return true;
        }
        if (message == WM_USER + 1) {  // posted: the worker sleeps, handling nothing
            sleeper = 1;
            Sleep(300);
            sleeper = 2;
        }
        return false;
    };
    DWORD start = GetTickCount();
    EXPECT_EQ(1005, SendMessageW(target, WM_USER, 5, 0));
    EXPECT_GE(GetTickCount() - start, 95u);
    auto seen = seen_messages(WM_USER);
    ASSERT_EQ(1u, seen.size());
    EXPECT_EQ(worker.id, seen[0].thread);

    ASSERT_TRUE(PostMessageW(target, WM_USER + 1, 0, 0));
    start = GetTickCount();
    while (sleeper == 0 && GetTickCount() - start < 20000) Sleep(1);
    ASSERT_NE(0, sleeper.load()) << "the worker never handled the posted message";
    EXPECT_EQ(1009, SendMessageW(target, WM_USER, 9, 0));
    EXPECT_EQ(2, sleeper.load());
    EXPECT_FALSE(sent_while_asleep.load()) << "a sleeping thread handled a sent message";
    worker.run([target] { return (LRESULT)DestroyWindow(target); });
    SetLastError(0);
    EXPECT_EQ(0, SendMessageW(target, WM_USER, 1, 0));
    EXPECT_EQ((DWORD)ERROR_INVALID_WINDOW_HANDLE, GetLastError());
}

TEST_F(Messages, ThreadsSendingToEachOtherDoNotDeadlock) {
    WindowThread first, second;
    static HWND a, b;
    static std::atomic<int> answered;
    a = (HWND)first.run([] { return (LRESULT)make_window(L"a"); });
    b = (HWND)second.run([] { return (LRESULT)make_window(L"b"); });
    answered = 0;
    recorder().handler = [](HWND hwnd, UINT message, WPARAM wparam, LPARAM, LRESULT* result) {
        switch (message) {
            case WM_USER:
                *result = SendMessageW(b, WM_USER + 1, wparam, 0) + 1;
                return true;  // on a
            case WM_USER + 1:
                *result = SendMessageW(a, WM_USER + 2, wparam, 0) + 1;
                return true;  // on b
            case WM_USER + 2:
                *result = (LRESULT)(wparam * 10);
                return true;   // a again
            case WM_USER + 3:  // both threads at once
                for (int i = 0; i < 200; ++i)
                    if (SendMessageW(hwnd == a ? b : a, WM_USER + 4, (WPARAM)i, 0) == i + 1)
                        ++answered;
                return true;
            case WM_USER + 4:
                *result = (LRESULT)(wparam + 1);
                return true;
            default:
                return false;
        }
    };
    EXPECT_EQ(32, SendMessageW(a, WM_USER, 3, 0));
    PostMessageW(a, WM_USER + 3, 0, 0);
    PostMessageW(b, WM_USER + 3, 0, 0);
    DWORD start = GetTickCount();
    while (answered < 400 && GetTickCount() - start < 30000) Sleep(5);
    ASSERT_EQ(400, answered.load()) << "mutual sends deadlocked";
    first.run([] { return (LRESULT)DestroyWindow(a); });
    second.run([] { return (LRESULT)DestroyWindow(b); });
}

TEST_F(Messages, ChildOfAnotherThreadWaitsForParentNotifyUnlessExcused) {
    HWND parent = make_window(L"parent", WS_OVERLAPPEDWINDOW | WS_VISIBLE);
    settle_thread();
    std::atomic<HWND> child{nullptr};
    std::atomic<DWORD> created_at{0};
    auto create_child = [&](DWORD ex_style) {
        std::thread([&, ex_style] {
            HWND hwnd = make_window(L"", WS_CHILD | WS_VISIBLE, 0, 0, 50, 50, parent, ex_style);
            created_at = GetTickCount();
            child = hwnd;
            // NOTE: pumping, so the parent's destruction can destroy the child here.
            while (IsWindow(parent)) pump_for(5);
        }).detach();
    };

    // WS_EX_NOPARENTNOTIFY: no answer is needed from the sleeping parent thread.
    DWORD start = GetTickCount();
    create_child(WS_EX_NOPARENTNOTIFY);
    // This thread handles nothing while it waits: the creation must not need it.
    while (!child.load() && GetTickCount() - start < 20000) Sleep(1);
    ASSERT_NE(nullptr, child.load());
    EXPECT_EQ(0, seen_count(WM_PARENTNOTIFY));

    // Without it, creation waits until the parent's thread answers WM_PARENTNOTIFY.
    child = nullptr;
    create_child(0);
    Sleep(300);
    EXPECT_EQ(nullptr, child.load()) << "the child was created while its parent's thread slept";
    DWORD pumping = GetTickCount();
    ASSERT_TRUE(pump_until([&] { return child.load() != nullptr; }));
    EXPECT_GE(created_at.load(), pumping);
    auto notes = seen_messages(WM_PARENTNOTIFY);
    ASSERT_EQ(1u, notes.size());
    EXPECT_EQ(parent, notes[0].hwnd);
    EXPECT_EQ(WM_CREATE, LOWORD(notes[0].wparam));
    EXPECT_EQ((LPARAM)child.load(), notes[0].lparam);
    EXPECT_EQ(GetCurrentThreadId(), notes[0].thread);
    DestroyWindow(parent);
    Sleep(20);
}

TEST_F(Messages, CreationOrderAndRefusal) {
    HWND top = make_window(L"order", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 100, 120, 400, 300);
    EXPECT_EQ((std::vector<UINT>{WM_NCCREATE, WM_CREATE, WM_SHOWWINDOW, WM_SIZE, WM_MOVE}),
              sequence_of(top, {WM_NCCREATE, WM_CREATE, WM_SHOWWINDOW, WM_SIZE, WM_MOVE}));
    auto sizes = seen_messages(WM_SIZE);
    ASSERT_EQ(1u, sizes.size());
    EXPECT_EQ(MAKELPARAM(400 - 8, 300 - 8 - 23), sizes[0].lparam);

    HWND child = make_window(L"", WS_CHILD | WS_VISIBLE, 10, 20, 50, 60, top);
    EXPECT_EQ((std::vector<UINT>{WM_NCCREATE, WM_CREATE, WM_SIZE, WM_MOVE}),
              sequence_of(child, {WM_NCCREATE, WM_CREATE, WM_SIZE, WM_MOVE}));
    auto seen = all_seen();
    const Seen* note = first_of(seen, top, WM_PARENTNOTIFY);
    ASSERT_NE(nullptr, note);
    EXPECT_GT(note->order, first_of(seen, child, WM_MOVE)->order);
    EXPECT_EQ(MAKELPARAM(50, 60), first_of(seen, child, WM_SIZE)->lparam);
    EXPECT_EQ(MAKELPARAM(10, 20), first_of(seen, child, WM_MOVE)->lparam);

    // WM_CREATE answering -1 destroys the window and CreateWindowExW returns null.
    reset_recorder();
    recorder().handler = [](HWND, UINT message, WPARAM, LPARAM, LRESULT* result) {
        if (message != WM_CREATE) return false;
        *result = -1;
        return true;
    };
    EXPECT_EQ(nullptr, make_window(L"refused"));
    auto created = seen_messages(WM_NCCREATE);
    ASSERT_EQ(1u, created.size());
    HWND refused = created[0].hwnd;
    EXPECT_EQ((std::vector<UINT>{WM_NCCREATE, WM_CREATE, WM_DESTROY, WM_NCDESTROY}),
              sequence_of(refused, {WM_NCCREATE, WM_CREATE, WM_DESTROY, WM_NCDESTROY}));
    EXPECT_FALSE(IsWindow(refused));
    recorder().handler = nullptr;
    DestroyWindow(top);
}

TEST_F(Messages, ClassesLongsAndText) {
    recording_class();
    WNDCLASSEXW wc = {};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = recording_proc;
    wc.lpszClassName = L"RECORDING";  // class names ignore case
    EXPECT_EQ(0, RegisterClassExW(&wc));
    EXPECT_EQ((DWORD)ERROR_CLASS_ALREADY_EXISTS, GetLastError());
    wc.lpszClassName = L"EDIT";  // the system classes are there before the first lookup
    EXPECT_EQ(0, RegisterClassExW(&wc));
    EXPECT_EQ((DWORD)ERROR_CLASS_ALREADY_EXISTS, GetLastError());
    EXPECT_EQ(nullptr, CreateWindowExW(0, L"NoSuchClass", L"", 0, 0, 0, 1, 1, nullptr, nullptr,
                                       nullptr, nullptr));
    EXPECT_EQ((DWORD)ERROR_CANNOT_FIND_WND_CLASS, GetLastError());
    EXPECT_EQ(nullptr, make_window(L"", WS_CHILD, 0, 0, 1, 1, (HWND)(uintptr_t)0x7777));
    EXPECT_EQ((DWORD)ERROR_INVALID_WINDOW_HANDLE, GetLastError());

    HWND hwnd = make_window(L"Longs");
    EXPECT_EQ(0, SetWindowLongPtrW(hwnd, GWLP_USERDATA, 1234));
    EXPECT_EQ(1234, GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    EXPECT_EQ(0, SetWindowLongPtrW(hwnd, 8, 99));  // cbWndExtra is 16
    EXPECT_EQ(99, GetWindowLongPtrW(hwnd, 8));
    EXPECT_EQ(0, GetWindowLongPtrW(hwnd, 16));
    EXPECT_EQ((DWORD)ERROR_INVALID_INDEX, GetLastError());
    EXPECT_EQ((LONG_PTR)(WS_OVERLAPPEDWINDOW), GetWindowLongPtrW(hwnd, GWL_STYLE));
    EXPECT_EQ((LONG_PTR)recording_proc, GetWindowLongPtrW(hwnd, GWLP_WNDPROC));
    static int subclassed;
    subclassed = 0;
    WNDPROC sub = [](HWND h, UINT m, WPARAM w, LPARAM l) -> LRESULT {
        if (m == WM_USER) return ++subclassed;
        return recording_proc(h, m, w, l);
    };
    SetWindowLongPtrW(hwnd, GWLP_WNDPROC, (LONG_PTR)sub);
    EXPECT_EQ(1, SendMessageW(hwnd, WM_USER, 0, 0));
    EXPECT_EQ(GetCurrentThreadId(), GetWindowThreadProcessId(hwnd, nullptr));

    EXPECT_TRUE(SetWindowTextW(hwnd, L"Gr\u00FC\u00DFe"));
    wchar_t text[16];
    EXPECT_EQ(5, GetWindowTextLengthW(hwnd));
    EXPECT_EQ(5, GetWindowTextW(hwnd, text, 16));
    EXPECT_STREQ(L"Gr\u00FC\u00DFe", text);
    EXPECT_EQ(3, GetWindowTextW(hwnd, text, 4));
    EXPECT_STREQ(L"Gr\u00FC", text);
    // The text goes through WM_GETTEXT, so a class can answer it itself.
    recorder().handler = [](HWND, UINT message, WPARAM, LPARAM lparam, LRESULT* result) {
        if (message != WM_GETTEXT) return false;
        wcscpy(reinterpret_cast<wchar_t*>(lparam), L"own");
        *result = 3;
        return true;
    };
    EXPECT_EQ(3, GetWindowTextW(hwnd, text, 16));
    EXPECT_STREQ(L"own", text);
    DestroyWindow(hwnd);
}

TEST_F(Messages, GeometryTitleAndMetrics) {
    EXPECT_EQ(4, GetSystemMetrics(SM_CXFRAME));
    EXPECT_EQ(4, GetSystemMetrics(SM_CYFRAME));
    EXPECT_EQ(23, GetSystemMetrics(SM_CYCAPTION));
    EXPECT_EQ(17, GetSystemMetrics(SM_CXVSCROLL));
    EXPECT_EQ(1280, GetSystemMetrics(SM_CXSCREEN));
    EXPECT_EQ(1024, GetSystemMetrics(SM_CYSCREEN));

    HWND top =
        make_window(L"Geometry \u00FC", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 100, 120, 400, 300);
    HWND child = make_window(L"", WS_CHILD | WS_VISIBLE, 10, 20, 50, 60, top);
    settle_thread();
    RECT rect;
    GetWindowRect(top, &rect);
    EXPECT_EQ(100, rect.left);
    EXPECT_EQ(120, rect.top);
    EXPECT_EQ(500, rect.right);
    EXPECT_EQ(420, rect.bottom);
    GetClientRect(top, &rect);
    EXPECT_EQ(392, rect.right);
    EXPECT_EQ(269, rect.bottom);
    GetWindowRect(child, &rect);
    EXPECT_EQ((RECT{114, 167, 164, 227}).left, rect.left);
    EXPECT_EQ(167, rect.top);
    POINT point = {0, 0};
    ClientToScreen(top, &point);
    EXPECT_EQ(104, point.x);
    EXPECT_EQ(147, point.y);
    ScreenToClient(child, &point);
    EXPECT_EQ(-10, point.x);
    EXPECT_EQ(-20, point.y);

    // The X client window sits where ClientToScreen says, and its title is findable.
    unsigned long id = find_window_by_title("Geometry \xC3\xBC");
    ASSERT_NE(0ul, id);
    EXPECT_EQ(id, (unsigned long)x11_window_of(top));
    std::string out;
    run("xdotool getwindowgeometry " + std::to_string(id), &out);
    EXPECT_NE(std::string::npos, out.find("Position: 104,147")) << out;
    EXPECT_NE(std::string::npos, out.find("Geometry: 392x269")) << out;
    SetWindowTextW(top, L"Renamed");
    settle_thread();
    EXPECT_EQ(id, find_window_by_title("Renamed"));

    EXPECT_EQ(child, WindowFromPoint(POINT{120, 170}));
    EXPECT_EQ(top, WindowFromPoint(POINT{300, 300}));
    EXPECT_EQ(nullptr, WindowFromPoint(POINT{1200, 1000}));
    DestroyWindow(top);
}

TEST_F(Messages, EntryPointsRefuseGoneWindowsMissingOutputsAndOtherThreadsWindows) {
    HWND live = make_window(L"Live");
    HWND gone = make_window(L"Gone");
    ASSERT_TRUE(DestroyWindow(gone));
    RECT rect;
    POINT point = {0, 0};
    wchar_t text[8];
    const std::vector<std::pair<const char*, std::function<BOOL()>>> calls = {
        {"GetWindowRect", [&] { return GetWindowRect(gone, &rect); }},
        {"GetClientRect", [&] { return GetClientRect(gone, &rect); }},
        {"ClientToScreen", [&] { return ClientToScreen(gone, &point); }},
        {"ScreenToClient", [&] { return ScreenToClient(gone, &point); }},
        {"SetWindowPos", [&] { return SetWindowPos(gone, nullptr, 0, 0, 9, 9, SWP_NOZORDER); }},
        {"ShowWindow", [&] { return ShowWindow(gone, SW_SHOWNORMAL); }},
        {"SetWindowTextW", [&] { return SetWindowTextW(gone, L"x"); }},
        {"GetWindowTextW", [&] { return (BOOL)GetWindowTextW(gone, text, 8); }},
        {"PostMessageW", [&] { return PostMessageW(gone, WM_USER, 0, 0); }},
        {"SendMessageW", [&] { return (BOOL)SendMessageW(gone, WM_USER, 0, 0); }},
        {"SetTimer", [&] { return (BOOL)SetTimer(gone, 1, 10, nullptr); }},
        {"KillTimer", [&] { return KillTimer(gone, 1); }},
        {"InvalidateRect", [&] { return InvalidateRect(gone, nullptr, TRUE); }},
        {"SetCapture", [&] { return (BOOL)(SetCapture(gone) != nullptr); }},
    };
    for (const auto& call : calls) {
        SetLastError(0);
        EXPECT_FALSE(call.second()) << call.first;
        EXPECT_EQ((DWORD)ERROR_INVALID_WINDOW_HANDLE, GetLastError()) << call.first;
    }
    // A live window with no place for the answer is a bad parameter, not a bad handle.
    SetLastError(0);
    EXPECT_FALSE(GetClientRect(live, nullptr));
    EXPECT_EQ((DWORD)ERROR_INVALID_PARAMETER, GetLastError());
    SetLastError(0);
    EXPECT_FALSE(ClientToScreen(live, nullptr));
    EXPECT_EQ((DWORD)ERROR_INVALID_PARAMETER, GetLastError());
    // Screen and client coordinates are each other's inverse.
    point = POINT{7, -3};
    ASSERT_TRUE(ClientToScreen(live, &point));
    EXPECT_NE(7, point.x);
    ASSERT_TRUE(ScreenToClient(live, &point));
    EXPECT_EQ(7, point.x);
    EXPECT_EQ(-3, point.y);
    // Capture and focus take only windows of the calling thread.
    WindowThread other;
    HWND foreign = (HWND)other.run([] { return (LRESULT)make_window(L"Foreign"); });
    ASSERT_NE(nullptr, foreign);
    SetLastError(0);
    EXPECT_EQ(nullptr, SetCapture(foreign));
    EXPECT_EQ((DWORD)ERROR_INVALID_WINDOW_HANDLE, GetLastError());
    SetLastError(0);
    EXPECT_EQ(nullptr, SetFocus(foreign));
    EXPECT_EQ((DWORD)ERROR_INVALID_WINDOW_HANDLE, GetLastError());
    other.run([foreign] { return (LRESULT)DestroyWindow(foreign); });
    DestroyWindow(live);
}

TEST_F(Messages, SetWindowPosFromAnotherThreadSizesOnTheOwner) {
    WindowThread owner;
    HWND hwnd = (HWND)owner.run(
        [] { return (LRESULT)make_window(L"moved", WS_OVERLAPPEDWINDOW | WS_VISIBLE); });
    reset_recorder();
    ASSERT_TRUE(SetWindowPos(hwnd, nullptr, 0, 0, 300, 200, SWP_NOZORDER | SWP_NOMOVE));
    auto sizes = seen_messages(WM_SIZE);
    ASSERT_EQ(1u, sizes.size()) << "WM_SIZE did not arrive before SetWindowPos returned";
    EXPECT_EQ(owner.id, sizes[0].thread);
    EXPECT_EQ(MAKELPARAM(292, 169), sizes[0].lparam);
    EXPECT_EQ(0, seen_count(WM_MOVE));
    RECT rect;
    GetClientRect(hwnd, &rect);
    EXPECT_EQ(292, rect.right);

    ASSERT_TRUE(MoveWindow(hwnd, 50, 60, 300, 200, TRUE));
    EXPECT_EQ(1, seen_count(WM_SIZE));
    auto moves = seen_messages(WM_MOVE);
    ASSERT_EQ(1u, moves.size());
    EXPECT_EQ(MAKELPARAM(54, 87), moves[0].lparam);  // a top-level's client origin on screen
    owner.run([hwnd] { return (LRESULT)DestroyWindow(hwnd); });
}

TEST_F(Messages, DestroyReachesChildrenOnTheirThreads) {
    HWND parent = make_window(L"doomed", WS_OVERLAPPEDWINDOW | WS_VISIBLE);
    HWND local = make_window(L"", WS_CHILD | WS_VISIBLE, 0, 0, 20, 20, parent);
    WindowThread other;
    HWND remote = (HWND)other.run([parent] {
        return (LRESULT)make_window(L"", WS_CHILD | WS_VISIBLE, 30, 0, 20, 20, parent,
                                    WS_EX_NOPARENTNOTIFY);
    });
    ASSERT_NE(nullptr, remote);
    EXPECT_FALSE(DestroyWindow(remote));
    EXPECT_EQ((DWORD)ERROR_ACCESS_DENIED, GetLastError());

    // Destroying one child alone tells the parent.
    HWND single = make_window(L"", WS_CHILD, 60, 0, 20, 20, parent);
    reset_recorder();
    ASSERT_TRUE(DestroyWindow(single));
    auto notes = seen_messages(WM_PARENTNOTIFY);
    ASSERT_EQ(1u, notes.size());
    EXPECT_EQ(WM_DESTROY, LOWORD(notes[0].wparam));
    EXPECT_EQ((LPARAM)single, notes[0].lparam);

    reset_recorder();
    ASSERT_TRUE(DestroyWindow(parent));
    auto seen = all_seen();
    const Seen* parent_destroy = first_of(seen, parent, WM_DESTROY);
    const Seen* parent_final = first_of(seen, parent, WM_NCDESTROY);
    ASSERT_TRUE(parent_destroy && parent_final);
    for (HWND child : {local, remote}) {
        const Seen* destroy = first_of(seen, child, WM_DESTROY);
        const Seen* final_message = first_of(seen, child, WM_NCDESTROY);
        ASSERT_TRUE(destroy && final_message);
        EXPECT_LT(parent_destroy->order, destroy->order);
        EXPECT_LT(destroy->order, final_message->order);
        EXPECT_LT(final_message->order, parent_final->order);
        EXPECT_FALSE(IsWindow(child));
    }
    EXPECT_EQ(other.id, first_of(seen, remote, WM_DESTROY)->thread);
    EXPECT_EQ(GetCurrentThreadId(), first_of(seen, local, WM_DESTROY)->thread);
    EXPECT_FALSE(IsWindow(parent));
    EXPECT_EQ(0, seen_count(WM_PARENTNOTIFY))
        << "children destroyed with their parent notify nobody";
}

TEST_F(Messages, QueueOrderPaintTimersAndQuit) {
    HWND hwnd = make_window(L"queue", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 200, 200, 300, 200);
    settle_thread();
    MSG msg;
    EXPECT_FALSE(PeekMessageW(&msg, hwnd, WM_PAINT, WM_PAINT, PM_NOREMOVE))
        << "painting did not validate";

    // Posted messages come first; WM_PAINT only when nothing else waits; WM_TIMER last.
    InvalidateRect(hwnd, nullptr, FALSE);
    ASSERT_EQ(7u, SetTimer(hwnd, 7, 30, nullptr));
    for (UINT i = 1; i <= 3; ++i) PostMessageW(hwnd, WM_USER + i, 0, 0);
    Sleep(40);
    std::vector<UINT> order;
    while (order.size() < 5 && GetMessageW(&msg, nullptr, 0, 0)) {
        if (msg.hwnd == hwnd) order.push_back(msg.message);
        DispatchMessageW(&msg);
    }
    EXPECT_EQ((std::vector<UINT>{WM_USER + 1, WM_USER + 2, WM_USER + 3, WM_PAINT, WM_TIMER}),
              order);
    EXPECT_TRUE(KillTimer(hwnd, 7));
    EXPECT_FALSE(KillTimer(hwnd, 7));
    reset_recorder();
    pump_for(80);
    EXPECT_EQ(0, seen_count(WM_TIMER));

    // UpdateWindow paints at once; ValidateRect leaves nothing to paint.
    InvalidateRect(hwnd, nullptr, TRUE);
    UpdateWindow(hwnd);
    EXPECT_EQ(1, seen_count(WM_PAINT));
    RECT part = {0, 0, 10, 10};
    InvalidateRect(hwnd, &part, FALSE);
    ValidateRect(hwnd, nullptr);
    EXPECT_FALSE(PeekMessageW(&msg, hwnd, WM_PAINT, WM_PAINT, PM_NOREMOVE));

    // The class brush erased the background.
    EXPECT_TRUE(near_color(RGB(10, 200, 30), screen_pixel(204 + 150, 227 + 80)));

    PostMessageW(hwnd, WM_USER + 9, 0, 0);
    PostQuitMessage(5);
    ASSERT_TRUE(GetMessageW(&msg, nullptr, 0, 0));
    EXPECT_EQ((UINT)WM_USER + 9, msg.message);
    EXPECT_FALSE(GetMessageW(&msg, nullptr, 0, 0));
    EXPECT_EQ((UINT)WM_QUIT, msg.message);
    EXPECT_EQ(5u, msg.wParam);
    DestroyWindow(hwnd);
}

TEST_F(Messages, WindowManagerCloseEndsTheLoop) {
    HWND hwnd = make_window(L"closing", WS_OVERLAPPEDWINDOW | WS_VISIBLE);
    HWND disabled = make_window(L"disabled", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 600, 100);
    settle_thread();
    recorder().handler = [](HWND, UINT message, WPARAM, LPARAM, LRESULT*) {
        if (message == WM_DESTROY) PostQuitMessage(0);
        return false;  // DefWindowProcW destroys the window on WM_CLOSE
    };
    EnableWindow(disabled, FALSE);
    send_delete_window(x11_window_of(disabled));
    send_delete_window(x11_window_of(hwnd));
    UINT_PTR watchdog = SetTimer(nullptr, 0, 5000, nullptr);  // a WM_TIMER means the loop hung
    MSG msg;
    while (GetMessageW(&msg, nullptr, 0, 0)) {
        ASSERT_NE((UINT)WM_TIMER, msg.message) << "WM_DELETE_WINDOW did not end the loop";
        DispatchMessageW(&msg);
    }
    KillTimer(nullptr, watchdog);
    EXPECT_EQ(0u, msg.wParam);
    EXPECT_FALSE(IsWindow(hwnd));
    auto closes = seen_messages(WM_CLOSE);
    ASSERT_EQ(1u, closes.size()) << "a disabled window took the close request";
    EXPECT_EQ(hwnd, closes[0].hwnd);
    EXPECT_TRUE(IsWindow(disabled));
    DestroyWindow(disabled);
    settle_thread();
}
