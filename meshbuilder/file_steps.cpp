#include "meshbuilder/file_steps.h"

#include <errno.h>

#include "platform/crt.h"
#include "platform/win32.h"

namespace {

// Room for a temporary name beside a path of MAX_PATH characters.
const int kWidePathCapacity = MAX_PATH + 16;

FILE* create_new_file(const char* path) {
    // NOTE: "x" makes the open fail if the file exists, so a temporary name is never shared.
    return fopen(path, "wbx");
}

size_t write_bytes(const void* data, size_t size, FILE* file) {
    return fwrite(data, 1, size, file);
}

int flush_stream(FILE* file) {
    return fflush(file);
}

int sync_stream(FILE* file) {
    return crt_sync_file(file);
}

int close_stream(FILE* file) {
    return fclose(file);
}

bool to_wide(const char* path, WCHAR* wide) {
    return MultiByteToWideChar(CP_ACP, 0, path, -1, wide, kWidePathCapacity) > 0;
}

// The errno value that tells the reason of a failed Win32 file call.
int errno_of_error(DWORD error) {
    switch (error) {
        case ERROR_FILE_NOT_FOUND:
        case ERROR_PATH_NOT_FOUND:
            return ENOENT;
        case ERROR_ACCESS_DENIED:
            return EACCES;
        case ERROR_ALREADY_EXISTS:
            return EEXIST;
        case ERROR_DISK_FULL:
            return ENOSPC;
        case ERROR_NOT_ENOUGH_MEMORY:
            return ENOMEM;
        default:
            return EIO;
    }
}

bool replace_file(const char* from, const char* to) {
    WCHAR wide_from[kWidePathCapacity];
    WCHAR wide_to[kWidePathCapacity];
    if (!to_wide(from, wide_from) || !to_wide(to, wide_to)) return errno = ENAMETOOLONG, false;
    // NOTE: write-through: the rename is on the disk before the input may be deleted.
    if (MoveFileExW(wide_from, wide_to, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        return true;
    }
    errno = errno_of_error(GetLastError());
    return false;
}

bool remove_file(const char* path) {
    WCHAR wide[kWidePathCapacity];
    return to_wide(path, wide) && DeleteFileW(wide) != 0;
}

const FileSteps kSystemSteps = {create_new_file, write_bytes,  flush_stream, sync_stream,
                                close_stream,    replace_file, remove_file};

}  // namespace

const FileSteps& system_file_steps() {
    return kSystemSteps;
}
