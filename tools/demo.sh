#!/usr/bin/env bash
# The updater's main job: the sample release (samples/release/release.txt) is published with
# talvo-publish into the build folder and served by nginx on 127.0.0.1:80, then TalvoUpdate.exe
# runs under Wine on a virtual display in a sandbox installation folder beside a stand-in
# Talvo.exe; its update window opens, the start button is pressed as a user would, and this
# prints each status and counter change, saves screenshots (build/win32/demo-shots) and says what
# was installed. Needs root for port 80. Extra arguments go to the run, e.g.:
#   tools/demo.sh --installed 3.41      (the main program up to date: the other components only)
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
cd "$top"
tools/setup.sh
cmake --preset win32 >/dev/null
cmake --build --preset win32 >/dev/null
build=build/win32
run_exe() { TALVO_WINE_TEMPLATE=$build/wine/template tools/wine-run.sh "$@"; }
host=$(sed -n 's/^TALVO_UPDATE_HOST:STRING=//p' $build/CMakeCache.txt)

# The release as a maker has it: the description, and the built programs copied into its folders.
release=$build/release
rm -rf "$release"
mkdir -p "$release"
cp -r samples/release "$release/src"
cp $build/tests/app/talvo_client_standin.exe "$release/src/files/client/Talvo.exe"
cp $build/tests/publish/talvo_extra_standin.exe "$release/src/files/extra/TalvoExtra.exe"

echo "== Publishing the sample release (talvo-publish; the document is written only when lint finds nothing):"
run_exe $build/tools/publish/talvo-publish.exe "Z:$top/$release/src/release.txt" "Z:$top/$release/www" \
  --base-url "http://${host:-127.0.0.1}/talvoupdate/" | tr -d '\r'
# The maker's web pages (log page, banner) on the same server.
cp -r samples/release/app samples/release/Banner2008 "$release/www/"

echo "== What the updater reads from the published document (talvo-doc):"
run_exe $build/tools/talvo-doc/talvo-doc.exe dump "Z:$top/$release/www/talvoupdate/PlusInformation.php" \
  | tr -d '\r' | head -c 1500
echo

echo "== nginx serves $release/www on 127.0.0.1:80 (configuration: tools/publish/nginx-example.conf)"
tools/publish/serve-nginx.sh start "$release/www" "$build/nginx" 127.0.0.1:80
trap 'tools/publish/serve-nginx.sh stop "$top/$build/nginx"' EXIT

echo "== The update window, driven as a user would:"
python3 tests/update/window_demo.py --build $build --access-log "$build/nginx/access.log" "$@"
