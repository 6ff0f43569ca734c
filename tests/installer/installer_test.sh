#!/usr/bin/env bash
# The Windows installer under Wine, in a fresh prefix, as a user meets it:
# an older version installed silently, then this one over it (one entry
# left, this version's); the registry holds the .kva association and the
# uninstall entry, the files and the Start menu entry are there; `start`
# (what a double-click does) opens tessaron.exe on a container, which is
# decrypted; the silent uninstall leaves no file and no key of ours.
#
# usage: installer_test.sh MSI STAGE_DIR LINUX_KVA WORK_DIR
#   (STAGE_DIR: the files and tessaron.wxs the MSI was built from)
set -euo pipefail
source "$(dirname "$0")/../e2e/e2e_common.sh"

msi=$(realpath "$1")
stage=$(realpath "$2")
kva=$(realpath -m "$3")
work=$4
[ -x "$kva" ] || fail "no Linux kva at $kva: build the release preset first"
rm -rf "$work"
mkdir -p "$work"
work=$(cd "$work" && pwd)
password='installer-test'
xvfb=""
cleanup() {
  /usr/lib/wine/wineserver -k 2>/dev/null || true
  [ -n "$xvfb" ] && kill "$xvfb" 2>/dev/null || true
  wait "$xvfb" 2>/dev/null || true
}
trap cleanup EXIT
start_wine "$work"
reg() { "$wine" reg "$@" 2>/dev/null | tr -d '\r'; }
msiexec() { "$wine" msiexec "$@" || fail "msiexec $*: exit code $?"; }
# The uninstall entries named Tessaron, as "VERSION" lines (Windows keeps a
# per-user one under HKCU, Wine under HKLM).
entries() {
  for root in HKCU HKLM; do
    reg query "$root\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall" /s
  done | awk '/^HKEY/ { key = $0 } $1 == "DisplayName" && $3 == "Tessaron" { named[key] = 1 }
              $1 == "DisplayVersion" { version[key] = $3 }
              END { for (k in named) print version[k] }'
}

echo "== an older version, then this one over it"
(cd "$stage" && wixl -a x64 -D Version=1.0.1 -o "$work/older.msi" tessaron.wxs)
msiexec /i "$(windows_path "$work/older.msi")" /qn
[ "$(entries)" = "1.0.1" ] || fail "older version: entries '$(entries)'"
msiexec /i "$(windows_path "$msi")" /qn
version=$(msiinfo export "$msi" Property | awk '$1 == "ProductVersion" { print $2 }' | tr -d '\r')
[ "$(entries)" = "$version" ] || fail "after the upgrade: entries '$(entries)', not one of $version"

echo "== the association, the files, the Start menu"
[[ $(reg query 'HKCR\.kva' /ve) == *"Tessaron.Container"* ]] || fail ".kva is not Tessaron's"
[[ $(reg query 'HKCR\Tessaron.Container\shell\open\command' /ve) == *'\tessaron.exe" "%1"'* ]] ||
  fail "the Open verb: $(reg query 'HKCR\Tessaron.Container\shell\open\command' /ve)"
local=$(find "$WINEPREFIX/drive_c/users" -mindepth 3 -maxdepth 3 -type d -path '*/AppData/Local' | head -1)
installed=$local/Programs/Tessaron
for file in tessaron.exe kva.exe kvacore.dll libgcrypt-20.dll libgpg-error-0.dll \
            libwinpthread-1.dll LICENSE.txt THIRD-PARTY-NOTICES.txt README.txt; do
  [ -f "$installed/$file" ] || fail "$file not installed"
done
grep -q "GNU LESSER GENERAL PUBLIC LICENSE" "$installed/THIRD-PARTY-NOTICES.txt" || fail "no LGPL text"
shortcut=$(find "$WINEPREFIX/drive_c/users" -path '*Start Menu/Programs/Tessaron.lnk')
[ -n "$shortcut" ] || fail "no Start menu entry"

echo "== a double-click opens the container in tessaron.exe"
mkdir -p "$work/run/src/Отчёт"
printf 'installed\n' >"$work/run/src/Отчёт/a.txt"
echo "$password" | "$kva" seal "$work/run/src/Отчёт" "$work/run/report.kva" --password-stdin >/dev/null
"$wine" start /unix "$work/run/report.kva"
main=$(wait_window '^report\.kva — Tessaron$')
xdotool windowfocus --sync "$main" type --delay 30 "$password"
xdotool windowfocus --sync "$main" key F1
box=$(wait_window '^Спросить$')
xdotool windowfocus --sync "$box" key Return   # keep the original
for _ in $(seq 100); do
  xdotool search --onlyvisible --name 'Tessaron$' >/dev/null 2>&1 || break
  sleep 0.1
done
diff -r "$work/run/src/Отчёт" "$work/run/Отчёт" || fail "the files differ"

echo "== the silent uninstall leaves nothing of ours"
msiexec /x "$(windows_path "$msi")" /qn
[ -z "$(entries)" ] || fail "uninstall entries left: $(entries)"
[ ! -e "$installed" ] || fail "left: $(find "$installed")"
[ ! -e "$shortcut" ] || fail "Start menu entry left"
for key in 'HKCR\.kva' 'HKCR\Tessaron.Container' 'HKCU\Software\Tessaron'; do
  ! reg query "$key" >/dev/null || fail "$key left"
done
echo "PASS"
