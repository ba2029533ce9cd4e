// The file-system calls of the mesh file's durable save, gathered so that tests can make any
// one of them fail.
#pragma once

#include <stddef.h>
#include <stdio.h>

// Each member behaves as the call it is named after; errno tells why one failed. Paths are
// in the ANSI code page.
struct FileSteps {
    // Creates a new file for binary writing; fails (null) if the file exists already.
    FILE* (*create)(const char* path);
    size_t (*write)(const void* data, size_t size, FILE* file);
    int (*flush)(FILE* file);
    // Puts the file's data on the disk (fsync; FlushFileBuffers on Windows); 0 on success.
    int (*sync)(FILE* file);
    int (*close)(FILE* file);
    // Renames from over to, replacing an existing file of that name, and returns only once
    // the rename itself is on the disk (the folder is flushed); true on success. When only
    // the flush of the folder fails, the rename has happened but false is returned.
    bool (*replace)(const char* from, const char* to);
    // Deletes a file; true on success.
    bool (*remove)(const char* path);
};

// The real calls: the C runtime for the stream, MoveFileExW (write-through) and DeleteFileW
// for the rest.
const FileSteps& system_file_steps();
