#!/usr/bin/env bash
# Installs what building and testing TalvoUpdate needs on Debian 12 (run as root; does nothing
# that is already done): Wine with its 32-bit and 64-bit loaders (the 64-bit one runs the x86_64
# build where the kernel cannot run 32-bit programs), mingw-w64 for i686 and x86_64, CMake, Xvfb, the Korean locale
# and fonts, GoogleTest sources, zlib for both builds, clang with libFuzzer, Python 3 with Pillow
# (the skin's drawing script), nginx (serves published releases in the demo and the tests), openssl
# (signs documents in the signed-release tests), zstd (the maker's tools make deltas with Debian's
# libzstd-dev; the Windows builds apply them with zstd's decoder, built for both mingw toolchains
# from Debian's own source package into /var/cache/talvo-zstd, only when missing).
#   tools/setup.sh              all of the above
#   tools/setup.sh --emulated32 also what the emulated32 route needs (tools/windows-build.sh): qemu's
#                               user-mode emulator, 8 or later (from bookworm-backports on Debian 12,
#                               whose own 7.2 cannot run Wine), and gcc's 32-bit support for the
#                               preloaded signal wrapper. Also when TALVO_WINDOWS_BUILD=emulated32.
set -euo pipefail
emulated32=0
[ "${TALVO_WINDOWS_BUILD:-}" = emulated32 ] && emulated32=1
for arg in "$@"; do
  case "$arg" in
    --emulated32) emulated32=1 ;;
    *) echo "setup: unknown option '$arg' (--emulated32)" >&2; exit 2 ;;
  esac
done
sudo_cmd=""; [ "$(id -u)" = 0 ] || sudo_cmd="sudo"
packages=(
  wine wine64 wine32:i386 libgnutls30:i386
  mingw-w64 g++-mingw-w64-i686 g++-mingw-w64-x86-64 libz-mingw-w64-dev
  binutils-mingw-w64-i686 binutils-mingw-w64-x86-64
  cmake ninja-build make g++ clang libclang-rt-14-dev python3 python3-pil
  googletest zlib1g-dev libssl-dev libzstd-dev zstd dpkg-dev
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
  grep -q '^ko_KR.UTF-8 UTF-8' /etc/locale.gen 2>/dev/null || echo 'ko_KR.UTF-8 UTF-8' | $sudo_cmd tee -a /etc/locale.gen >/dev/null
  $sudo_cmd locale-gen >/dev/null
fi

# zstd's decoder for the Windows builds: Debian's source package for the archive this machine
# uses (a source entry added for this one call, in apt state of its own), built with the library's
# own makefile for each mingw toolchain. CMake looks for it there (see CMakeLists.txt).
zstd_cache=/var/cache/talvo-zstd
if [ ! -f "$zstd_cache/i686-w64-mingw32/lib/libzstd.a" ] || [ ! -f "$zstd_cache/x86_64-w64-mingw32/lib/libzstd.a" ]; then
  work=$(mktemp -d)
  trap 'rm -rf "$work"' EXIT
  uris=$(sed -n 's/^URIs: *\(.*debian\)$/\1/p' /etc/apt/sources.list.d/debian.sources 2>/dev/null | head -1)
  [ -n "$uris" ] || uris=http://deb.debian.org/debian
  codename=$(. /etc/os-release && echo "${VERSION_CODENAME:-bookworm}")
  printf '%s\n' "Types: deb-src" "URIs: $uris" "Suites: $codename $codename-updates" "Components: main" \
    "Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg" > "$work/source.sources"
  mkdir -p "$work/lists/partial" "$work/cache/archives/partial"
  apt_src=(-o Dir::Etc::SourceList=/dev/null -o "Dir::Etc::SourceParts=$work" -o "Dir::State::Lists=$work/lists"
           -o "Dir::Cache=$work/cache" -o APT::Sandbox::User=root)
  echo "setup: building zstd's decoder for mingw from Debian's libzstd source package"
  apt-get "${apt_src[@]}" update -qq
  (cd "$work" && apt-get "${apt_src[@]}" source --download-only -qq libzstd >/dev/null)
  dpkg-source -x "$work"/libzstd_*.dsc "$work/src" >/dev/null
  for triple in i686-w64-mingw32 x86_64-w64-mingw32; do
    make -s -C "$work/src/lib" clean >/dev/null
    # Decoder only, no assembly (mingw objects), no legacy formats: the updater only applies deltas.
    make -s -C "$work/src/lib" -j2 libzstd.a CC="$triple-gcc-posix" AR="$triple-ar" \
      ZSTD_LIB_COMPRESSION=0 ZSTD_LIB_DICTBUILDER=0 ZSTD_LIB_DEPRECATED=0 ZSTD_LEGACY_SUPPORT=0 ZSTD_NO_ASM=1 >/dev/null
    $sudo_cmd mkdir -p "$zstd_cache/$triple/lib" "$zstd_cache/$triple/include"
    $sudo_cmd cp "$work/src/lib/libzstd.a" "$zstd_cache/$triple/lib/"
    $sudo_cmd cp "$work/src/lib/zstd.h" "$work/src/lib/zstd_errors.h" "$zstd_cache/$triple/include/"
  done
  rm -rf "$work"
  trap - EXIT
fi

installed() { dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q 'install ok installed'; }
# Empty when qemu-i386 is missing (a fresh machine): that is a reason to install it, not to stop.
qemu_major() { qemu-i386 --version 2>/dev/null | sed -n 's/^qemu-i386 version \([0-9]*\)\..*/\1/p' || true; }
if [ "$emulated32" = 1 ]; then
  major=$(qemu_major)
  if [ -z "$major" ] || [ "$major" -lt 8 ] || ! installed gcc-multilib; then
    codename=$(. /etc/os-release && echo "${VERSION_CODENAME:-}")
    from=()
    if [ "$codename" = bookworm ]; then
      list=/etc/apt/sources.list.d/talvo-bookworm-backports.sources
      if ! grep -rqs 'bookworm-backports' /etc/apt/sources.list /etc/apt/sources.list.d/; then
        printf '%s\n' "Types: deb" "URIs: http://deb.debian.org/debian" "Suites: bookworm-backports" \
          "Components: main" "Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg" | $sudo_cmd tee "$list" >/dev/null
      fi
      from=(-t bookworm-backports)
    fi
    echo "setup: installing qemu-user ${from[*]} and gcc-multilib for the emulated32 route"
    $sudo_cmd apt-get update -qq
    # Without recommends: qemu-user-binfmt would register the emulators machine-wide; the route
    # starts qemu-i386 itself.
    DEBIAN_FRONTEND=noninteractive $sudo_cmd apt-get install -y -qq --no-install-recommends "${from[@]}" \
      qemu-user gcc-multilib >/dev/null
  fi
fi
