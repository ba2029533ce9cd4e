// X key symbols to Windows virtual-key codes and typed characters. Plain tables: no X call.
#include "platform/x11/x11_internal.h"

#include <X11/keysym.h>

namespace {

struct KeyEntry {
    unsigned long keysym;
    UINT vk;
};

// NOTE: Windows names these by their US-layout position; the codes are the OEM ones.
constexpr UINT kVkOem1 = 0xBA, kVkOemPlus = 0xBB, kVkOemComma = 0xBC, kVkOemMinus = 0xBD,
               kVkOemPeriod = 0xBE, kVkOem2 = 0xBF, kVkOem3 = 0xC0, kVkOem4 = 0xDB, kVkOem5 = 0xDC,
               kVkOem6 = 0xDD, kVkOem7 = 0xDE, kVkNumpad0 = 0x60, kVkMultiply = 0x6A, kVkAdd = 0x6B,
               kVkSubtract = 0x6D, kVkDecimal = 0x6E, kVkDivide = 0x6F, kVkNumLock = 0x90,
               kVkScroll = 0x91, kVkLWin = 0x5B, kVkRWin = 0x5C, kVkApps = 0x5D, kVkSnapshot = 0x2C,
               kVkClear = 0x0C;

const KeyEntry kKeys[] = {
    {XK_BackSpace, VK_BACK},
    {XK_Tab, VK_TAB},
    {XK_ISO_Left_Tab, VK_TAB},
    {XK_Return, VK_RETURN},
    {XK_KP_Enter, VK_RETURN},
    {XK_Escape, VK_ESCAPE},
    {XK_space, VK_SPACE},
    {XK_Prior, VK_PRIOR},
    {XK_Next, VK_NEXT},
    {XK_End, VK_END},
    {XK_Home, VK_HOME},
    {XK_Left, VK_LEFT},
    {XK_Up, VK_UP},
    {XK_Right, VK_RIGHT},
    {XK_Down, VK_DOWN},
    {XK_Insert, VK_INSERT},
    {XK_Delete, VK_DELETE},
    {XK_Pause, VK_PAUSE},
    {XK_Caps_Lock, VK_CAPITAL},
    {XK_Shift_L, VK_SHIFT},
    {XK_Shift_R, VK_SHIFT},
    {XK_Control_L, VK_CONTROL},
    {XK_Control_R, VK_CONTROL},
    {XK_Alt_L, VK_MENU},
    {XK_Alt_R, VK_MENU},
    {XK_Meta_L, VK_MENU},
    {XK_Meta_R, VK_MENU},
    {XK_ISO_Level3_Shift, VK_MENU},
    {XK_Super_L, kVkLWin},
    {XK_Super_R, kVkRWin},
    {XK_Menu, kVkApps},
    {XK_Print, kVkSnapshot},
    {XK_Num_Lock, kVkNumLock},
    {XK_Scroll_Lock, kVkScroll},
    {XK_semicolon, kVkOem1},
    {XK_equal, kVkOemPlus},
    {XK_comma, kVkOemComma},
    {XK_minus, kVkOemMinus},
    {XK_period, kVkOemPeriod},
    {XK_slash, kVkOem2},
    {XK_grave, kVkOem3},
    {XK_bracketleft, kVkOem4},
    {XK_backslash, kVkOem5},
    {XK_bracketright, kVkOem6},
    {XK_apostrophe, kVkOem7},
    {XK_KP_Multiply, kVkMultiply},
    {XK_KP_Add, kVkAdd},
    {XK_KP_Subtract, kVkSubtract},
    {XK_KP_Decimal, kVkDecimal},
    {XK_KP_Delete, VK_DELETE},
    {XK_KP_Divide, kVkDivide},
    {XK_KP_Home, VK_HOME},
    {XK_KP_End, VK_END},
    {XK_KP_Prior, VK_PRIOR},
    {XK_KP_Next, VK_NEXT},
    {XK_KP_Left, VK_LEFT},
    {XK_KP_Right, VK_RIGHT},
    {XK_KP_Up, VK_UP},
    {XK_KP_Down, VK_DOWN},
    {XK_KP_Insert, VK_INSERT},
    {XK_KP_Begin, kVkClear},
};

}  // namespace

UINT x11_vk_of_keysym(unsigned long keysym) {
    if (keysym >= XK_a && keysym <= XK_z) return (UINT)(keysym - XK_a + 'A');
    if (keysym >= XK_A && keysym <= XK_Z) return (UINT)keysym;
    if (keysym >= XK_0 && keysym <= XK_9) return (UINT)keysym;
    if (keysym >= XK_F1 && keysym <= XK_F24) return (UINT)(VK_F1 + (keysym - XK_F1));
    if (keysym >= XK_KP_0 && keysym <= XK_KP_9) return (UINT)(kVkNumpad0 + (keysym - XK_KP_0));
    for (const KeyEntry& entry : kKeys)
        if (entry.keysym == keysym) return entry.vk;
    return 0;
}

wchar_t x11_char_of_keysym(unsigned long keysym) {
    // NOTE: these keys type control characters on Windows too (WM_CHAR 8, 9, 13, 27).
    switch (keysym) {
        case XK_BackSpace:
            return 0x08;
        case XK_Tab:
        case XK_ISO_Left_Tab:
            return 0x09;
        case XK_Return:
        case XK_KP_Enter:
            return 0x0D;
        case XK_Escape:
            return 0x1B;
        case XK_KP_Space:
            return L' ';
        case XK_KP_Multiply:
            return L'*';
        case XK_KP_Add:
            return L'+';
        case XK_KP_Subtract:
            return L'-';
        case XK_KP_Decimal:
            return L'.';
        case XK_KP_Divide:
            return L'/';
        default:
            break;
    }
    if (keysym >= XK_KP_0 && keysym <= XK_KP_9) return (wchar_t)(L'0' + (keysym - XK_KP_0));
    if ((keysym >= 0x20 && keysym <= 0x7E) || (keysym >= 0xA0 && keysym <= 0xFF))
        return (wchar_t)keysym;
    // Keysyms 0x01000000 + code point name Unicode characters directly.
    if (keysym >= 0x01000100 && keysym <= 0x0110FFFF) return (wchar_t)(keysym - 0x01000000);
    return 0;
}

namespace {

// NOTE: evdev numbers the keys of the PC's first 96 scan codes alike; the extended keys (E0
// prefix on a PC) were given new numbers and map back here.
struct ExtendedKey {
    unsigned int evdev_code;
    unsigned int scan_code;
};
const ExtendedKey kExtendedKeys[] = {
    {96, 0x1C},   // keypad Enter
    {97, 0x1D},   // right Ctrl
    {98, 0x35},   // keypad /
    {100, 0x38},  // right Alt
    {102, 0x47},  // Home
    {103, 0x48},  // Up
    {104, 0x49},  // Page Up
    {105, 0x4B},  // Left
    {106, 0x4D},  // Right
    {107, 0x4F},  // End
    {108, 0x50},  // Down
    {109, 0x51},  // Page Down
    {110, 0x52},  // Insert
    {111, 0x53},  // Delete
};

}  // namespace

unsigned int x11_scan_code_of(unsigned int evdev_code) {
    if (evdev_code < 96) return evdev_code;
    for (const ExtendedKey& key : kExtendedKeys)
        if (key.evdev_code == evdev_code) return key.scan_code;
    return 0;
}

bool x11_vk_is_extended(UINT vk) {
    switch (vk) {
        case VK_PRIOR:
        case VK_NEXT:
        case VK_END:
        case VK_HOME:
        case VK_LEFT:
        case VK_UP:
        case VK_RIGHT:
        case VK_DOWN:
        case VK_INSERT:
        case VK_DELETE:
            return true;
        default:
            return false;
    }
}
