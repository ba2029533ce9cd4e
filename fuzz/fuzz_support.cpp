// The fuzz input as a real file: the readers take a path or a stream of a real file, and a
// real file is what seeks past the end and short reads behave like in the programs.
#include "fuzz_support.h"

#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>

namespace {

std::string input_path;
int input_fd = -1;

// The folder for the input file.
std::string temp_folder() {
    const char* base = getenv("TMPDIR");
    if (base && *base) return base;
    struct stat info;
    if (stat("/dev/shm", &info) == 0 && S_ISDIR(info.st_mode) && access("/dev/shm", W_OK) == 0) {
        return "/dev/shm";
    }
    return P_tmpdir;
}

void remove_input() {
    if (input_fd >= 0) close(input_fd);
    if (!input_path.empty()) unlink(input_path.c_str());
}

// Creates the input file once per process.
void open_input() {
    if (input_fd >= 0) return;
    std::string pattern = temp_folder() + "/haldenmoor-fuzz-XXXXXX";
    input_fd = mkstemp(&pattern[0]);
    if (input_fd < 0) {
        fprintf(stderr, "fuzz: cannot create a file from %s\n", pattern.c_str());
        abort();
    }
    input_path = pattern;
    atexit(remove_input);
}

}  // namespace

void fuzz_check_failed(const char* condition, const char* file, int line) {
    fprintf(stderr, "fuzz: invariant broken at %s:%d: %s\n", file, line, condition);
    abort();
}

const char* fuzz_input_path() {
    open_input();
    return input_path.c_str();
}

void fuzz_write_input(const uint8_t* data, size_t size) {
    open_input();
    // NOTE: truncate first, so that a shorter input never keeps the tail of a longer one.
    if (ftruncate(input_fd, 0) != 0) abort();
    size_t done = 0;
    while (done < size) {
        const ssize_t n = pwrite(input_fd, data + done, size - done, (off_t)done);
        if (n <= 0) abort();
        done += (size_t)n;
    }
}
