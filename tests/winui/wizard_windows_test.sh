#!/usr/bin/env bash
# Runs the real qvupdater.exe under wine on a private Xvfb, with the simulated hidapi.dll beside
# it, and drives it with real key presses to the focused window (xdotool), as a person would.
# wizard_probe.exe reads what the windows show: texts, check boxes, the progress bar, what is
# visible and enabled, where each control sits and which one has the focus.
#
#   wizard_windows_test.sh QVUPDATER.exe WIZARD_PROBE.exe SIM_HIDAPI.dll QVUPDATE.exe \
#                          [SETUP.exe ZIP]
#
# QVUPDATER.exe and QVUPDATE.exe are the shipped ones (dist/); system_probe.exe is taken from
# beside WIZARD_PROBE.exe.
#
# Cases: the resources; both programs' version resources and manifests; the console's code
# pages around a qvupdate.exe run, and qvupdate.exe in a console of its own (a double-click);
# a missing package (its messages, exit 1, no page, no device command); a whole update (every
# page's client size and controls against the dialog units, focus, Escape refused while the
# update runs, Quit focused after it, exit 0, the package's areas in the simulated flash); the
# re-install question (Escape and Alt+F4 leave it open, No ends with 1 and nothing erased);
# continuous mode over two devices plugged in one after the other. With SETUP.exe and ZIP: the
# zip unpacked into a folder with spaces and accents, its wizard's file dialog (--choose:
# Cancel ends with 0, a name typed there opens the package from Downloads); the installer
# (every file of dist/, the shortcut's --choose, "Open with" for .bin without the default
# program, a file dropped on the shortcut, an update through "Open with", an upgrade that
# replaces every file, install and uninstall while the wizard runs, interactively and silently,
# and an uninstall that leaves nothing).
#
# The pages' font, "宋体" 10 pt, is not in a fresh wine prefix; the prefix maps it to Tahoma, the
# font Windows' own dialogs measure with, so that the dialog units measure as on Windows and do
# not depend on the Linux fonts installed. The check then holds the page sizes against the
# units of whatever font the system gives that name, at 96 DPI.
#
# QV_WINUI_SCREENSHOTS=FOLDER saves a picture of each page, the file dialog and the installer's
# pages there (windows_*.png).
# Exits 77 (skipped) when Xvfb, xdotool or wine is missing.
set -euo pipefail

SKIP=77
SCRIPTS="$(cd "$(dirname "$0")/../../scripts" && pwd)"

if [ "${1:-}" != --inside ]; then
  [ "$#" -eq 4 ] || [ "$#" -eq 6 ] || {
    echo "usage: $0 QVUPDATER.exe WIZARD_PROBE.exe SIM_HIDAPI.dll QVUPDATE.exe [SETUP.exe ZIP]" >&2
    exit 2
  }
  for tool in Xvfb xdotool wine import python3; do
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
WORK="$1" UPDATER="$2" PROBE="$3" SIM_DLL="$4" PACKAGER="$5" SETUP="${6:-}" ZIP="${7:-}"
DIST="$(dirname "$UPDATER")"
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

# system_probe.exe's facts, the same way.
system_probe() {
  "$SCRIPTS/wine-run" "$WORK/bin/system_probe.exe" "$@" | tr -d '\r'
}

# Asserts that FACTS holds the line LINE exactly.
has_line() {
  grep -qxF -- "$2" <<<"$1" || { echo "$1" >&2; fail "${3:-no line \"$2\"}"; }
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

# Clicks the control ID of the window with CAPTION with the mouse, as a person does when another
# program's box is in front and takes the keyboard.
click() {
  local caption="$1" id="$2" origin rect x y w h
  probe window "$caption" >"$WORK/state" || fail "no window \"$caption\" to click in"
  origin="$(sed -n 's/^origin=//p' "$WORK/state")"
  rect="$(sed -n "s/^control $id [^ ]* .*rect=\([-0-9,]*\) .*/\1/p" "$WORK/state")"
  [ -n "$origin" ] && [ -n "$rect" ] || { cat "$WORK/state" >&2; fail "no control $id in \"$caption\""; }
  IFS=, read -r x y w h <<<"$rect"
  xdotool mousemove $((${origin%,*} + x + w / 2)) $((${origin#*,} + y + h / 2)) click 1
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

# The project's version as qvupdate.exe prints it ("1.2"), and in four numbers ("1.2.0.0").
VERSION="" VERSION_NUMBERS=""

read_version() {
  VERSION="$("$SCRIPTS/wine-run" "$WORK/bin/qvupdate.exe" --version | tr -d '\r' |
    sed -n 's/^qvupdate \([0-9][0-9.]*\).*/\1/p')"
  [ -n "$VERSION" ] || fail "qvupdate.exe --version names no version"
  VERSION_NUMBERS="$VERSION"
  while [ "$(tr -cd . <<<"$VERSION_NUMBERS" | wc -c)" -lt 3 ]; do VERSION_NUMBERS="$VERSION_NUMBERS.0"; done
}

case_versions() {
  local program name facts
  for program in "$UPDATER" "$PACKAGER"; do
    name="$(basename "$program")"
    facts="$(system_probe version "$(windows_path "$program")")" ||
      { echo "$facts" >&2; fail "$name: no version resource or no manifest"; }
    has_line "$facts" "fixed=$VERSION_NUMBERS" "$name: its version numbers are not $VERSION_NUMBERS"
    has_line "$facts" "FileVersion=$VERSION_NUMBERS" "$name: FileVersion is not $VERSION_NUMBERS"
    grep -q "^ProductVersion=$VERSION\b" <<<"$facts" || fail "$name: ProductVersion is not $VERSION"
    has_line "$facts" "ProductName=QV firmware updater"
    has_line "$facts" "OriginalFilename=$name"
    has_line "$facts" "longPathAware=true" "$name: its manifest does not declare long paths"
  done
  pass "version resources ($VERSION_NUMBERS) and long-path manifests of both programs"
}

# qvupdate.exe gives the console back its code pages (here 850) when it ends, after a run that
# succeeded and one that failed; started in a console of its own (as Explorer starts it), it
# shows its help and a line about the wizard, and waits for a key before the console closes.
case_console() {
  local arguments facts
  for arguments in --version "info missing.Bin"; do
    # shellcheck disable=SC2086  # the arguments are words without blanks
    facts="$(system_probe code-pages "$(windows_path "$WORK/bin/qvupdate.exe")" $arguments)"
    has_line "$facts" "before input=850 output=850" "code pages: the console could not be set up"
    has_line "$facts" "after input=850 output=850" "code pages: not given back after qvupdate.exe $arguments"
  done
  facts="$(system_probe own-console "$(windows_path "$WORK/bin/qvupdate.exe")")"
  has_line "$facts" "kept_open=1" "own console: qvupdate.exe did not wait for a key"
  grep -q '^screen=Usage: qvupdate ' <<<"$facts" || { echo "$facts" >&2; fail "own console: no help shown"; }
  grep -q '^screen=.*start qvupdater.exe, the wizard, instead' <<<"$facts" ||
    { echo "$facts" >&2; fail "own console: no word about the wizard"; }
  has_line "$facts" "ended_after_key=1 status=0" "own console: a key did not end it with status 0"
  pass "console: code pages given back; a console of its own shows the help and waits for a key"
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

# ---- the zip and the file dialog

# The folder the wizard's file dialog starts in: the prefix user's Downloads folder, made a plain
# folder of the prefix (wine may link it to the Linux home's, which a test must not write into).
downloads_folder() {
  local folder="$WINEPREFIX/drive_c/users/$(id -un)/Downloads"
  [ ! -L "$folder" ] || rm -f "$folder"
  mkdir -p "$folder"
  echo "$folder"
}

DIALOG="Open an update package"

# The zip unpacked into a folder whose name has blanks and accents, as a user's would: its
# wizard (with the real hidapi.dll) asks for the package with --choose; Cancel ends with 0 and
# no page; a name typed into the dialog is taken in the folder it opened in, Downloads.
case_file_dialog() {
  local unpacked="$WORK/Téléchargements de Zoë" folder downloads status
  python3 -c 'import sys, zipfile; zipfile.ZipFile(sys.argv[1]).extractall(sys.argv[2])' "$ZIP" "$unpacked"
  folder="$(find "$unpacked" -mindepth 1 -maxdepth 1 -type d)"
  [ -f "$folder/qvupdater.exe" ] || fail "the zip holds no folder with qvupdater.exe"
  downloads="$(downloads_folder)"
  cp "$WORK/update/QVUpdate.Bin" "$downloads/QVUpdate.Bin"
  printf 'Package from Downloads\r\n' >"$downloads/readme.txt"

  start_wizard "$folder" --choose
  wait_for "$DIALOG" '^control '
  shows '^control [0-9]+ ComboBox .*text=Update packages \(QVUpdate\.Bin, \*\.bin\)$' \
    "file dialog: packages are not the first file type"
  shot file_dialog "$DIALOG"
  press "$DIALOG" Escape
  status="$(exit_status "$folder")"
  [ "$status" = 0 ] || fail "file dialog: Cancel ended with status $status, not 0"
  if probe window "$TITLE" >/dev/null 2>&1; then fail "file dialog: a page was shown after Cancel"; fi

  start_wizard "$folder" --choose
  wait_for "$DIALOG" '^control '
  sleep 0.5
  xdotool type --delay 20 QVUpdate.Bin
  press "$DIALOG" Return
  wait_for "$TITLE" '^control 1000 .*text=.*Package from Downloads'
  press "$TITLE" Escape
  status="$(exit_status "$folder")"
  [ "$status" = 0 ] || fail "file dialog: the wizard on the chosen package ended with $status, not 0"
  pass "zip in a folder with blanks and accents: --choose opens the file dialog in Downloads, Cancel gives 0, a chosen package opens"
}

# What the zip holds: the programs with their DLL, the read-me, the licence notices and the
# simulated device, in one folder named like the archive; the texts with Windows' line ends.
case_zip_contents() {
  local name listing expected
  name="$(basename "$ZIP" .zip)"
  listing="$(python3 -c 'import sys, zipfile; print("\n".join(sorted(i.filename for i in zipfile.ZipFile(sys.argv[1]).infolist() if not i.is_dir())))' "$ZIP")"
  expected="$(printf '%s\n' "$name/Read me first.txt" "$name/hidapi.dll" \
    "$name/licences/cli11.txt" "$name/licences/gcc-runtime.txt" "$name/licences/hidapi.txt" \
    "$name/licences/libsodium.txt" "$name/licences/mingw-w64-runtime.txt" \
    "$name/licences/nlohmann-json.txt" "$name/licences/simdjson.txt" \
    "$name/qvupdate.exe" "$name/qvupdater.exe" "$name/simulator/hidapi.dll" | sort)"
  [ "$listing" = "$expected" ] || { diff <(echo "$expected") <(echo "$listing") >&2; fail "the zip's contents"; }
  local unpacked="$WORK/zip-contents"
  python3 -c 'import sys, zipfile; zipfile.ZipFile(sys.argv[1]).extractall(sys.argv[2])' "$ZIP" "$unpacked"
  local readme="$unpacked/$name/Read me first.txt"
  grep -q $'^QV firmware updater '"$VERSION"$' for Windows\r$' "$readme" || fail "the read-me names no version $VERSION"
  for word in qvupdater.exe qvupdate.exe hidapi.dll --choose 'Open with' --record 'simulator\hidapi.dll'; do
    grep -qF -- "$word" "$readme" || fail "the read-me does not speak of $word"
  done
  if grep -qv $'\r$' "$readme"; then fail "the read-me has lines without CR LF"; fi
  grep -q 'HIDAPI can be used under one of three licenses' "$unpacked/$name/licences/hidapi.txt" ||
    fail "hidapi's licence notice"
  grep -q 'GCC RUNTIME LIBRARY EXCEPTION' "$unpacked/$name/licences/gcc-runtime.txt" ||
    fail "GCC's runtime exception"
  grep -q 'winpthreads' "$unpacked/$name/licences/mingw-w64-runtime.txt" || fail "the mingw-w64 runtime's notices"
  grep -q 'ISC License' "$unpacked/$name/licences/libsodium.txt" || fail "libsodium's licence notice"
  grep -q 'Apache License' "$unpacked/$name/licences/simdjson.txt" || fail "simdjson's licence notice"
  cmp -s "$unpacked/$name/simulator/hidapi.dll" "$SIM_DLL" || fail "simulator\\hidapi.dll is not the simulated device"
  cmp -s "$unpacked/$name/hidapi.dll" "$DIST/hidapi.dll" || fail "the zip's hidapi.dll is not the real one"
  pass "zip: the programs with hidapi.dll, the read-me, the licence notices and the simulator, nothing else"
}

# ---- the installer

# Where the installer puts things, as this Linux side sees them.
INSTALLED_FOLDER='C:\Program Files\QV Updater'
UNINSTALL_KEY='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\QVUpdater'

installed_path() {
  echo "$WINEPREFIX/drive_c/Program Files/QV Updater"
}

shortcut_path() {
  echo "$WINEPREFIX/drive_c/ProgramData/Microsoft/Windows/Start Menu/Programs/QV firmware updater.lnk"
}

files_in() {
  (cd "$1" && find . -type f | sed 's|^\./||' | LC_ALL=C sort)
}

# The install folder holds every file of dist/, byte for byte, the uninstaller and nothing else.
check_installed_as_dist() {
  local folder file
  folder="$(installed_path)"
  diff <( (files_in "$DIST"; echo uninstall.exe) | LC_ALL=C sort) <(files_in "$folder") >&2 ||
    fail "$1: the install folder does not hold dist/'s files"
  while IFS= read -r file; do
    cmp -s "$DIST/$file" "$folder/$file" || fail "$1: $INSTALLED_FOLDER\\$file is not the one of dist/"
  done < <(files_in "$DIST")
}

# Runs a program under wine with its output in FILE; prints its exit status.
status_of() {
  local out="$1" status=0
  shift
  wine "$@" >"$out" 2>&1 </dev/null || status=$?
  echo "$status"
}

# Starts the installed wizard in the background with ARGUMENTS; its status goes to $WORK/installed.
start_installed_wizard() {
  mkdir -p "$WORK/installed/sim"
  rm -f "$WORK/installed/status"
  (
    status=0
    cd "$WORK/installed"
    QVSIM_DIR="$(windows_path "$WORK/installed/sim")" QVSIM_REPORT_LATENCY_MS=1 \
      wine "$@" >"$WORK/installed/wizard.out" 2>&1 || status=$?
    echo "$status" >"$WORK/installed/status"
  ) &
}

# The default program of .bin before the installer ran.
DEFAULT_OF_BIN=""

case_install() {
  local status facts
  DEFAULT_OF_BIN="$(system_probe open-with .bin | sed -n 's/^default=//p')"
  status="$(status_of "$WORK/setup.out" "$SETUP" /S)"
  [ "$status" = 0 ] || fail "the silent install ended with $status: $(cat "$WORK/setup.out")"
  check_installed_as_dist "install"
  wine reg query "$UNINSTALL_KEY" /v UninstallString >"$WORK/uninstall-key" 2>&1 ||
    fail "installer: no uninstall entry"
  grep -qF 'uninstall.exe' "$WORK/uninstall-key" || fail "installer: the entry names no uninstaller"
  facts="$(system_probe shortcut "$(windows_path "$(shortcut_path)")")" || fail "installer: no Start-menu shortcut"
  has_line "$facts" "target=$INSTALLED_FOLDER\\qvupdater.exe" "the shortcut does not start the installed wizard"
  has_line "$facts" "arguments=--choose" "the shortcut does not ask for the package"
  pass "installer: every file of dist/, the uninstall entry, a Start-menu shortcut with --choose"
}

# "Open with" offers the wizard for .bin files, under its name, both as a file type listed for
# .bin and as an application that opens .bin; the default program of .bin stays as it was.
OPEN_WITH_COMMAND=""

case_open_with() {
  local facts command
  command="\"$INSTALLED_FOLDER\\qvupdater.exe\" \"%1\""
  facts="$(system_probe open-with .bin)"
  has_line "$facts" "type QVUpdater.Package command=$command" "\"Open with\": .bin does not list the wizard's file type"
  has_line "$facts" "application qvupdater.exe name=QV firmware updater command=$command" \
    "\"Open with\": the wizard is not an application that opens .bin"
  has_line "$facts" "default=$DEFAULT_OF_BIN" "the installer changed the default program for .bin"
  # The program of that command, which case_installed_update runs on a package as the shell does.
  OPEN_WITH_COMMAND="$(sed -n 's/^application qvupdater.exe .* command="\([^"]*\)" "%1"$/\1/p' <<<"$facts")"
  pass "\"Open with\": the wizard is offered for .bin files, the default program is not taken"
}

# A package dropped on the shortcut: Explorer runs its target with its arguments and the file's
# path, and the wizard opens that package without asking.
case_drop_on_shortcut() {
  start_installed_wizard "$INSTALLED_FOLDER\\qvupdater.exe" --choose "$(windows_path "$WORK/update/QVUpdate.Bin")"
  wait_for "$TITLE" '^control 1000 .*text=.*Windows wizard test package'
  if probe window "$DIALOG" >/dev/null 2>&1; then fail "drop on the shortcut: the file dialog opened"; fi
  press "$TITLE" Escape
  [ "$(exit_status "$WORK/installed")" = 0 ] || fail "drop on the shortcut: exit status not 0"
  pass "a package dropped on the shortcut opens at once"
}

# The installed wizard through "Open with" on a package file, against the simulated device (the
# real hidapi.dll finds no device under wine), through a whole update.
case_installed_update() {
  local status
  cp "$SIM_DLL" "$(installed_path)/hidapi.dll"
  start_installed_wizard "$OPEN_WITH_COMMAND" "$(windows_path "$WORK/update/QVUpdate.Bin")"
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
  pass "the installed wizard, opened with \"Open with\" on a package, updates a device"
}

# An upgrade over an install whose files were changed (hidapi.dll is the simulated one now, the
# read-me was edited) puts back every file.
case_upgrade() {
  local status
  printf 'edited\r\n' >>"$(installed_path)/Read me first.txt"
  status="$(status_of "$WORK/upgrade.out" "$SETUP" /S)"
  [ "$status" = 0 ] || fail "the silent upgrade ended with $status: $(cat "$WORK/upgrade.out")"
  check_installed_as_dist "upgrade"
  pass "an upgrade replaces every file"
}

SETUP_CAPTION="" UNINSTALL_CAPTION=""

# While the installed wizard runs: a silent install and a silent uninstall fail with status 2
# and say why on stderr, changing nothing; the interactive installer asks to close it, and
# installs once it is closed and Retry is chosen.
case_wizard_running() {
  local status
  start_installed_wizard "$INSTALLED_FOLDER\\qvupdater.exe" "$(windows_path "$WORK/update/QVUpdate.Bin")"
  wait_for "$TITLE" '^control 1000 '

  status="$(status_of "$WORK/setup-running.out" "$SETUP" /S)"
  [ "$status" = 2 ] || fail "install while the wizard runs: status $status, not 2"
  grep -q 'The wizard qvupdater.exe is running from C:\\Program Files\\QV Updater' "$WORK/setup-running.out" ||
    { cat "$WORK/setup-running.out" >&2; fail "install while the wizard runs: no message on stderr"; }
  check_installed_as_dist "install while the wizard runs"

  # In place (_?=), as a script runs it to wait for its end and read its status.
  status=0
  "$SCRIPTS/wine-run" "$WORK/bin/system_probe.exe" run \
    "\"$INSTALLED_FOLDER\\uninstall.exe\" /S _?=$INSTALLED_FOLDER" >"$WORK/uninstall-running.out" 2>&1 ||
    status=$?
  [ "$status" = 2 ] || fail "uninstall while the wizard runs: status $status, not 2"
  grep -q 'The wizard qvupdater.exe is running' "$WORK/uninstall-running.out" ||
    { cat "$WORK/uninstall-running.out" >&2; fail "uninstall while the wizard runs: no message on stderr"; }
  check_installed_as_dist "uninstall while the wizard runs"
  wine reg query "$UNINSTALL_KEY" >/dev/null 2>&1 || fail "uninstall while the wizard runs: the entry was removed"

  rm -f "$WORK/setup.status"
  ( status=0; wine "$SETUP" >"$WORK/setup-interactive.out" 2>&1 || status=$?; echo "$status" >"$WORK/setup.status" ) &
  wait_for "$SETUP_CAPTION: Installation Folder" 'text=Destination Folder'
  shows "^control 1019 Edit .*text=$(sed 's/[\\.]/\\&/g' <<<"$INSTALLED_FOLDER")\\\\?\$" \
    "installer: the upgrade does not go to the installed folder"
  shot installer_folder "$SETUP_CAPTION: Installation Folder"
  press "$SETUP_CAPTION: Installation Folder" Return
  wait_for "$SETUP_CAPTION" 'text=The wizard qvupdater\.exe is running from'
  shows '^control 4 .*text=&Retry' "installer: the box has no Retry"
  shows '^control 2 .*text=Cancel' "installer: the box has no Cancel"
  shot_screen installer_wizard_running 800x500+0+0
  # The installer's window covers the wizard's buttons: a click into the wizard brings it to the
  # front, then Escape cancels it.
  click "$TITLE" 1000
  press "$TITLE" Escape
  [ "$(exit_status "$WORK/installed")" = 0 ] || fail "the wizard did not end on Escape"
  click "$SETUP_CAPTION" 4
  wait_for "$SETUP_CAPTION: Completed" 'text=Completed' 60
  shot installer_completed "$SETUP_CAPTION: Completed"
  press "$SETUP_CAPTION: Completed" Return
  for _ in $(seq 100); do [ -s "$WORK/setup.status" ] && break; sleep 0.1; done
  [ "$(cat "$WORK/setup.status" 2>/dev/null)" = 0 ] || fail "the interactive install did not end with 0"
  check_installed_as_dist "install after Retry"
  pass "install and uninstall while the wizard runs: refused with status 2 and a message; Retry installs once it is closed"
}

# Nothing of the installer is left: the folder, the shortcut, "Open with" and the entry.
check_nothing_left() {
  [ ! -e "$(installed_path)" ] || fail "$1: $INSTALLED_FOLDER is still there: $(ls -A "$(installed_path)")"
  [ ! -e "$(shortcut_path)" ] || fail "$1: the Start-menu shortcut is still there"
  if wine reg query "$UNINSTALL_KEY" >/dev/null 2>&1; then fail "$1: the uninstall entry is still there"; fi
  for key in 'HKLM\Software\Classes\Applications\qvupdater.exe' 'HKLM\Software\Classes\QVUpdater.Package'; do
    if wine reg query "$key" >/dev/null 2>&1; then fail "$1: $key is still there"; fi
  done
  system_probe open-with .bin >"$WORK/open-with-after"
  if grep -qi qvupdater "$WORK/open-with-after"; then
    cat "$WORK/open-with-after" >&2
    fail "$1: \"Open with\" still offers the wizard"
  fi
}

# The interactive uninstall, then a silent install and uninstall: each leaves nothing.
case_uninstall() {
  wine "$(installed_path)/uninstall.exe" >"$WORK/uninstall-interactive.out" 2>&1 &
  wait_for "$UNINSTALL_CAPTION: Confirmation" 'text=&Uninstall'
  shot uninstaller_confirm "$UNINSTALL_CAPTION: Confirmation"
  press "$UNINSTALL_CAPTION: Confirmation" Return
  wait_for "$UNINSTALL_CAPTION: Completed" 'text=Completed' 60
  press "$UNINSTALL_CAPTION: Completed" Return
  wineserver -w
  check_nothing_left "interactive uninstall"

  [ "$(status_of "$WORK/setup2.out" "$SETUP" /S)" = 0 ] || fail "the second silent install failed"
  check_installed_as_dist "second install"
  # Silently and in place, as a script runs it: status 0, and only the uninstaller itself is left,
  # for the script to remove.
  "$SCRIPTS/wine-run" "$WORK/bin/system_probe.exe" run \
    "\"$INSTALLED_FOLDER\\uninstall.exe\" /S _?=$INSTALLED_FOLDER" >"$WORK/uninstall.out" 2>&1 ||
    fail "the silent uninstall failed: $(cat "$WORK/uninstall.out")"
  [ "$(files_in "$(installed_path)")" = uninstall.exe ] ||
    fail "silent uninstall: left $(files_in "$(installed_path)" | tr '\n' ' ')"
  rm -f "$(installed_path)/uninstall.exe"
  rmdir "$(installed_path)"
  check_nothing_left "silent uninstall"
  pass "uninstall, interactive and silent, leaves no file, shortcut, \"Open with\" entry or uninstall entry"
}

# ---- the run

mkdir -p "$WORK/bin"
cp "$PROBE" "$WORK/bin/wizard_probe.exe"
# qvupdate.exe imports hidapi.dll; the simulated one serves it here (build and info only).
cp "$PACKAGER" "$WORK/bin/qvupdate.exe"
cp "$SIM_DLL" "$WORK/bin/"
[ -z "$SHOTS" ] || mkdir -p "$SHOTS"
cp "$(dirname "$PROBE")/system_probe.exe" "$WORK/bin/system_probe.exe"
prepare_prefix
read_base_units
read_version
SETUP_CAPTION="QV firmware updater $VERSION Setup"
UNINSTALL_CAPTION="QV firmware updater $VERSION Uninstall"
case_resources
case_versions
case_console
case_missing_package
case_update
case_same_version
case_continuous
if [ -n "$SETUP" ]; then
  case_zip_contents
  case_file_dialog
  case_install
  case_open_with
  case_drop_on_shortcut
  case_installed_update
  case_upgrade
  case_wizard_running
  case_uninstall
fi
wineserver -k >/dev/null 2>&1 </dev/null || true
echo "$PASSED passed, 0 failed"
