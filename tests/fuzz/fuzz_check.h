#pragma once

#include <cstdio>
#include <cstdlib>

// A broken expectation is a finding: name it and abort, so that libFuzzer keeps the input.
#define VELLUMAR_FUZZ_CHECK(condition)                                                                                 \
    do {                                                                                                               \
        if (!(condition)) {                                                                                            \
            std::fprintf(stderr, "check failed: %s (%s:%d)\n", #condition, __FILE__, __LINE__);                        \
            std::abort();                                                                                              \
        }                                                                                                              \
    } while (false)
