#!/bin/sh
# Runs a cross-built Windows program under Wine: the windows preset's
# CMAKE_CROSSCOMPILING_EMULATOR, so ctest (and the discovery of each test
# executable's cases) goes through here.
#   wine-run.sh PREFIX PROGRAM.exe [ARGUMENTS...]
#
# Wine's background processes (its server, the services, the desktop) start
# with the first program and outlive it, keeping whatever standard output
# and error they inherited. Were that ctest's pipe, ctest would wait for
# them to end; so the program writes into a file here, which is shown once
# it is done. A server that stays 30 s after the last program saves its
# start-up cost between tests.
set -u
export WINEPREFIX="$1"
shift
export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
/usr/lib/wine/wineserver -p30 </dev/null >/dev/null 2>&1
log=$(mktemp)
/usr/lib/wine/wine64 "$@" </dev/null >"$log" 2>&1
status=$?
cat "$log"
rm -f "$log"
exit $status
