// Shared by the harnesses: the fuzz input as a real file, and checks that stay on in
// optimised builds.
#pragma once

#include <stddef.h>
#include <stdint.h>

// Stops the run with a report when an invariant does not hold. Unlike assert it is never
// compiled out, so a Release-configured harness still checks everything.
#define FUZZ_CHECK(condition)                                                \
    do {                                                                     \
        if (!(condition)) fuzz_check_failed(#condition, __FILE__, __LINE__); \
    } while (0)

[[noreturn]] void fuzz_check_failed(const char* condition, const char* file, int line);

// The path of this process's input file: in $TMPDIR when set, else in /dev/shm (memory),
// else in the C library's temporary folder. Created on the first call and removed when the
// process exits normally.
const char* fuzz_input_path();

// Replaces the content of the input file with data[0..size).
void fuzz_write_input(const uint8_t* data, size_t size);
