#!/usr/bin/env bash
# Installs the Debian packages Marrowlark needs, when any is missing.
# Quick when everything is there: one dpkg query, no network.
#   scripts/deps.sh              to build and run the program (make run)
#   scripts/deps.sh --package    and to build its Debian package (make package)
#   scripts/deps.sh --test       and to build and run the tests, benchmarks and fuzzers (make test)
set -euo pipefail

packages=(
    cmake g++ make pkg-config
    qt6-base-dev qt6-svg-dev libgl-dev libmpv-dev libseccomp-dev
    qt6-base-private-dev libwayland-dev libwayland-bin wayland-protocols
    fonts-comic-neue
)
packaging=(dpkg-dev)
case "${1:-}" in
"") ;;
--package) packages+=("${packaging[@]}") ;;
--test)
    packages+=(
        "${packaging[@]}"
        libbenchmark-dev libx11-dev libxtst-dev libpulse-dev
        xvfb xauth x11-utils xdotool imagemagick
        pulseaudio pulseaudio-utils ffmpeg libxcb1-dev
        binutils-mingw-w64-x86-64
        desktop-file-utils appstream lintian dbus-daemon dbus-bin
        clang-14 libclang-rt-14-dev clang-tidy-14 strace python3
        fuse3 libfuse3-dev
        at-spi2-core python3-pyatspi orca openbox
        qt6-wayland sway swaybg wtype grim jq
    )
    ;;
*)
    echo "usage: scripts/deps.sh [--package | --test]" >&2
    exit 2
    ;;
esac

missing=()
for package in "${packages[@]}"; do
    status=$(dpkg-query -W -f='${Status}' "$package" 2>/dev/null || true)
    [ "$status" = "install ok installed" ] || missing+=("$package")
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing: ${missing[*]}"
sudo=()
[ "$(id -u)" -eq 0 ] || sudo=(sudo)
export DEBIAN_FRONTEND=noninteractive
"${sudo[@]}" apt-get update -qq
"${sudo[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
