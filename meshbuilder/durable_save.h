// The durable save shared by every file the mesh builder writes: a complete new file or the
// old one, never a partial file, and on the disk before anything depends on it.
#pragma once

#include <stddef.h>
#include <stdio.h>

#include "meshbuilder/file_steps.h"

// Where a durable save stopped. error is the errno value of the failed step (0 when unknown).
//   created      no temporary file could be created beside the target;
//   written      writing, flushing or closing the temporary file failed;
//   synced       its data could not be put on the disk;
//   renamed      it could not be renamed over the target, or the rename not made durable
//                (then the target has its new content already).
enum class SaveStep { none, created, written, synced, renamed };

struct SaveOutcome {
    bool ok;
    SaveStep failed_step;  // none when ok
    int error;
};

// Writes the whole content of one file to file through write; false after a failed write
// (errno tells why when known).
typedef bool (*WriteContent)(const void* context, FILE* file,
                             size_t (*write)(const void* data, size_t size, FILE* file));

// Saves the content write_content gives as target: a new temporary file beside it (target
// followed by ".tmp", or ".tmp1" ... ".tmp99" when that name is taken) is written, flushed,
// put on the disk and closed, then renamed over target with the rename put on the disk too.
// On any failure the temporary file is removed and target is untouched (except after a
// failed flush of the folder: the rename has happened then).
SaveOutcome save_durably(const char* target, WriteContent write_content, const void* context,
                         const FileSteps& steps);
