// The process entry of a Win32 program on X11: main hands the command line to WinMain.
// NOTE: nothing else in the layer refers to a symbol of this file, so programs that bring
// their own main (tests with a test runner's main) link without it.
#include "platform/win32.h"

#include <string>

// Joins argv[1..] with single blanks, the text Windows gives WinMain after the program name.
int main(int argc, char** argv) {
    std::string command_line;
    for (int i = 1; i < argc; ++i) {
        if (i > 1) command_line += ' ';
        command_line += argv[i];
    }
    return WinMain(GetModuleHandleW(nullptr), nullptr, &command_line[0], SW_SHOWNORMAL);
}
