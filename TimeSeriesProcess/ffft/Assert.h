#pragma once

#include <cstdio>
#include <cstdlib>

// Preconditions of the transform are programming errors: stop at once and name the
// broken expression, in every build type (a wrong length would write out of bounds).
#define ffft_assert(expr)                                                                    \
    do {                                                                                     \
        if (!(expr)) {                                                                       \
            std::fprintf(stderr, "%s:%d: ffft assertion failed: %s\n", __FILE__, __LINE__, #expr); \
            std::fflush(stderr);                                                             \
            std::abort();                                                                    \
        }                                                                                    \
    } while (false)
