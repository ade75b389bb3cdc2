// The characters of code page 932 by their Unicode code point, generated
// from the code page's data (scripts/make_cp932_table.py makes
// cp932_table.cpp). Read through Cp932FromUnicode in charset.h.
#pragma once

#include <cstddef>
#include <cstdint>

// Rows of { code point, bytes }, sorted by code point: one byte below 0x100,
// else lead byte * 256 + trail byte.
extern const uint16_t kCp932Table[][2];
extern const size_t kCp932TableSize;
