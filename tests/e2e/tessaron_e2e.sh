#!/usr/bin/env bash
# tessaron_e2e.sh BIN_DIR WORK_DIR: the real tessaron under a private Xvfb,
# driven with xdotool as a person would. Checks the files, exit code 0 on
# every ending, no temporary or hidden file left, exactly one instance.
set -euo pipefail

bin=$(cd "$1" && pwd)
rm -rf "$2" && mkdir -p "$2"
work=$(cd "$2" && pwd)
export TMPDIR="$work/tmp" XDG_RUNTIME_DIR="$work/runtime"   # the temporary file; where instances meet
mkdir -p "$TMPDIR" "$XDG_RUNTIME_DIR" && chmod 700 "$XDG_RUNTIME_DIR"
password='e2e-Passw0rd'
fail() { echo "FAIL: $*" >&2; exit 1; }

# Xvfb picks a free display and writes it to fd 3; -noreset keeps it up.
Xvfb -displayfd 3 -nolisten tcp -noreset -screen 0 800x900x24 3>"$work/display" 2>"$work/xvfb.log" &
xvfb=$! app="" planted="" pids=()
trap 'kill $app $planted "${pids[@]}" "$xvfb" 2>/dev/null || true; wait "$xvfb" 2>/dev/null || true' EXIT
for _ in $(seq 100); do [ -s "$work/display" ] && break; sleep 0.1; done
export DISPLAY=":$(cat "$work/display")"
for _ in $(seq 100); do xdotool getdisplaygeometry >/dev/null 2>&1 && break; sleep 0.1; done
xdotool getdisplaygeometry >/dev/null 2>&1 || fail "Xvfb does not answer on $DISPLAY"

# A visible window whose title matches, other than $2 (closing), within 20 s.
wait_window() {
  local id=""
  for _ in $(seq 200); do
    id=$(xdotool search --onlyvisible --name "$1" 2>/dev/null | grep -vx "${2:-none}" | head -1 || true)
    [ -n "$id" ] && echo "$id" && return
    sleep 0.1
  done
  fail "no window '$1'"
}
press() { xdotool windowfocus --sync "$1" && xdotool "${@:2}"; }  # no window manager to activate it
start() { (cd "$1" && exec "$bin/tessaron" "${@:2}") >"$work/app.log" 2>&1 & app=$!; }  # in DIR with ARGUMENTS
ended() {  # exit code 0, no temporary file left
  local code=0
  wait "$app" || code=$?
  app=""
  [ "$code" -eq 0 ] || fail "$1: exit code $code"
  ! ls "$TMPDIR" | grep -q '^\$kva@tmp' || fail "$1: temporary file left in $TMPDIR"
}
# In DIR on FILE, types the password (or $3) and presses F1.
decrypt() { start "$1" "$2" && main=$(wait_window '^Tessaron$') && type_password "${3:-$password}" && press "$main" key F1; }
type_password() { press "$main" type --delay 30 "$1"; }
dialog() { xdotool search --onlyvisible --pid "$app" 2>/dev/null | grep -vx "$main" | head -1; }  # not the main one
seal() { echo "$password" | "$bin/kva" seal "$@" --password-stdin >/dev/null; }

tree="$work/src/Отчёт 2026"
mkdir -p "$tree/docs/deeper" "$tree/empty folder"
printf 'hello\n' >"$tree/Прочти меня.txt"
head -c 70000 /dev/urandom >"$tree/docs/blob.bin"
: >"$tree/docs/deeper/empty.txt"

echo "== success, original kept; a second start gives way"
mkdir -p "$work/run1" && seal "$tree" "$work/run1/secret.kva"
TESSARON_SCREEN=240x320 start "$work/run1" secret.kva
main=$(wait_window '^Tessaron$')
timeout 20 "$bin/tessaron" "$work/run1/secret.kva" >/dev/null 2>&1 || fail "second instance: exit code $?"
kill -0 "$app" 2>/dev/null || fail "the first instance ended"
type_password "$password" && press "$main" key F1
press "$(wait_window '^Спросить$')" key Return   # "Да": keep the original
ended "success"
diff -r "$tree" "$work/run1/Отчёт 2026" || fail "extracted files differ"
[ -f "$work/run1/secret.kva" ] || fail "the original was deleted"

echo "== a quoted path with a blank: success into a new folder, exactly that file deleted"
run2="$work/run 2"
mkdir -p "$run2" && seal "$tree" "$run2/secret file.kva"
touch "$run2/secret" "$run2/file.kva"   # the halves of the name stay
start "$run2" '"secret file.kva"'       # as a file manager passes it
main=$(wait_window '^Tessaron$')
type_password "$password" && press "$main" key Tab End shift+Home
press "$main" type --delay 10 "$run2/new" && press "$main" key F1
box=$(wait_window '^Спросить$')
press "$box" key Return                 # create the folder
press "$(wait_window '^Спросить$' "$box")" key Tab space   # "Нет": do not keep the original
ended "success into a new folder"
diff -r "$tree" "$run2/new/Отчёт 2026" || fail "extracted files differ"
[ "$(ls "$run2")" = "$(printf 'file.kva\nnew\nsecret')" ] || fail "not exactly the original deleted"

echo "== wrong password; the right soft key; command lines that name no usable file"
mkdir -p "$work/run3" && seal "$tree" "$work/run3/secret.kva"
decrypt "$work/run3" secret.kva not-the-password
press "$(wait_window '^Ошибка$')" key Return
ended "wrong password"
start "$work/run3" secret.kva
press "$(wait_window '^Tessaron$')" key F2
ended "closed with F2"
for line in none '' '""' "$work/$(printf 'x%.0s' $(seq 300)).kva"; do   # refused, not cut
  if [ "$line" = none ]; then start "$work/run3"; else start "$work/run3" "$line"; fi
  press "$(wait_window '^Ошибка$')" key Return
  ended "command line [$line]"
done
[ "$(ls "$work/run3")" = "secret.kva" ] || fail "a refused run left files"

echo "== one instance: nobody else's socket stops a start, nor a leftover"
uid=$(id -u)
# Another user's program listening where instances once met, under that name.
perl -MSocket -MIO::Socket::UNIX -e '$s = IO::Socket::UNIX->new(Type => SOCK_STREAM,
  Local => $ARGV[0], Listen => 5) or die $!; while (my $c = $s->accept) { close $c }' \
  "$TMPDIR/TESSARON-Tessaron-$uid" &
planted=$!
start "$work/run3" secret.kva
wait_window '^Tessaron$' >/dev/null
kill "$planted" && planted=""
kill -KILL "$app" && wait "$app" 2>/dev/null || true   # killed at once, like a crash: its socket stays
[ -n "$(find "$XDG_RUNTIME_DIR" -type s)" ] || fail "no leftover socket to recover from"
for _ in $(seq 100); do xdotool search --onlyvisible --name '^Tessaron$' >/dev/null 2>&1 || break; sleep 0.1; done
start "$work/run3" secret.kva
main=$(wait_window '^Tessaron$')
timeout 20 "$bin/tessaron" "$work/run3/secret.kva" >/dev/null 2>&1 || fail "start beside a recovered instance: $?"
kill -0 "$app" 2>/dev/null || fail "the recovered instance ended"
press "$main" key F2
ended "recovered instance"

echo "== one instance: of two starts at once exactly one stays"
# Without XDG_RUNTIME_DIR they meet in a private folder in TMPDIR.
for i in 1 2; do
  (cd "$work/run3" && exec env -u XDG_RUNTIME_DIR "$bin/tessaron" secret.kva) >"$work/app$i.log" 2>&1 &
  pids+=($!)
done
main=$(wait_window '^Tessaron$')
for _ in $(seq 100); do
  alive=()
  for pid in "${pids[@]}"; do kill -0 "$pid" 2>/dev/null && alive+=("$pid"); done
  [ "${#alive[@]}" -le 1 ] && break
  sleep 0.1
done
[ "${#alive[@]}" -eq 1 ] || fail "${#alive[@]} instances run"
for pid in "${pids[@]}"; do [ "$pid" = "${alive[0]}" ] || wait "$pid" || fail "the start that gave way: exit code $?"; done
[ "$(stat -c %a "$TMPDIR/tessaron-$uid")" = 700 ] || fail "the meeting folder is not private"
app=${alive[0]} pids=()
press "$main" key F2
ended "the one of two"

echo "== Esc on the progress dialog ends a long run at once"
mkdir -p "$work/run4/big" && head -c 64M /dev/zero >"$work/run4/big/zeros.bin"
seal "$work/run4/big" "$work/run4/big.kva" --cipher 2 && rm -rf "$work/run4/big"
decrypt "$work/run4" big.kva
for _ in $(seq 200); do ls "$TMPDIR" | grep -q '^\$kva@tmp' && break; sleep 0.05; done
ls "$TMPDIR" | grep -q '^\$kva@tmp' || fail "the run did not start"
press "$(dialog)" key Escape
ended "cancelled"
[ ! -e "$work/run4/big" ] || fail "the cancelled run got as far as unpacking"

echo "== Esc while a large file is being unpacked leaves no hidden file"
mkdir -p "$work/run5/big" && head -c 128M /dev/zero >"$work/run5/big/zeros.bin"
seal "$work/run5/big" "$work/run5/big.kva" && rm -rf "$work/run5/big"
decrypt "$work/run5" big.kva
# Held once the file appears under its hidden name: Esc comes while it is written.
SECONDS=0
until compgen -G "$work/run5/big/.kva-*" >/dev/null; do [ "$SECONDS" -lt 60 ] || fail "unpacking did not start"; done
kill -STOP "$app"
compgen -G "$work/run5/big/.kva-*" >/dev/null || fail "the file was complete before Esc"
xdotool windowfocus --sync "$(dialog)" key Escape
kill -CONT "$app"
ended "cancelled while unpacking"
[ -z "$(find "$work/run5" -name '.kva-*')" ] || fail "hidden file left behind"
[ ! -e "$work/run5/big/zeros.bin" ] || fail "the file was complete before Esc"
rm -f "$work/run5/big.kva"
echo "PASS"
