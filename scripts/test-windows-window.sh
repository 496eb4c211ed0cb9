#!/usr/bin/env bash
# The Windows window and its installer under wine, in a fresh prefix on a virtual X
# screen: installs SETUP silently, starts the installed window, checks its title and the
# context-menu keys it writes, splits and joins a file through it with xdotool (the -s
# and -j start options, then clicks), turns the context menu off and on again through its
# settings file, splits and joins again with recovery data (a part deleted before the
# join), uninstalls silently and checks that the files and keys are gone.
# Screenshots go to build/win/screenshots. Called by scripts/test-windows.sh:
#   scripts/test-windows-window.sh SCRATCH_FOLDER SETUP.exe
# Ends with "window: N passed, N failed".
set -uo pipefail
cd "$(dirname "$0")/.." || exit 1

work=$(mktemp -d "$1/window.XXXXXX")
setup=$(realpath "$2")
shots="$PWD/build/win/screenshots"
rm -rf "$shots"
mkdir -p "$shots"
passed=0
failed=0
# shellcheck source=scripts/checks.sh
. scripts/checks.sh

export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
export WINEPREFIX="$work/prefix"

# A screen of our own: Xvfb picks a free display number and writes it to fd 5.
Xvfb -displayfd 5 -screen 0 1024x768x24 -nolisten tcp 5>"$work/display" 2>/dev/null &
xvfb=$!
cleanup() {
  wineserver -k 2>/dev/null
  kill "$xvfb" 2>/dev/null
  wait "$xvfb" 2>/dev/null
}
trap cleanup EXIT
for _ in $(seq 100); do
  [ -s "$work/display" ] && break
  sleep 0.1
done
DISPLAY=":$(cat "$work/display")"
export DISPLAY

wineboot --init >/dev/null 2>&1
wineserver -w

# wait_for SECONDS COMMAND...: true once COMMAND succeeds, false after SECONDS.
wait_for() {
  local deadline=$((SECONDS + $1))
  shift
  until "$@"; do
    [ "$SECONDS" -ge "$deadline" ] && return 1
    sleep 0.5
  done
}
screenshot() {
  xwd -root -silent | xwdtopnm 2>/dev/null | pnmtopng >"$shots/$1.png"
}
windows_path() {
  winepath -w "$1" 2>/dev/null
}
# A key is absent when the query of it fails while one of a key that is always there
# succeeds: a wine that cannot query at all does not pass for a removed key.
key_absent() {
  wine reg query 'HKCU\Software\Classes' >/dev/null 2>&1 || return 2
  ! wine reg query "$1" >/dev/null 2>&1
}
# reg_value KEY [NAME]: the value NAME of KEY (without NAME, its default value), from an
# export of the key: reg query writes in the console's code page, which has no room for
# most letters beyond ASCII, while an export is UTF-16.
reg_value() {
  local label='@='
  [ -n "${2:-}" ] && label="\"$2\"="
  rm -f "$work/key.reg"
  wine reg export "$1" "$(windows_path "$work/key.reg")" /y >/dev/null 2>&1 || return 0
  iconv -f UTF-16 -t UTF-8 "$work/key.reg" | tr -d '\r' |
    awk -v label="$label" 'index($0, "[") == 1 { section++ }
      section == 1 && index($0, label) == 1 { print substr($0, length(label) + 1); exit }' |
    sed -e 's/^"//' -e 's/"$//' -e 's/\\\(.\)/\1/g'
}

wine "$setup" /S
wineserver -w
appdata=$(wine cmd /c 'echo %LOCALAPPDATA%' 2>/dev/null | tr -d '\r')
inst=$(winepath -u "$appdata\\Programs\\Sundrix" 2>/dev/null)
inst=${inst%/}
exe_w="$(windows_path "$inst/sundrix.exe")"
for file in sundrix.exe sundrix-cli.exe uninstall.exe Qt6Core.dll Qt6Gui.dll Qt6Widgets.dll \
  platforms/qwindows.dll libstdc++-6.dll libgcc_s_seh-1.dll libwinpthread-1.dll \
  language/English.ini language/Chinese.ini; do
  check "installed $file" test -f "$inst/$file"
done
languages=("$inst"/language/*.ini)
check "nine language files" test "${#languages[@]}" -eq 9
startmenu=$(winepath -u "$(wine cmd /c 'echo %APPDATA%' 2>/dev/null | tr -d '\r')\\Microsoft\\Windows\\Start Menu\\Programs" 2>/dev/null)
check "Start-menu entry" test -f "${startmenu%/}/Sundrix.lnk"
check "listed among the installed programs" wine reg query \
  'HKCU\Software\Microsoft\Windows\CurrentVersion\Uninstall\Sundrix' /v UninstallString
check "the installed sundrix-cli runs" wine "$inst/sundrix-cli.exe" --version

# The client area (448 x 371 below the menu bar) sits at the bottom of the window with the
# same frame left, right and below; the controls lie at fixed places in it. The tab page
# starts TAB_TOP pixels below the tab widget's top (the tab row and the frame).
TAB_TOP=${TAB_TOP:-21}
window=""
client_click() {
  local X Y WIDTH HEIGHT
  eval "$(xdotool getwindowgeometry --shell "$window" | grep -E '^(X|Y|WIDTH|HEIGHT)=')"
  local border=$(((WIDTH - 448) / 2))
  local left=$((X + border)) top=$((Y + HEIGHT - border - 371))
  xdotool mousemove $((left + $1)) $((top + $2)) click 1
  sleep 0.5
}
# Positions in the client area of the group boxes' controls (tab widget at 8,8; group box
# at 4,4 in the page).
page_click() {
  client_click $((8 + 2 + 4 + $1)) $((8 + TAB_TOP + 4 + $2))
}
window_pid=""
start_window() {
  wine "$inst/sundrix.exe" "$@" >/dev/null 2>&1 &
  window_pid=$!
  window=""
  wait_for 60 find_window
}
find_window() {
  window=$(xdotool search --name '^Sundrix 1\.72$' 2>/dev/null | head -1)
  [ -n "$window" ]
}
# Asks the program's windows to close, as the system does at log-off: a message box that
# is up takes the first request, the main window (which saves its settings) the next.
close_window() {
  local _
  for _ in 1 2 3 4 5; do
    wine taskkill /im sundrix.exe >/dev/null 2>&1
    wait_for 4 no_window && break
  done
  if ! no_window; then
    echo "the window did not close; killed" >&2
    wine taskkill /f /im sundrix.exe >/dev/null 2>&1
  fi
  wineserver -w
}
no_window() {
  local state
  state=$(ps -o stat= -p "$window_pid" 2>/dev/null)
  [ -z "$state" ] || [[ $state == Z* ]]
}
ini_has() {
  grep -q "^$1" "$inst/sundrix.ini" 2>/dev/null
}

head -c 3000000 /dev/urandom >"$work/input.bin"
cp "$work/input.bin" "$work/original.bin"

# Split into 4 parts: -s selects the file, then the number and a click on "Split File".
check "the window starts and shows Sundrix 1.72" start_window -s "$(windows_path "$work/input.bin")"
sleep 2
screenshot split-selected
check "split key names the installed window" test \
  "$(reg_value 'HKCU\Software\Classes\*\shell\split\command')" = "\"$exe_w\" \"-s\" \"%1\""
check "join key names the installed window" test \
  "$(reg_value 'HKCU\Software\Classes\*\shell\join\command')" = "\"$exe_w\" \"-j\" \"%1\""
check "split caption" test -n "$(reg_value 'HKCU\Software\Classes\*\shell\split')"
page_click 315 126
xdotool key ctrl+a
xdotool type 4
page_click 161 262
check "the window split the file" wait_for 60 test -s "$work/input.bin.sha256"
screenshot split-done
check "four parts" test -f "$work/input.bin.004" -a ! -e "$work/input.bin.005"
check "the parts hold the file" cmp "$work/original.bin" <(cat "$work"/input.bin.00[1-4])
close_window
check "the settings file was written on close" ini_has "contextMenu=1"

# Join: -j selects the first part on the Combine tab, then a click on "Combine".
rm "$work/input.bin"
start_window -j "$(windows_path "$work/input.bin.001")"
sleep 2
screenshot join-selected
page_click 161 175
check "the window joined the parts" wait_for 60 test ! -e "$work/input.bin.001"
screenshot join-done
check "the joined file is identical" cmp "$work/original.bin" "$work/input.bin"
close_window

# The context menu turned off in the settings file: the keys go at the next start.
sed -i 's/^contextMenu=1/contextMenu=0/' "$inst/sundrix.ini"
start_window
sleep 2
check "context menu off removes the split key" key_absent 'HKCU\Software\Classes\*\shell\split'
check "context menu off removes the join key" key_absent 'HKCU\Software\Classes\*\shell\join'
close_window
sed -i 's/^contextMenu=0/contextMenu=1/' "$inst/sundrix.ini"
start_window
sleep 2
check "context menu on writes the key again" test -n \
  "$(reg_value 'HKCU\Software\Classes\*\shell\split\command')"
close_window

# Options > recovery data, one part, through the settings file: the window's split writes
# recovery files that par2 takes, and its join rebuilds a deleted part from them.
sed -i 's/^recovery=.*/recovery=1/' "$inst/sundrix.ini"
check "the settings file holds the recovery choice" ini_has "recovery=1"
start_window -s "$(windows_path "$work/input.bin")"
sleep 2
page_click 315 126
xdotool key ctrl+a
xdotool type 4
page_click 161 262
check "the window split with recovery data" wait_for 60 test -s "$work/input.bin.vol00+01.par2"
screenshot recovery-split-done
close_window
check "par2 verifies the window's recovery files" par2 verify -q "$work/input.bin.par2"
rm "$work/input.bin" "$work/input.bin.003"
start_window -j "$(windows_path "$work/input.bin.001")"
sleep 2
page_click 161 175
check "the window rebuilt and joined" wait_for 60 test ! -e "$work/input.bin.001"
sleep 3
screenshot recovery-join-done
# The box that names the rebuilt part takes no close request under wine: its button does.
xdotool key Return
close_window
check "the file joined with a rebuilt part is identical" cmp "$work/original.bin" "$work/input.bin"
rm -f "$work"/input.bin.*par2
sed -i 's/^recovery=.*/recovery=none/' "$inst/sundrix.ini"

# A file of the user's in the program's folder survives the uninstall, with the folder;
# so does a verb of the same name that another program took over.
echo mine >"$inst/notes.txt"
wine reg add 'HKCU\Software\Classes\*\shell\join\command' /ve /d '"C:\other.exe" "%1"' /f \
  >/dev/null 2>&1
wine "$inst/uninstall.exe" /S
wineserver -w
wait_for 30 test ! -e "$inst/uninstall.exe"
for file in sundrix.exe sundrix-cli.exe uninstall.exe Qt6Core.dll platforms language \
  sundrix.ini; do
  check "uninstalled $file" test ! -e "$inst/$file"
done
check "the user's file stays" test -f "$inst/notes.txt"
check "Start-menu entry removed" test ! -e "${startmenu%/}/Sundrix.lnk"
check "split key removed" key_absent 'HKCU\Software\Classes\*\shell\split'
check "another program's join key stays" test \
  "$(reg_value 'HKCU\Software\Classes\*\shell\join\command')" = '"C:\other.exe" "%1"'
check "no longer listed" key_absent 'HKCU\Software\Microsoft\Windows\CurrentVersion\Uninstall\Sundrix'

# Two copies: the default folder again, then (the last install) one in a folder with
# spaces and letters beyond ASCII. NSIS takes everything after /D= as the folder,
# unquoted, while wine quotes an argument that has a space: the path goes in as words.
wine "$setup" /S
wineserver -w
other_w='C:\Program Files\Sündrix Ω'
wine "$setup" /S '/D=C:\Program' 'Files\Sündrix' 'Ω'
wineserver -w
other=$(winepath -u "$other_w" 2>/dev/null)
other=${other%/}
check "installed with /D= in $other_w" test -f "$other/sundrix.exe"
check "/D= listed as the install" test "$(reg_value \
  'HKCU\Software\Microsoft\Windows\CurrentVersion\Uninstall\Sundrix' InstallLocation)" = "$other_w"
inst="$other"
check "the window starts from $other_w" start_window
close_window
check "split key quotes the path with spaces" test \
  "$(reg_value 'HKCU\Software\Classes\*\shell\split\command')" = "\"$other_w\\sundrix.exe\" \"-s\" \"%1\""
# Uninstalling the first copy leaves what belongs to the second.
wine "$(winepath -u "$appdata\\Programs\\Sundrix")/uninstall.exe" /S
wineserver -w
check "the first copy is uninstalled" wait_for 30 test ! -e "$(winepath -u "$appdata\\Programs\\Sundrix")/sundrix.exe"
check "the second copy's split key stays" test -n \
  "$(reg_value 'HKCU\Software\Classes\*\shell\split\command')"
check "the second copy stays listed" wine reg query \
  'HKCU\Software\Microsoft\Windows\CurrentVersion\Uninstall\Sundrix' /v UninstallString
check "the second copy's Start-menu entry stays" test -f "${startmenu%/}/Sundrix.lnk"
wine "$other/uninstall.exe" /S
wineserver -w
wait_for 30 test ! -e "$other/uninstall.exe"
check "the second copy is uninstalled, folder and all" test ! -e "$other"
check "its split key removed" key_absent 'HKCU\Software\Classes\*\shell\split'
check "its Start-menu entry removed" test ! -e "${startmenu%/}/Sundrix.lnk"
check "no copy listed" key_absent 'HKCU\Software\Microsoft\Windows\CurrentVersion\Uninstall\Sundrix'

echo "window: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
