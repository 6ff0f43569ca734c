#!/usr/bin/env bash
# The Debian package as a user gets it: cpack builds it from the build tree,
# its file list and modes are checked, lintian must find no error or
# warning, and the package is unpacked with dpkg-deb -x into a scratch root,
# from where kva and tessaron run (which proves the relative RUNPATH) and the
# freedesktop tools read its desktop entry, metainfo, MIME type, manual
# pages and completion. tessaron runs under Xvfb with a real window manager
# (openbox): its window is decorated with its title and icon, and a message
# box sits centred over it; screenshots in both languages land in
# BUILD_DIR/screenshots/desktop-ru.png and desktop-en.png.
#
# usage: package_test.sh BUILD_DIR WORK_DIR
set -euo pipefail

build=$(cd "$1" && pwd)
work=$2
rm -rf "$work"
mkdir -p "$work"
work=$(cd "$work" && pwd)
password='package-test'
started=$SECONDS

source "$(dirname "$0")/../e2e/e2e_common.sh"  # fail, start_display, wait_window, expect_exit_0
step() { echo "== $* ($((SECONDS - started)) s)"; }

step "cpack -G DEB"
cpack -G DEB --config "$build/CPackConfig.cmake" -B "$work/deb" >"$work/cpack.log" 2>&1 ||
  { cat "$work/cpack.log"; fail "cpack"; }
debs=("$work"/deb/tessaron_*.deb)
[ ${#debs[@]} -eq 1 ] && [ -f "${debs[0]}" ] || fail "not one package: ${debs[*]}"
deb=${debs[0]}
triplet=$(dpkg-architecture -qDEB_HOST_MULTIARCH)

step "file list and modes"
# Every file and link with its mode and owner; folders are all 0755 root.
cat >"$work/expected" <<EOF
-rwxr-xr-x root/root ./usr/bin/kva
-rwxr-xr-x root/root ./usr/bin/tessaron
lrwxrwxrwx root/root ./usr/lib/$triplet/tessaron/libkvacore.so.1 -> libkvacore.so.1.0.0
-rw-r--r-- root/root ./usr/lib/$triplet/tessaron/libkvacore.so.1.0.0
-rw-r--r-- root/root ./usr/share/applications/org.tessaron.Tessaron.desktop
-rw-r--r-- root/root ./usr/share/bash-completion/completions/kva
-rw-r--r-- root/root ./usr/share/doc/tessaron/FORMAT.md
-rw-r--r-- root/root ./usr/share/doc/tessaron/SECURITY.md
-rw-r--r-- root/root ./usr/share/doc/tessaron/changelog.gz
-rw-r--r-- root/root ./usr/share/doc/tessaron/copyright
-rw-r--r-- root/root ./usr/share/icons/hicolor/scalable/apps/org.tessaron.Tessaron.svg
-rw-r--r-- root/root ./usr/share/man/man1/kva.1.gz
-rw-r--r-- root/root ./usr/share/man/man1/tessaron.1.gz
-rw-r--r-- root/root ./usr/share/metainfo/org.tessaron.Tessaron.metainfo.xml
-rw-r--r-- root/root ./usr/share/mime/packages/tessaron.xml
EOF
for size in 16 22 24 32 48 64 128 256; do
  echo "-rw-r--r-- root/root ./usr/share/icons/hicolor/${size}x$size/apps/org.tessaron.Tessaron.png" >>"$work/expected"
done
dpkg-deb -c "$deb" >"$work/contents"
awk '$1 !~ /^d/ { $3 = $4 = $5 = ""; print }' "$work/contents" | tr -s ' ' | sort -k3 >"$work/actual"
sort -k3 -o "$work/expected" "$work/expected"
diff -u "$work/expected" "$work/actual" || fail "file list"
! awk '$1 ~ /^d/ && ($1 != "drwxr-xr-x" || $2 != "root/root")' "$work/contents" | grep . ||
  fail "folders other than 0755 root"

step "control fields"
# Dependencies found by dpkg-shlibdeps (with versions), plus the Qt plugins.
depends=$(dpkg-deb -f "$deb" Depends)
for needed in "libc6 (>=" "libssl3 (>=" "libqt6widgets6 (>=" "libbsd0 (>=" qt6-qpa-plugins; do
  [[ $depends == *"$needed"* ]] || fail "Depends lacks $needed: $depends"
done
[ "$(dpkg-deb -f "$deb" Section)" = utils ] || fail "section"
[ "$(dpkg-deb -f "$deb" Version)" = "$(dpkg-parsechangelog -l "$(dirname "$0")/../../dist/linux/debian/changelog" -S Version)" ] ||
  fail "the version differs from the changelog's"

step "lintian"
# No error and no warning (README lists what lintian still says at the
# informational level).
lintian --fail-on error,warning "$deb" >"$work/lintian.log" 2>&1 ||
  { cat "$work/lintian.log"; fail "lintian"; }

step "unpacked into a scratch root"
root=$work/root
dpkg-deb -x "$deb" "$root"
kva=$root/usr/bin/kva
for program in "$kva" "$root/usr/bin/tessaron"; do
  [[ $(readelf -d "$program") == *"(RUNPATH)"*"[\$ORIGIN/../lib/$triplet/tessaron]"* ]] ||
    fail "$program: RUNPATH"
  [[ $(ldd "$program") == *"libkvacore.so.1 => $root/usr/bin/../lib/$triplet/tessaron/"* ]] ||
    fail "$program finds libkvacore elsewhere: $(ldd "$program" | grep kvacore)"
done
[[ $(readelf -d "$root/usr/lib/$triplet/tessaron/libkvacore.so.1") == *"(SONAME)"*"[libkvacore.so.1]"* ]] ||
  fail "SONAME"
[ "$("$kva" --version)" = "kva 1.0.2" ] || fail "kva --version"
[ "$("$root/usr/bin/tessaron" --version)" = "tessaron 1.0.2" ] || fail "tessaron --version"
for size in 16 22 24 32 48 64 128 256; do
  [[ $(file "$root/usr/share/icons/hicolor/${size}x$size/apps/org.tessaron.Tessaron.png") == \
    *"PNG image data, $size x $size"* ]] || fail "icon of $size pixels"
done
mkdir -p "$work/tree/Отчёт/sub"
printf 'hello\n' >"$work/tree/Отчёт/a.txt"
head -c 5000 /dev/urandom >"$work/tree/Отчёт/sub/b.bin"
for cipher in 1 2 3; do
  echo "$password" | "$kva" seal "$work/tree/Отчёт" "$work/container-$cipher.kva" --cipher $cipher \
    --password-stdin
done
echo "$password" | "$kva" open "$work/container-3.kva" "$work/opened" --password-stdin 2>"$work/open.log"
diff -r "$work/tree" "$work/opened" || fail "kva open from the scratch root"
"$kva" pack "$work/tree/Отчёт" "$work/package.dat" >/dev/null

step "desktop entry and metainfo"
entry=$root/usr/share/applications/org.tessaron.Tessaron.desktop
desktop-file-validate "$entry" || fail "desktop-file-validate"
# In the menu: started from there it asks for the container.
! grep -q '^NoDisplay=true' "$entry" && grep -qx 'Categories=Utility;Archiving;' "$entry" ||
  fail "the desktop entry is not in the menu"
appstreamcli validate --no-net --explain "$root/usr/share/metainfo/org.tessaron.Tessaron.metainfo.xml" ||
  fail "appstreamcli validate"

step "MIME type and default application"
# A private database from the scratch root alone, read by the freedesktop
# tools (xdg-mime runs mimetype, which reads it along XDG_DATA_DIRS).
XDG_DATA_DIRS="$root/usr/share" update-mime-database "$root/usr/share/mime"
update-desktop-database "$root/usr/share/applications"
mkdir -p "$work/home"
xdg() {
  env -i PATH=/usr/bin:/bin HOME="$work/home" XDG_CONFIG_HOME="$work/home/config" \
    XDG_CONFIG_DIRS="$work/home/config" XDG_DATA_HOME="$work/home/data" \
    XDG_DATA_DIRS="$root/usr/share" xdg-mime "$@"
}
cp "$work/container-1.kva" "$work/report.dat"  # the original device's name
cp "$work/container-2.kva" "$work/no-extension"
while read -r file type; do
  [ "$(xdg query filetype "$work/$file")" = "$type" ] ||
    fail "$file is $(xdg query filetype "$work/$file"), not $type"
done <<EOF
container-1.kva application/x-kva
container-2.kva application/x-kva
container-3.kva application/x-kva
report.dat application/x-kva
no-extension application/x-kva
package.dat application/octet-stream
EOF
default=$(xdg query default application/x-kva)
[ "$default" = org.tessaron.Tessaron.desktop ] || fail "default application: '$default'"
grep -qx "Exec=tessaron %f" "$root/usr/share/applications/$default" || fail "Exec"

step "manual pages"
for page in kva tessaron; do
  warnings=$(MANWIDTH=80 man --warnings -l "$root/usr/share/man/man1/$page.1.gz" 2>&1 >/dev/null)
  [ -z "$warnings" ] || fail "man $page: $warnings"
done
MANWIDTH=80 man -l "$root/usr/share/man/man1/tessaron.1.gz" 2>/dev/null | col -b >"$work/tessaron.txt"
for topic in "EXIT STATUS" PASSWORD EXAMPLES ENVIRONMENT FILES TESSARON_SCREEN TMPDIR --help \
    TESSARON-Tessaron.socket Trash; do
  grep -q -- "$topic" "$work/tessaron.txt" || fail "tessaron(1) lacks $topic"
done
# The documents both pages point to are in the package.
for page in tessaron kva; do
  for doc in $(MANWIDTH=200 man -l "$root/usr/share/man/man1/$page.1.gz" 2>/dev/null |
               grep -o '/usr/share/doc/[^ ]*\.md'); do
    [ -f "$root$doc" ] || fail "$page(1) points to $doc, which the package lacks"
  done
done

step "completion, and kva(1) against kva's own help"
# Completes the line (the cursor at its end) as bash does for kva.
complete_line() {
  (cd "$work/completion" && bash -c '
    source /usr/share/bash-completion/bash_completion
    source "$1"
    COMP_LINE=$2 COMP_POINT=${#2}
    read -ra COMP_WORDS <<<"$COMP_LINE"
    [[ $COMP_LINE == *" " ]] && COMP_WORDS+=("")
    COMP_CWORD=$((${#COMP_WORDS[@]} - 1))
    _kva kva "${COMP_WORDS[COMP_CWORD]}" "${COMP_WORDS[COMP_CWORD - 1]}"
    printf "%s\n" "${COMPREPLY[@]}" | sort | paste -sd " "' _ \
    "$root/usr/share/bash-completion/completions/kva" "$1")
}
mkdir -p "$work/completion/folder"
touch "$work/completion/box.kva"
while IFS='|' read -r line expected; do
  got=$(complete_line "$line")
  [ "$got" = "$expected" ] || fail "completing '$line': '$got', not '$expected'"
done <<'EOF'
kva |--help --version decrypt encrypt help info list measure open pack seal unpack
kva help |decrypt encrypt info list measure open pack seal unpack
kva o|open
kva open |box.kva folder
kva open box.kva |folder
kva open box.kva folder |
kva info box.kva |
kva seal --cipher |1 2 3
kva encrypt --carrier |box.kva folder
kva decrypt --offset |
EOF
MANWIDTH=200 man -l "$root/usr/share/man/man1/kva.1.gz" 2>/dev/null | col -b >"$work/kva.txt"
for command in seal open pack unpack list measure encrypt decrypt info; do
  # The options kva CMD --help lists: the completion offers exactly
  # those, and the manual page describes each.
  helped=$("$kva" "$command" --help | grep -oE '^ +(-[a-z],)?--[a-z-]+' | tr ',' '\n' |
    tr -d ' ' | sort | paste -sd " ")
  offered=$(complete_line "kva $command -")
  [ "$helped" = "$offered" ] || fail "kva $command: --help lists '$helped', completion offers '$offered'"
  grep -qE "^ +$command " "$work/kva.txt" || fail "kva(1) has no entry for $command"
  for option in $helped; do
    grep -q -- "$option" "$work/kva.txt" || fail "kva(1) does not describe $option"
  done
done

step "tessaron from the scratch root under Xvfb and openbox"
export TMPDIR="$work/tmp" XDG_RUNTIME_DIR="$work/runtime" HOME="$work/home"
mkdir -p "$TMPDIR" "$XDG_RUNTIME_DIR"
chmod 700 "$XDG_RUNTIME_DIR"
xvfb=""
wm=""
app=""
cleanup() {
  [ -n "$app" ] && kill "$app" 2>/dev/null
  [ -n "$wm" ] && kill "$wm" 2>/dev/null
  [ -n "$xvfb" ] && kill "$xvfb" 2>/dev/null
  wait 2>/dev/null || true
}
trap cleanup EXIT
start_display "$work" 1024x768x24
openbox --sm-disable >"$work/openbox.log" 2>&1 &
wm=$!
for _ in $(seq 100); do
  [[ $(xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null) == *"window id"* ]] && break
  sleep 0.1
done
[[ $(xprop -root _NET_SUPPORTING_WM_CHECK) == *"window id"* ]] || fail "openbox did not start"

# The window's inside on the screen: x y width height.
geometry() {
  xwininfo -id "$1" | awk '/Absolute upper-left X/ { x = $4 } /Absolute upper-left Y/ { y = $4 }
    /^ +Width/ { w = $2 } /^ +Height/ { h = $2 } END { print x, y, w, h }'
}

# One run per language: decorated window, a warning box centred over it
# (empty password), a screenshot of both; then the Russian run decrypts.
# The English run is started as a file manager starts it: xdg-open finds
# the default application of the file's type and runs its Exec line.
mkdir -p "$build/screenshots"
for language in ru en; do
  if [ $language = ru ]; then
    locale=(LANGUAGE=ru) hint='^Совет$' ask='^Спросить$' folder="$work/ru/Документы"
  else
    locale=(LANGUAGE=en LC_ALL=en_US.UTF-8) hint='^Hint$' ask='^Question$' folder="$work/en/Documents"
  fi
  mkdir -p "$folder"
  cp "$work/container-3.kva" "$folder/report.dat"
  if [ $language = ru ]; then
    env "${locale[@]}" "$root/usr/bin/tessaron" "$folder/report.dat" >"$work/tessaron-$language.log" 2>&1 &
  else
    env -i "${locale[@]}" DISPLAY="$DISPLAY" HOME="$HOME" TMPDIR="$TMPDIR" \
      XDG_RUNTIME_DIR="$XDG_RUNTIME_DIR" XDG_CONFIG_HOME="$work/home/config" \
      XDG_CONFIG_DIRS="$work/home/config" XDG_DATA_HOME="$work/home/data" \
      XDG_DATA_DIRS="$root/usr/share" PATH="$root/usr/bin:/usr/bin:/bin" \
      xdg-open "$folder/report.dat" >"$work/tessaron-$language.log" 2>&1 &
  fi
  app=$!
  main=$(wait_window '^report\.dat .* Tessaron$')
  [[ $(xprop -id "$main" WM_CLASS) == *'"tessaron", "Tessaron"'* ]] || fail "WM_CLASS"
  # (Outputs are read whole: with pipefail, a grep -q that stopped reading
  # early would fail the pipeline.)
  icon=""
  for _ in $(seq 50); do
    icon=$(xprop -id "$main" _NET_WM_ICON)
    [[ $icon == *"Icon (128 x 128)"* ]] && break
    sleep 0.1
  done
  [[ $icon == *"Icon (128 x 128)"* ]] || fail "no window icon: ${icon:0:100}"
  read -r left _ top _ < <(xprop -id "$main" _NET_FRAME_EXTENTS | tr -d ',' | awk '{ print $3, $4, $5, $6 }')
  read -r x y w h < <(geometry "$main")
  [ "$top" -gt 0 ] && [ $((y - top)) -ge 0 ] && [ $((x - left)) -ge 0 ] ||
    fail "the title bar is not on the screen (inside at $x,$y, frame $left,$top)"

  xdotool windowactivate --sync "$main"
  xdotool key F1
  box=$(wait_window "$hint")
  sleep 0.3  # drawn
  read -r bx by bw bh < <(geometry "$box")
  dx=$((bx + bw / 2 - x - w / 2))
  dy=$((by + bh / 2 - y - h / 2))
  [ ${dx#-} -le 30 ] && [ ${dy#-} -le 40 ] ||
    fail "the box's centre is ($dx, $dy) from the window's"
  import -window root -crop "$((w + 2 * left))x$((h + top + left))+$((x - left))+$((y - top))" \
    "$build/screenshots/desktop-$language.png"
  xdotool windowactivate --sync "$box" key Return

  if [ $language = ru ]; then
    xdotool windowactivate --sync "$main"
    xdotool type --delay 20 "$password"
    xdotool key F1
    box=$(wait_window "$ask")
    xdotool windowactivate --sync "$box" key Return  # keep the original
    expect_exit_0 "decryption"
    diff -r "$work/tree/Отчёт" "$folder/Отчёт" || fail "tessaron's files differ"
  else
    xdotool windowactivate --sync "$main" key F2
    expect_exit_0 "closed"
  fi
done

# Started from the menu: the file chooser, decorated, over the desktop.
env LANGUAGE=ru "$root/usr/bin/tessaron" >"$work/tessaron-menu.log" 2>&1 &
app=$!
chooser=$(wait_window '^Выберите зашифрованный файл$')
sleep 0.5
read -r x y w h < <(geometry "$chooser")
read -r left _ top _ < <(xprop -id "$chooser" _NET_FRAME_EXTENTS | tr -d ',' | awk '{ print $3, $4, $5, $6 }')
import -window root -crop "$((w + 2 * left))x$((h + top + left))+$((x - left))+$((y - top))" \
  "$build/screenshots/desktop-chooser.png"
xdotool windowactivate --sync "$chooser" key Escape
expect_exit_0 "the file chooser cancelled"

step "PASS"
