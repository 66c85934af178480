#!/usr/bin/env bash
# Runs the real qvupdater.exe under wine on a private Xvfb, with the simulated hidapi.dll beside
# it, and drives it with real key presses to the focused window (xdotool), as a person would.
# wizard_probe.exe reads what the windows show: texts, check boxes, the progress bar, what is
# visible and enabled, where each control sits and which one has the focus.
#
#   wizard_windows_test.sh QVUPDATER.exe WIZARD_PROBE.exe SIM_HIDAPI.dll QVUPDATE.exe [SETUP.exe]
#
# Cases: the resources; a missing package (its messages, exit 1, no page, no device command);
# a whole update (every page's client size and controls against the dialog units, focus, Escape
# refused while the update runs, Quit focused after it, exit 0, the package's areas in the
# simulated flash); the re-install question (Escape and Alt+F4 leave it open, No ends with 1 and
# nothing erased); continuous mode over two devices plugged in one after the other.
#
# The pages' font, "宋体" 10 pt, is not in a fresh wine prefix; the prefix maps it to Tahoma, the
# font Windows' own dialogs measure with, so that the dialog units measure as on Windows and do
# not depend on the Linux fonts installed. The check then holds the page sizes against the
# units of whatever font the system gives that name, at 96 DPI.
#
# QV_WINUI_SCREENSHOTS=FOLDER saves a picture of each page there (windows_*.png).
# Exits 77 (skipped) when Xvfb, xdotool or wine is missing.
set -euo pipefail

SKIP=77
SCRIPTS="$(cd "$(dirname "$0")/../../scripts" && pwd)"

if [ "${1:-}" != --inside ]; then
  [ "$#" -eq 4 ] || [ "$#" -eq 5 ] || {
    echo "usage: $0 QVUPDATER.exe WIZARD_PROBE.exe SIM_HIDAPI.dll QVUPDATE.exe [SETUP.exe]" >&2
    exit 2
  }
  for tool in Xvfb xdotool wine import; do
    if ! command -v "$tool" >/dev/null; then
      echo "skipped: $tool is not installed (scripts/install-deps installs it)"
      exit $SKIP
    fi
  done
  WORK="$(mktemp -d "${TMPDIR:-/tmp}/qvupdater-winui.XXXXXX")"
  status=0
  "$SCRIPTS/with-private-xvfb" bash "$0" --inside "$WORK" "$@" || status=$?
  if [ "$status" -eq 0 ]; then rm -rf "$WORK"; else echo "work folder kept: $WORK" >&2; fi
  exit "$status"
fi

shift
WORK="$1" UPDATER="$2" PROBE="$3" SIM_DLL="$4" PACKAGER="$5" SETUP="${6:-}"
SHOTS="${QV_WINUI_SCREENSHOTS:-}"
TITLE="Updata tools V1.2"
BOX="qvupdater"  # message boxes are captioned with the executable's name
export LANG=C.UTF-8 WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
export WINEPREFIX="$WORK/prefix"
PASSED=0

fail() {
  echo "FAIL: $*" >&2
  WINEPREFIX="$WINEPREFIX" wineserver -k >/dev/null 2>&1 </dev/null || true
  exit 1
}

pass() {
  PASSED=$((PASSED + 1))
  echo "ok: $*"
}

# A Linux path as a Windows program sees it (drive Z: is the root folder).
windows_path() {
  local path="$1"
  printf 'Z:%s' "${path//\//\\}"
}

# wizard_probe.exe's facts, with Windows' line ends made Unix ones; its exit status (pipefail).
probe() {
  "$SCRIPTS/wine-run" "$WORK/bin/wizard_probe.exe" "$@" | tr -d '\r'
}

# ---- the prefix, made inside this X session so that its windows reach the display

prepare_prefix() {
  "$SCRIPTS/wine-prefix" "$WINEPREFIX" >/dev/null
  # wine draws the frame itself (there is no window manager): caption, icon and close box.
  wine reg add 'HKCU\Software\Wine\X11 Driver' /v Decorated /d N /f >/dev/null 2>&1
  wine reg add 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\FontSubstitutes' \
    /v '宋体' /d Tahoma /f >/dev/null 2>&1
  # The close box's glyph.
  cp /usr/share/wine/fonts/marlett.ttf "$WINEPREFIX/drive_c/windows/Fonts/" 2>/dev/null || true
  wineserver -w
}

# ---- the wizard

# A copy of the wizard with the simulated hidapi.dll, as a user would unpack it, in FOLDER.
install_copy() {
  mkdir -p "$1/sim"
  cp "$UPDATER" "$SIM_DLL" "$1/"
}

# Writes a package and its readme into FOLDER; the program area's bytes stay in $WORK.
make_package() {
  local folder="$1"
  head -c 20000 /dev/urandom >"$WORK/program.bin"
  (cd "$WORK" && "$SCRIPTS/wine-run" "$WORK/bin/qvupdate.exe" build -o "$(windows_path "$folder/QVUpdate.Bin")" \
    --program program.bin --program-address 0x40010000 --program-version 50010203 >/dev/null) ||
    fail "qvupdate.exe build failed"
  printf 'Windows wizard test package\r\nsecond line\r\n' >"$folder/readme.txt"
}

# Starts the wizard in FOLDER in the background with the simulator's files in FOLDER/sim and
# QVSIM_* settings from the environment; its exit status goes to FOLDER/status.
start_wizard() {
  local folder="$1"
  shift
  rm -f "$folder/status"
  (
    status=0
    cd "$folder"
    QVSIM_DIR="$(windows_path "$folder/sim")" QVSIM_REPORT_LATENCY_MS="${QVSIM_REPORT_LATENCY_MS:-2}" \
      wine "$folder/qvupdater.exe" "$@" >"$folder/wizard.out" 2>&1 || status=$?
    echo "$status" >"$folder/status"
  ) &
}

# Waits until FOLDER's wizard has ended and prints its exit status.
exit_status() {
  local folder="$1"
  for _ in $(seq 300); do
    [ -s "$folder/status" ] && { cat "$folder/status"; return 0; }
    sleep 0.1
  done
  echo "running"
}

# Waits until the window with CAPTION shows a line matching PATTERN (grep -E); its state stays
# in $WORK/state. Fails after SECONDS (default 30).
wait_for() {
  local caption="$1" pattern="$2" seconds="${3:-30}" until=$((SECONDS + ${3:-30}))
  while [ "$SECONDS" -lt "$until" ]; do
    if probe window "$caption" >"$WORK/state" 2>/dev/null && grep -qE "$pattern" "$WORK/state"; then
      return 0
    fi
    sleep 0.3
  done
  cat "$WORK/state" >&2
  fail "no window \"$caption\" showing /$pattern/ within $seconds s"
}

# Asserts that the last state read holds a line matching PATTERN.
shows() {
  grep -qE "$1" "$WORK/state" || { cat "$WORK/state" >&2; fail "${2:-the window does not show /$1/}"; }
}

# Gives the window with CAPTION the keyboard focus and presses KEY, which goes to the focused
# window as a person's key press does.
press() {
  local caption="$1" key="$2" window=""
  for _ in $(seq 50); do
    window="$(xdotool search --onlyvisible --name "^${caption}\$" 2>/dev/null | tail -1)"
    if [ -n "$window" ] && xdotool windowfocus --sync "$window" 2>/dev/null; then
      sleep 0.2
      xdotool key "$key"
      return 0
    fi
    sleep 0.2
  done
  fail "cannot focus the window \"$caption\" to press $key"
}

shot() {
  local name="$1" caption="$2" window
  [ -n "$SHOTS" ] || return 0
  window="$(xdotool search --onlyvisible --name "^${caption}\$" | tail -1)"
  import -window "$window" "$SHOTS/windows_$name.png"
}

# A picture of the screen's corner that holds the page and the message box over it.
shot_screen() {
  [ -n "$SHOTS" ] || return 0
  import -window root -crop "$2" +repage "$SHOTS/windows_$1.png"
}

# ---- layout: the pages' sizes in dialog units, converted with the page font's base units

BASE_X=0 BASE_Y=0

read_base_units() {
  probe units '宋体' 10 >"$WORK/units"
  grep -q '^dpi=96$' "$WORK/units" || fail "the display is not at 96 DPI: $(cat "$WORK/units")"
  BASE_X="$(sed -n 's/^base_x=//p' "$WORK/units")"
  BASE_Y="$(sed -n 's/^base_y=//p' "$WORK/units")"
  [ "$BASE_X" -gt 0 ] && [ "$BASE_Y" -gt 0 ] || fail "no base units: $(cat "$WORK/units")"
  # Tahoma at 10 pt and 96 DPI, as the prefix maps the pages' font.
  [ "$BASE_X/$BASE_Y" = 7/16 ] || fail "the pages' font measures $BASE_X/$BASE_Y, not as Tahoma (7/16)"
}

# Rounded a * b / c.
mul_div() {
  echo $((($1 * $2 + $3 / 2) / $3))
}

# The last state read: the client area is WIDTH x HEIGHT dialog units, and each "ID X Y W H"
# control sits at that rectangle in dialog units.
check_layout() {
  local page="$1" width="$2" height="$3" control x y w h expected
  shift 3
  expected="client=$(mul_div "$width" "$BASE_X" 4)x$(mul_div "$height" "$BASE_Y" 8)"
  shows "^$expected\$" "$page: the client area is not $width x $height dialog units ($expected)"
  while [ "$#" -gt 0 ]; do
    read -r control x y w h <<<"$1"
    shift
    expected="$(mul_div "$x" "$BASE_X" 4),$(mul_div "$y" "$BASE_Y" 8),$(mul_div "$w" "$BASE_X" 4),$(mul_div "$h" "$BASE_Y" 8)"
    shows "^control $control [^ ]+ .*rect=$expected " \
      "$page: control $control is not at $x,$y,$w,$h dialog units ($expected)"
  done
}

# ---- checks on the simulated device

events_of() {
  cat "$1/sim/dev$2.events" 2>/dev/null || true
}

# The program area of the package ($WORK/program.bin, at 0x40010000) is in the device's flash.
check_program_in_flash() {
  local flash="$1/sim/dev$2.flash" length
  [ -f "$flash" ] || fail "device $2 kept no flash image ($flash)"
  length="$(stat -c %s "$WORK/program.bin")"
  cmp -s -n "$length" -i "0:$((0x10000))" "$WORK/program.bin" "$flash" ||
    fail "the program area in $flash differs from the package's"
  if events_of "$1" "$2" | grep -q FAULT; then
    events_of "$1" "$2" | grep FAULT >&2
    fail "device $2 saw protocol faults"
  fi
}

# ---- the cases

case_resources() {
  probe resources "$(windows_path "$UPDATER")" >"$WORK/resources" ||
    { cat "$WORK/resources" >&2; fail "the wizard's resources are incomplete"; }
  grep -q '^ok dialog 103 267x191 font=宋体 10 caption=Updata tools V1.2$' "$WORK/resources" ||
    { cat "$WORK/resources" >&2; fail "the welcome page's template"; }
  pass "resources: the pages, the About box, icon, picture, sound, manifest"
}

case_missing_package() {
  local folder="$WORK/missing" status page_seen=no
  install_copy "$folder"
  start_wizard "$folder"
  wait_for "$BOX" 'QVUpdate\.Bin'
  shot missing_package "$BOX"
  # Every message is answered with Return; no page may appear meanwhile.
  local until=$((SECONDS + 60))
  while [ ! -s "$folder/status" ] && [ "$SECONDS" -lt "$until" ]; do
    probe window "$TITLE" >/dev/null 2>&1 && page_seen=yes
    if probe window "$BOX" >/dev/null 2>&1; then press "$BOX" Return; fi
    sleep 0.3
  done
  status="$(exit_status "$folder")"
  [ "$status" = 1 ] || fail "missing package: exit status $status, not 1"
  [ "$page_seen" = no ] || fail "missing package: a page was shown"
  if events_of "$folder" 1 | grep -qE ' (QUERY|RESET|ERASE|WRITE) '; then
    fail "missing package: the device was sent a command"
  fi
  pass "missing package: its message, exit 1, no page, no device command"
}

case_update() {
  local folder="$WORK/update" status
  install_copy "$folder"
  make_package "$folder"
  QVSIM_REPORT_LATENCY_MS=4 start_wizard "$folder"

  wait_for "$TITLE" '^control 1000 '
  check_layout welcome 267 191 "1 144 167 50 14" "2 206 167 50 14" "1000 87 22 171 124"
  shows '^focus=1$' "welcome: Next does not have the focus"
  shows '^control 1000 .*text=.*Windows wizard test package\\r\\nsecond line' \
    "welcome: the readme is not in the text box"
  shot welcome "$TITLE"
  press "$TITLE" Return

  wait_for "$TITLE" '^control 1013 '
  check_layout start 334 191 "1 220 165 50 14" "2 280 165 50 14" "1013 85 130 240 10"
  shows '^focus=1$' "start: Start does not have the focus"
  shows '^control 1013 .*check=0 ' "start: continuous mode is ticked"
  shot start "$TITLE"
  press "$TITLE" Return

  wait_for "$TITLE" '^control 1003 .*pos=([1-9]|[1-9][0-9]) '
  check_layout progress 267 191 "1012 7 167 50 14" "2 206 167 50 14" "1003 84 79 175 14" \
    "1005 84 56 176 16" "1014 84 106 168 8"
  shows '^control 1012 .*visible=0 ' "progress: Other device is shown in normal mode"
  shows '^control 2 .*enabled=0 ' "progress: Quit is enabled while the update runs"
  shot progress_running "$TITLE"
  # Escape is refused while the update runs.
  press "$TITLE" Escape
  sleep 0.5
  wait_for "$TITLE" '^control 1003 '

  wait_for "$TITLE" '^control 1005 .*text=Updata success !$' 60
  wait_for "$TITLE" '^focus=2$' 5
  shows '^control 2 .*enabled=1 ' "progress: Quit is not enabled after the update"
  shows '^control 1003 .*pos=100 ' "progress: the bar is not full after the update"
  shows '^control 1014 .*text=$' "progress: a prompt in normal mode"
  shot progress_success "$TITLE"
  press "$TITLE" Return
  status="$(exit_status "$folder")"
  [ "$status" = 0 ] || fail "update: exit status $status, not 0"
  events_of "$folder" 1 | grep -q ' OVER ' || fail "update: no over command"
  check_program_in_flash "$folder" 1
  pass "update: pages at their dialog-unit sizes, Escape refused while running, Quit focused, exit 0, program in flash"
}

case_same_version() {
  local folder="$WORK/same" status record
  install_copy "$folder"
  mkdir -p "$folder/packages"
  cp "$WORK/update/QVUpdate.Bin" "$folder/packages/downloaded.Bin"
  record="$(cd "$folder" && "$SCRIPTS/wine-run" "$WORK/bin/qvupdate.exe" info packages/downloaded.Bin --json |
    sed -n 's/.*"version_record":"\([0-9a-f]*\)".*/\1/p')"
  [ -n "$record" ] || fail "no version record from qvupdate.exe info"
  # The package file under another name, as a file manager passes it.
  QVSIM_VERSION="$record" start_wizard "$folder" "$(windows_path "$folder/packages/downloaded.Bin")"
  wait_for "$TITLE" '^control 1000 '
  press "$TITLE" Return
  wait_for "$TITLE" '^control 1013 '
  press "$TITLE" Return
  wait_for "$BOX" "text=It's the latest version, Do you continue to updata \?"
  shows '^control 6 .*text=&Yes' "question: no Yes button"
  shows '^control 7 .*text=&No' "question: no No button"
  shot_screen same_version_question 700x450+0+0
  for key in Escape alt+F4; do
    press "$BOX" "$key"
    sleep 1
    probe window "$BOX" >/dev/null || fail "question: $key answered it"
  done
  [ ! -s "$folder/status" ] || fail "question: the wizard ended on Escape or Alt+F4"
  press "$BOX" n
  status="$(exit_status "$folder")"
  [ "$status" = 1 ] || fail "question: No ended with status $status, not 1"
  if events_of "$folder" 1 | grep -qE ' (ERASE|WRITE|RESET) '; then
    fail "question: the device was reset or written after No"
  fi
  pass "re-install question: Escape and Alt+F4 leave it open, No ends with 1, nothing erased"
}

case_continuous() {
  local folder="$WORK/continuous" control status
  install_copy "$folder"
  mkdir -p "$folder/packages"
  cp "$WORK/update/QVUpdate.Bin" "$WORK/update/readme.txt" "$folder/packages/"
  control="$folder/sim/control"
  : >"$control"
  # The package folder on the command line.
  QVSIM_CONTROL="$(windows_path "$control")" start_wizard "$folder" "$(windows_path "$folder/packages")"
  wait_for "$TITLE" '^control 1000 '
  press "$TITLE" Return
  wait_for "$TITLE" '^control 1013 '
  # Tab order: Start, Cancel, the check box; space ticks it, Return presses Start.
  press "$TITLE" Tab
  press "$TITLE" Tab
  press "$TITLE" space
  wait_for "$TITLE" '^control 1013 .*check=1 ' 5
  press "$TITLE" Return

  wait_for "$TITLE" '^control 1003 '
  shows '^control 1012 .*visible=1 enabled=0 ' "continuous: Other device is not shown disabled while running"
  wait_for "$TITLE" '^control 1014 .*text=If you need to continue, please connect the USB cable to the new machine !$' 60
  wait_for "$TITLE" '^focus=1012$' 5
  shows '^control 1012 .*enabled=1 ' "continuous: Other device is not enabled while polling"
  shows '^control 1005 .*text=Updata success !$' "continuous: the first device was not updated"
  shot progress_polling "$TITLE"
  # The updated device stays plugged in: it is not taken again.
  sleep 2
  [ -z "$(events_of "$folder" 2)" ] || fail "continuous: a second device appeared from nowhere"
  [ "$(events_of "$folder" 1 | grep -c ' RESET ')" = 1 ] || fail "continuous: device 1 updated again"
  # The first device is unplugged and a new one plugged in: the poll starts it by itself.
  echo "unplug 1" >>"$control"
  sleep 1.5
  echo "plug" >>"$control"
  for _ in $(seq 600); do
    events_of "$folder" 2 | grep -q ' WRITE ' && break
    sleep 0.1
  done
  events_of "$folder" 2 | grep -q ' QUERY ' || fail "continuous: the second device was not started"
  wait_for "$TITLE" '^control 1014 .*text=If you need' 60
  wait_for "$TITLE" '^control 1005 .*text=Updata success !$' 5
  check_program_in_flash "$folder" 1
  check_program_in_flash "$folder" 2
  events_of "$folder" 2 | grep -q ' OVER ' && fail "continuous: an over command in continuous mode"
  press "$TITLE" Escape
  status="$(exit_status "$folder")"
  [ "$status" = 0 ] || fail "continuous: exit status $status, not 0"
  pass "continuous mode: two devices updated one after the other, the first not again, exit 0"
}

# Where the installer puts things, as this Linux side sees them.
INSTALLED_FOLDER='C:\Program Files\QV Updater'
UNINSTALL_KEY='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\QVUpdater'

installed_path() {
  echo "$WINEPREFIX/drive_c/Program Files/QV Updater"
}

shortcut_path() {
  echo "$WINEPREFIX/drive_c/ProgramData/Microsoft/Windows/Start Menu/Programs/QV firmware updater.lnk"
}

case_installer() {
  local folder status file
  folder="$(installed_path)"
  wine "$SETUP" /S >"$WORK/setup.out" 2>&1 || fail "the silent install failed: $(cat "$WORK/setup.out")"
  for file in qvupdater.exe qvupdate.exe hidapi.dll uninstall.exe; do
    [ -f "$folder/$file" ] || fail "installer: $INSTALLED_FOLDER\\$file is missing"
  done
  cmp -s "$UPDATER" "$folder/qvupdater.exe" || fail "installer: another qvupdater.exe was installed"
  [ -f "$(shortcut_path)" ] || fail "installer: no Start-menu shortcut"
  wine reg query "$UNINSTALL_KEY" /v UninstallString >"$WORK/uninstall-key" 2>&1 ||
    fail "installer: no uninstall entry"
  grep -qF 'uninstall.exe' "$WORK/uninstall-key" || fail "installer: the entry names no uninstaller"

  # The installed wizard against the simulated device (the real hidapi.dll finds no device under
  # wine), with the package folder on its command line, through a whole update.
  cp "$SIM_DLL" "$folder/hidapi.dll"
  mkdir -p "$WORK/installed/sim"
  (
    status=0
    cd "$WORK/installed"
    QVSIM_DIR="$(windows_path "$WORK/installed/sim")" QVSIM_REPORT_LATENCY_MS=1 \
      wine "$INSTALLED_FOLDER\\qvupdater.exe" "$(windows_path "$WORK/update")" \
      >"$WORK/installed/wizard.out" 2>&1 || status=$?
    echo "$status" >"$WORK/installed/status"
  ) &
  wait_for "$TITLE" '^control 1000 '
  press "$TITLE" Return
  wait_for "$TITLE" '^control 1013 '
  press "$TITLE" Return
  wait_for "$TITLE" '^control 1005 .*text=Updata success !$' 60
  wait_for "$TITLE" '^focus=2$' 5
  press "$TITLE" Return
  status="$(exit_status "$WORK/installed")"
  [ "$status" = 0 ] || fail "installed wizard: exit status $status, not 0"
  check_program_in_flash "$WORK/installed" 1

  wine "$INSTALLED_FOLDER\\uninstall.exe" /S >"$WORK/uninstall.out" 2>&1 ||
    fail "the silent uninstall failed: $(cat "$WORK/uninstall.out")"
  # The uninstaller goes on from a copy of itself in the temporary folder.
  wineserver -w
  [ ! -e "$folder" ] || fail "uninstall: $INSTALLED_FOLDER is still there: $(ls -A "$folder")"
  [ ! -e "$(shortcut_path)" ] || fail "uninstall: the Start-menu shortcut is still there"
  if wine reg query "$UNINSTALL_KEY" >/dev/null 2>&1; then fail "uninstall: the uninstall entry is still there"; fi
  pass "installer: silent install, the installed wizard updates a device, silent uninstall leaves nothing"
}

# ---- the run

mkdir -p "$WORK/bin"
cp "$PROBE" "$WORK/bin/wizard_probe.exe"
# qvupdate.exe imports hidapi.dll; the simulated one serves it here (build and info only).
cp "$PACKAGER" "$WORK/bin/qvupdate.exe"
cp "$SIM_DLL" "$WORK/bin/"
[ -z "$SHOTS" ] || mkdir -p "$SHOTS"
prepare_prefix
read_base_units
case_resources
case_missing_package
case_update
case_same_version
case_continuous
[ -z "$SETUP" ] || case_installer
wineserver -k >/dev/null 2>&1 </dev/null || true
echo "$PASSED passed, 0 failed"
