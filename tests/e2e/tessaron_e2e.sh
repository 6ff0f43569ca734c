#!/usr/bin/env bash
# The real tessaron under a private Xvfb, driven with xdotool as a person
# would: type the password, press F1, answer the boxes. Checks the files,
# the exit code 0 of every ending, that no temporary file is left behind,
# and that a second start gives way to the first.
#
# usage: tessaron_e2e.sh BIN_DIR WORK_DIR
set -euo pipefail

bin=$(cd "$1" && pwd)
work=$2
rm -rf "$work"
mkdir -p "$work"
work=$(cd "$work" && pwd)

export TMPDIR="$work/tmp"                # the temporary file and the instance socket
export XDG_RUNTIME_DIR="$work/runtime"
mkdir -p "$TMPDIR" "$XDG_RUNTIME_DIR"
chmod 700 "$XDG_RUNTIME_DIR"
password='e2e-Passw0rd'

fail() {
  echo "FAIL: $*" >&2
  exit 1
}

# A display of our own: Xvfb picks a free number and writes it to fd 3.
# Without -noreset it would reset whenever its last client leaves, and the
# next start could find it away.
Xvfb -displayfd 3 -nolisten tcp -noreset -screen 0 800x900x24 3>"$work/display" \
  2>"$work/xvfb.log" &
xvfb=$!
app=""
cleanup() {
  [ -n "$app" ] && kill "$app" 2>/dev/null || true
  kill "$xvfb" 2>/dev/null || true
  wait "$xvfb" 2>/dev/null || true
}
trap cleanup EXIT
for _ in $(seq 100); do
  [ -s "$work/display" ] && break
  sleep 0.1
done
[ -s "$work/display" ] || fail "Xvfb did not start"
export DISPLAY=":$(cat "$work/display")"
for _ in $(seq 100); do
  xdotool getdisplaygeometry >/dev/null 2>&1 && break
  sleep 0.1
done
xdotool getdisplaygeometry >/dev/null 2>&1 || fail "Xvfb does not answer on $DISPLAY"

# The id of a visible window whose title matches, other than the window
# given second (one that is closing), waiting up to 20 s.
wait_window() {
  local id=""
  for _ in $(seq 200); do
    id=$(xdotool search --onlyvisible --name "$1" 2>/dev/null | grep -vx "${2:-none}" | head -1 || true)
    [ -n "$id" ] && break
    sleep 0.1
  done
  [ -n "$id" ] || fail "no window '$1'"
  echo "$id"
}

# Focuses the window (there is no window manager to activate it).
press() {
  local window=$1
  shift
  xdotool windowfocus --sync "$window"
  xdotool "$@"
}

# Starts tessaron on FILE in folder DIR in the background.
start() {
  (cd "$2" && exec "$bin/tessaron" "$1") >"$work/app.log" 2>&1 &
  app=$!
}

# Waits for tessaron to end and checks its exit code.
expect_exit_0() {
  local code=0
  wait "$app" || code=$?
  app=""
  [ "$code" -eq 0 ] || fail "$1: exit code $code"
}

no_temporary_files() {
  ! ls "$TMPDIR" | grep -q '^\$kva@tmp' || fail "$1: temporary file left in $TMPDIR"
}

# The files to carry: nested folders, an empty one, Cyrillic names, binary content.
tree="$work/src/Отчёт 2026"
mkdir -p "$tree/docs/deeper" "$tree/empty folder"
printf 'hello\n' >"$tree/Прочти меня.txt"
head -c 70000 /dev/urandom >"$tree/docs/blob.bin"
: >"$tree/docs/deeper/empty.txt"
seal() { echo "$password" | "$bin/kva" seal "$@" --password-stdin >/dev/null; }

echo "== success, original kept; a second start gives way"
mkdir -p "$work/run1"
seal "$tree" "$work/run1/secret.kva"
export TESSARON_SCREEN=240x320
start secret.kva "$work/run1"
main=$(wait_window '^Tessaron$')
second=0
timeout 20 "$bin/tessaron" "$work/run1/secret.kva" >/dev/null 2>&1 || second=$?
[ "$second" -eq 0 ] || fail "second instance: exit code $second"
kill -0 "$app" 2>/dev/null || fail "the first instance ended"
press "$main" type --delay 30 "$password"
press "$main" key F1
box=$(wait_window '^Спросить$')
press "$box" key Return            # "Да": keep the original
expect_exit_0 "success"
diff -r "$tree" "$work/run1/Отчёт 2026" || fail "extracted files differ"
[ -f "$work/run1/secret.kva" ] || fail "the original was deleted"
no_temporary_files "success"

echo "== success into a new folder, original deleted"
unset TESSARON_SCREEN
mkdir -p "$work/run2"
seal "$tree" "$work/run2/secret.kva"
start secret.kva "$work/run2"
main=$(wait_window '^Tessaron$')
press "$main" type --delay 30 "$password"
press "$main" key Tab End shift+Home
press "$main" type --delay 10 "$work/run2/new"
press "$main" key F1
box=$(wait_window '^Спросить$')
press "$box" key Return            # create the folder
box=$(wait_window '^Спросить$' "$box")
press "$box" key Tab space         # "Нет": do not keep the original
expect_exit_0 "success into a new folder"
diff -r "$tree" "$work/run2/new/Отчёт 2026" || fail "extracted files differ"
[ ! -e "$work/run2/secret.kva" ] || fail "the original was kept"
no_temporary_files "new folder"

echo "== wrong password"
mkdir -p "$work/run3"
seal "$tree" "$work/run3/secret.kva"
start secret.kva "$work/run3"
main=$(wait_window '^Tessaron$')
press "$main" type --delay 30 "not-the-password"
press "$main" key F1
box=$(wait_window '^Ошибка$')
press "$box" key Return
expect_exit_0 "wrong password"
[ "$(ls "$work/run3")" = "secret.kva" ] || fail "wrong password left files"
no_temporary_files "wrong password"

echo "== the right soft key closes the program"
start secret.kva "$work/run3"
main=$(wait_window '^Tessaron$')
press "$main" key F2
expect_exit_0 "closed with F2"

echo "== a command line too long for a path is refused, not cut"
start "$work/$(printf 'x%.0s' $(seq 300)).kva" "$work"
box=$(wait_window '^Ошибка$')
press "$box" key Return
expect_exit_0 "long command line"

echo "== Esc on the progress dialog ends a long run at once"
mkdir -p "$work/run4/big"
head -c 64M /dev/zero >"$work/run4/big/zeros.bin"
echo "$password" | "$bin/kva" seal "$work/run4/big" "$work/run4/big.kva" --cipher 2 \
  --password-stdin >/dev/null
rm -rf "$work/run4/big"
start big.kva "$work/run4"
main=$(wait_window '^Tessaron$')
press "$main" type --delay 30 "$password"
press "$main" key F1
for _ in $(seq 200); do
  ls "$TMPDIR" | grep -q '^\$kva@tmp' && break
  sleep 0.05
done
ls "$TMPDIR" | grep -q '^\$kva@tmp' || fail "the run did not start"
dialog=""
for id in $(xdotool search --onlyvisible --pid "$app" 2>/dev/null); do
  [ "$id" != "$main" ] && dialog=$id
done
[ -n "$dialog" ] || fail "no progress dialog"
press "$dialog" key Escape
expect_exit_0 "cancelled"
no_temporary_files "cancelled"
[ ! -e "$work/run4/big" ] || fail "the cancelled run got as far as unpacking"

echo "PASS"
