#!/usr/bin/env bash
# Installs what building and testing TalvoUpdate needs on Debian 12 (run as root; does nothing
# that is already done): Wine with its 32-bit and 64-bit loaders (the 64-bit one runs the x86_64
# build where the kernel cannot run 32-bit programs), mingw-w64 for i686 and x86_64, CMake, Xvfb, the Korean locale
# and fonts, GoogleTest sources, zlib for both builds, clang with libFuzzer, Python 3 with Pillow
# (the skin's drawing script), nginx (serves published releases in the demo and the tests), openssl
# (signs documents in the signed-release tests).
set -euo pipefail
packages=(
  wine wine64 wine32:i386 libgnutls30:i386
  mingw-w64 g++-mingw-w64-i686 g++-mingw-w64-x86-64 libz-mingw-w64-dev
  binutils-mingw-w64-i686 binutils-mingw-w64-x86-64
  cmake ninja-build make g++ clang libclang-rt-14-dev python3 python3-pil
  googletest zlib1g-dev libssl-dev
  xvfb xauth x11-utils imagemagick xdotool
  locales fonts-nanum fonts-baekmuk
  curl unzip zip libarchive-tools hyperfine time file binutils
  nginx openssl
)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  sudo_cmd=""; [ "$(id -u)" = 0 ] || sudo_cmd="sudo"
  if ! dpkg --print-foreign-architectures | grep -qx i386; then $sudo_cmd dpkg --add-architecture i386; fi
  echo "setup: installing ${missing[*]}"
  $sudo_cmd apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo_cmd apt-get install -y -qq "${missing[@]}" >/dev/null
  # The demo and the tests start nginx themselves on 127.0.0.1:80; Debian's own nginx service
  # must not hold port 80 where an init system started it on installation.
  if [[ " ${missing[*]} " == *" nginx "* ]] && [ -d /run/systemd/system ]; then
    $sudo_cmd systemctl disable --now nginx >/dev/null 2>&1 || true
  fi
fi
if ! locale -a 2>/dev/null | grep -qi '^ko_KR\.utf8$'; then
  sudo_cmd=""; [ "$(id -u)" = 0 ] || sudo_cmd="sudo"
  grep -q '^ko_KR.UTF-8 UTF-8' /etc/locale.gen 2>/dev/null || echo 'ko_KR.UTF-8 UTF-8' | $sudo_cmd tee -a /etc/locale.gen >/dev/null
  $sudo_cmd locale-gen >/dev/null
fi
