// Keyboard and mouse input from xdotool, both through XTEST (as a user's devices) and as
// events sent to a window: codes, flags, coordinates, routing, capture, wheel and focus.
#include <gtest/gtest.h>

#include <deque>

#include "platform/x11/x11_shared.h"
#include "test_util.h"

namespace {

// The top-level client area starts at (104, 127) on the screen; the child at (154, 167).
class Input : public ::testing::Test {
  protected:
    void SetUp() override {
        reset_recorder();
        top_ = make_focused_window(L"Input", 100, 100, 400, 300);
        child_ = CreateWindowExW(0, recording_class(), L"", WS_CHILD | WS_VISIBLE, 50, 40, 100, 80,
                                 top_, nullptr, nullptr, nullptr);
        settle_thread();
        reset_recorder();
    }
    void TearDown() override {
        DestroyWindow(top_);
        reset_recorder();
        run("xdotool mousemove 1000 900");
        settle_thread();
    }
    std::string top_id() const { return std::to_string(x11_window_of(top_)); }

    // Runs xdotool, then pumps until a message arrives for hwnd.
    bool drive(const std::string& args, HWND hwnd, UINT message, WPARAM wparam = (WPARAM)-1) {
        EXPECT_EQ(0, run("xdotool " + args));
        return pump_until([=] { return find(hwnd, message, wparam) != nullptr; });
    }
    const Seen* find(HWND hwnd, UINT message, WPARAM wparam = (WPARAM)-1, size_t skip = 0) {
        for (const Seen& s : seen_for(hwnd)) {
            if (s.message == message && (wparam == (WPARAM)-1 || s.wparam == wparam) &&
                skip-- == 0) {
                // NOTE: kept in a deque, so earlier results stay valid.
                found_.push_back(s);
                return &found_.back();
            }
        }
        return nullptr;
    }
    int count(HWND hwnd, UINT message, WPARAM wparam) {
        int n = 0;
        for (const Seen& s : seen_for(hwnd)) n += s.message == message && s.wparam == wparam;
        return n;
    }

    HWND top_ = nullptr;
    HWND child_ = nullptr;
    std::deque<Seen> found_;
};

constexpr LPARAM kPrevious = (LPARAM)1 << 30;
constexpr LPARAM kReleased = (LPARAM)1u << 31;

}  // namespace

TEST_F(Input, KeysCarryVirtualKeysFlagsAndCharacters) {
    static bool control_down_at_e;
    control_down_at_e = false;
    recorder().handler = [](HWND, UINT message, WPARAM wparam, LPARAM, LRESULT*) {
        if (message == WM_KEYDOWN && wparam == 'E') control_down_at_e = GetKeyState(VK_CONTROL) < 0;
        return false;
    };
    ASSERT_TRUE(drive("key a shift+b Return Left F5 alt+x ctrl+e", top_, WM_KEYUP, 'E'));
    const Seen* down = find(top_, WM_KEYDOWN, 'A');
    ASSERT_NE(nullptr, down);
    EXPECT_EQ(1, down->lparam & 0xFFFF);
    EXPECT_EQ(0x1E, (down->lparam >> 16) & 0xFF);
    EXPECT_EQ(0, down->lparam & (kPrevious | kReleased));
    int down_order = down->order;
    const Seen* typed = find(top_, WM_CHAR, 'a');
    ASSERT_NE(nullptr, typed);
    const Seen* up = find(top_, WM_KEYUP, 'A');
    ASSERT_NE(nullptr, up);
    EXPECT_EQ(kPrevious | kReleased, up->lparam & (kPrevious | kReleased));
    EXPECT_LT(down_order, typed->order);
    EXPECT_LT(typed->order, up->order) << "WM_CHAR must come before the key-up";

    EXPECT_NE(nullptr, find(top_, WM_KEYDOWN, VK_SHIFT));
    EXPECT_NE(nullptr, find(top_, WM_CHAR, 'B'));
    EXPECT_NE(nullptr, find(top_, WM_KEYDOWN, VK_RETURN));
    EXPECT_NE(nullptr, find(top_, WM_CHAR, '\r'));
    const Seen* left = find(top_, WM_KEYDOWN, VK_LEFT);
    ASSERT_NE(nullptr, left);
    EXPECT_TRUE(left->lparam & ((LPARAM)1 << 24)) << "arrows are extended keys";
    EXPECT_EQ(nullptr, find(top_, WM_CHAR, 0)) << "Left types nothing";
    EXPECT_NE(nullptr, find(top_, WM_KEYDOWN, VK_F1 + 4));
    const Seen* alt_x = find(top_, WM_SYSKEYDOWN, 'X');
    ASSERT_NE(nullptr, alt_x);
    EXPECT_TRUE(alt_x->lparam & ((LPARAM)1 << 29));
    EXPECT_EQ(nullptr, find(top_, WM_KEYDOWN, 'X'));
    EXPECT_NE(nullptr, find(top_, WM_CHAR, 5)) << "Ctrl+E types control character 5";
    EXPECT_TRUE(control_down_at_e);
    EXPECT_GE(GetKeyState(VK_CONTROL), 0) << "Ctrl was released";

    // Sent to the window (xdotool --window): the same messages.
    ASSERT_TRUE(drive("key --window " + top_id() + " d", top_, WM_KEYUP, 'D'));
    EXPECT_NE(nullptr, find(top_, WM_KEYDOWN, 'D'));
    EXPECT_NE(nullptr, find(top_, WM_CHAR, 'd'));

    // A held key repeats as key-downs with bit 30, and is released once.
    ASSERT_TRUE(drive("keydown c sleep 0.8 keyup c", top_, WM_KEYUP, 'C'));
    EXPECT_EQ(1, count(top_, WM_KEYUP, 'C'));
    ASSERT_GE(count(top_, WM_KEYDOWN, 'C'), 3);
    EXPECT_EQ(0, find(top_, WM_KEYDOWN, 'C', 0)->lparam & kPrevious);
    EXPECT_EQ(kPrevious, find(top_, WM_KEYDOWN, 'C', 1)->lparam & kPrevious);
}

TEST_F(Input, KeysFollowTheFocusWindow) {
    ASSERT_EQ(top_, GetFocus());
    EXPECT_EQ(top_, SetFocus(child_));
    EXPECT_EQ(child_, GetFocus());
    const Seen* lost = find(top_, WM_KILLFOCUS);
    ASSERT_NE(nullptr, lost);
    EXPECT_EQ((WPARAM)child_, lost->wparam);
    const Seen* gained = find(child_, WM_SETFOCUS);
    ASSERT_NE(nullptr, gained);
    EXPECT_EQ((WPARAM)top_, gained->wparam);
    ASSERT_TRUE(drive("key g", child_, WM_KEYUP, 'G'));
    EXPECT_EQ(nullptr, find(top_, WM_KEYDOWN, 'G'));
}

TEST_F(Input, ButtonsGoToTheWindowUnderThePointerInClientCoordinates) {
    ASSERT_TRUE(drive("mousemove 164 187 click 1", child_, WM_LBUTTONUP));
    const Seen* press = find(child_, WM_LBUTTONDOWN);
    ASSERT_NE(nullptr, press);
    EXPECT_EQ((WPARAM)MK_LBUTTON, press->wparam);
    EXPECT_EQ(MAKELPARAM(10, 20), press->lparam);
    EXPECT_EQ(0u, find(child_, WM_LBUTTONUP)->wparam);
    EXPECT_EQ(nullptr, find(top_, WM_LBUTTONDOWN));

    ASSERT_TRUE(drive("keydown shift mousemove 300 300 click 3 keyup shift", top_, WM_RBUTTONUP));
    const Seen* right = find(top_, WM_RBUTTONDOWN);
    ASSERT_NE(nullptr, right);
    EXPECT_EQ((WPARAM)(MK_RBUTTON | MK_SHIFT), right->wparam);
    EXPECT_EQ(MAKELPARAM(196, 173), right->lparam);

    ASSERT_TRUE(drive("mousemove --window " + top_id() + " 30 40 click --window " + top_id() + " 1",
                      top_, WM_LBUTTONUP));
    EXPECT_EQ(MAKELPARAM(30, 40), find(top_, WM_LBUTTONDOWN)->lparam);
}

TEST_F(Input, ReleaseOutsideGoesElsewhereUnlessCaptured) {
    // Without capture, Windows gives the release to the window it happens over.
    ASSERT_TRUE(
        drive("mousemove 164 187 mousedown 1 mousemove 300 300 mouseup 1", top_, WM_LBUTTONUP));
    EXPECT_NE(nullptr, find(child_, WM_LBUTTONDOWN));
    EXPECT_EQ(nullptr, find(child_, WM_LBUTTONUP));
    EXPECT_EQ(MAKELPARAM(196, 173), find(top_, WM_LBUTTONUP)->lparam);

    reset_recorder();
    static HWND captor;
    captor = child_;
    recorder().handler = [](HWND hwnd, UINT message, WPARAM, LPARAM, LRESULT*) {
        if (hwnd == captor && message == WM_LBUTTONDOWN) SetCapture(hwnd);
        if (hwnd == captor && message == WM_LBUTTONUP) ReleaseCapture();
        return false;
    };
    ASSERT_TRUE(
        drive("mousemove 164 187 mousedown 1 mousemove 300 300 mouseup 1", child_, WM_LBUTTONUP));
    EXPECT_EQ(MAKELPARAM(300 - 154, 300 - 167), find(child_, WM_LBUTTONUP)->lparam);
    EXPECT_EQ(nullptr, find(top_, WM_LBUTTONUP));
    EXPECT_NE(nullptr, find(child_, WM_CAPTURECHANGED));
    EXPECT_EQ(nullptr, GetCapture());
}

TEST_F(Input, WheelReachesThePointerWindowThenItsParent) {
    ASSERT_TRUE(drive("mousemove 164 187 click 4", top_, WM_MOUSEWHEEL));
    const Seen* at_child = find(child_, WM_MOUSEWHEEL);
    ASSERT_NE(nullptr, at_child);
    EXPECT_EQ(WHEEL_DELTA, GET_WHEEL_DELTA_WPARAM(at_child->wparam));
    EXPECT_EQ(MAKELPARAM(164, 187), at_child->lparam) << "wheel positions are screen coordinates";
    int child_order = at_child->order;
    const Seen* at_top = find(top_, WM_MOUSEWHEEL);
    EXPECT_EQ(at_child->wparam, at_top->wparam);
    EXPECT_GT(at_top->order, child_order) << "the parent got it from DefWindowProcW of the child";

    reset_recorder();
    ASSERT_TRUE(drive("keydown ctrl mousemove 300 300 click 5 keyup ctrl", top_, WM_MOUSEWHEEL));
    const Seen* down = find(top_, WM_MOUSEWHEEL);
    EXPECT_EQ(-WHEEL_DELTA, GET_WHEEL_DELTA_WPARAM(down->wparam));
    EXPECT_EQ(MK_CONTROL, GET_KEYSTATE_WPARAM(down->wparam));
    EXPECT_EQ(MAKELPARAM(300, 300), down->lparam);
    EXPECT_EQ(nullptr, find(child_, WM_MOUSEWHEEL));
}

TEST_F(Input, DisabledWindowGetsNoInput) {
    EXPECT_FALSE(EnableWindow(top_, FALSE));
    EXPECT_FALSE(IsWindowEnabled(top_));
    EXPECT_EQ(FALSE, (BOOL)find(top_, WM_ENABLE)->wparam);
    EXPECT_EQ(0, run("xdotool mousemove 164 187 click 1 key z mousemove 300 300 click 1"));
    settle_thread();
    EXPECT_EQ(nullptr, find(child_, WM_LBUTTONDOWN));
    EXPECT_EQ(nullptr, find(top_, WM_LBUTTONDOWN));
    EXPECT_EQ(nullptr, find(top_, WM_KEYDOWN, 'Z'));
    EXPECT_TRUE(EnableWindow(top_, TRUE));
    EXPECT_TRUE(drive("mousemove 164 187 click 1", child_, WM_LBUTTONDOWN));
}
