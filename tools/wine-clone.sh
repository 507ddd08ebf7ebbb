#!/usr/bin/env bash
# Makes DEST a private clone of the template Wine prefix TEMPLATE (created when missing). Hard
# links keep it cheap; the files Wine rewrites in place (registry hives, INI files in the Windows
# folder) are copied, so nothing done in the clone reaches the template.
#   wine-clone.sh TEMPLATE DEST
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
template=$1 dest=$2
"$here/wine-prefix.sh" "$template"
cp -al "$template" "$dest"
find "$template" -maxdepth 1 -name '*.reg' -exec cp --remove-destination {} "$dest/" \;
find "$template/drive_c/windows" -maxdepth 1 -iname '*.ini' -exec cp --remove-destination {} "$dest/drive_c/windows/" \;
