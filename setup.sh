#!/usr/bin/env bash
# Installs what is missing (Debian packages), builds, then either runs the
# main job (./setup.sh run: tessaron on the bundled sample, or kva open
# without a display), builds the Debian package (./setup.sh package:
# build/package/tessaron_<version>_<arch>.deb) or passes the whole test
# suite (./setup.sh test, which also builds and checks the package): the
# release build's tests, the same tests built with AddressSanitizer and
# UndefinedBehaviorSanitizer, the library's tests under ThreadSanitizer, a
# short run of every fuzzer on its corpus, and the Windows build's library
# and kva tests and tessaron.exe under Wine (with its zip), which the release
# build's crossing test then uses.
set -euo pipefail
cd "$(dirname "$0")"

# What each command installs, each on top of the one before it (run, then
# package, then test).
# run: building the release preset and running the programs. The preset
# builds the tests and benchmarks too, so their CMake packages are looked
# for when it is configured; pod2man (perl) and rsvg-convert make the
# manual pages and icons it installs; Qt loads its translations and the
# fonts at run time.
packages_run=(
  cmake g++ make libssl-dev libcli11-dev libbsd-dev
  libgtest-dev libbenchmark-dev perl librsvg2-bin
  qt6-base-dev qt6-translations-l10n fonts-dejavu-core fonts-noto-cjk
)
# package: cpack's Debian package asks file which files are programs and
# dpkg-shlibdeps for the libraries they need.
packages_package=(dpkg-dev file)
# test: the other four builds and every test.
packages_test=(
  openssl xvfb xauth xdotool imagemagick
  clang-14 libclang-rt-14-dev libfuzzer-14-dev
  # The Debian package's checks.
  lintian desktop-file-utils appstream shared-mime-info libfile-mimeinfo-perl
  xdg-utils man-db bsdextrautils bash-completion openbox x11-utils
  # The Windows build: the mingw-w64 cross compilers, libgcrypt for its
  # cipher library (and natively, to hold it to the same bytes), Wine, and
  # wixl for its installer (msitools to read the installer back).
  libgcrypt20-dev
  mingw-w64 g++-mingw-w64-x86-64-posix libgcrypt-mingw-w64-dev googletest wine64
  wixl msitools
)

# install_missing PHASE...: installs the packages of those phases that are
# missing, saying which phase wants which.
install_missing() {
  local missing=() phase package
  for phase in "$@"; do
    local -n wanted="packages_$phase"
    local phase_missing=()
    for package in "${wanted[@]}"; do
      dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "ok installed" ||
        phase_missing+=("$package")
    done
    if [ ${#phase_missing[@]} -eq 0 ]; then
      echo "$phase: everything installed"
    else
      echo "$phase: installing ${phase_missing[*]}"
    fi
    missing+=("${phase_missing[@]}")
  done
  [ ${#missing[@]} -eq 0 ] && return
  local sudo=""
  [ "$(id -u)" -ne 0 ] && sudo="sudo"
  $sudo apt-get update -qq
  $sudo env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}"
}

# Configures, builds and (with "test") tests one of the CMakePresets.json
# presets: release, asan, tsan, fuzz or windows.
build() {
  cmake --preset "$1" >/dev/null
  cmake --build --preset "$1" -j"$(nproc)"
}
build_and_test() {
  echo "== $1 build and tests"
  local start=$SECONDS
  build "$1"
  ctest --preset "$1"
  echo "== $1: $((SECONDS - start)) s"
}

run_main_job() {
  # The bundled sample (password sample-2026) is copied first, so that the
  # program's offer to delete the encrypted file never touches the original.
  local out=build/sample-run
  rm -rf "$out" && mkdir -p "$out"
  cp samples/sample.kva "$out/sample.kva"
  if [ -n "${DISPLAY:-}" ]; then
    echo "Starting tessaron on $out/sample.kva: type the password sample-2026 and press"
    echo "Выполнить (or F1); the files land in $out."
    build/bin/tessaron "$out/sample.kva"
  else
    echo "No display: decrypting and unpacking the sample in the terminal with kva open."
    echo sample-2026 | build/bin/kva open "$out/sample.kva" "$out" --password-stdin
    find "$out" -mindepth 1 | sort
  fi
}

case "${1:-}" in
  run)
    install_missing run
    build release
    run_main_job
    ;;
  package)
    install_missing run package
    build release
    rm -rf build/package
    cpack --config build/CPackConfig.cmake -B build/package
    rm -rf build/package/_CPack_Packages
    echo "Install it with: sudo apt install ./$(ls build/package/tessaron_*.deb)"
    ;;
  test)
    install_missing run package test
    build_and_test asan
    build_and_test tsan
    build_and_test fuzz
    # The release build comes first: the Windows end-to-end test opens
    # containers sealed by its kva, and its crossing test then uses the
    # Windows build.
    start=$SECONDS
    build release
    echo "== release build: $((SECONDS - start)) s"
    build_and_test windows
    cpack -G ZIP --config build-windows/CPackConfig.cmake -B build-windows >/dev/null
    echo "== release tests"
    start=$SECONDS
    ctest --preset release
    echo "== release tests: $((SECONDS - start)) s"
    ;;
  *)
    echo "usage: $0 run|package|test" >&2
    exit 64
    ;;
esac
