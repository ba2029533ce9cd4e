// C runtime calls whose names differ between the Windows and the POSIX runtime.
#pragma once

#include <stdint.h>
#include <stdio.h>

// Seeks a buffered stream with a 64-bit offset; returns 0 on success as fseek does.
inline int crt_seek64(FILE* file, int64_t offset, int origin) {
#ifdef _WIN32
    return _fseeki64(file, offset, origin);
#else
    return fseeko(file, (off_t)offset, origin);
#endif
}

// The 64-bit position of a buffered stream, or -1.
inline int64_t crt_tell64(FILE* file) {
#ifdef _WIN32
    return _ftelli64(file);
#else
    return (int64_t)ftello(file);
#endif
}

// The character that separates folders in the paths the programs build.
#ifdef _WIN32
const wchar_t crt_folder_separator = L'\\';
#else
const wchar_t crt_folder_separator = L'/';
#endif
