#!/usr/bin/env bash
# Installs the Debian 12 packages Quenta needs to build and run, when they are missing.
set -euo pipefail
packages=(cmake g++ make pkg-config qt6-base-dev qt6-serialport-dev qt6-charts-dev libqt6opengl6-dev libgl-dev libusb-1.0-0-dev)
# The USB tests emulate the scan tool as a USB device under the real libusb.
packages+=(umockdev libumockdev-dev)
# The test command also fuzzes the reply readers, with clang's libFuzzer.
[ "${1:-}" = "--with-fuzz" ] && packages+=(clang libfuzzer-14-dev)
# Building the Debian package and checking what it installs.
[[ " $* " == *" --with-package "* ]] && packages+=(git file dpkg-dev desktop-file-utils appstream man-db groff-base)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0
sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
echo "Installing: ${missing[*]}"
$sudo apt-get update -qq
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
