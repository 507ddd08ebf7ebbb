#!/usr/bin/env bash
# Runs a Windows program under Wine in a private, throw-away clone of the template prefix, so
# each run has its own registry and C: drive. The exit status is the program's.
#   wine-run.sh PROGRAM [ARGS...]
# Environment: TALVO_WINE_TEMPLATE (template prefix, created when missing; default build/win32/wine/template)
#              TALVO_WINE_KEEP=1 keeps the clone (its path is printed) for a look afterwards.
#              WINEPREFIX, when set by the caller to an existing clone, is used as it is.
set -uo pipefail
here=$(cd "$(dirname "$0")" && pwd)
. "$here/wine-env.sh"
template=${TALVO_WINE_TEMPLATE:-$here/../build/win32/wine/template}
"$here/wine-prefix.sh" "$template" || exit 125

own_clone=0
if [ -z "${WINEPREFIX:-}" ]; then
  work=$(mktemp -d "${TMPDIR:-/tmp}/talvo-wine.XXXXXX")
  # Hard links keep the clone cheap; files Wine rewrites in place are copied instead.
  cp -al "$template" "$work/prefix"
  find "$template" -maxdepth 1 -name '*.reg' -exec cp --remove-destination {} "$work/prefix/" \;
  find "$template/drive_c/windows" -maxdepth 1 -iname '*.ini' -exec cp --remove-destination {} "$work/prefix/drive_c/windows/" \;
  export WINEPREFIX=$work/prefix
  own_clone=1
fi
cleanup() {
  if [ "$own_clone" = 1 ]; then
    wineserver -k >/dev/null 2>&1
    if [ "${TALVO_WINE_KEEP:-0}" = 1 ]; then echo "wine-run: kept prefix $WINEPREFIX" >&2
    else rm -rf "$work"; fi
  fi
}
trap cleanup EXIT

if [ -z "${DISPLAY:-}" ]; then
  xvfb-run -a -s "-screen 0 1024x768x24" wine "$@"
else
  wine "$@"
fi
