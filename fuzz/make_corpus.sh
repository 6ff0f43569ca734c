#!/usr/bin/env bash
# Regenerates the seed corpora in fuzz/corpus/ with the project's own kva:
#
#   cmake --preset release && cmake --build build -j2
#   fuzz/make_corpus.sh [path/to/kva]        (default: build/bin/kva)
#
# The output is reproducible: the ciphers' IVs come from the key, not from
# chance, and packages are made in a fixed folder (records store the full
# path of what was packed), so running it again gives the same bytes. Files
# named crash-* (inputs that once found a bug, kept as regression seeds) are
# left as they are; everything else in the four folders is replaced.
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
kva=${1:-$here/../build/bin/kva}
[[ -x $kva ]] || { echo "make_corpus.sh: no kva at $kva (build the release preset first)" >&2; exit 1; }
kva=$(cd "$(dirname "$kva")" && pwd)/$(basename "$kva")
corpus=$here/corpus
# Fixed, so that the package records (full source paths) never change.
work=/tmp/kva-fuzz-seeds

# The password of every seed container; container_decrypt_fuzzer.cpp holds
# the same text (FUZZ_PASSWORD).
password='fuzz-пароль'

rm -rf "$work"
mkdir -p "$work"
cd "$work"
printf '%s\n' "$password" > password
printf '%s\n' 'not-the-password' > wrong-password

# `bytes N`: N bytes of varied but fixed text.
bytes() { head -c "$1" < <(seq 1 100000); }

for target in container_decrypt_fuzzer unpack_fuzzer path_helpers_fuzzer password_fuzzer; do
  mkdir -p "$corpus/$target"
  find "$corpus/$target" -type f ! -name 'crash-*' -delete
done

# ---- container_decrypt_fuzzer: real containers, kva encrypt and seal -----
out=$corpus/container_decrypt_fuzzer
encrypt() {  # encrypt NAME CIPHER SIZE [PASSWORD-FILE]
  bytes "$3" > "plain-$1"
  "$kva" encrypt --cipher "$2" --password-file "${4:-password}" "plain-$1" "$out/$1.kva" > /dev/null
}
encrypt c1-empty 1 0        # L = 0: no cipher call at all
encrypt c2-empty 2 0        # L = 8: a padding block only
encrypt c1-100 1 100        # L = 100 < 1024
encrypt c3-100 3 100        # L = 112
encrypt c1-1024 1 1024      # L = 1024: one whole chunk, the final piece
encrypt c2-1020 2 1020      # L = 1024 for a block cipher: the final piece is a whole chunk
encrypt c3-1020 3 1020      # L = 1024
encrypt c3-2100 3 2100      # L = 2112: three pieces
encrypt wrong-password 3 10 wrong-password   # another verifier: refused at Begin
mkdir -p sealed
printf 'sealed\n' > sealed/note.txt
"$kva" seal --cipher 2 --password-file password sealed/note.txt "$out/sealed-c2.kva" > /dev/null

# ---- unpack_fuzzer: real packages, kva pack ------------------------------
out=$corpus/unpack_fuzzer
# Nested folders, an empty file, an empty folder, Cyrillic names. No folder
# holds two names, so the entries' order never depends on the file system's
# listing order; the rest is appended in a fixed order.
mkdir -p tree/Папка/b extra/пустая
printf 'глубоко\n' > tree/Папка/b/файл.txt
: > extra/пусто
"$kva" pack tree "$out/tree.pkg" > /dev/null
for name in пусто пустая; do "$kva" pack --append "extra/$name" "$out/tree.pkg" > /dev/null; done
# The names the fuzzer plants in its destination, as links to its outside
# folder (L, A, F) and a hard link to a file there (H). One package each,
# since unpacking stops at the first entry it refuses: L (a folder, and a
# file in it), A (an empty folder), F and H (a file each; H is the one that
# succeeds, replacing the hard link rather than writing through it).
mkdir -p links/L links/A
printf 'in\n' > links/L/inside
printf 'F\n' > links/F
printf 'H\n' > links/H
(cd links && for name in L A F H; do "$kva" pack "$name" "$out/link-$name.pkg" > /dev/null; done)

# ---- path_helpers_fuzzer: UTF-16LE paths ---------------------------------
out=$corpus/path_helpers_fuzzer
utf16() { printf '%s' "$2" | iconv -f UTF-8 -t UTF-16LE > "$out/$1"; }
utf16 three-components '\a\b\c'
utf16 plain 'plain'
utf16 empty-component '\a\\b'
utf16 trailing-backslash '\a\b\'
utf16 relative 'a\b'
utf16 cyrillic '\Документы\Папка\файл.txt'
utf16 dot-dot 'x\..\y'
long=$(printf 'component%03d\\' $(seq 1 20))   # 260 characters
utf16 max-259 "\\${long:0:258}"     # 259 units: the longest device path
utf16 too-long-260 "\\${long:0:259}"

# ---- password_fuzzer: UTF-16LE passwords ---------------------------------
out=$corpus/password_fuzzer
utf16 fixed "$password"
utf16 ascii 'secret'
utf16 max-31 'abcdefghijklmnopqrstuvwxyz01234'
utf16 too-long-32 'abcdefghijklmnopqrstuvwxyz012345'
utf16 cp1251-symbols '€‰ЂЁё№'
utf16 unrepresentable '日本'
printf 'a\0b' | iconv -f UTF-8 -t UTF-16LE > "$out/nul-inside"

cd /
rm -rf "$work"
for target in container_decrypt_fuzzer unpack_fuzzer path_helpers_fuzzer password_fuzzer; do
  printf '%-26s %3d files %6d bytes\n' "$target" "$(find "$corpus/$target" -type f | wc -l)" \
    "$(find "$corpus/$target" -type f -printf '%s\n' | awk '{s += $1} END {print s + 0}')"
done
