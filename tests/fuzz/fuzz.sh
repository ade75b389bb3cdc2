#!/usr/bin/env bash
# Builds and runs the libFuzzer targets of the pure units (clang++ with
# -fsanitize=fuzzer,address,undefined), for ctest and scripts/fuzz.
#   fuzz.sh build OUT                     build every target into OUT
#   fuzz.sh check OUT TARGET RUNS         RUNS executions from the starting inputs, the same each time
#   fuzz.sh run OUT TARGET SECONDS [ARGS] fuzz for SECONDS, keeping the corpus in OUT
set -euo pipefail
SRC=$(cd "$(dirname "$0")/../.." && pwd)
HERE=$SRC/tests/fuzz
TARGETS=(parser color_codes entry_text framing code_reader filter)
UNITS=(syslog/parser.cpp syslog/parser5424.cpp syslog/charset.cpp syslog/cp932_table.cpp syslog/entry_text.cpp
       syslog/filter.cpp net/framing.cpp colorview/color_codes.cpp colorview/code_reader.cpp
       colorview/text_search.cpp)
CXX=${FUZZ_CXX:-clang++}
FLAGS=(-std=c++17 -g -O1 -fno-sanitize-recover=all -I"$SRC")
# A crash report names the broken invariant; leaks are no finding of ours.
export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=0}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1}

build() {
  local out=$1 unit objects=() target
  mkdir -p "$out/obj"
  for unit in "${UNITS[@]}"; do
    objects+=("$out/obj/$(basename "$unit" .cpp).o")
    "$CXX" "${FLAGS[@]}" -fsanitize=fuzzer-no-link,address,undefined -c "$SRC/$unit" -o "${objects[-1]}"
  done
  for target in "${TARGETS[@]}"; do
    "$CXX" "${FLAGS[@]}" -fsanitize=fuzzer,address,undefined "$HERE/${target}_fuzz.cpp" "${objects[@]}" \
      -o "$out/${target}_fuzz"
  done
}

# The starting inputs of a target, one file per line of its input lists:
# escaped lines (\xHH) from tests/fuzz/inputs, real datagrams verbatim;
# the framing target starts from streams as real senders write them.
starting_inputs() {
  local out=$1 target=$2 dir=$1/inputs/$2 line n=0 list
  rm -rf "$dir"
  mkdir -p "$dir"
  case $target in
    color_codes) list=color_commands.txt ;;
    framing) list=streams.txt ;;
    code_reader) list=coded_text.txt ;;
    filter) list=filters.txt ;;
    *) list=datagrams.txt ;;
  esac
  while IFS= read -r line; do printf '%b' "$line" >"$dir/input-$((n += 1))"; done <"$HERE/inputs/$list"
  local peers=$SRC/tests/e2e/corpus/peer-parser-inputs.txt
  if [ "$list" = datagrams.txt ] && [ -f "$peers" ]; then
    while IFS= read -r line; do printf '%s' "$line" >"$dir/peer-$((n += 1))"; done <"$peers"
  fi
  echo "$dir"
}

dict_of() {
  case $1 in
    color_codes | framing | filter) echo "$HERE/$1.dict" ;;
    code_reader) echo "$HERE/color_codes.dict" ;;
    *) echo "$HERE/syslog.dict" ;;
  esac
}

# Runs a target on a working corpus and its starting inputs; extra arguments go to libFuzzer.
fuzz() {
  local out=$1 target=$2 corpus=$3; shift 3
  local inputs
  inputs=$(starting_inputs "$out" "$target")
  mkdir -p "$corpus" "$out/artifacts"
  "$out/${target}_fuzz" -dict="$(dict_of "$target")" -max_len=5000 -print_final_stats=1 \
    -artifact_prefix="$out/artifacts/$target-" "$@" "$corpus" "$inputs"
}

command=$1 out=$2
shift 2
case $command in
  build) build "$out" ;;
  check)
    rm -rf "$out/scratch/$1"
    fuzz "$out" "$1" "$out/scratch/$1" -runs="$2" ;;
  run)
    target=$1 seconds=$2
    shift 2
    fuzz "$out" "$target" "$out/corpus/$target" -max_total_time="$seconds" "$@" ;;
  *) echo "usage: fuzz.sh build|check|run OUT ..." >&2; exit 2 ;;
esac
