#pragma once
// How a fuzz target tells that an invariant broke: it aborts, and libFuzzer
// keeps the input that broke it.

#include <cstdlib>

inline void Check(bool condition)
{
    if (!condition) std::abort();
}
