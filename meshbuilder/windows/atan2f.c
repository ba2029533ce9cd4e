/* The single-precision atan2 of the Windows build: the C library's own algorithm
 * (__ieee754_atan2f and __atanf, compiled from Debian's glibc sources of the installed
 * version), so that Meshweaver makes the same mesh as on Linux. The triangulation sorts and
 * compares the angles this function gives, and MinGW's atan2f, which rounds the double
 * result, differs from the C library's in about one call of six, which changes the
 * triangles of planar and other regular point sets. Linked ahead of MinGW's runtime, this
 * definition replaces its atan2f in the whole program. */
#include <errno.h>
#include <math.h>

float __ieee754_atan2f(float y, float x);

/* As the C library's wrapper: the same value, ERANGE when a finite ratio underflows to 0. */
float atan2f(float y, float x) {
    float z = __ieee754_atan2f(y, x);
    if (z == 0 && y != 0 && isfinite(x)) errno = ERANGE;
    return z;
}
