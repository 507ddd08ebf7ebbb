#!/usr/bin/env bash
# Makes a private clone of the template Wine prefix TEMPLATE (created when missing) and prints its
# path. Hard links keep it cheap, so clones live beside the template, on the same file system
# ("TEMPLATE.clones/"); the files Wine rewrites in place (registry hives, INI files in the Windows
# folder) are copied, so nothing done in a clone reaches the template. The caller removes the
# clone when done.
#   wine-clone.sh TEMPLATE
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
template=$(realpath -m "$1")
"$here/wine-prefix.sh" "$template"
mkdir -p "$template.clones"
dest=$(mktemp -d "$template.clones/clone.XXXXXX")
rmdir "$dest"
cp -al "$template" "$dest"
find "$template" -maxdepth 1 -name '*.reg' -exec cp --remove-destination {} "$dest/" \;
find "$template/drive_c/windows" -maxdepth 1 -iname '*.ini' -exec cp --remove-destination {} "$dest/drive_c/windows/" \;
printf '%s\n' "$dest"
