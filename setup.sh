#!/usr/bin/env bash
# Installs what is missing (Debian packages), builds, then either runs the
# main job (./setup.sh run) or passes the whole test suite (./setup.sh test).
set -euo pipefail
cd "$(dirname "$0")"

PACKAGES=(
  cmake g++ make openssl libssl-dev libcli11-dev libbsd-dev
  libgtest-dev libgmock-dev libbenchmark-dev
  qt6-base-dev qt6-translations-l10n fonts-dejavu-core fonts-noto-cjk
  xvfb xauth xdotool imagemagick
)

install_missing() {
  local missing=()
  for package in "${PACKAGES[@]}"; do
    dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "ok installed" ||
      missing+=("$package")
  done
  [ ${#missing[@]} -eq 0 ] && return
  local sudo=""
  [ "$(id -u)" -ne 0 ] && sudo="sudo"
  echo "Installing: ${missing[*]}"
  $sudo apt-get update -qq
  $sudo env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}"
}

build() {
  cmake -S . -B build -DCMAKE_BUILD_TYPE=Release
  cmake --build build -j"$(nproc)"
}

run_main_job() {
  # The bundled sample: decrypt it, encrypt the result again with another
  # cipher, decrypt that, and check both plain files are the same.
  local out=build/sample-run
  rm -rf "$out" && mkdir -p "$out"
  build/bin/kva info samples/sample.kva
  echo sample-2026 | build/bin/kva decrypt samples/sample.kva "$out/sample.pkg" --password-stdin
  echo sample-2026 | build/bin/kva encrypt "$out/sample.pkg" "$out/again.kva" --cipher 2 --password-stdin
  echo sample-2026 | build/bin/kva decrypt "$out/again.kva" "$out/again.pkg" --password-stdin
  cmp "$out/sample.pkg" "$out/again.pkg"
  echo "The sample decrypts to $out/sample.pkg ($(stat -c %s "$out/sample.pkg") bytes) and survives a round trip."
}

case "${1:-}" in
  run)
    install_missing
    build
    run_main_job
    ;;
  test)
    install_missing
    build
    ctest --test-dir build --output-on-failure -j"$(nproc)"
    ;;
  *)
    echo "usage: $0 run|test" >&2
    exit 64
    ;;
esac
