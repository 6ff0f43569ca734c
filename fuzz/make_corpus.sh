#!/usr/bin/env bash
# Regenerates the container and package seeds in fuzz/corpus/ with the
# project's own kva (default build/bin/kva): fuzz/make_corpus.sh [kva]. The
# output is the same bytes every time: the ciphers' IVs come from the key,
# and packages are made in a fixed folder (records store the packed path).
# The path and password seeds are plain UTF-16LE texts written by hand;
# crash-* files (inputs that once found a bug) are kept.
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
kva=$(realpath "${1:-$here/../build/bin/kva}")
[[ -x $kva ]] || { echo "make_corpus.sh: no kva at $kva (build the release preset first)" >&2; exit 1; }
corpus=$here/corpus
password='fuzz-пароль'   # container_decrypt_fuzzer.cpp holds the same text
work=/tmp/kva-fuzz-seeds
rm -rf "$work" && mkdir -p "$work" && cd "$work"
printf '%s\n' "$password" > password
printf 'not-the-password\n' > wrong-password
targets="container_decrypt_fuzzer unpack_fuzzer"
for target in $targets; do
  mkdir -p "$corpus/$target"
  find "$corpus/$target" -type f ! -name 'crash-*' -delete
done

# Containers: L = 0 (no cipher call), a padding block only, L < 1024, L = 1024
# (the final piece a whole chunk, for CFB and both CBC ciphers), three
# pieces, another password, a sealed package.
out=$corpus/container_decrypt_fuzzer
while read -r name cipher size pw; do
  head -c "$size" < <(seq 1 100000) > "plain-$name"
  "$kva" encrypt --cipher "$cipher" --password-file "$pw" "plain-$name" "$out/$name.kva" > /dev/null
done <<'EOF'
c1-empty 1 0 password
c2-empty 2 0 password
c1-100 1 100 password
c3-100 3 100 password
c1-1024 1 1024 password
c2-1020 2 1020 password
c3-1020 3 1020 password
c3-2100 3 2100 password
wrong-password 3 10 wrong-password
EOF
mkdir -p sealed && printf 'sealed\n' > sealed/note.txt
"$kva" seal --cipher 2 --password-file password sealed/note.txt "$out/sealed-c2.kva" > /dev/null

# Packages: nested folders, an empty file and folder, Cyrillic names (one
# name per folder, so the order never depends on the file system), then
# one package per link name unpack_fuzzer plants (L and A folders, F and H
# files; H succeeds, replacing the hard link rather than writing through it).
out=$corpus/unpack_fuzzer
mkdir -p tree/Папка/b extra/пустая links/L links/A
printf 'глубоко\n' > tree/Папка/b/файл.txt
: > extra/пусто
"$kva" pack tree "$out/tree.pkg" > /dev/null
for name in пусто пустая; do "$kva" pack --append "extra/$name" "$out/tree.pkg" > /dev/null; done
printf 'in\n' > links/L/inside && printf 'F\n' > links/F && printf 'H\n' > links/H
(cd links && for name in L A F H; do "$kva" pack "$name" "$out/link-$name.pkg" > /dev/null; done)

cd / && rm -rf "$work"
for target in $targets; do
  printf '%-26s %3d files %6d bytes\n' "$target" "$(find "$corpus/$target" -type f | wc -l)" \
    "$(find "$corpus/$target" -type f -printf '%s\n' | awk '{s += $1} END {print s + 0}')"
done
