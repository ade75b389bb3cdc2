#!/usr/bin/env bash
# Builds the window-free units with the host compiler and warnings as errors,
# so that they stay buildable and testable off Windows (tests/fuzz runs them
# under libFuzzer and the sanitizers).
set -euo pipefail
cxx=$1 src=$2 out=$3
mkdir -p "$out"
for unit in syslog/parser.cpp syslog/entry_text.cpp colorview/color_codes.cpp colorview/code_reader.cpp colorview/text_search.cpp; do
  "$cxx" -std=c++17 -Wall -Wextra -Werror -I"$src" -c "$src/$unit" -o "$out/$(basename "$unit" .cpp).o"
done
