// How a fuzz target reports what it found: the finding on standard error, then an abort,
// which libFuzzer records with the input that caused it.
#pragma once

#include <cstdio>
#include <cstdlib>

[[noreturn]] inline void fail(const char *what)
{
    std::fprintf(stderr, "finding: %s\n", what);
    std::abort();
}
