// The X CLIPBOARD and PRIMARY selections of the process's text controls.
//
// A copy of the text is served by a thread of its own with a connection of its own and a
// hidden window that owns the selections. So the text stays pasteable while the thread of
// the control is busy (a capture, a Sleep) and after the control's selection changes,
// until another client takes the selection. It answers TARGETS, TIMESTAMP, UTF8_STRING,
// TEXT and STRING, and sends texts larger than one request in INCR chunks.
#include <X11/Xatom.h>
#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/x11/x11_gdi.h"

namespace {

enum { SEL_CLIPBOARD = 0, SEL_PRIMARY = 1 };

struct Transfer {
    Window requestor;
    Atom property;
    Atom type;
    std::string data;
    size_t offset;
};

struct Atoms {
    Atom selection[2], targets, timestamp, utf8_string, text, incr, stamp;
};

struct Server {
    std::mutex lock;  // guards everything below that callers touch: the texts and wishes
    bool started = false;
    std::atomic<Display*> display{nullptr};  // set once, before the thread starts
    Window window = None;
    Atoms atoms = {};
    int wake[2] = {-1, -1};
    size_t chunk = 0;
    // Per selection: the text served, the text to take ownership with, and when we did.
    std::string text[2];
    std::string wanted[2];
    bool wants[2] = {false, false};
    bool owned[2] = {false, false};
    Time owned_since[2] = {0, 0};
    // Copies asked for and copies the serving thread has taken ownership for (or failed to).
    uint64_t copies_asked = 0;
    uint64_t copies_done = 0;
    std::condition_variable copy_done;
    std::vector<Transfer> transfers;  // clipboard thread only
};

Server& server() {
    // NOTE: never destroyed: the serving thread runs until the process exits.
    static Server* s = new Server();
    return *s;
}

// UTF-8 with LF line ends, what X clients expect of text.
std::string utf8_of(const wchar_t* text, size_t length) {
    std::wstring lf_text;
    lf_text.reserve(length);
    for (size_t i = 0; i < length; ++i) {
        if (text[i] == L'\r' && i + 1 < length && text[i + 1] == L'\n') continue;
        lf_text += text[i];
    }
    return x11_utf8_from_wide(lf_text.data(), lf_text.size());
}

// ISO 8859-1 for the STRING target; characters outside it become '?'.
std::string latin1_of(const std::string& utf8) {
    std::string out;
    for (size_t i = 0; i < utf8.size();) {
        const unsigned char c = (unsigned char)utf8[i];
        uint32_t code = c;
        size_t n = 1;
        if (c >= 0xF0) { n = 4; code = c & 0x07; }
        else if (c >= 0xE0) { n = 3; code = c & 0x0F; }
        else if (c >= 0xC0) { n = 2; code = c & 0x1F; }
        for (size_t k = 1; k < n && i + k < utf8.size(); ++k) code = (code << 6) | ((unsigned char)utf8[i + k] & 0x3F);
        out += code <= 0xFF ? (char)code : '?';
        i += n;
    }
    return out;
}

int selection_index(Server& s, Atom selection) {
    if (selection == s.atoms.selection[SEL_CLIPBOARD]) return SEL_CLIPBOARD;
    if (selection == s.atoms.selection[SEL_PRIMARY]) return SEL_PRIMARY;
    return -1;
}

// Takes the selections asked for, with the server time of the stamp property change.
void take_ownership(Server& s, Time time) {
    std::lock_guard<std::mutex> guard(s.lock);
    for (int i = 0; i < 2; ++i) {
        if (!s.wants[i]) continue;
        s.wants[i] = false;
        s.text[i].swap(s.wanted[i]);
        s.wanted[i].clear();
        XSetSelectionOwner(s.display, s.atoms.selection[i], s.window, time);
        s.owned[i] = XGetSelectionOwner(s.display, s.atoms.selection[i]) == s.window;
        s.owned_since[i] = time;
        if (!s.owned[i]) s.text[i].clear();
    }
    s.copies_done = s.copies_asked;
    s.copy_done.notify_all();
}

// NOTE: ICCCM asks for a real timestamp when taking a selection; a zero-length append to
// a property of our window makes the server send one in a PropertyNotify.
void request_timestamp(Server& s) {
    XChangeProperty(s.display, s.window, s.atoms.stamp, XA_STRING, 8, PropModeAppend, nullptr, 0);
    XFlush(s.display);
}

void send_chunk(Server& s, Transfer& t) {
    const size_t n = std::min(s.chunk, t.data.size() - t.offset);
    XChangeProperty(s.display, t.requestor, t.property, t.type, 8, PropModeReplace,
                    reinterpret_cast<const unsigned char*>(t.data.data() + t.offset), (int)n);
    t.offset += n;
}

// Writes the requested target to the requestor's property; returns the property, or None
// when the target is refused.
Atom answer_target(Server& s, const XSelectionRequestEvent& request, int index) {
    const Atom property = request.property != None ? request.property : request.target;  // obsolete clients
    const Atoms& a = s.atoms;
    if (request.target == a.targets) {
        const Atom list[] = {a.targets, a.timestamp, a.utf8_string, a.text, XA_STRING};
        XChangeProperty(s.display, request.requestor, property, XA_ATOM, 32, PropModeReplace,
                        reinterpret_cast<const unsigned char*>(list), 5);
        return property;
    }
    if (request.target == a.timestamp) {
        const long stamp = (long)s.owned_since[index];
        XChangeProperty(s.display, request.requestor, property, XA_INTEGER, 32, PropModeReplace,
                        reinterpret_cast<const unsigned char*>(&stamp), 1);
        return property;
    }
    if (request.target != a.utf8_string && request.target != a.text && request.target != XA_STRING) return None;
    std::string data;
    {
        std::lock_guard<std::mutex> guard(s.lock);
        data = request.target == XA_STRING ? latin1_of(s.text[index]) : s.text[index];
    }
    const Atom type = request.target == XA_STRING ? XA_STRING : a.utf8_string;
    if (data.size() <= s.chunk) {
        XChangeProperty(s.display, request.requestor, property, type, 8, PropModeReplace,
                        reinterpret_cast<const unsigned char*>(data.data()), (int)data.size());
        return property;
    }
    // Too large for one request: announce INCR and send chunks as the requestor deletes them.
    XSelectInput(s.display, request.requestor, PropertyChangeMask);
    const long size = (long)data.size();
    XChangeProperty(s.display, request.requestor, property, a.incr, 32, PropModeReplace,
                    reinterpret_cast<const unsigned char*>(&size), 1);
    s.transfers.push_back(Transfer{request.requestor, property, type, std::move(data), 0});
    return property;
}

void answer_request(Server& s, const XSelectionRequestEvent& request) {
    XSelectionEvent reply = {};
    reply.type = SelectionNotify;
    reply.display = request.display;
    reply.requestor = request.requestor;
    reply.selection = request.selection;
    reply.target = request.target;
    reply.time = request.time;
    reply.property = None;
    const int index = selection_index(s, request.selection);
    bool owned = false;
    if (index >= 0) {
        std::lock_guard<std::mutex> guard(s.lock);
        owned = s.owned[index] && request.owner == s.window;
    }
    if (owned) reply.property = answer_target(s, request, index);
    XSendEvent(s.display, request.requestor, False, NoEventMask, reinterpret_cast<XEvent*>(&reply));
    XFlush(s.display);
}

// A property of a requestor was deleted: the next chunk of its INCR transfer, or the
// empty chunk that ends it.
void continue_transfer(Server& s, const XPropertyEvent& event) {
    for (size_t i = 0; i < s.transfers.size(); ++i) {
        Transfer& t = s.transfers[i];
        if (t.requestor != event.window || t.property != event.atom) continue;
        const bool finished = t.offset >= t.data.size();
        send_chunk(s, t);  // an empty chunk once everything is sent
        if (finished) {
            const Window requestor = t.requestor;
            s.transfers.erase(s.transfers.begin() + (ptrdiff_t)i);
            const bool more = std::any_of(s.transfers.begin(), s.transfers.end(),
                                          [&](const Transfer& other) { return other.requestor == requestor; });
            if (!more) XSelectInput(s.display, requestor, NoEventMask);
        }
        XFlush(s.display);
        return;
    }
}

void lose_selection(Server& s, const XSelectionClearEvent& event) {
    const int index = selection_index(s, event.selection);
    if (index < 0) return;
    std::lock_guard<std::mutex> guard(s.lock);
    // NOTE: a clear older than our latest ownership belongs to an earlier one.
    if (event.time != CurrentTime && s.owned_since[index] != CurrentTime && event.time < s.owned_since[index]) return;
    s.owned[index] = false;
    s.text[index].clear();
}

void serve(Server* s) {
    Display* display = s->display;
    pollfd fds[2] = {{ConnectionNumber(display), POLLIN, 0}, {s->wake[0], POLLIN, 0}};
    for (;;) {
        while (XPending(display)) {
            XEvent event;
            XNextEvent(display, &event);
            x11_clipboard_handle_event(display, &event);
        }
        if (poll(fds, 2, -1) < 0) continue;
        if (fds[1].revents & POLLIN) {
            char drain[64];
            while (read(s->wake[0], drain, sizeof(drain)) > 0) {
            }
            request_timestamp(*s);
        }
    }
}

// Opens the serving connection and window and starts the thread; false without a display.
bool start(Server& s) {
    if (s.started) return s.display != nullptr;
    s.started = true;
    // NOTE: the windowing half's first connection makes Xlib thread-safe (XInitThreads)
    // before this one is opened.
    Display* main_display = x11_thread_display();
    if (!main_display) return false;
    Display* display = XOpenDisplay(DisplayString(main_display));
    if (!display || pipe(s.wake) != 0) {
        if (display) XCloseDisplay(display);
        return false;
    }
    fcntl(s.wake[0], F_SETFL, O_NONBLOCK);
    s.display = display;
    XSetWindowAttributes attributes = {};
    attributes.event_mask = PropertyChangeMask;
    s.window = XCreateWindow(display, DefaultRootWindow(display), -10, -10, 1, 1, 0, CopyFromParent, InputOnly,
                             CopyFromParent, CWEventMask, &attributes);
    s.atoms.selection[SEL_CLIPBOARD] = XInternAtom(display, "CLIPBOARD", False);
    s.atoms.selection[SEL_PRIMARY] = XA_PRIMARY;
    s.atoms.targets = XInternAtom(display, "TARGETS", False);
    s.atoms.timestamp = XInternAtom(display, "TIMESTAMP", False);
    s.atoms.utf8_string = XInternAtom(display, "UTF8_STRING", False);
    s.atoms.text = XInternAtom(display, "TEXT", False);
    s.atoms.incr = XInternAtom(display, "INCR", False);
    s.atoms.stamp = XInternAtom(display, "_HALDENMOOR_CLIPBOARD_STAMP", False);
    // NOTE: one request carries at most the server's maximum request length; a quarter of
    // it (at most 256 KiB) per chunk keeps each property change well inside it.
    long units = XExtendedMaxRequestSize(display);
    if (units == 0) units = XMaxRequestSize(display);
    const long bytes = units * 4;
    s.chunk = (size_t)std::min<long>(bytes / 4, 256 * 1024);
    XFlush(display);
    std::thread(serve, &s).detach();
    return true;
}

}  // namespace

// Hands the text to the serving thread and waits until it owns the selection, so that a
// paste made right after the copy gets this text, not the one before. The wait is bounded:
// an X server that does not answer cannot hang the control's thread.
bool x11_clipboard_set_text(bool primary, const wchar_t* text, size_t length) {
    Server& s = server();
    std::string utf8 = utf8_of(text, length);
    std::unique_lock<std::mutex> guard(s.lock);
    if (!start(s)) return false;
    const int index = primary ? SEL_PRIMARY : SEL_CLIPBOARD;
    s.wanted[index] = std::move(utf8);
    s.wants[index] = true;
    const uint64_t copy = ++s.copies_asked;
    const char byte = 1;
    if (write(s.wake[1], &byte, 1) != 1) return false;
    s.copy_done.wait_for(guard, std::chrono::seconds(2), [&] { return s.copies_done >= copy; });
    return s.copies_done >= copy && s.owned[index];
}

bool x11_clipboard_handle_event(Display* display, XEvent* event) {
    Server& s = server();
    if (!display || display != s.display) return false;
    switch (event->type) {
    case SelectionRequest: answer_request(s, event->xselectionrequest); return true;
    case SelectionClear: lose_selection(s, event->xselectionclear); return true;
    case PropertyNotify:
        if (event->xproperty.window == s.window && event->xproperty.atom == s.atoms.stamp) {
            take_ownership(s, event->xproperty.time);
        } else if (event->xproperty.state == PropertyDelete) {
            continue_transfer(s, event->xproperty);
        }
        return true;
    default: return false;
    }
}
