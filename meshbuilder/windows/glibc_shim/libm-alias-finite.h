/* The library's symbol aliases: outside it the functions keep their internal names. */
#pragma once
#define libm_alias_finite(from, to)
