#!/usr/bin/env bash
# Installs the Debian packages the build, the tests and the program need
# (only what is missing). Runs as root, or through sudo when available.
set -euo pipefail
PKGS=(
  cmake
  ninja-build
  g++
  pkg-config
  clang
  libclang-rt-dev
  libgtest-dev
  libgmock-dev
  googletest
  libbenchmark-dev
  libsdl2-dev
  libx11-dev
  libgl-dev
  libglu1-mesa-dev
  libpng-dev
  libjpeg62-turbo-dev
  libjpeg-turbo-progs
  libfreetype-dev
  fonts-dejavu-core
  xfonts-base
  xvfb
  xauth
  xdotool
  x11-apps
  libgl1-mesa-dri
  libegl1
  libegl-mesa0
  netpbm
  openssl
  libssl-dev
  ca-certificates
  python3
  dovecot-pop3d
  exim4-daemon-light
  nginx
  python3-pyftpdlib
  ngircd
  sox
  ffmpeg
)
missing=()
for p in "${PKGS[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  SUDO=""
  [ "$(id -u)" -ne 0 ] && SUDO="sudo"
  echo "deps: installing ${missing[*]}"
  $SUDO apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi
