#!/usr/bin/env bash
# Builds the window-free units with the host compiler and warnings as errors,
# so that they stay buildable and testable off Windows (tests/fuzz runs them
# under libFuzzer and the sanitizers), then runs the entry queue's two
# threads under the thread sanitizer (a few seconds).
set -euo pipefail
cxx=$1 src=$2 out=$3
mkdir -p "$out"
# One unit a line.
units=(
  colorview/code_reader.cpp
  colorview/color_codes.cpp
  colorview/text_search.cpp
  syslog/charset.cpp
  syslog/cp932_table.cpp
  syslog/entry_text.cpp
  syslog/filter.cpp
  syslog/parser.cpp
  syslog/parser5424.cpp
  logfile/log_backlog.cpp
  logfile/log_pattern.cpp
  queue/entry_queue.cpp
  net/framing.cpp
  app/options.cpp
  app/status_counts.cpp
  app/settings.cpp
  app/alert_flood.cpp
  app/entry_store.cpp
)
for unit in "${units[@]}"; do
  "$cxx" -std=c++17 -Wall -Wextra -Werror -I"$src" -c "$src/$unit" -o "$out/$(basename "$unit" .cpp).o"
done

# A race the sanitizer reports ends the run with its own failing exit code.
"$cxx" -std=c++17 -Wall -Wextra -Werror -O1 -g -fsanitize=thread -I"$src" "$src/tests/queue/queue_tsan.cpp" \
  "$src/queue/entry_queue.cpp" -o "$out/queue_tsan"
TSAN_OPTIONS=halt_on_error=1 "$out/queue_tsan"
