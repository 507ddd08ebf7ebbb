# Sourced by the Wine scripts: the environment every Wine run of this project uses.
# Korean ANSI code page (949), no offers to download Mono or Gecko, no Wine chatter, and no
# debugger for a crash: the process ends at once with a nonzero status (253 for a stack
# overflow) instead of hanging in winedbg or, worse, ending with status 0.
# TALVO_WINE_ARCH (win32 by default, win64 for the 64-bit build) chooses the loader and the kind
# of prefix; tools/windows-build.sh tells which one runs here. With TALVO_WINDOWS_BUILD=emulated32
# the 32-bit loader runs under qemu-i386 user emulation (tools/wine-emulated32/), for kernels that
# cannot run 32-bit programs.
export LC_ALL=ko_KR.UTF-8
export TALVO_WINE_ARCH=${TALVO_WINE_ARCH:-win32}
case "$TALVO_WINE_ARCH" in
  win32)
    export WINEARCH=win32
    if [ "${TALVO_WINDOWS_BUILD:-}" = emulated32 ]; then
      # `wine` (also from the tests' own scripts) means the emulated 32-bit loader; the processes
      # Wine starts itself are put under qemu by the preloaded library.
      talvo_emulated32_dir=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)/wine-emulated32
      case ":$PATH:" in *":$talvo_emulated32_dir:"*) ;; *) export PATH="$talvo_emulated32_dir:$PATH" ;; esac
      "$talvo_emulated32_dir/build-preload.sh" >/dev/null || return 2
    fi
    ;;
  win64)
    export WINEARCH=win64
    # `wine` (also from the tests' own scripts) means the 64-bit loader.
    talvo_wine64_dir=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)/wine64-loader
    case ":$PATH:" in *":$talvo_wine64_dir:"*) ;; *) export PATH="$talvo_wine64_dir:$PATH" ;; esac
    export WINELOADER=/usr/lib/wine/wine64
    ;;
  *) echo "wine-env: TALVO_WINE_ARCH must be win32 or win64, not '$TALVO_WINE_ARCH'" >&2; return 2 ;;
esac
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d;winedbg.exe=d"
export WINEDEBUG=${WINEDEBUG:--all}
