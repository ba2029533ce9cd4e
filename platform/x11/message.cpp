// Per-thread message queues: GetMessageW, PeekMessageW, DispatchMessageW, PostMessageW,
// SendMessageW with Win32's cross-thread rendezvous, quit, timers and WM_PAINT synthesis.
#include "platform/x11/x11_internal.h"

#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>

namespace {

std::atomic<int> g_pointer_x{0};
std::atomic<int> g_pointer_y{0};

constexpr UINT kTimerMinimum = 10;  // ms, as USER_TIMER_MINIMUM
constexpr size_t kKeyCharMemory = 64;

// The thread that owns hwnd, or the calling thread for a null hwnd; null after setting
// ERROR_INVALID_WINDOW_HANDLE for a window that is gone.
std::shared_ptr<X11Thread> owner_or_error_locked(HWND hwnd) {
    if (!hwnd) return x11_thread_shared();
    X11Window* window = x11_window_or_error_locked(hwnd);
    return window ? window->owner : nullptr;
}

bool in_range(UINT message, UINT min, UINT max) {
    return (min == 0 && max == 0) || (message >= min && message <= max);
}

MSG make_message(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
    MSG msg;
    msg.hwnd = hwnd;
    msg.message = message;
    msg.wParam = wparam;
    msg.lParam = lparam;
    msg.time = GetTickCount();
    msg.pt = x11_last_pointer();
    return msg;
}

// Translates one X event if the thread's connection has one; false when none waits.
bool pump_one_x_event(X11Thread* thread) {
    Display* display = thread->display;
    // NOTE: XPending reads what the socket holds without blocking; XNextEvent then
    // never waits inside Xlib.
    if (!display || !XPending(display)) return false;
    XEvent event;
    XNextEvent(display, &event);
    x11_handle_event(thread, &event);
    return true;
}

// Blocks until someone wakes the thread, X has events (with_x) or the timeout (ms, -1
// for none) passes.
void wait_for_work(X11Thread* thread, int timeout, bool with_x) {
    struct pollfd fds[2];
    fds[0].fd = thread->wake_fd;
    fds[0].events = POLLIN;
    nfds_t count = 1;
    if (with_x && thread->display) {
        XFlush(thread->display);
        // NOTE: a round trip made by a window procedure may have queued events inside Xlib;
        // the socket is then empty and poll would sleep on them.
        if (XEventsQueued(thread->display, QueuedAlready) > 0) return;
        fds[1].fd = ConnectionNumber(thread->display);
        fds[1].events = POLLIN;
        count = 2;
    }
    poll(fds, count, timeout);
    uint64_t value;
    while (read(thread->wake_fd, &value, sizeof value) > 0) {
    }
}

bool take_posted_locked(X11Thread* thread, MSG* out, HWND filter, UINT min, UINT max, bool remove) {
    for (auto it = thread->posted.begin(); it != thread->posted.end(); ++it) {
        if ((filter && it->hwnd != filter) || !in_range(it->message, min, max)) continue;
        *out = *it;
        if (remove) thread->posted.erase(it);
        return true;
    }
    return false;
}

bool visible_locked(X11Window* window) {
    for (; window; window = x11_window_locked(window->parent))
        if (!(window->style & WS_VISIBLE)) return false;
    return true;
}

bool take_paint_locked(X11Thread* thread, MSG* out, HWND filter, UINT min, UINT max) {
    if (!in_range(WM_PAINT, min, max)) return false;
    for (HWND hwnd : thread->windows) {
        X11Window* window = x11_window_locked(hwnd);
        if (!window || !window->has_update || (filter && hwnd != filter) || !visible_locked(window))
            continue;
        *out = make_message(hwnd, WM_PAINT, 0, 0);
        return true;
    }
    return false;
}

bool take_timer_locked(X11Thread* thread, MSG* out, HWND filter, UINT min, UINT max, bool remove) {
    if (!in_range(WM_TIMER, min, max)) return false;
    DWORD now = GetTickCount();
    for (X11Timer& timer : thread->timers) {
        if ((filter && timer.hwnd != filter) || (int32_t)(now - timer.due) < 0) continue;
        *out = make_message(timer.hwnd, WM_TIMER, timer.id, (LPARAM)timer.proc);
        // NOTE: a late timer fires once, not once per missed period, as on Windows.
        if (remove) timer.due = now + timer.elapse;
        return true;
    }
    return false;
}

int next_timeout_locked(X11Thread* thread) {
    if (thread->timers.empty()) return -1;
    DWORD now = GetTickCount();
    int best = INT32_MAX;
    for (const X11Timer& timer : thread->timers)
        best = std::min(best, std::max(0, (int)(int32_t)(timer.due - now)));
    return best;
}

// Answers the window manager's pings (_NET_WM_PING) that reached this thread's windows: the
// thread is idle, so it has handled everything that came before them.
void answer_pings(X11Thread* thread) {
    if (thread->pings.empty() || !thread->display) return;
    for (XClientMessageEvent& ping : thread->pings) {
        XEvent reply;
        reply.xclient = ping;
        reply.xclient.window = DefaultRootWindow(thread->display);
        XSendEvent(thread->display, reply.xclient.window, False, SubstructureNotifyMask | SubstructureRedirectMask,
                   &reply);
    }
    thread->pings.clear();
    XFlush(thread->display);
}

// Looks for the next message in Win32's order: sent messages (handled here), posted and
// input messages, WM_QUIT, WM_PAINT, WM_TIMER. Waits when wait is set.
// NOTE: X events are translated one at a time, only when no queued message fits: like
// Windows, which binds input to a window when it is read, a SetCapture or SetFocus made
// while handling one message then steers the input that follows, and GetKeyState tells
// the state as of the message being handled.
bool next_message(MSG* out, HWND filter, UINT min, UINT max, UINT remove_flags, bool wait) {
    X11Thread* thread = x11_thread();
    bool remove = remove_flags & PM_REMOVE;
    for (;;) {
        x11_process_sent(thread);
        {
            X11Lock guard;
            if (take_posted_locked(thread, out, filter, min, max, remove)) return true;
        }
        if (pump_one_x_event(thread)) continue;
        int timeout;
        {
            X11Lock guard;
            if (take_posted_locked(thread, out, filter, min, max, remove)) return true;
            if (thread->quit_pending) {
                *out = make_message(nullptr, WM_QUIT, (WPARAM)thread->quit_code, 0);
                if (remove) thread->quit_pending = false;
                return true;
            }
            if (take_paint_locked(thread, out, filter, min, max)) return true;
            if (take_timer_locked(thread, out, filter, min, max, remove)) return true;
            if (!thread->sent.empty()) continue;
            timeout = next_timeout_locked(thread);
        }
        // NOTE: a focus change waiting for a key release is looked at again soon.
        if (x11_retry_focus(thread)) timeout = timeout < 0 ? 20 : std::min(timeout, 20);
        answer_pings(thread);
        if (!wait) return false;
        wait_for_work(thread, timeout, true);
    }
}

// Queues a send for the target thread and waits for its answer, meanwhile handling what
// other threads send to this one (so two threads sending to each other cannot deadlock).
LRESULT send_and_wait(const std::shared_ptr<X11Thread>& target, X11Send* send) {
    X11Thread* self = x11_thread();
    send->sender = x11_thread_shared();
    {
        X11Lock guard;
        if (target->dead) return 0;
        target->sent.push_back(send);
    }
    x11_wake(target.get());
    for (;;) {
        x11_process_sent(self);
        {
            X11Lock guard;
            if (send->done) return send->result;
        }
        wait_for_work(self, -1, false);
    }
}

bool valid_filter(HWND filter) {
    if (filter && !x11_check_window(filter)) return false;
    return true;
}

}  // namespace

// --- Shared with the other files of this half ---------------------------------------------

POINT x11_last_pointer() {
    return POINT{g_pointer_x.load(), g_pointer_y.load()};
}

void x11_set_last_pointer(int x, int y) {
    g_pointer_x = x;
    g_pointer_y = y;
}

void x11_process_sent(X11Thread* thread) {
    for (;;) {
        X11Send* send;
        {
            X11Lock guard;
            if (thread->sent.empty()) return;
            send = thread->sent.front();
            thread->sent.pop_front();
        }
        LRESULT result = send->internal ? send->internal()
                                        : x11_call_window_proc(send->hwnd, send->message,
                                                               send->wparam, send->lparam);
        std::shared_ptr<X11Thread> sender;
        {
            X11Lock guard;
            // NOTE: once done is set the sender may return and its record is gone.
            sender = send->sender;
            send->result = result;
            send->done = true;
        }
        x11_wake(sender.get());
    }
}

LRESULT x11_run_on_owner(HWND hwnd, std::function<LRESULT()> fn) {
    std::shared_ptr<X11Thread> owner;
    {
        X11Lock guard;
        X11Window* window = x11_window_locked(hwnd);
        if (!window) return 0;
        owner = window->owner;
    }
    if (owner.get() == x11_thread()) return fn();
    X11Send send;
    send.hwnd = hwnd;
    send.internal = std::move(fn);
    return send_and_wait(owner, &send);
}

DWORD x11_post_input(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam, POINT pt) {
    std::shared_ptr<X11Thread> owner;
    DWORD time;
    {
        X11Lock guard;
        X11Window* window = x11_window_locked(hwnd);
        if (!window) return 0;
        owner = window->owner;
        MSG msg = make_message(hwnd, message, wparam, lparam);
        msg.pt = pt;
        time = msg.time;
        auto& queue = owner->posted;
        // NOTE: mouse moves coalesce, as on Windows: only the newest position matters.
        if (message == WM_MOUSEMOVE && !queue.empty() && queue.back().message == WM_MOUSEMOVE &&
            queue.back().hwnd == hwnd)
            queue.back() = msg;
        else
            queue.push_back(msg);
    }
    if (owner.get() != x11_thread()) x11_wake(owner.get());
    return time;
}

void x11_forget_window_messages_locked(X11Thread* thread, HWND hwnd) {
    auto& posted = thread->posted;
    posted.erase(std::remove_if(posted.begin(), posted.end(),
                                [hwnd](const MSG& m) { return m.hwnd == hwnd; }),
                 posted.end());
    auto& timers = thread->timers;
    timers.erase(std::remove_if(timers.begin(), timers.end(),
                                [hwnd](const X11Timer& t) { return t.hwnd == hwnd; }),
                 timers.end());
}

// --- Win32 --------------------------------------------------------------------------------

BOOL WINAPI GetMessageW(LPMSG msg, HWND hwnd, UINT filter_min, UINT filter_max) {
    if (!msg) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return -1;
    }
    if (!valid_filter(hwnd)) return -1;
    next_message(msg, hwnd, filter_min, filter_max, PM_REMOVE, true);
    return msg->message != WM_QUIT;
}

BOOL WINAPI PeekMessageW(LPMSG msg, HWND hwnd, UINT filter_min, UINT filter_max, UINT remove) {
    if (!msg) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    if (!valid_filter(hwnd)) return FALSE;
    return next_message(msg, hwnd, filter_min, filter_max, remove, false);
}

BOOL WINAPI TranslateMessage(const MSG* msg) {
    if (!msg) return FALSE;
    if (msg->message != WM_KEYDOWN && msg->message != WM_SYSKEYDOWN) {
        return msg->message == WM_KEYUP || msg->message == WM_SYSKEYUP;
    }
    X11Thread* thread = x11_thread();
    X11Lock guard;
    auto& chars = thread->key_chars;
    for (auto it = chars.begin(); it != chars.end(); ++it) {
        if (it->message != msg->message || it->vk != msg->wParam || it->lparam != msg->lParam ||
            it->time != msg->time)
            continue;
        wchar_t ch = it->ch;
        chars.erase(it);
        if (ch) {
            UINT char_message = msg->message == WM_SYSKEYDOWN ? WM_SYSCHAR : WM_CHAR;
            MSG typed = *msg;
            typed.message = char_message;
            typed.wParam = (WPARAM)ch;
            // NOTE: first in the queue, so it comes before the key-up already waiting, as
            // on Windows where the key-up still sits in the input queue.
            thread->posted.push_front(typed);
        }
        break;
    }
    return TRUE;
}

// Remembers the character a queued key-down types, for TranslateMessage.
void x11_remember_key_char(X11Thread* thread, const X11KeyChar& entry) {
    X11Lock guard;
    thread->key_chars.push_back(entry);
    while (thread->key_chars.size() > kKeyCharMemory) thread->key_chars.pop_front();
}

LRESULT WINAPI DispatchMessageW(const MSG* msg) {
    if (!msg) return 0;
    if (msg->message == WM_TIMER && msg->lParam) {
        auto proc = reinterpret_cast<TIMERPROC>(msg->lParam);
        proc(msg->hwnd, WM_TIMER, msg->wParam, GetTickCount());
        return 0;
    }
    if (!msg->hwnd) return 0;
    if (!x11_check_window(msg->hwnd)) return 0;
    return x11_call_window_proc(msg->hwnd, msg->message, msg->wParam, msg->lParam);
}

BOOL WINAPI PostMessageW(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
    std::shared_ptr<X11Thread> owner;
    {
        X11Lock guard;
        owner = owner_or_error_locked(hwnd);
        if (!owner) return FALSE;
        if (owner->dead) {
            SetLastError(ERROR_INVALID_WINDOW_HANDLE);
            return FALSE;
        }
        owner->posted.push_back(make_message(hwnd, message, wparam, lparam));
    }
    if (owner.get() != x11_thread()) x11_wake(owner.get());
    return TRUE;
}

LRESULT WINAPI SendMessageW(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
    std::shared_ptr<X11Thread> owner;
    {
        X11Lock guard;
        X11Window* window = x11_window_or_error_locked(hwnd);
        if (!window) return 0;
        owner = window->owner;
    }
    if (owner.get() == x11_thread()) return x11_call_window_proc(hwnd, message, wparam, lparam);
    X11Send send;
    send.hwnd = hwnd;
    send.message = message;
    send.wparam = wparam;
    send.lparam = lparam;
    return send_and_wait(owner, &send);
}

void WINAPI PostQuitMessage(int exit_code) {
    X11Thread* thread = x11_thread();
    X11Lock guard;
    thread->quit_pending = true;
    thread->quit_code = exit_code;
}

UINT_PTR WINAPI SetTimer(HWND hwnd, UINT_PTR id, UINT elapse_ms, TIMERPROC proc) {
    std::shared_ptr<X11Thread> owner;
    UINT_PTR result;
    {
        X11Lock guard;
        owner = owner_or_error_locked(hwnd);
        if (!owner) return 0;
        UINT elapse = std::max(elapse_ms, kTimerMinimum);
        elapse = std::min(elapse, 0x7FFFFFFFu);
        auto& timers = owner->timers;
        auto found = std::find_if(timers.begin(), timers.end(), [&](const X11Timer& t) {
            return t.hwnd == hwnd && t.id == id && (hwnd || id);
        });
        if (found == timers.end()) {
            // NOTE: a timer without a window gets an id of its own, as on Windows.
            if (!hwnd) id = owner->next_timer_id++;
            timers.push_back(X11Timer{hwnd, id, elapse, proc, GetTickCount() + elapse});
        } else {
            found->elapse = elapse;
            found->proc = proc;
            found->due = GetTickCount() + elapse;
        }
        result = hwnd ? (id ? id : 1) : id;
    }
    if (owner.get() != x11_thread()) x11_wake(owner.get());
    return result;
}

BOOL WINAPI KillTimer(HWND hwnd, UINT_PTR id) {
    X11Lock guard;
    std::shared_ptr<X11Thread> owner;
    owner = owner_or_error_locked(hwnd);
    if (!owner) return FALSE;
    auto& timers = owner->timers;
    auto found = std::find_if(timers.begin(), timers.end(),
                              [&](const X11Timer& t) { return t.hwnd == hwnd && t.id == id; });
    if (found == timers.end()) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    timers.erase(found);
    return TRUE;
}
