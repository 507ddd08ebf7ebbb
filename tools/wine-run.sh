#!/usr/bin/env bash
# Runs a Windows program under Wine in a private, throw-away clone of the template prefix, so
# each run has its own registry and C: drive. The exit status is the program's.
#   wine-run.sh PROGRAM [ARGS...]
# Environment: TALVO_WINE_ARCH (win32 or win64, see wine-env.sh)
#              TALVO_WINE_TEMPLATE (template prefix, created when missing; default
#              build/$TALVO_WINE_ARCH/wine/template)
#              TALVO_WINE_KEEP=1 keeps the clone (its path is printed) for a look afterwards.
#              TALVO_WINE_PREFIX: an existing clone to use as it is (several processes of one
#              scenario sharing a prefix). An inherited WINEPREFIX is never used, so a test can
#              never reach the developer's own prefix.
set -uo pipefail
here=$(cd "$(dirname "$0")" && pwd)
. "$here/wine-env.sh" || exit 125
template=${TALVO_WINE_TEMPLATE:-$here/../build/$TALVO_WINE_ARCH/wine/template}

own_clone=0
unset WINEPREFIX
if [ -n "${TALVO_WINE_PREFIX:-}" ]; then
  export WINEPREFIX=$TALVO_WINE_PREFIX
else
  if ! clone=$("$here/wine-clone.sh" "$template"); then
    echo "wine-run: no Wine prefix for ${1:-} (the template $template could not be made; see above)" >&2
    exit 125
  fi
  export WINEPREFIX=$clone
  own_clone=1
fi
cleanup() {
  if [ "$own_clone" = 1 ]; then
    wineserver -k >/dev/null 2>&1
    if [ "${TALVO_WINE_KEEP:-0}" = 1 ]; then echo "wine-run: kept prefix $WINEPREFIX" >&2
    else rm -rf "$clone"; fi
  fi
}
trap cleanup EXIT

"$here/with-display.sh" wine "$@"
