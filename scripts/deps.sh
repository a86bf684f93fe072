#!/usr/bin/env bash
# Installs the Debian packages that are missing. Runs as root, or through
# sudo when available.
#
#   scripts/deps.sh           what building and playing need (the start command)
#   scripts/deps.sh --tests   that, and what the tests need (scripts/test.sh):
#                             the compilers and libraries of the test builds and
#                             the servers the tests start themselves
#
# The servers' packages (dovecot, exim, nginx, ngircd) would start their
# system services when installed: while apt-get installs them a policy-rc.d
# that answers 101 holds every service start, and it is removed afterwards
# (a policy-rc.d that was there before is put back).
set -euo pipefail
PLAYER=(
  cmake
  ninja-build
  g++
  pkg-config
  libsdl2-dev
  libx11-dev
  libgl-dev
  libglu1-mesa-dev
  libpng-dev
  libjpeg62-turbo-dev
  libfreetype-dev
  fonts-dejavu-core
  xfonts-base
  libgl1-mesa-dri
  libegl1
  libegl-mesa0
  libssl-dev
  ca-certificates
  python3
)
TESTS=(
  clang
  libclang-rt-dev
  libgtest-dev
  libgmock-dev
  googletest
  libbenchmark-dev
  libjpeg-turbo-progs
  xvfb
  xauth
  xdotool
  x11-apps
  netpbm
  openssl
  dovecot-pop3d
  exim4-daemon-light
  nginx
  python3-pyftpdlib
  ngircd
  sox
  ffmpeg
)
PKGS=("${PLAYER[@]}")
case "${1:-}" in
  "") ;;
  --tests) PKGS+=("${TESTS[@]}") ;;
  *)
    echo "usage: $0 [--tests]" >&2
    exit 2
    ;;
esac
missing=()
for p in "${PKGS[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0
SUDO=""
[ "$(id -u)" -ne 0 ] && SUDO="sudo"
POLICY="${QOE_POLICY_RC_D:-/usr/sbin/policy-rc.d}"
held=0
# Puts back what was there before the hold (or nothing).
release() {
  [ "$held" = 1 ] || return 0
  if [ -e "$POLICY.qoe-saved" ]; then
    $SUDO mv -f "$POLICY.qoe-saved" "$POLICY"
  else
    $SUDO rm -f "$POLICY"
  fi
  held=0
}
if [ "${1:-}" = --tests ]; then
  trap release EXIT
  if [ -e "$POLICY" ]; then $SUDO cp -p "$POLICY" "$POLICY.qoe-saved"; fi
  held=1
  printf '#!/bin/sh\n# scripts/deps.sh: no service starts while the test servers are installed\nexit 101\n' |
    $SUDO tee "$POLICY" >/dev/null
  $SUDO chmod 755 "$POLICY"
fi
echo "deps: installing ${missing[*]}"
$SUDO apt-get update -qq
DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
release
