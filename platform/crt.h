// C runtime calls whose names differ between the Windows and the POSIX runtime.
#pragma once

#include <errno.h>
#include <stdint.h>
#include <stdio.h>

#ifdef _WIN32
#include <io.h>

#include "platform/win32.h"
#else
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

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

// Reads up to size bytes of the stream's file from offset on, past the stream's own buffer
// and leaving its position alone: one system call per read, where a buffered read of a
// large block that does not start on the buffer's boundaries takes two. Returns the bytes
// read, fewer only at the end of the file or on an error. A stream without a file of its
// own is sought and read.
inline size_t crt_read_at(FILE* file, void* buffer, size_t size, int64_t offset) {
    unsigned char* bytes = (unsigned char*)buffer;
    size_t done = 0;
#ifdef _WIN32
    const int descriptor = _fileno(file);
    const HANDLE handle =
        descriptor >= 0 ? (HANDLE)_get_osfhandle(descriptor) : INVALID_HANDLE_VALUE;
    if (handle != INVALID_HANDLE_VALUE) {
        while (done < size) {
            const size_t left = size - done;
            const DWORD piece = left < ((size_t)1 << 30) ? (DWORD)left : (DWORD)1 << 30;
            const uint64_t position = (uint64_t)offset + done;
            OVERLAPPED at = {};
            at.Offset = (DWORD)position;
            at.OffsetHigh = (DWORD)(position >> 32);
            DWORD got = 0;
            if (!ReadFile(handle, bytes + done, piece, &got, &at) || got == 0) break;
            done += got;
        }
        return done;
    }
#else
    const int descriptor = fileno(file);
    if (descriptor >= 0) {
        while (done < size) {
            const ssize_t got =
                pread(descriptor, bytes + done, size - done, (off_t)(offset + done));
            if (got < 0 && errno == EINTR) continue;
            if (got <= 0) break;
            done += (size_t)got;
        }
        return done;
    }
#endif
    if (offset < 0 || crt_seek64(file, offset, SEEK_SET) != 0) return 0;
    done = fread(bytes, 1, size, file);
    clearerr(file);
    return done;
}

// The character that separates folders in the paths the programs build.
#ifdef _WIN32
const wchar_t crt_folder_separator = L'\\';
#else
const wchar_t crt_folder_separator = L'/';
#endif

// What tells one file from another, and a changed file from the one that was read: the
// device (volume), the file's number on it (inode, file index), its size and its last
// modification time.
struct FileIdentity {
    uint64_t device;
    uint64_t file;
    uint64_t size;
    int64_t modified_seconds;
    int64_t modified_nanoseconds;
};

inline bool crt_same_file(const FileIdentity& a, const FileIdentity& b) {
    return a.device == b.device && a.file == b.file && a.size == b.size &&
           a.modified_seconds == b.modified_seconds &&
           a.modified_nanoseconds == b.modified_nanoseconds;
}

// The identity of an open stream's file; false when the system cannot tell it.
inline bool crt_file_identity(FILE* file, FileIdentity* identity) {
#ifdef _WIN32
    BY_HANDLE_FILE_INFORMATION info;
    const HANDLE handle = (HANDLE)_get_osfhandle(_fileno(file));
    if (handle == INVALID_HANDLE_VALUE || !GetFileInformationByHandle(handle, &info)) return false;
    identity->device = info.dwVolumeSerialNumber;
    identity->file = (uint64_t)info.nFileIndexHigh << 32 | info.nFileIndexLow;
    identity->size = (uint64_t)info.nFileSizeHigh << 32 | info.nFileSizeLow;
    const uint64_t ticks =
        (uint64_t)info.ftLastWriteTime.dwHighDateTime << 32 | info.ftLastWriteTime.dwLowDateTime;
    identity->modified_seconds = (int64_t)(ticks / 10000000u);
    identity->modified_nanoseconds = (int64_t)(ticks % 10000000u) * 100;
    return true;
#else
    struct stat info;
    if (fstat(fileno(file), &info) != 0) return false;
    identity->device = (uint64_t)info.st_dev;
    identity->file = (uint64_t)info.st_ino;
    identity->size = (uint64_t)info.st_size;
    identity->modified_seconds = (int64_t)info.st_mtim.tv_sec;
    identity->modified_nanoseconds = (int64_t)info.st_mtim.tv_nsec;
    return true;
#endif
}

// The identity of the file a path (ANSI code page) names now; false when it names none
// that can be opened for reading.
inline bool crt_path_identity(const char* path, FileIdentity* identity) {
    FILE* file = fopen(path, "rb");
    if (!file) return false;
    const bool known = crt_file_identity(file, identity);
    fclose(file);
    return known;
}

// Writes a stream's buffered bytes and then the file's data to the disk (fsync; on Windows
// FlushFileBuffers). Returns 0, or EOF with errno telling why.
inline int crt_sync_file(FILE* file) {
    if (fflush(file) != 0) return EOF;
#ifdef _WIN32
    const HANDLE handle = (HANDLE)_get_osfhandle(_fileno(file));
    if (handle == INVALID_HANDLE_VALUE || !FlushFileBuffers(handle)) {
        errno = EIO;
        return EOF;
    }
    return 0;
#else
    return fsync(fileno(file)) == 0 ? 0 : EOF;
#endif
}

// A batch of files written into one folder reaches the disk with one call at its end: a sync
// of the folder's whole file system (syncfs). Windows has no such call for a plain user, so
// there each file is flushed before it is closed (crt_sync_batch_file) and the end only
// flushes the folder itself. Both return 0, or EOF with errno telling why.
inline int crt_sync_batch_file(FILE* file) {
#ifdef _WIN32
    return crt_sync_file(file);
#else
    (void)file;
    return 0;
#endif
}

inline int crt_sync_batch_end(const char* folder) {
#ifdef _WIN32
    const HANDLE handle = CreateFileA(folder, GENERIC_READ | GENERIC_WRITE,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                      nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (handle == INVALID_HANDLE_VALUE) return errno = EIO, EOF;
    const BOOL flushed = FlushFileBuffers(handle);
    CloseHandle(handle);
    return flushed ? 0 : (errno = EIO, EOF);
#else
    const int descriptor = open(folder, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (descriptor < 0) return EOF;
    const int synced = syncfs(descriptor);
    const int error = errno;
    close(descriptor);
    errno = error;
    return synced == 0 ? 0 : EOF;
#endif
}
