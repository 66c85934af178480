#!/usr/bin/env bash
# Runs the real qvupdater binary against the preloaded simulated device under Xvfb and drives it
# with key presses from outside, as a person would: Return for Next, Return for Start, then
# Escape until the wizard ends (Escape is refused while the update runs). Checks the exit status,
# the commands the device received and the flash it ends up with. A second run without a package
# must end with status 1 after its messages, before any page appears. Started with a package file
# or a folder, a copy of the wizard without a package beside it updates from there; started with
# --choose it asks for the package first.
#
# usage: wizard_e2e_test.sh <qvupdater> <qvupdate> <libqvsim-hidapi.so>
set -euo pipefail

UPDATER=$1
PACKAGER=$2
SIM_LIBRARY=$3
SKIP=77
# Each run gets an X server of its own, on a display number the server picks itself.
WITH_XVFB=$(cd "$(dirname "$0")/../../scripts" && pwd)/with-private-xvfb

for tool in Xvfb xdotool; do
  if ! command -v "$tool" >/dev/null; then
    echo "skipped: $tool is not installed (scripts/install-deps installs it)"
    exit $SKIP
  fi
done

WORK=$(mktemp -d)
trap 'rm -rf "$WORK"' EXIT

fail() {
  echo "FAIL: $*" >&2
  exit 1
}

# One copy of the wizard with its package, as a user would unpack it.
prepare() {
  local dir=$1 with_package=$2
  mkdir -p "$dir/sim"
  cp "$UPDATER" "$dir/qvupdater"
  if [ "$with_package" = yes ]; then
    head -c 20000 /dev/urandom >"$WORK/program.bin"
    "$PACKAGER" build -o "$dir/QVUpdate.Bin" --program "$WORK/program.bin" \
      --program-address 0x40010000 --program-version 50010203 >/dev/null
    printf 'End-to-end package\r\nline two\r\n' >"$dir/readme.txt"
  fi
}

# Runs inside Xvfb: starts the wizard (with the package path, when one is given), presses the
# given keys, then Escape (or Return) until it has ended, and prints its exit status.
cat >"$WORK/drive.sh" <<'INNER'
set -u
dir=$1 title=$2 keys=$3 finisher=$4 package_path=${5:-}
cd "$dir"
# Under AddressSanitizer, libxkbcommon-x11 hands strndup a keymap name that is not
# NUL-terminated within its buffer, which strict string checks report although strndup reads at
# most n bytes; the check is turned off for this system-library path only.
if [ -n "${ASAN_OPTIONS:-}" ]; then
  export ASAN_OPTIONS="${ASAN_OPTIONS//strict_string_checks=1/strict_string_checks=0}"
fi
# The test runner may ask Qt for the offscreen platform; this run needs the X server's windows.
export QT_QPA_PLATFORM=xcb
LD_PRELOAD=$SIM_LIBRARY QVSIM_DIR="$dir/sim" QVSIM_REPORT_LATENCY_MS=1 ./qvupdater ${package_path:+"$package_path"} &
pid=$!

visible_window() {
  xdotool search --onlyvisible --name "$1" 2>/dev/null | tail -1
}

last=""
# Presses a key on the visible window with the title. With "new" it first waits for a window
# other than the one pressed last, so a key never lands on a page that is just closing.
press() {
  local key=$1 wanted=$2 window=""
  for _ in $(seq 150); do
    window=$(visible_window "$title")
    if [ -n "$window" ] && { [ "$wanted" != new ] || [ "$window" != "$last" ]; }; then
      break
    fi
    window=""
    kill -0 "$pid" 2>/dev/null || return 1
    sleep 0.1
  done
  [ -n "$window" ] || return 1
  xdotool windowfocus --sync "$window" 2>/dev/null || true
  sleep 0.3
  xdotool key "$key"
  echo "pressed $key on $window" >&2
  last=$window
  sleep 0.3
}

# Start finds no device while another process holds the device mutex (another updater test
# running at the same time); its message is answered and Start pressed again.
start_until_taken() {
  for _ in $(seq 60); do
    press Return new || return 1
    for _ in $(seq 30); do
      box=$(visible_window "^qvupdater$")
      if [ -n "$box" ]; then
        xdotool windowfocus --sync "$box" 2>/dev/null || true
        xdotool key Return
        echo "no device yet, answered $box" >&2
        sleep 1
        break
      fi
      window=$(visible_window "$title")
      [ -n "$window" ] && [ "$window" != "$last" ] && return 0
      sleep 0.1
    done
    last=""  # the start page is still there: press Start on it again
  done
  return 1
}

for key in $keys; do
  if [ "$key" = Start ]; then
    start_until_taken || break
  else
    press "$key" new || break
  fi
done
for _ in $(seq 120); do
  kill -0 "$pid" 2>/dev/null || break
  press "$finisher" any || true
  sleep 0.5
done
kill -0 "$pid" 2>/dev/null && { echo "still running" >&2; kill "$pid"; }
wait "$pid"
echo "status=$?"
INNER
export SIM_LIBRARY

# The program area of the sample package (at 0x40010000) is in the simulated flash.
check_program_in_flash() {
  python3 - "$1" "$WORK/program.bin" <<'CHECK'
import sys
flash = open(sys.argv[1], "rb").read()
program = open(sys.argv[2], "rb").read()
sys.exit(0 if flash[0x10000:0x10000 + len(program)] == program else 1)
CHECK
}

# 1. A whole update: Next, Start, then Escape until the wizard ends.
prepare "$WORK/update" yes
# Each page replaces the one before under the same caption; the pause after each key lets the
# next one map.
out=$("$WITH_XVFB" bash "$WORK/drive.sh" "$WORK/update" \
  "Updata tools V1.2" "Return Start" Escape 2>"$WORK/drive.log" || true)
echo "$out"
[ "$(echo "$out" | tail -1)" = "status=0" ] || { cat "$WORK/drive.log"; fail "update: $out"; }
events="$WORK/update/sim/dev1.events"
[ -f "$events" ] || fail "the simulated device saw nothing"
for command in QUERY RESET SET_LAYOUT ERASE WRITE OVER; do
  grep -q " $command " "$events" || { cat "$events"; fail "no $command command"; }
done
check_program_in_flash "$WORK/update/sim/dev1.flash" || fail "flash content"
echo "update: exit 0, program area in flash, over command sent"

# 2. The package named on the command line, as a file manager passes it: a copy of the wizard
# with no package beside it updates from a package file under another name, then from a folder.
mkdir -p "$WORK/packages"
cp "$WORK/update/QVUpdate.Bin" "$WORK/packages/downloaded.Bin"
cp "$WORK/update/QVUpdate.Bin" "$WORK/update/readme.txt" "$WORK/packages/"
for target in "$WORK/packages/downloaded.Bin" "$WORK/packages"; do
  rm -rf "$WORK/named"
  prepare "$WORK/named" no
  out=$("$WITH_XVFB" bash "$WORK/drive.sh" "$WORK/named" \
    "Updata tools V1.2" "Return Start" Escape "$target" 2>"$WORK/named.log" || true)
  [ "$(echo "$out" | tail -1)" = "status=0" ] || { cat "$WORK/named.log"; fail "$target: $out"; }
  check_program_in_flash "$WORK/named/sim/dev1.flash" || fail "$target: flash content"
  echo "package at $target: exit 0, program area in flash"
done

# 3. No package: its messages (captioned with the executable's name) are answered with Return;
# the program ends with status 1 and no page is ever shown.
prepare "$WORK/missing" no
out=$("$WITH_XVFB" bash "$WORK/drive.sh" "$WORK/missing" \
  "qvupdater" "" Return 2>"$WORK/missing.log" || true)
[ "$(echo "$out" | tail -1)" = "status=1" ] || { cat "$WORK/missing.log"; fail "missing package: $out"; }
[ ! -e "$WORK/missing/sim/dev1.trace" ] || ! grep -q ">" "$WORK/missing/sim/dev1.trace" ||
  fail "the device was used without a package"
echo "missing package: exit 1"

# 4. The desktop entry's way in, from the menu: --choose shows the package dialog, and Escape
# (its Cancel) ends the program with status 0 without a message box, although no package lies
# beside this copy (a load would end with status 1).
prepare "$WORK/choose" no
out=$("$WITH_XVFB" bash "$WORK/drive.sh" "$WORK/choose" \
  "Open an update package" "" Escape --choose 2>"$WORK/choose.log" || true)
[ "$(echo "$out" | tail -1)" = "status=0" ] || { cat "$WORK/choose.log"; fail "--choose: $out"; }
grep -q "^pressed Escape" "$WORK/choose.log" || { cat "$WORK/choose.log"; fail "no package dialog"; }
echo "--choose cancelled: exit 0, no message box"
echo "1 passed, 0 failed"
