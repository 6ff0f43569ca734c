# Helpers of the end-to-end tests that drive the real program under a
# private Xvfb with xdotool (tessaron_e2e.sh, tessaron_windows_e2e.sh).
# Sourced; the caller has `set -euo pipefail` and kills "$xvfb" when done.

fail() {
  echo "FAIL: $*" >&2
  exit 1
}

# A display of our own in DISPLAY: Xvfb picks a free number and writes it to
# fd 3; its pid goes to $xvfb. Without -noreset it would reset whenever its
# last client leaves, and the next start could find it away.
start_display() {
  local work=$1
  Xvfb -displayfd 3 -nolisten tcp -noreset -screen 0 800x900x24 3>"$work/display" \
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
