// Counts in the messages of both programs: the noun in the singular for exactly one
// ("the 1 frame", "1 byte"), in the plural for every other count, zero included.
#pragma once

#include <stdint.h>

inline const wchar_t* noun_for_count(int64_t count, const wchar_t* singular,
                                     const wchar_t* plural) {
    return count == 1 ? singular : plural;
}
