# Helpers of the end-to-end tests that drive the real program under a
# private Xvfb with xdotool (tessaron_e2e.sh, tessaron_windows_e2e.sh, and
# the package test's desktop run).
# Sourced; the caller has `set -euo pipefail` and kills "$xvfb" when done.

fail() {
  echo "FAIL: $*" >&2
  exit 1
}

# A display of our own in DISPLAY: Xvfb picks a free number and writes it to
# fd 3; its pid goes to $xvfb. Without -noreset it would reset whenever its
# last client leaves, and the next start could find it away.
#   start_display WORK_DIR [SCREEN]   (SCREEN: 800x900x24 unless given)
start_display() {
  local work=$1
  Xvfb -displayfd 3 -nolisten tcp -noreset -screen 0 "${2:-800x900x24}" 3>"$work/display" \
    2>"$work/xvfb.log" &
  xvfb=$!
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
}

# A Wine prefix of our own in WORK/prefix, on a display of our own; Wine
# sees the Linux root as drive Z:.
start_wine() {
  export WINEPREFIX="$1/prefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
  wine=/usr/lib/wine/wine64
  start_display "$1"
  "$wine" wineboot --init >/dev/null 2>&1 || fail "no Wine prefix"
}
windows_path() { printf 'Z:%s' "$1" | tr / '\\'; }

# The id of a visible window whose title matches, other than the window
# given second (one that is closing), waiting up to a minute: a loaded
# machine, or a sanitizer build, is slow to draw.
wait_window() {
  local id=""
  for _ in $(seq 600); do
    id=$(xdotool search --onlyvisible --name "$1" 2>/dev/null | grep -vx "${2:-none}" | head -1 || true)
    [ -n "$id" ] && break
    sleep 0.1
  done
  [ -n "$id" ] || fail "no window '$1'"
  echo "$id"
}

# Focuses the window (there is no window manager to activate it), then runs
# xdotool with the rest of the arguments.
press() {
  local window=$1
  shift
  xdotool windowfocus --sync "$window"
  xdotool "$@"
}

# The visible window of the process that shows window MAIN, other than MAIN.
dialog_of() {
  local id
  for id in $(xdotool search --onlyvisible --pid "$(xdotool getwindowpid "$1")" 2>/dev/null); do
    [ "$id" != "$1" ] && echo "$id" && return
  done
  fail "no dialog beside window $1"
}

# Waits for the program started as $app to end and checks its exit code.
expect_exit_0() {
  local code=0
  wait "$app" || code=$?
  app=""
  [ "$code" -eq 0 ] || fail "$1: exit code $code"
}

# The files to carry, in $tree below DIR: nested folders, an empty one,
# Cyrillic names, binary content.
make_tree() {
  tree="$1/src/Отчёт 2026"
  mkdir -p "$tree/docs/deeper" "$tree/empty folder"
  printf 'hello\n' >"$tree/Прочти меня.txt"
  head -c 70000 /dev/urandom >"$tree/docs/blob.bin"
  : >"$tree/docs/deeper/empty.txt"
}

# Seals with the Linux kva ($kva) under $password: kva seal ARGUMENTS.
seal() { echo "$password" | "$kva" seal "$@" --password-stdin >/dev/null; }

# Of the processes PIDS started at once, waits until one is left: it becomes
# $app; the others must have given way with exit code 0.
keep_one_of() {
  local alive=() pid code
  for _ in $(seq 150); do
    alive=()
    for pid in "$@"; do kill -0 "$pid" 2>/dev/null && alive+=("$pid"); done
    [ "${#alive[@]}" -le 1 ] && break
    sleep 0.1
  done
  [ "${#alive[@]}" -eq 1 ] || fail "${#alive[@]} instances run"
  for pid in "$@"; do
    if [ "$pid" != "${alive[0]}" ]; then
      code=0
      wait "$pid" || code=$?
      [ "$code" -eq 0 ] || fail "the start that gave way: exit code $code"
    fi
  done
  app=${alive[0]}
}

# The cases both builds share. Each script defines start DIR [ARGUMENT]
# (the program in the background as $app, its output in $work/app.log),
# run_second DIR ARGUMENT (the program to its end), no_temporary_files
# WHAT, typed_path PATH (a path as the user types it) and trash (the folder
# of the desktop's trash).

# A container whose name has a blank, started as the desktop passes such a
# path (ARGUMENT), decrypted into a folder two levels deep that the run
# creates; "No" to keeping the original moves exactly that file to the
# trash, which says where it came from.
case_nested_folder_original_trashed() {
  local run=$1 argument=$2 main box
  mkdir -p "$run"
  seal "$tree" "$run/secret file.kva"
  cp "$run/secret file.kva" "$work/container"
  touch "$run/secret" "$run/file.kva"          # the halves of the name stay
  start "$run" "$argument"
  main=$(wait_window '^secret file\.kva — Tessaron$')
  press "$main" type --delay 30 "$password"
  press "$main" key Tab End shift+Home
  press "$main" type --delay 10 "$(typed_path "$run/new/deeper")"
  press "$main" key F1
  box=$(wait_window '^Спросить$')
  press "$box" key Return            # create the folders
  box=$(wait_window '^Спросить$' "$box")
  press "$box" key Tab space         # "No": do not keep the original
  expect_exit_0 "success into a new folder"
  diff -r "$tree" "$run/new/deeper/Отчёт 2026" || fail "extracted files differ"
  [ "$(ls "$run")" = "$(printf 'file.kva\nnew\nsecret')" ] || fail "not exactly the original removed"
  cmp "$work/container" "$(trash)/files/secret file.kva" || fail "the original is not in the trash"
  grep -q "^Path=.*secret%20file\.kva$" "$(trash)/info/secret file.kva.trashinfo" ||
    fail "the trash does not say where the original came from"
  no_temporary_files "new folder"
}

# Started without a file, the program asks for it in the file chooser; the
# folder button opens the folder chooser, whose folder the run goes into.
# Esc on the file chooser ends the program quietly.
case_chosen_file_and_folder() {
  local run=$1 main chooser box
  mkdir -p "$run/chosen"
  seal "$tree" "$run/secret.kva"
  start "$run"
  chooser=$(wait_window '^Выберите зашифрованный файл$')
  sleep 0.5
  ! type shot >/dev/null 2>&1 || shot "$chooser" file-chooser
  press "$chooser" type --delay 10 "$(typed_path "$run/secret.kva")"
  press "$chooser" key Return
  main=$(wait_window '^secret\.kva — Tessaron$')
  press "$main" type --delay 30 "$password"
  press "$main" key Tab Tab space     # the button beside the folder box
  chooser=$(wait_window '^Выберите папку$')
  sleep 0.5
  press "$chooser" key ctrl+a
  press "$chooser" type --delay 10 "$(typed_path "$run/chosen")"
  press "$chooser" key Return
  wait_gone "$chooser" '^Выберите папку$'
  press "$main" key F1
  box=$(wait_window '^Спросить$')
  press "$box" key Return            # keep the original
  expect_exit_0 "a chosen file into a chosen folder"
  diff -r "$tree" "$run/chosen/Отчёт 2026" || fail "extracted files differ"
  [ -f "$run/secret.kva" ] || fail "the original was removed"
  start "$run"
  chooser=$(wait_window '^Выберите зашифрованный файл$')
  press "$chooser" key Escape
  expect_exit_0 "the file chooser cancelled"
}

# --help prints and ends; any other option is refused with a box.
case_options() {
  local run=$1 box
  mkdir -p "$run"
  start "$run" --help
  expect_exit_0 "--help"
  grep -q '^usage: tessaron \[FILE\]' "$work/app.log" || fail "--help printed: $(cat "$work/app.log")"
  start "$run" -x
  box=$(wait_window '^Ошибка$')
  press "$box" key Return
  expect_exit_0 "an unknown option"
}

# A start with another container while a run is on gives way; the running
# one says in a box that it did not take the file, and goes on.
case_second_file() {
  local run=$1 main box second=0
  mkdir -p "$run"
  seal "$tree" "$run/secret.kva"
  seal "$tree" "$run/other.kva"
  start "$run" secret.kva
  main=$(wait_window '^secret\.kva — Tessaron$')
  run_second "$run" other.kva || second=$?
  [ "$second" -eq 0 ] || fail "the start with another file: exit code $second"
  box=$(wait_window '^Совет$')
  press "$box" key Return
  kill -0 "$app" 2>/dev/null || fail "the running instance ended"
  press "$main" key F2
  expect_exit_0 "the instance told of another file"
}

# Waits until window ID, titled as NAME matches, is gone.
wait_gone() {
  for _ in $(seq 300); do
    xdotool search --onlyvisible --name "$2" 2>/dev/null | grep -qx "$1" || return 0
    sleep 0.1
  done
  fail "window '$2' stays"
}

# The cases above, one after another, in folders below $work; ARGUMENT is
# "secret file.kva" as the desktop passes it.
cases_both_share() {
  echo "== a path with a blank: success into new folders, exactly that file to the trash"
  case_nested_folder_original_trashed "$work/run 2" "$1"
  echo "== without a file: the file chooser, then the folder chooser"
  case_chosen_file_and_folder "$work/run6"
  echo "== another file while one is open"
  case_second_file "$work/run7"
  echo "== options"
  case_options "$work/run3"
  echo "== wrong password"
  case_wrong_password "$work/run3"
}

# Runs the form shown as window MAIN (the password already typed) with F1,
# answers "Yes" to keeping the original, and checks the files in RUN.
finish_keeping_original() {
  local main=$1 run=$2 box
  press "$main" key F1
  box=$(wait_window '^Спросить$')
  press "$box" key Return            # "Yes": keep the original
  expect_exit_0 "success"
  diff -r "$tree" "$run/Отчёт 2026" || fail "extracted files differ"
  [ -f "$run/secret.kva" ] || fail "the original was deleted"
  no_temporary_files "success"
}

# A wrong password shows the error box and leaves nothing behind.
case_wrong_password() {
  local run=$1 main box
  mkdir -p "$run"
  seal "$tree" "$run/secret.kva"
  start "$run" secret.kva
  main=$(wait_window '^secret\.kva — Tessaron$')
  press "$main" type --delay 30 "not-the-password"
  press "$main" key F1
  box=$(wait_window '^Ошибка$')
  press "$box" key Return
  expect_exit_0 "wrong password"
  [ "$(ls "$run")" = "secret.kva" ] || fail "wrong password left files"
  no_temporary_files "wrong password"
}
