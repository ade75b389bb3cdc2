// What the fuzz targets share: an invariant that does not hold stops the run
// (libFuzzer then keeps the input), and a hash of the input for the values
// a target derives from it rather than reading them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

// Each target names itself, for the message of a broken invariant.
extern const char kTargetName[];

inline void Check(bool holds, const char* what) {
    if (holds) return;
    fprintf(stderr, "%s invariant broken: %s\n", kTargetName, what);
    abort();
}

inline uint64_t Hash(const uint8_t* data, size_t size) {
    uint64_t h = 0xCBF29CE484222325ull;  // FNV-1a
    for (size_t i = 0; i < size; ++i) h = (h ^ data[i]) * 0x100000001B3ull;
    return h;
}
