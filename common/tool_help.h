// The two questions every command-line tool answers alike: --help (or -h) and --version.
#pragma once

#include <stdio.h>
#include <string.h>

#include "haldenmoor_version.h"

// When the whole command line is "--help", "-h" or "--version", prints the usage or
// "TOOL (Haldenmoor) VERSION" on standard output and returns true: the tool then exits 0.
inline bool answer_help_or_version(int argc, char** argv, const char* tool, const char* usage) {
    if (argc != 2) return false;
    if (!strcmp(argv[1], "--help") || !strcmp(argv[1], "-h")) {
        fputs(usage, stdout);
        return true;
    }
    if (!strcmp(argv[1], "--version")) {
        printf("%s (Haldenmoor) %s\n", tool, HALDENMOOR_VERSION);
        return true;
    }
    return false;
}
