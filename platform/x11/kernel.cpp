// Kernel calls: threads, time, last error, files, code pages, MulDiv, system resources.
// NOTE: no X call in this file: unit tests of other modules use it without a display.
#include "platform/x11/x11_shared.h"

#include <errno.h>
#include <fcntl.h>
#include <limits.h>
#include <pthread.h>
#include <sched.h>
#include <stdio.h>
#include <string.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <atomic>
#include <mutex>
#include <new>
#include <string>
#include <unordered_set>

namespace {

thread_local DWORD t_last_error = 0;
thread_local DWORD t_thread_id = 0;
std::atomic<DWORD> g_next_thread_id{0x1000};

// NOTE: Win32 thread ids are multiples of 4; keeping that makes logs look familiar.
DWORD next_thread_id() {
    return g_next_thread_id.fetch_add(4);
}

struct ThreadStart {
    LPTHREAD_START_ROUTINE start;
    LPVOID param;
    DWORD id;
};

// A handle returned by CreateThread; valid until CloseHandle.
struct ThreadHandle {
    DWORD id;
};

std::mutex& handle_lock() {
    static std::mutex* lock = new std::mutex;
    return *lock;
}
std::unordered_set<void*>& live_handles() {
    static auto* handles = new std::unordered_set<void*>;
    return *handles;
}

void* thread_trampoline(void* arg) {
    ThreadStart start = *static_cast<ThreadStart*>(arg);
    delete static_cast<ThreadStart*>(arg);
    t_thread_id = start.id;
    start.start(start.param);
    return nullptr;
}

DWORD error_of_errno(int err) {
    switch (err) {
        case 0:
            return ERROR_SUCCESS;
        case ENOENT:
            return ERROR_FILE_NOT_FOUND;
        case ENOTDIR:
        case ENAMETOOLONG:
        case ELOOP:
            return ERROR_PATH_NOT_FOUND;
        case EACCES:
        case EPERM:
        case EISDIR:
        case EROFS:
        case EBUSY:
            return ERROR_ACCESS_DENIED;
        case EEXIST:
            return ERROR_ALREADY_EXISTS;
        case ENOTEMPTY:
            return ERROR_DIR_NOT_EMPTY;
        case EXDEV:
            return ERROR_NOT_SAME_DEVICE;
        case ENOSPC:
        case EDQUOT:
            return ERROR_DISK_FULL;
        case ENOMEM:
            return ERROR_NOT_ENOUGH_MEMORY;
        case EIO:
            return ERROR_IO_DEVICE;
        default:
            return ERROR_ACCESS_DENIED;
    }
}

// Sets the last error from errno and returns FALSE, the usual ending of a failed file call.
BOOL fail_with_errno() {
    SetLastError(error_of_errno(errno));
    return FALSE;
}

// A path argument as UTF-8; false (and ERROR_INVALID_PARAMETER) for a null or empty path.
bool path_argument(LPCWSTR path, std::string* out) {
    if (!path || !*path) {
        SetLastError(!path ? ERROR_INVALID_PARAMETER : ERROR_PATH_NOT_FOUND);
        return false;
    }
    *out = x11_utf8_from_wide(path, wcslen(path));
    return true;
}

// The folder that holds path.
std::string parent_folder(const std::string& path) {
    size_t slash = path.find_last_of('/');
    if (slash == 0) return "/";
    if (slash == std::string::npos) return ".";
    return path.substr(0, slash);
}

// Writes a folder's entries to the disk, so a rename in it survives a power cut; false with
// errno when the folder cannot be opened or flushed.
bool sync_folder(const std::string& folder) {
    int fd = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return false;
    const bool synced = fsync(fd) == 0;
    const int error = errno;
    close(fd);
    errno = error;
    return synced;
}

bool is_code_page_utf8(UINT code_page) {
    return code_page == CP_ACP || code_page == CP_UTF8;
}

// Decodes one UTF-8 sequence at text[0..count). Returns the code point, or U+FFFD for an
// ill-formed sequence; *used is the number of bytes consumed (the maximal ill-formed
// subpart, as the Unicode standard recommends, so one bad byte costs one replacement).
char32_t decode_utf8(const unsigned char* text, size_t count, size_t* used, bool* invalid) {
    unsigned char lead = text[0];
    *used = 1;
    *invalid = false;
    if (lead < 0x80) return lead;
    int length;
    char32_t code;
    unsigned char low = 0x80, high = 0xBF;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
        code = lead & 0x1F;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        code = lead & 0x0F;
        if (lead == 0xE0)
            low = 0xA0;  // NOTE: rejects overlong forms
        else if (lead == 0xED)
            high = 0x9F;  // NOTE: rejects UTF-16 surrogates
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        code = lead & 0x07;
        if (lead == 0xF0)
            low = 0x90;
        else if (lead == 0xF4)
            high = 0x8F;  // NOTE: nothing above U+10FFFF
    } else {
        *invalid = true;
        return 0xFFFD;
    }
    for (int i = 1; i < length; ++i) {
        if ((size_t)i >= count || text[i] < low || text[i] > high) {
            *used = (size_t)i;
            *invalid = true;
            return 0xFFFD;
        }
        code = (code << 6) | (text[i] & 0x3F);
        low = 0x80;
        high = 0xBF;
    }
    *used = (size_t)length;
    return code;
}

// Appends the UTF-8 form of a code point (U+FFFD for values that are not scalar values).
void encode_utf8(char32_t code, std::string* out) {
    if (code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) code = 0xFFFD;
    if (code < 0x80) {
        out->push_back((char)code);
    } else if (code < 0x800) {
        out->push_back((char)(0xC0 | (code >> 6)));
        out->push_back((char)(0x80 | (code & 0x3F)));
    } else if (code < 0x10000) {
        out->push_back((char)(0xE0 | (code >> 12)));
        out->push_back((char)(0x80 | ((code >> 6) & 0x3F)));
        out->push_back((char)(0x80 | (code & 0x3F)));
    } else {
        out->push_back((char)(0xF0 | (code >> 18)));
        out->push_back((char)(0x80 | ((code >> 12) & 0x3F)));
        out->push_back((char)(0x80 | ((code >> 6) & 0x3F)));
        out->push_back((char)(0x80 | (code & 0x3F)));
    }
}

struct SystemResource {
    int id;
};
// NOTE: the handles only need to be distinct and non-null; nothing draws them.
SystemResource g_icons[] = {{32512}, {32513}, {32514}, {32515}, {32516}, {32517}, {32518}};
SystemResource g_cursors[] = {{32512}, {32513}, {32514}, {32515}, {32516}, {32640},
                              {32641}, {32642}, {32643}, {32644}, {32645}, {32646},
                              {32648}, {32649}, {32650}, {32651}};

// The system resource of that id, for a null instance and an integer name; else null.
void* find_system_resource(SystemResource* table, size_t count, HINSTANCE instance, LPCWSTR name) {
    uintptr_t id = (uintptr_t)name;
    if (instance || id > 0xFFFF) {
        SetLastError(ERROR_RESOURCE_TYPE_NOT_FOUND);
        return nullptr;
    }
    for (size_t i = 0; i < count; ++i)
        if ((uintptr_t)table[i].id == id) return &table[i];
    SetLastError(ERROR_RESOURCE_TYPE_NOT_FOUND);
    return nullptr;
}

char g_module_marker;

}  // namespace

// --- Text helpers shared with the rest of the layer --------------------------------------

std::string x11_utf8_from_wide(const wchar_t* text, size_t count) {
    std::string out;
    out.reserve(count);
    for (size_t i = 0; i < count; ++i) {
        char32_t code = (char32_t)text[i];
        // NOTE: a UTF-16 surrogate pair stored in two wchar_t becomes one code point.
        if (code >= 0xD800 && code <= 0xDBFF && i + 1 < count && (char32_t)text[i + 1] >= 0xDC00 &&
            (char32_t)text[i + 1] <= 0xDFFF) {
            code = 0x10000 + ((code - 0xD800) << 10) + ((char32_t)text[i + 1] - 0xDC00);
            ++i;
        }
        encode_utf8(code, &out);
    }
    return out;
}

std::wstring x11_wide_from_utf8(const char* text, size_t count) {
    std::wstring out;
    out.reserve(count);
    const unsigned char* bytes = reinterpret_cast<const unsigned char*>(text);
    size_t i = 0;
    while (i < count) {
        size_t used;
        bool invalid;
        out.push_back((wchar_t)decode_utf8(bytes + i, count - i, &used, &invalid));
        i += used;
    }
    return out;
}

// --- Threads and time --------------------------------------------------------------------

HANDLE WINAPI CreateThread(LPSECURITY_ATTRIBUTES, SIZE_T stack_size, LPTHREAD_START_ROUTINE start,
                           LPVOID param, DWORD, LPDWORD thread_id) {
    if (!start) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    ThreadStart* info = new (std::nothrow) ThreadStart{start, param, next_thread_id()};
    ThreadHandle* handle = new (std::nothrow) ThreadHandle{info ? info->id : 0};
    if (!info || !handle) {
        delete info;
        delete handle;
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    pthread_attr_t attr;
    pthread_attr_init(&attr);
    pthread_attr_setdetachstate(&attr, PTHREAD_CREATE_DETACHED);
    if (stack_size >= (SIZE_T)PTHREAD_STACK_MIN) pthread_attr_setstacksize(&attr, stack_size);
    pthread_t thread;
    int rc = pthread_create(&thread, &attr, thread_trampoline, info);
    pthread_attr_destroy(&attr);
    if (rc != 0) {
        delete info;
        delete handle;
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    if (thread_id) *thread_id = handle->id;
    std::lock_guard<std::mutex> guard(handle_lock());
    live_handles().insert(handle);
    return handle;
}

BOOL WINAPI CloseHandle(HANDLE handle) {
    std::lock_guard<std::mutex> guard(handle_lock());
    if (!live_handles().erase(handle)) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    delete static_cast<ThreadHandle*>(handle);
    return TRUE;
}

void WINAPI Sleep(DWORD milliseconds) {
    if (milliseconds == 0) {
        sched_yield();
        return;
    }
    struct timespec rest;
    rest.tv_sec = milliseconds / 1000;
    rest.tv_nsec = (long)(milliseconds % 1000) * 1000000L;
    while (nanosleep(&rest, &rest) == -1 && errno == EINTR) {
    }
}

DWORD WINAPI GetTickCount(void) {
    struct timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    // NOTE: wraps after 49.7 days, as on Windows.
    return (DWORD)((uint64_t)now.tv_sec * 1000u + (uint64_t)now.tv_nsec / 1000000u);
}

DWORD WINAPI GetCurrentThreadId(void) {
    if (!t_thread_id) t_thread_id = next_thread_id();
    return t_thread_id;
}

DWORD WINAPI GetLastError(void) {
    return t_last_error;
}

void WINAPI SetLastError(DWORD error) {
    t_last_error = error;
}

HMODULE WINAPI GetModuleHandleW(LPCWSTR name) {
    if (name) {
        SetLastError(ERROR_MOD_NOT_FOUND);
        return nullptr;
    }
    return reinterpret_cast<HMODULE>(&g_module_marker);
}

// --- Files -------------------------------------------------------------------------------

BOOL WINAPI DeleteFileW(LPCWSTR path) {
    std::string name;
    if (!path_argument(path, &name)) return FALSE;
    struct stat info;
    if (lstat(name.c_str(), &info) == 0 && S_ISDIR(info.st_mode)) {
        SetLastError(ERROR_ACCESS_DENIED);
        return FALSE;
    }
    if (unlink(name.c_str()) != 0) return fail_with_errno();
    return TRUE;
}

BOOL WINAPI MoveFileExW(LPCWSTR from, LPCWSTR to, DWORD flags) {
    std::string source, target;
    if (!path_argument(from, &source) || !path_argument(to, &target)) return FALSE;
    struct stat info;
    if (stat(source.c_str(), &info) != 0) return fail_with_errno();
    if (flags & MOVEFILE_REPLACE_EXISTING) {
        struct stat existing;
        // NOTE: rename(2) would replace an empty folder; Win32 never replaces a folder.
        if (stat(target.c_str(), &existing) == 0 && S_ISDIR(existing.st_mode)) {
            SetLastError(ERROR_ACCESS_DENIED);
            return FALSE;
        }
        if (rename(source.c_str(), target.c_str()) != 0) return fail_with_errno();
    } else {
        // NOTE: a hard link fails atomically when the target exists; rename would replace it.
        if (S_ISDIR(info.st_mode)) {
            if (access(target.c_str(), F_OK) == 0) {
                SetLastError(ERROR_ALREADY_EXISTS);
                return FALSE;
            }
            if (rename(source.c_str(), target.c_str()) != 0) return fail_with_errno();
        } else {
            if (link(source.c_str(), target.c_str()) != 0) {
                if (errno != EPERM && errno != ENOTSUP && errno != EMLINK) return fail_with_errno();
                if (access(target.c_str(), F_OK) == 0) {
                    SetLastError(ERROR_ALREADY_EXISTS);
                    return FALSE;
                }
                if (rename(source.c_str(), target.c_str()) != 0) return fail_with_errno();
            } else if (unlink(source.c_str()) != 0) {
                int err = errno;
                unlink(target.c_str());
                errno = err;
                return fail_with_errno();
            }
        }
    }
    // NOTE: as on Windows, a write-through move returns only once the move is on the disk,
    // and fails when it cannot be put there (the file has been moved all the same).
    if (flags & MOVEFILE_WRITE_THROUGH) {
        const std::string target_folder = parent_folder(target);
        const std::string source_folder = parent_folder(source);
        if (!sync_folder(target_folder)) return fail_with_errno();
        if (source_folder != target_folder && !sync_folder(source_folder)) return fail_with_errno();
    }
    return TRUE;
}

BOOL WINAPI CreateDirectoryW(LPCWSTR path, LPSECURITY_ATTRIBUTES) {
    std::string name;
    if (!path_argument(path, &name)) return FALSE;
    if (mkdir(name.c_str(), 0777) != 0) {
        if (errno == ENOENT) {
            SetLastError(ERROR_PATH_NOT_FOUND);
            return FALSE;
        }
        return fail_with_errno();
    }
    return TRUE;
}

DWORD WINAPI GetFileAttributesW(LPCWSTR path) {
    std::string name;
    if (!path_argument(path, &name)) return INVALID_FILE_ATTRIBUTES;
    struct stat info;
    if (stat(name.c_str(), &info) != 0) {
        SetLastError(error_of_errno(errno));
        return INVALID_FILE_ATTRIBUTES;
    }
    DWORD attributes = 0;
    if (S_ISDIR(info.st_mode)) attributes |= FILE_ATTRIBUTE_DIRECTORY;
    if (!(info.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH))) attributes |= FILE_ATTRIBUTE_READONLY;
    return attributes ? attributes : FILE_ATTRIBUTE_NORMAL;
}

// --- Code pages: the ANSI code page is UTF-8 here ----------------------------------------

int WINAPI MultiByteToWideChar(UINT code_page, DWORD flags, LPCSTR text, int bytes, LPWSTR wide,
                               int wide_count) {
    if (!is_code_page_utf8(code_page) || !text || bytes == 0 || bytes < -1 || wide_count < 0 ||
        (wide_count > 0 && !wide)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    // NOTE: -1 means NUL-terminated, and the terminator is converted and counted too.
    size_t count = bytes == -1 ? strlen(text) + 1 : (size_t)bytes;
    const unsigned char* in = reinterpret_cast<const unsigned char*>(text);
    size_t produced = 0;
    size_t i = 0;
    while (i < count) {
        size_t used;
        bool invalid;
        char32_t code = decode_utf8(in + i, count - i, &used, &invalid);
        if (invalid && (flags & MB_ERR_INVALID_CHARS)) {
            SetLastError(ERROR_NO_UNICODE_TRANSLATION);
            return 0;
        }
        if (wide_count > 0) {
            if (produced >= (size_t)wide_count) {
                SetLastError(ERROR_INSUFFICIENT_BUFFER);
                return 0;
            }
            wide[produced] = (wchar_t)code;
        }
        ++produced;
        i += used;
    }
    return (int)produced;
}

int WINAPI WideCharToMultiByte(UINT code_page, DWORD, LPCWSTR wide, int wide_count, LPSTR text,
                               int bytes, LPCSTR default_char, LPBOOL used_default) {
    if (!is_code_page_utf8(code_page) || !wide || wide_count == 0 || wide_count < -1 || bytes < 0 ||
        (bytes > 0 && !text)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    // NOTE: Win32 refuses a default character for UTF-8, which can encode everything.
    if (code_page == CP_UTF8 && (default_char || used_default)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    if (used_default) *used_default = FALSE;
    size_t count = wide_count == -1 ? wcslen(wide) + 1 : (size_t)wide_count;
    std::string out = x11_utf8_from_wide(wide, count);
    if (bytes == 0) return (int)out.size();
    if (out.size() > (size_t)bytes) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return 0;
    }
    memcpy(text, out.data(), out.size());
    return (int)out.size();
}

int WINAPI MulDiv(int number, int numerator, int denominator) {
    if (denominator == 0) return -1;
    int64_t product = (int64_t)number * numerator;
    int64_t magnitude = product < 0 ? -product : product;
    int64_t divisor = denominator < 0 ? -(int64_t)denominator : denominator;
    // NOTE: rounds half away from zero, as Windows does.
    int64_t quotient = (magnitude + divisor / 2) / divisor;
    if ((product < 0) != (denominator < 0)) quotient = -quotient;
    if (quotient > INT_MAX || quotient < INT_MIN) return -1;
    return (int)quotient;
}

// --- System resources --------------------------------------------------------------------

HICON WINAPI LoadIconW(HINSTANCE instance, LPCWSTR name) {
    return static_cast<HICON>(
        find_system_resource(g_icons, sizeof g_icons / sizeof g_icons[0], instance, name));
}

HCURSOR WINAPI LoadCursorW(HINSTANCE instance, LPCWSTR name) {
    return static_cast<HCURSOR>(
        find_system_resource(g_cursors, sizeof g_cursors / sizeof g_cursors[0], instance, name));
}
