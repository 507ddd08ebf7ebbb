#!/usr/bin/env bash
# Runs a command with an X display: the caller's DISPLAY when there is one, else a private Xvfb
# for the length of the command. The exit status is the command's.
#   with-display.sh COMMAND [ARGS...]
set -uo pipefail
[ -n "${DISPLAY:-}" ] && exec "$@"
# Xvfb picks a free display number itself and names it once it accepts connections: two runs
# starting at the same moment never end up on one display.
ready=$(mktemp "${TMPDIR:-/tmp}/with-display.XXXXXX")
Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$ready" >/dev/null 2>&1 &
xvfb_pid=$!
trap 'kill $xvfb_pid 2>/dev/null; wait $xvfb_pid 2>/dev/null; rm -f "$ready"' EXIT
for _ in $(seq 100); do
  [ -s "$ready" ] && break
  kill -0 "$xvfb_pid" 2>/dev/null || break
  sleep 0.1
done
disp=$(tr -dc 0-9 <"$ready")
[ -n "$disp" ] || { echo "with-display: Xvfb did not start" >&2; exit 125; }
DISPLAY=":$disp" "$@"
