// The process entry of a Win32 program on X11: main hands the command line to WinMain.
// NOTE: nothing else in the layer refers to a symbol of this file, so programs that bring
// their own main (tests with a test runner's main) link without it.
#include "platform/win32.h"

#include <stdio.h>
#include <unistd.h>

#include <string>

#if defined(__has_feature)
#if __has_feature(address_sanitizer)
#define X11_LEAK_CHECK_AT_EXIT 1
#endif
#endif
#if defined(__SANITIZE_ADDRESS__)
#define X11_LEAK_CHECK_AT_EXIT 1
#endif
#ifdef X11_LEAK_CHECK_AT_EXIT
extern "C" void __lsan_do_leak_check(void);
#endif

// Joins argv[1..] with single blanks, the text Windows gives WinMain after the program name.
int main(int argc, char** argv) {
    std::string command_line;
    for (int i = 1; i < argc; ++i) {
        if (i > 1) command_line += ' ';
        command_line += argv[i];
    }
    const int code = WinMain(GetModuleHandleW(nullptr), nullptr, &command_line[0], SW_SHOWNORMAL);
    // NOTE: a Win32 process ends its other threads when WinMain returns. Here the threads the
    // program does not wait for (the view thread) may still be closing their X connection,
    // which unloads the GL driver while exit handlers run in it; so end the process at once,
    // after flushing what the C streams hold, instead of running the exit handlers.
    fflush(nullptr);
#ifdef X11_LEAK_CHECK_AT_EXIT
    __lsan_do_leak_check();
#endif
    _exit(code);
}
