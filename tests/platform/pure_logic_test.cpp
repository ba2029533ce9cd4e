// Pixel format scoring and the key tables: logic of the layer that needs no display.
#include <X11/keysym.h>
#include <gtest/gtest.h>

#include "platform/x11/pixel_format.h"
#include "platform/x11/x11_internal.h"
#include "view/paint.h"

namespace {

PixelFormatTraits offer(int r, int g, int b, int a, int depth, int stencil, bool double_buffer) {
    PixelFormatTraits t;
    t.red_bits = r;
    t.green_bits = g;
    t.blue_bits = b;
    t.alpha_bits = a;
    t.depth_bits = depth;
    t.stencil_bits = stencil;
    t.double_buffer = double_buffer;
    return t;
}

}  // namespace

TEST(PixelFormat, RequestFromDescriptor) {
    PixelFormatRequest request = pixel_format_request(view_pixel_format_request());
    EXPECT_EQ(8, request.wanted.red_bits);
    EXPECT_EQ(8, request.wanted.blue_bits);
    EXPECT_EQ(32, request.wanted.depth_bits);
    EXPECT_EQ(32, request.wanted.stencil_bits);
    EXPECT_TRUE(request.wanted.double_buffer);
    PIXELFORMATDESCRIPTOR pfd = view_pixel_format_request();
    pfd.cColorBits = 16;
    EXPECT_EQ(6, pixel_format_request(pfd).wanted.green_bits);
    EXPECT_EQ(5, pixel_format_request(pfd).wanted.red_bits);
}

TEST(PixelFormat, ColourMaskShiftIsTheLowestSetBit) {
    EXPECT_EQ(16, x11_mask_shift(0xFF0000));
    EXPECT_EQ(8, x11_mask_shift(0xFF00));
    EXPECT_EQ(0, x11_mask_shift(0xFF));
    EXPECT_EQ(11, x11_mask_shift(0xF800));  // 5-6-5 red
    EXPECT_EQ(0, x11_mask_shift(0));
}

TEST(PixelFormat, ClosestOfferWins) {
    std::vector<PixelFormatTraits> offers = {
        offer(8, 8, 8, 0, 24, 8, false),  // single buffered: never for a double request
        offer(5, 6, 5, 0, 16, 0, true),   // lacks the stencil asked for
        offer(8, 8, 8, 8, 24, 8, true),   // alpha not asked for costs a little
        offer(8, 8, 8, 0, 24, 8, true),   // the closest
        offer(8, 8, 8, 0, 32, 0, true),   // exact depth, but no stencil
    };
    PixelFormatRequest request = pixel_format_request(view_pixel_format_request());
    EXPECT_EQ(3, choose_pixel_format(request, offers));
    // A missing buffer outweighs any colour difference.
    EXPECT_EQ(0, choose_pixel_format(
                     request, {offer(5, 6, 5, 0, 24, 8, true), offer(8, 8, 8, 0, 24, 0, true)}));
    // Double buffering must match unless the request does not care.
    std::vector<PixelFormatTraits> single = {offer(8, 8, 8, 0, 24, 8, false)};
    EXPECT_EQ(-1, choose_pixel_format(request, single));
    PIXELFORMATDESCRIPTOR pfd = view_pixel_format_request();
    pfd.dwFlags |= 0x40000000;  // PFD_DOUBLEBUFFER_DONTCARE
    EXPECT_EQ(0, choose_pixel_format(pixel_format_request(pfd), single));
    // Equal offers: the one the driver does not mark slow.
    PixelFormatTraits slow = offer(8, 8, 8, 0, 24, 8, true);
    slow.slow = true;
    EXPECT_EQ(1, choose_pixel_format(request, {slow, offer(8, 8, 8, 0, 24, 8, true)}));
}

TEST(KeyMap, VirtualKeysAndCharacters) {
    EXPECT_EQ((UINT)'A', x11_vk_of_keysym(XK_a));
    EXPECT_EQ((UINT)'Z', x11_vk_of_keysym(XK_Z));
    EXPECT_EQ((UINT)'7', x11_vk_of_keysym(XK_7));
    EXPECT_EQ((UINT)VK_LEFT, x11_vk_of_keysym(XK_Left));
    EXPECT_EQ((UINT)VK_DOWN, x11_vk_of_keysym(XK_Down));
    EXPECT_EQ((UINT)VK_F1 + 11, x11_vk_of_keysym(XK_F12));
    EXPECT_EQ((UINT)VK_SHIFT, x11_vk_of_keysym(XK_Shift_R));
    EXPECT_EQ((UINT)VK_CONTROL, x11_vk_of_keysym(XK_Control_L));
    EXPECT_EQ((UINT)VK_MENU, x11_vk_of_keysym(XK_Alt_L));
    EXPECT_EQ((UINT)VK_RETURN, x11_vk_of_keysym(XK_Return));
    EXPECT_EQ((UINT)VK_ESCAPE, x11_vk_of_keysym(XK_Escape));
    EXPECT_EQ((UINT)VK_BACK, x11_vk_of_keysym(XK_BackSpace));
    EXPECT_EQ((UINT)VK_NEXT, x11_vk_of_keysym(XK_Page_Down));
    EXPECT_EQ((UINT)VK_DELETE, x11_vk_of_keysym(XK_Delete));
    EXPECT_EQ((UINT)VK_HOME, x11_vk_of_keysym(XK_KP_Home));
    EXPECT_EQ(0u, x11_vk_of_keysym(XK_VoidSymbol));

    EXPECT_EQ(L'a', x11_char_of_keysym(XK_a));
    EXPECT_EQ(L'A', x11_char_of_keysym(XK_A));
    EXPECT_EQ(L'\u00FC', x11_char_of_keysym(XK_udiaeresis));
    EXPECT_EQ(L'\u20AC', x11_char_of_keysym(0x10020AC));
    EXPECT_EQ(L'\r', x11_char_of_keysym(XK_Return));
    EXPECT_EQ(L'\x1B', x11_char_of_keysym(XK_Escape));
    EXPECT_EQ(L'5', x11_char_of_keysym(XK_KP_5));
    EXPECT_EQ(0, x11_char_of_keysym(XK_F1));
    EXPECT_EQ(0, x11_char_of_keysym(XK_Left));

    EXPECT_TRUE(x11_vk_is_extended(VK_RIGHT));
    EXPECT_FALSE(x11_vk_is_extended('A'));
    EXPECT_EQ(0x1Eu, x11_scan_code_of(30));   // A
    EXPECT_EQ(0x4Bu, x11_scan_code_of(105));  // Left
    EXPECT_EQ(0x53u, x11_scan_code_of(111));  // Delete
}
