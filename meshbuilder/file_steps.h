// The file-system calls of the mesh file's safe save, gathered so that tests can make any
// one of them fail.
#pragma once

#include <stddef.h>
#include <stdio.h>

// Each member behaves as the C runtime call it is named after; errno tells why a stream call
// failed. Paths are in the ANSI code page.
struct FileSteps {
    // Creates a new file for binary writing; fails (null) if the file exists already.
    FILE* (*create)(const char* path);
    size_t (*write)(const void* data, size_t size, FILE* file);
    int (*flush)(FILE* file);
    int (*close)(FILE* file);
    // Renames from over to, replacing an existing file of that name; true on success.
    bool (*replace)(const char* from, const char* to);
    // Deletes a file; true on success.
    bool (*remove)(const char* path);
};

// The real calls: the C runtime for the stream, MoveFileExW and DeleteFileW for the rest.
const FileSteps& system_file_steps();
