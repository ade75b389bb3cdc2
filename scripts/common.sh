# Shared by scripts/test and scripts/run: installs what is missing, builds,
# and prepares Wine (Japanese locale, persistent server) on an Xvfb display.
# Sourced, not run.

ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
# ORNIVEL_BUILD lets several checkouts of work share one tree without sharing a build.
BUILD="${ORNIVEL_BUILD:-$ROOT/build}"
# rsyslog is a test peer, a relay started with a config of its own (the
# package's default config listens on no network port); libivykis0 is the
# one library of loggen (see ensure_loggen) that nothing else brings;
# fonts-wine has the Marlett font of the caption buttons (see wine_fonts);
# procps gives pgrep, which sees the desktop process start (hold_desktop).
PACKAGES=(cmake g++ g++-mingw-w64-x86-64-posix mingw-w64-tools wine wine64 fonts-wine xvfb xauth
          locales fonts-ipafont-gothic googletest bsdutils xdotool imagemagick python3 clang xclip
          libclang-rt-dev rsyslog libivykis0 procps)

say() { printf '%s\n' "$*" >&2; }

as_root() {
  if [ "$(id -u)" -eq 0 ]; then "$@"; else sudo "$@"; fi
}

ensure_packages() {
  local missing=() p
  for p in "${PACKAGES[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'ok installed' || missing+=("$p")
  done
  if [ ${#missing[@]} -gt 0 ]; then
    say "installing: ${missing[*]} (a few minutes on a fresh machine)"
    as_root apt-get update -q
    as_root env DEBIAN_FRONTEND=noninteractive apt-get install -y -q "${missing[@]}"
  fi
  if ! locale -a 2>/dev/null | grep -qi '^ja_JP\.utf-\?8$'; then
    say "generating the ja_JP.UTF-8 locale"
    as_root sed -i 's/^# *ja_JP.UTF-8/ja_JP.UTF-8/' /etc/locale.gen
    as_root locale-gen >/dev/null
  fi
}

# syslog-ng's load generator, a TCP test peer. Its package conflicts with
# rsyslog's, so it is unpacked into the build tree once instead of being
# installed, and run through a wrapper, $LOGGEN, that points it at its own
# libraries and plugins.
LOGGEN="$BUILD/loggen/loggen"
ensure_loggen() {
  [ -x "$LOGGEN" ] && return 0
  local dir=$BUILD/loggen scratch
  rm -rf "$dir"
  mkdir -p "$dir"
  scratch=$(mktemp -d)
  say "fetching loggen (package syslog-ng-core) into the build tree"
  if ! (cd "$scratch" && apt-get download syslog-ng-core >/dev/null 2>&1); then
    as_root apt-get update -q
    (cd "$scratch" && apt-get download syslog-ng-core)
  fi
  dpkg -x "$scratch"/syslog-ng-core_*.deb "$dir/unpacked"
  rm -rf "$scratch"
  cat >"$LOGGEN" <<'WRAPPER'
#!/bin/sh
usr=$(cd "$(dirname "$0")/unpacked/usr" && pwd)
LD_LIBRARY_PATH="$usr/lib/syslog-ng${LD_LIBRARY_PATH:+:$LD_LIBRARY_PATH}" SYSLOGNG_PREFIX="$usr" \
  exec "$usr/bin/loggen" "$@"
WRAPPER
  chmod +x "$LOGGEN"
  if ! "$LOGGEN" --help-all 2>/dev/null | grep -q -- --stream; then
    say "loggen does not run; missing: $(ldd "$dir/unpacked/usr/bin/loggen" | grep 'not found' || true)"
    rm -f "$LOGGEN"
    return 1
  fi
}

build_all() {
  cmake --preset default -B "$BUILD" >/dev/null
  cmake --build "$BUILD" -j"$(nproc)"
}

# Wine's state stays inside the build tree; code page 932 makes the
# double-byte paths real.
wine_env() {
  export WINEPREFIX="$BUILD/wineprefix"
  export WINEDEBUG=-all
  export WINEDLLOVERRIDES="mscoree,mshtml="
  export LANG=ja_JP.UTF-8
  export LC_ALL=ja_JP.UTF-8
}

XVFB_PID=""
# Starts Xvfb on the first free display and exports DISPLAY.
start_xvfb() {
  local n=90
  while [ -e "/tmp/.X$n-lock" ] || [ -e "/tmp/.X11-unix/X$n" ]; do n=$((n + 1)); done
  Xvfb ":$n" -screen 0 1280x800x24 -nolisten tcp >/dev/null 2>&1 &
  XVFB_PID=$!
  local i
  for i in $(seq 100); do
    [ -e "/tmp/.X11-unix/X$n" ] && break
    sleep 0.1
  done
  export DISPLAY=":$n"
}

# Windows draws the caption buttons (minimize, maximize, close) as letters
# of the Marlett font; without it they show as "0 2 r". This Wine looks for
# fonts in the prefix's Fonts folder and through fontconfig, not in its own
# data folder where fonts-wine puts them, so Marlett is copied into the
# prefix. Only Marlett: the other faces, and the metrics the tests measure,
# stay as they are.
wine_fonts() {
  local fonts="$WINEPREFIX/drive_c/windows/Fonts" marlett=/usr/share/wine/fonts/marlett.ttf
  [ -f "$marlett" ] && [ -d "$fonts" ] && [ ! -f "$fonts/marlett.ttf" ] && cp "$marlett" "$fonts/"
  return 0
}

# A persistent wineserver lets every test process start in well under a second.
start_wine() {
  mkdir -p "$WINEPREFIX"
  ${WINE_PIN:-} wineserver -p >/dev/null 2>&1 </dev/null
  wine cmd /c exit >/dev/null 2>&1 || true   # creates the prefix on first use
  wine_fonts
}

# Keeps Wine's default desktop open while the tests run (see the probe's
# "desktop" mode): otherwise the desktop's owner process is started by
# whichever test opens a window first, inherits that test's output pipe,
# and CTest waits for that pipe until the last windowed test has ended.
hold_desktop() {
  local probe="$BUILD/tests/e2e/probe.exe"
  [ -f "$probe" ] || return 0
  wine "$probe" desktop </dev/null >/dev/null 2>&1 &
  local i
  for i in $(seq 50); do
    pgrep -f 'explorer.exe /desktop$' >/dev/null && return 0
    sleep 0.1
  done
  say "the desktop's owner process did not start: a test may wait for its output"
}

# For benchmarks: Wine (its server and every program) on CPU 0, the sender
# on CPU 1. Left to the scheduler, a program and the Wine server sometimes
# land on different CPUs, and then every call into the server costs a
# cross-CPU wake-up (several times slower in a virtual machine): the same
# run varied threefold. Sets SENDER_PIN for the caller's own processes.
pin_wine() {
  SENDER_PIN=""
  [ "$(nproc)" -ge 2 ] && command -v taskset >/dev/null || return 0
  local real
  real=$(command -v wine)
  mkdir -p "$BUILD/pinned"
  printf '#!/bin/sh\nexec taskset -c 0 %s "$@"\n' "$real" >"$BUILD/pinned/wine"
  chmod +x "$BUILD/pinned/wine"
  export PATH="$BUILD/pinned:$PATH"
  WINE_PIN="taskset -c 0"
  SENDER_PIN="taskset -c 1"
}

stop_all() {
  if [ -n "${WINEPREFIX:-}" ]; then wineserver -k >/dev/null 2>&1 || true; fi
  if [ -n "$XVFB_PID" ]; then kill "$XVFB_PID" 2>/dev/null || true; wait "$XVFB_PID" 2>/dev/null || true; fi
  XVFB_PID=""
}

# The program alone, for scripts/run and the benchmark.
build_program() {
  cmake --preset default -B "$BUILD" >/dev/null
  cmake --build "$BUILD" -j"$(nproc)" --target ornivel "$@"
}

# Creates the Wine prefix on first use; the server ends by itself once the
# last program has gone.
prepare_wine() {
  mkdir -p "$WINEPREFIX"
  wine cmd /c exit >/dev/null 2>&1 || true
  wine_fonts
}
