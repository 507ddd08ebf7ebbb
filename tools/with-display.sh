#!/usr/bin/env bash
# Runs a command with an X display: the caller's DISPLAY when there is one, else a private Xvfb
# on a free display number for the length of the command. The exit status is the command's.
#   with-display.sh COMMAND [ARGS...]
set -uo pipefail
[ -n "${DISPLAY:-}" ] && exec "$@"
for n in $(seq 90 140); do
  [ -e "/tmp/.X$n-lock" ] || [ -e "/tmp/.X11-unix/X$n" ] || { disp=$n; break; }
done
[ -n "${disp:-}" ] || { echo "with-display: no free display number" >&2; exit 125; }
Xvfb ":$disp" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
xvfb_pid=$!
trap 'kill $xvfb_pid 2>/dev/null; wait $xvfb_pid 2>/dev/null' EXIT
for _ in $(seq 100); do [ -e "/tmp/.X11-unix/X$disp" ] && break; sleep 0.1; done
DISPLAY=":$disp" "$@"
