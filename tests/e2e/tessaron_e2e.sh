#!/usr/bin/env bash
# The real tessaron under a private Xvfb, driven with xdotool as a person
# would: type the password, press F1, answer the boxes. Checks the files,
# the exit code 0 of every ending, that no temporary or hidden file is left
# behind, and that exactly one instance runs however starts meet.
#
# usage: tessaron_e2e.sh BIN_DIR WORK_DIR
set -euo pipefail

bin=$(cd "$1" && pwd)
work=$2
rm -rf "$work"
mkdir -p "$work"
work=$(cd "$work" && pwd)

export TMPDIR="$work/tmp"                # the temporary file
export XDG_RUNTIME_DIR="$work/runtime"   # where instances meet
export XDG_DATA_HOME="$work/data"        # the home trash
mkdir -p "$TMPDIR" "$XDG_RUNTIME_DIR"
chmod 700 "$XDG_RUNTIME_DIR"
password='e2e-Passw0rd'

source "$(dirname "$0")/e2e_common.sh"
xvfb=""
app=""
planted=""
pids=()
cleanup() {
  [ -n "$app" ] && kill "$app" 2>/dev/null || true
  [ -n "$planted" ] && kill "$planted" 2>/dev/null || true
  [ "${#pids[@]}" -gt 0 ] && kill "${pids[@]}" 2>/dev/null || true
  [ -n "$xvfb" ] && kill "$xvfb" 2>/dev/null || true
  wait "$xvfb" 2>/dev/null || true
}
trap cleanup EXIT
start_display "$work"

# Starts tessaron in folder DIR with the ARGUMENTS in the background.
start() {
  local dir=$1
  shift
  (cd "$dir" && exec "$bin/tessaron" "$@") >"$work/app.log" 2>&1 &
  app=$!
}

# No file in TMPDIR but the instances' lock (sockets and folders the tests
# plant aside): the decrypted package never has a name there.
no_temporary_files() {
  [ -z "$(find "$TMPDIR" -type f ! -name "*.lock")" ] || fail "$1: temporary file left in $TMPDIR"
}

# No file that unpacking was writing stays under its hidden name below DIR.
no_hidden_files() {
  [ -z "$(find "$2" -name '.kva-*')" ] || fail "$1: hidden file left in $2"
}

kva="$bin/kva"
typed_path() { echo "$1"; }
trash() { echo "$XDG_DATA_HOME/Trash"; }
run_second() { (cd "$1" && timeout 20 "$bin/tessaron" "$2") >/dev/null 2>&1; }
make_tree "$work"
v=$("$kva" --version) && [ "$(timeout 20 "$bin/tessaron" --version)" = "tessaron ${v#kva }" ] || fail "tessaron --version"

echo "== success, original kept; a second start gives way"
mkdir -p "$work/run1"
seal "$tree" "$work/run1/secret.kva"
export TESSARON_SCREEN=240x320
start "$work/run1" secret.kva
main=$(wait_window '^secret\.kva — Tessaron$')
second=0
timeout 20 "$bin/tessaron" "$work/run1/secret.kva" >/dev/null 2>&1 || second=$?
[ "$second" -eq 0 ] || fail "second instance: exit code $second"
kill -0 "$app" 2>/dev/null || fail "the first instance ended"
! xdotool search --onlyvisible --name '^Совет$' >/dev/null 2>&1 || fail "a box for the same file"
press "$main" type --delay 30 "$password"
finish_keeping_original "$main" "$work/run1"

unset TESSARON_SCREEN
cases_both_share '"secret file.kva"'   # as a file manager passes it

echo "== the right soft key closes the program"
start "$work/run3" secret.kva
main=$(wait_window '^secret\.kva — Tessaron$')
press "$main" key F2
expect_exit_0 "closed with F2"

echo "== a command line that names no usable file is refused, not cut"
start "$work/run3" "$work/$(printf 'x%.0s' $(seq 300)).kva"
box=$(wait_window '^Ошибка$')
press "$box" key Return
expect_exit_0 "a path too long"
[ "$(ls "$work/run3")" = "secret.kva" ] || fail "a refused command line left files"

echo "== one instance: nobody else's socket stops a start, nor a leftover"
uid=$(id -u)
# A program of another user listening where instances once met: in the
# shared temporary folder, under the name a start used to look for.
perl -MSocket -MIO::Socket::UNIX -e '$s = IO::Socket::UNIX->new(Type => SOCK_STREAM,
  Local => $ARGV[0], Listen => 5) or die $!; while (my $c = $s->accept) { close $c }' \
  "$TMPDIR/TESSARON-Tessaron-$uid" &
planted=$!
start "$work/run3" secret.kva
main=$(wait_window '^secret\.kva — Tessaron$')
kill "$planted"
planted=""
# Killed at once, like Esc or a crash: its socket stays behind.
kill -KILL "$app"
wait "$app" 2>/dev/null || true
[ -n "$(find "$XDG_RUNTIME_DIR" -type s)" ] || fail "no leftover socket to recover from"
for _ in $(seq 100); do
  xdotool search --onlyvisible --name 'Tessaron$' >/dev/null 2>&1 || break
  sleep 0.1
done
start "$work/run3" secret.kva
main=$(wait_window '^secret\.kva — Tessaron$')
second=0
timeout 20 "$bin/tessaron" "$work/run3/secret.kva" >/dev/null 2>&1 || second=$?
[ "$second" -eq 0 ] || fail "start beside a recovered instance: exit code $second"
kill -0 "$app" 2>/dev/null || fail "the recovered instance ended"
press "$main" key F2
expect_exit_0 "recovered instance"

echo "== one instance: of two starts at once exactly one stays"
# Without XDG_RUNTIME_DIR they meet in a private folder in TMPDIR.
pids=()
for i in 1 2; do
  (cd "$work/run3" && exec env -u XDG_RUNTIME_DIR "$bin/tessaron" secret.kva) \
    >"$work/app$i.log" 2>&1 &
  pids+=($!)
done
main=$(wait_window '^secret\.kva — Tessaron$')
keep_one_of "${pids[@]}"
[ "$(stat -c %a "$TMPDIR/tessaron-$uid")" = 700 ] || fail "the meeting folder is not private"
pids=()
press "$main" key F2
expect_exit_0 "the one of two"

echo "== Esc on the progress dialog ends a long run at once"
mkdir -p "$work/run4/big"
head -c 64M /dev/zero >"$work/run4/big/zeros.bin"
echo "$password" | "$bin/kva" seal "$work/run4/big" "$work/run4/big.kva" --cipher 2 \
  --password-stdin >/dev/null
rm -rf "$work/run4/big"
start "$work/run4" big.kva
main=$(wait_window '^big\.kva — Tessaron$')
press "$main" type --delay 30 "$password"
press "$main" key F1
sleep 0.5  # decrypting (Triple DES, about two seconds)
dialog=$(dialog_of "$main")
press "$dialog" key Escape
expect_exit_0 "cancelled"
no_temporary_files "cancelled"
[ ! -e "$work/run4/big" ] || fail "the cancelled run got as far as unpacking"

echo "== kill -9 while decrypting leaves no plaintext in TMPDIR"
start "$work/run4" big.kva
main=$(wait_window '^big\.kva — Tessaron$')
press "$main" type --delay 30 "$password"
press "$main" key F1
sleep 0.5
dialog_of "$main" >/dev/null
kill -KILL "$app"
wait "$app" 2>/dev/null || true
app=""
no_temporary_files "killed"

echo "== Esc while a large file is being unpacked leaves no hidden file"
mkdir -p "$work/run5/big"
head -c 128M /dev/zero >"$work/run5/big/zeros.bin"
seal "$work/run5/big" "$work/run5/big.kva"
rm -rf "$work/run5/big"
start "$work/run5" big.kva
main=$(wait_window '^big\.kva — Tessaron$')
press "$main" type --delay 30 "$password"
press "$main" key F1
# The moment unpacking makes the file's folder the program is held, so
# that Esc surely arrives while the file (which has no name yet) is being
# written.
SECONDS=0
until [ -d "$work/run5/big" ]; do
  [ "$SECONDS" -lt 60 ] || fail "unpacking did not start"
done
kill -STOP "$app"
[ ! -e "$work/run5/big/zeros.bin" ] || fail "the file was complete before Esc"
dialog=$(dialog_of "$main")
xdotool windowfocus --sync "$dialog" key Escape
kill -CONT "$app"
expect_exit_0 "cancelled while unpacking"
no_hidden_files "cancelled while unpacking" "$work/run5"
no_temporary_files "cancelled while unpacking"
[ ! -e "$work/run5/big/zeros.bin" ] || fail "the file was complete before Esc"
rm -f "$work/run5/big.kva"

echo "PASS"
