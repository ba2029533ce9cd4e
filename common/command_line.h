// The command-line rule both programs share: the whole text is one path.
#pragma once

#include <stddef.h>

enum class PathResult { ok, too_long };

// Copies the command line into path (capacity bytes with the terminator): a leading and a
// trailing double quote are each removed; an empty result becomes default_name. A path
// that does not fit is refused (never truncated) and path is left empty.
PathResult path_from_command_line(const char* command_line, const char* default_name,
                                  char* path, size_t capacity);
