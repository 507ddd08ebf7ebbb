#!/usr/bin/env bash
# The updater's main job: the test update server on 127.0.0.1:80 serves the sample release
# (samples/release, with packages generated into the build folder) and TalvoUpdate.exe runs
# under Wine in a sandbox installation folder beside a stand-in Talvo.exe, then this says what
# happened. Needs root for port 80. Extra arguments go to the run, e.g.:
#   tools/demo.sh --installed 3.41      (nothing outdated but the other components)
#   tools/demo.sh --background
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
cd "$top"
tools/setup.sh
cmake --preset win32 >/dev/null
cmake --build --preset win32 >/dev/null
python3 samples/release/make-packages.py build/win32/release >/dev/null

echo "== What the updater reads from the sample release's information document (talvo-doc):"
TALVO_WINE_TEMPLATE=build/win32/wine/template tools/wine-run.sh build/win32/tools/talvo-doc/talvo-doc.exe \
  dump "Z:$top/samples/release/talvoupdate/PlusInformation.php" | tr -d '\r' | head -c 1500
echo
echo "== One update check against the local update server:"
exec python3 tests/app/update_check_demo.py --build build/win32 --packages build/win32/release "$@"
