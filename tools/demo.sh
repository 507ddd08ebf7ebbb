#!/usr/bin/env bash
# The updater's main job: the sample release (samples/release/release.txt) is published with
# talvo-publish into the build folder and served by nginx on 127.0.0.1:80, then TalvoUpdate.exe
# runs under Wine on a virtual display in a sandbox installation folder beside a stand-in
# Talvo.exe; its update window opens, the start button is pressed as a user would, and this
# prints each status and counter change, saves screenshots (build/win32/demo-shots or build/win64/...) and says what
# was installed. Needs root for port 80. Extra arguments go to the run, e.g.:
#   tools/demo.sh --installed 3.41      (the main program up to date: the other components only)
# Where Wine cannot start 32-bit programs (tools/windows-build.sh), the same program built for
# x86_64 runs instead (build/win64); TALVO_WINDOWS_BUILD=win64 asks for it anywhere.
# The sample release is published signed, with the test release key (tests/crypto/fixtures), by
# the host build of talvo-publish (OpenSSL signs); the updater that runs is the build that
# carries that key's public half, and the demo prints its checks as they happen.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
cd "$top"

step="checking what is installed"
# Every failure names the step it ended and the command's own words, never a bare status.
trap 'status=$?; echo "demo: failed while $step (exit status $status; the lines above say why)" >&2; exit $status' ERR
set -E

tools/setup.sh
step="choosing the Windows build"
why=$(tools/windows-build.sh --why)
preset=$(tools/windows-build.sh --preset)
echo "== The demo runs on $why"
build=build/$preset
export TALVO_WINE_ARCH=$preset
step="building the $preset preset"
cmake --preset "$preset" >/dev/null
cmake --build --preset "$preset" >/dev/null
run_exe() { TALVO_WINE_TEMPLATE=$build/wine/template tools/wine-run.sh "$@"; }
host=$(sed -n 's/^TALVO_UPDATE_HOST:STRING=//p' $build/CMakeCache.txt)

step="preparing Wine's prefix ($TALVO_WINE_ARCH)"
tools/wine-prefix.sh "$build/wine/template"

# The release as a maker has it: the description, and the built programs copied into its folders.
step="copying the sample release"
release=$build/release
rm -rf "$release"
mkdir -p "$release"
cp -r samples/release "$release/src"
cp $build/tests/app/talvo_client_standin.exe "$release/src/files/client/Talvo.exe"
cp $build/tests/publish/talvo_extra_standin.exe "$release/src/files/extra/TalvoExtra.exe"

step="building the host talvo-publish (it signs the release)"
cmake --preset native-bench >/dev/null
cmake --build --preset native-bench --target talvo-publish >/dev/null

step="publishing the sample release with talvo-publish"
echo "== Publishing the sample release, signed (talvo-publish --sign-key; the document is written only when lint finds nothing):"
# A copy of the test key: talvo-publish keeps the highest release it signed beside the key, and
# the demo's release folder starts empty each time, so it starts at release 1.
cp tests/crypto/fixtures/test-release-key.pem "$release/test-release-key.pem"
build/native-bench/tools/publish/talvo-publish "$release/src/release.txt" "$release/www" \
  --base-url "http://${host:-127.0.0.1}/talvoupdate/" --sign-key "$release/test-release-key.pem" --release-number 1
echo "release key:  $(cat tests/crypto/fixtures/test-release-key.pub)"
echo "backup key:   $(cat tests/crypto/fixtures/test-backup-key.pub) (kept offline; the updater trusts it too)"
# The maker's web pages (log page, banner) on the same server.
cp -r samples/release/app samples/release/Banner2008 "$release/www/"

step="reading the published document with talvo-doc"
echo "== What the updater reads from the published document (talvo-doc):"
dump=$(run_exe $build/tools/talvo-doc/talvo-doc.exe dump "Z:$top/$release/www/talvoupdate/PlusInformation.php")
dump=${dump//$'\r'/}
echo "${dump:0:1500}"

step="taking port 80 (another demo, benchmark or test holds it)"
exec 8>/tmp/talvo-port80.lock
flock -w 600 8
step="starting nginx on 127.0.0.1:80"
echo "== nginx serves $release/www on 127.0.0.1:80 (configuration: tools/publish/nginx-example.conf)"
tools/publish/serve-nginx.sh start "$release/www" "$build/nginx" 127.0.0.1:80
trap 'tools/publish/serve-nginx.sh stop "$top/$build/nginx"' EXIT

step="running the update window"
echo "== The update window, driven as a user would:"
python3 tests/update/window_demo.py --build $build --shots "$build/demo-shots" \
  --updater "$build/tests/app/TalvoUpdateSignedTest.exe" --access-log "$build/nginx/access.log" "$@"
