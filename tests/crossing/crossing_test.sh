#!/usr/bin/env bash
# Containers and packages cross between the Linux and the Windows build:
# for each cipher identifier, a tree with Cyrillic names sealed by kva.exe
# (under Wine) is opened by the Linux kva and, independently, decrypted by
# `openssl enc -d` and unpacked; a tree sealed by the Linux kva is opened by
# kva.exe; plain packages go both ways. Every result is compared with the
# original tree by `diff -r`. The same password file (UTF-8 with a
# byte-order mark, Cyrillic) serves both builds.
#   crossing_test.sh LINUX_KVA WINDOWS_BUILD_DIR SOURCE_DIR WORK_DIR
# Skipped (exit 77) when the Windows build has not been made.
set -euo pipefail

linux_kva=$(realpath "$1")
windows_build=$(realpath -m "$2")
source_dir=$(realpath "$3")
work=$(realpath -m "$4")

if [ ! -f "$windows_build/bin/kva.exe" ]; then
  echo "no Windows build in $windows_build (cmake --preset windows && cmake --build --preset windows): skipped"
  exit 77
fi

rm -rf "$work"
mkdir -p "$work"

# Wine sees the Linux root as drive Z:, so kva.exe gets native Windows paths.
windows_path() { printf 'Z:%s' "$1" | tr / '\\'; }
kva_exe() { "$source_dir/cmake/wine-run.sh" "$windows_build/wineprefix" "$windows_build/bin/kva.exe" "$@"; }

tree="$work/Дерево"
mkdir -p "$tree/Документы/Архив 2024" "$tree/Фото" "$tree/Пустая папка"
printf 'отчёт за год\n' > "$tree/Документы/отчёт.txt"
head -c 3000 /dev/urandom > "$tree/Документы/Архив 2024/данные.bin"
head -c 70000 /dev/urandom > "$tree/Фото/снимок 1.jpg"
: > "$tree/Фото/пусто"

password='Пароль-1'
printf '\xEF\xBB\xBF%s\r\n' "$password" > "$work/password.txt"
password_hex=$(printf %s "$password" | iconv -f UTF-8 -t CP1251 | od -An -tx1 | tr -d ' \n')

fail() { echo "FAILED: $*"; exit 1; }
same_tree() { diff -r "$tree" "$1" || fail "$2: the tree differs"; }

# The key and IV as docs/FORMAT.md derives them, with the openssl command.
scrypt='-kdfopt salt:TessaronKvaSalt1 -kdfopt n:16384 -kdfopt r:8 -kdfopt p:1 SCRYPT'
key=$(openssl kdf -keylen 32 -kdfopt hexpass:"$password_hex" $scrypt | tr -d : | cut -c1-32)
iv=$(openssl kdf -keylen 16 -kdfopt digest:SHA256 -kdfopt hexkey:"$key" -kdfopt info:'kva iv' HKDF | tr -d :)
des3_key=$(openssl kdf -keylen 24 -kdfopt digest:SHA256 -kdfopt hexkey:"$key" \
  -kdfopt info:'kva des-ede3 key' HKDF | tr -d :)

for id in 1 2 3; do
  echo "== cipher $id"
  case $id in
    1) openssl_args=(-aes-128-cfb -K "$key" -iv "$iv") ;;
    2) openssl_args=(-des-ede3-cbc -K "$des3_key" -iv "${iv:0:16}") ;;
    3) openssl_args=(-aes-128-cbc -K "$key" -iv "$iv") ;;
  esac

  # Windows seals; Linux opens.
  kva_exe seal "$(windows_path "$tree")" "$(windows_path "$work/windows-$id.kva")" \
    --cipher "$id" --password-file "$(windows_path "$work/password.txt")" ||
    fail "kva.exe seal, cipher $id"
  "$linux_kva" open "$work/windows-$id.kva" "$work/linux-opened-$id" \
    --password-file "$work/password.txt" || fail "Linux kva open of kva.exe's container $id"
  same_tree "$work/linux-opened-$id/Дерево" "kva.exe seal -> kva open, cipher $id"

  # The same container read with nothing of ours but the unpacker: openssl
  # decrypts it, and its plaintext is the package kva.exe packs.
  tail -c +29 "$work/windows-$id.kva" | openssl enc -d "${openssl_args[@]}" -nosalt \
    > "$work/openssl-$id.pkg" || fail "openssl enc -d of kva.exe's container $id"
  "$linux_kva" unpack "$work/openssl-$id.pkg" "$work/openssl-unpacked-$id" ||
    fail "unpacking openssl's plaintext $id"
  same_tree "$work/openssl-unpacked-$id/Дерево" "kva.exe seal -> openssl enc -d -> kva unpack, cipher $id"

  # Linux seals; Windows opens.
  "$linux_kva" seal "$tree" "$work/linux-$id.kva" --cipher "$id" \
    --password-file "$work/password.txt" || fail "Linux kva seal, cipher $id"
  kva_exe open "$(windows_path "$work/linux-$id.kva")" "$(windows_path "$work/windows-opened-$id")" \
    --password-file "$(windows_path "$work/password.txt")" || fail "kva.exe open of Linux's container $id"
  same_tree "$work/windows-opened-$id/Дерево" "kva seal -> kva.exe open, cipher $id"
done

echo "== plain packages"
kva_exe pack "$(windows_path "$tree")" "$(windows_path "$work/windows.pkg")" || fail "kva.exe pack"
# Sealing is packing then encrypting: openssl's plaintext is kva.exe's package.
cmp "$work/windows.pkg" "$work/openssl-3.pkg" || fail "kva.exe seal's package differs from kva.exe pack's"
"$linux_kva" unpack "$work/windows.pkg" "$work/linux-unpacked" || fail "kva unpack of kva.exe's package"
same_tree "$work/linux-unpacked/Дерево" "kva.exe pack -> kva unpack"
"$linux_kva" pack "$tree" "$work/linux.pkg" || fail "kva pack"
kva_exe unpack "$(windows_path "$work/linux.pkg")" "$(windows_path "$work/windows-unpacked")" ||
  fail "kva.exe unpack of kva's package"
same_tree "$work/windows-unpacked/Дерево" "kva pack -> kva.exe unpack"

echo "all crossings agree"
