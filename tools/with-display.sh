#!/usr/bin/env bash
# Runs a command with an X display: the caller's DISPLAY when there is one, else a private Xvfb
# for the length of the command. The exit status is the command's.
#   with-display.sh COMMAND [ARGS...]
set -uo pipefail
[ -n "${DISPLAY:-}" ] && exec "$@"
# Xvfb takes a free display number itself and reports it: runs started side by side (ctest -j)
# never pick the same one, so none can end another's display.
numfile=$(mktemp)
Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$numfile" >/dev/null 2>&1 &
xvfb_pid=$!
trap 'kill $xvfb_pid 2>/dev/null; wait $xvfb_pid 2>/dev/null; rm -f "$numfile"' EXIT
disp=
for _ in $(seq 100); do
  # read succeeds only on a whole line: the number is complete.
  if read -r disp <"$numfile" && [[ $disp =~ ^[0-9]+$ ]]; then break; fi
  disp=
  kill -0 "$xvfb_pid" 2>/dev/null || break
  sleep 0.1
done
# Xvfb names the display only once it accepts connections.
[ -n "$disp" ] || { echo "with-display: Xvfb did not start" >&2; exit 125; }
DISPLAY=":$disp" "$@"
