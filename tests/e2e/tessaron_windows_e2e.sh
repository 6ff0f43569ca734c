#!/usr/bin/env bash
# tessaron.exe under Wine and a private Xvfb, driven with xdotool as a
# person would: containers sealed by the Linux kva (so they cross from Linux
# to Windows too) are opened by typing the password and pressing F1, and the
# boxes are answered. Checks the files with diff -r, the exit code 0 of every
# ending, that no temporary file is left in Wine's temporary folder, that a
# wrong password shows the error box, and that of several starts exactly one
# runs. Saves screenshots of the form, the progress dialog and the about box
# into SHOTS_DIR (and the three side by side as tessaron-windows.png).
#
# usage: tessaron_windows_e2e.sh WINDOWS_BIN_DIR LINUX_KVA WORK_DIR SHOTS_DIR
set -euo pipefail
source "$(dirname "$0")/e2e_common.sh"

bin=$(cd "$1" && pwd)
kva=$(realpath -m "$2")
work=$3
shots=$4
[ -x "$kva" ] || fail "no Linux kva at $kva: build the release preset first" \
  "(cmake --preset release && cmake --build --preset release)"
rm -rf "$work"
mkdir -p "$work" "$shots"
work=$(cd "$work" && pwd)
password='e2e-Passw0rd'

# Wine's Recycle Bin is the freedesktop.org trash of XDG_DATA_HOME.
export XDG_DATA_HOME="$work/data"
xvfb=""
app=""
pids=()
cleanup() {
  [ -n "$app" ] && kill "$app" 2>/dev/null || true
  [ "${#pids[@]}" -gt 0 ] && kill "${pids[@]}" 2>/dev/null || true
  /usr/lib/wine/wineserver -k 2>/dev/null || true
  [ -n "$xvfb" ] && kill "$xvfb" 2>/dev/null || true
  wait "$xvfb" 2>/dev/null || true
}
trap cleanup EXIT
# A Wine prefix of our own: its temporary folder holds only this test's files.
start_wine "$work"
# Windows links its dialog font to CJK fonts for the about box's 解密 and
# 版; Wine has no such fonts of its own, so it is shown Debian's.
"$wine" reg add 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\FontLink\SystemLink' \
  /v Tahoma /t REG_MULTI_SZ /d 'NotoSansCJK-Regular.ttc,Noto Sans CJK SC' /f >/dev/null 2>&1
temp=$(find "$WINEPREFIX/drive_c/users" -mindepth 2 -maxdepth 2 -type d -name Temp | head -1)
[ -d "$temp" ] || fail "no temporary folder in the Wine prefix"

# Starts tessaron.exe in folder DIR with the ARGUMENT, if any, as a
# double-click does: Wine quotes an argument with blanks in the command line.
start() {
  local dir=$1
  shift
  (cd "$dir" && exec "$wine" "$bin/tessaron.exe" "$@") >"$work/app.log" 2>&1 &
  app=$!
}
run_second() { (cd "$1" && timeout 30 "$wine" "$bin/tessaron.exe" "$2") >/dev/null 2>&1; }
trash() { echo "$XDG_DATA_HOME/Trash"; }

# The centre of window ID: "x y".
centre() {
  xdotool getwindowgeometry --shell "$1" | awk -F= '/^X=/ { x = $2 } /^Y=/ { y = $2 }
    /^WIDTH=/ { w = $2 } /^HEIGHT=/ { h = $2 } END { print x + int(w / 2), y + int(h / 2) }'
}
# Fails unless the centres of windows A and B lie within 40 pixels.
centred() {
  local ax ay bx by
  read -r ax ay < <(centre "$1")
  read -r bx by < <(echo "$2")
  [ $((ax > bx ? ax - bx : bx - ax)) -le 40 ] && [ $((ay > by ? ay - by : by - ay)) -le 40 ] ||
    fail "$3: centred at $ax,$ay rather than $bx,$by"
}

# GetTempFileNameW keeps three characters of the prefix: $kvXXXX.tmp.
temporary_files() { find "$temp" -maxdepth 1 -name '$kv*.tmp'; }
no_temporary_files() {
  [ -z "$(temporary_files)" ] || fail "$1: temporary file left in $temp"
}

shot() { import -window "$1" "$shots/$2.png"; }

typed_path() { windows_path "$1"; }
make_tree "$work"

echo "== of two starts at once exactly one stays, a later start gives way; success, original kept"
mkdir -p "$work/run1"
seal "$tree" "$work/run1/secret.kva"
export TESSARON_SCREEN=240x320    # the device's own size, for the screenshots
for i in 1 2; do
  (cd "$work/run1" && exec "$wine" "$bin/tessaron.exe" secret.kva) >"$work/app$i.log" 2>&1 &
  pids+=($!)
done
main=$(wait_window '^secret\.kva — Tessaron$')
keep_one_of "${pids[@]}"
# The window in the middle of the screen, a box in the middle of the window.
read -r width height < <(xdotool getdisplaygeometry)
centred "$main" "$((width / 2)) $((height / 2))" "the main window"
press "$main" key F1
box=$(wait_window '^Совет$')
sleep 0.3
centred "$box" "$(centre "$main")" "a box"
press "$box" key Return
pids=()
second=0
(cd "$work/run1" && timeout 30 "$wine" "$bin/tessaron.exe" secret.kva) >/dev/null 2>&1 || second=$?
[ "$second" -eq 0 ] || fail "a later start: exit code $second"
kill -0 "$app" 2>/dev/null || fail "the running instance ended"
press "$main" type --delay 30 "$password"
shot "$main" form
press "$main" key ctrl+a
about=$(wait_window '^ $')
sleep 0.5
shot "$about" about
press "$about" key Return          # its OK button
wait_gone "$about" '^ $'
finish_keeping_original "$main" "$work/run1"

unset TESSARON_SCREEN
cases_both_share "secret file.kva"   # Wine quotes it

echo "== Esc on the progress dialog ends a long run at once"
mkdir -p "$work/run4/big"
head -c 64M /dev/zero >"$work/run4/big/zeros.bin"
seal "$work/run4/big" "$work/run4/big.kva" --cipher 2
rm -rf "$work/run4/big"
export TESSARON_SCREEN=240x320
start "$work/run4" big.kva
main=$(wait_window '^big\.kva — Tessaron$')
press "$main" type --delay 30 "$password"
press "$main" key F1
for _ in $(seq 200); do
  [ -n "$(temporary_files)" ] && break
  sleep 0.05
done
[ -n "$(temporary_files)" ] || fail "the run did not start"
dialog=$(dialog_of "$main")
sleep 0.3
shot "$dialog" progress
press "$dialog" key Escape
expect_exit_0 "cancelled"
no_temporary_files "cancelled"
[ ! -e "$work/run4/big" ] || fail "the cancelled run got as far as unpacking"
unset TESSARON_SCREEN

# The three side by side, as the Linux ones in docs/.
convert "$shots/form.png" "$shots/progress.png" "$shots/about.png" -background '#808080' \
  -splice 3x0 +append -chop 3x0 "$shots/tessaron-windows.png"
echo "PASS"
