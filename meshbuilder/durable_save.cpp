#include "meshbuilder/durable_save.h"

#include <errno.h>

#include <string>

namespace {

// Tries made to find an unused temporary name beside the target.
const int kTempNameTries = 100;

SaveOutcome failed(SaveStep step, int error) {
    return SaveOutcome{false, step, error};
}

// Creates a new temporary file beside target and stores its name in temp.
FILE* create_temp(const FileSteps& steps, const char* target, std::string* temp) {
    for (int attempt = 0; attempt < kTempNameTries; ++attempt) {
        *temp = std::string(target) + ".tmp" + (attempt ? std::to_string(attempt) : "");
        errno = 0;
        FILE* file = steps.create(temp->c_str());
        if (file) return file;
        // NOTE: only a name that is taken (a leftover of an earlier run, or another program
        // saving at the same time) is worth another try.
        if (errno != EEXIST) break;
    }
    return nullptr;
}

}  // namespace

SaveOutcome save_durably(const char* target, WriteContent write_content, const void* context,
                         const FileSteps& steps) {
    std::string temp;
    FILE* file = create_temp(steps, target, &temp);
    if (!file) return failed(SaveStep::created, errno);
    errno = 0;
    bool written = write_content(context, file, steps.write);
    written = written && steps.flush(file) == 0;
    // NOTE: the data must be on the disk before the rename: a rename that reaches the disk
    // first leaves an empty file after a power cut, with the input perhaps already deleted.
    bool synced = written && steps.sync(file) == 0;
    int error = errno;
    // NOTE: the stream is closed even after a failed write; a close that fails loses data
    // still buffered, so it counts as a failed write.
    if (steps.close(file) != 0 && synced) {
        written = synced = false;
        error = errno;
    }
    if (!synced) {
        steps.remove(temp.c_str());
        return failed(written ? SaveStep::synced : SaveStep::written, error);
    }
    errno = 0;
    if (!steps.replace(temp.c_str(), target)) {
        error = errno;
        // NOTE: when only the flush of the folder failed, the temporary name is gone already
        // and this removal finds nothing.
        steps.remove(temp.c_str());
        return failed(SaveStep::renamed, error);
    }
    return SaveOutcome{true, SaveStep::none, 0};
}
