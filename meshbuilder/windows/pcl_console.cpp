// The console output of the Point Cloud Library for builds that compile its templates into
// our own sources (PCL_NO_PRECOMPILE) and so do not link its common library, where this
// function lives otherwise. The library reports through it what it cannot do (an empty
// cloud, a missing search method); errors and warnings go to stderr, information to stdout,
// and debug and verbose messages are dropped, as the library's default verbosity does.
#include <stdarg.h>
#include <stdio.h>

#include <pcl/console/print.h>

namespace pcl {
namespace console {

void print(VERBOSITY_LEVEL level, const char* format, ...) {
    if (level > L_INFO) return;
    FILE* stream = (level == L_ERROR || level == L_WARN) ? stderr : stdout;
    va_list arguments;
    va_start(arguments, format);
    vfprintf(stream, format, arguments);
    va_end(arguments);
}

}  // namespace console
}  // namespace pcl
