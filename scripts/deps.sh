#!/usr/bin/env bash
# Installs the Debian packages that building, running and testing the panel need, and only
# those that are missing. Uses sudo when not run as root.
set -euo pipefail

packages=(g++ make cmake qt6-base-dev libgl-dev dbus fonts-arkpandora)
# echolink-node: Debian's EchoLink protocol library and what its headers include, and the
# GSM and Speex codec libraries.
packages+=(pkg-config libecholib-dev libasynccore-dev libasynccpp-dev libasyncaudio-dev
           libsigc++-2.0-dev libgsm1-dev libspeex-dev)
if [ "${1:-}" = "--tests" ]; then
  packages+=(xvfb xauth openbox x11-utils xdotool imagemagick dpkg-dev desktop-file-utils appstream
             weston xwayland qt6-wayland at-spi2-core lintian socat)
fi

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

sudo=()
[ "$(id -u)" -eq 0 ] || sudo=(sudo)
apt=("${sudo[@]}" apt-get -o DPkg::Lock::Timeout=300 -y -q --no-install-recommends)
echo "Installing: ${missing[*]}"
if ! DEBIAN_FRONTEND=noninteractive "${apt[@]}" install "${missing[@]}"; then
  "${sudo[@]}" apt-get -o DPkg::Lock::Timeout=300 -q update
  DEBIAN_FRONTEND=noninteractive "${apt[@]}" install "${missing[@]}"
fi
