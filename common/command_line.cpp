#include "common/command_line.h"

#include <string.h>

PathResult path_from_command_line(const char* command_line, const char* default_name,
                                  char* path, size_t capacity) {
    path[0] = '\0';
    if (command_line && command_line[0] != '\0') {
        const char* text = command_line[0] == '"' ? command_line + 1 : command_line;
        size_t length = strlen(text);
        // NOTE: the trailing quote is removed independently of the leading one.
        if (length > 0 && text[length - 1] == '"') --length;
        if (length + 1 > capacity) return PathResult::too_long;
        memcpy(path, text, length);
        path[length] = '\0';
    }
    if (path[0] == '\0') {
        const size_t length = strlen(default_name);
        if (length + 1 > capacity) return PathResult::too_long;
        memcpy(path, default_name, length + 1);
    }
    return PathResult::ok;
}
