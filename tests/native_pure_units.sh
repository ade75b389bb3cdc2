#!/usr/bin/env bash
# Builds the window-free units with the host compiler: first as plain objects
# with warnings as errors, then the parser fuzz driver under ASan and UBSan.
set -euo pipefail
cxx=$1 src=$2 out=$3
mkdir -p "$out"
for unit in syslog/parser.cpp colorview/color_codes.cpp; do
  "$cxx" -std=c++17 -Wall -Wextra -Werror -I"$src" -c "$src/$unit" -o "$out/$(basename "$unit" .cpp).o"
done
"$cxx" -std=c++17 -g -O1 -fsanitize=address,undefined -fno-sanitize-recover=all -I"$src" \
  "$src/syslog/parser.cpp" "$src/colorview/color_codes.cpp" "$src/tests/parser_fuzz.cpp" \
  -o "$out/parser_fuzz"
"$out/parser_fuzz" "${FUZZ_ITERATIONS:-100000}"
