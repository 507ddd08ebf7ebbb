#!/usr/bin/env bash
# talvo-zip as its user meets it: exit status, one-line reasons, directory order, and nothing
# touched outside the target folder.   talvozip_test.sh TALVO-ZIP
set -euo pipefail
tool=$1
work=$(mktemp -d "${TMPDIR:-/tmp}/talvozip-test.XXXXXX")
trap 'rm -rf "$work"' EXIT
cd "$work"
python3 - <<'PY'
import zipfile
with zipfile.ZipFile("good.zip", "w", zipfile.ZIP_DEFLATED) as z:
    z.writestr("a.txt", "alpha\n")
    z.writestr("b.txt", "beta\n" * 1000)
with zipfile.ZipFile("evil.zip", "w") as z:
    z.writestr("first.txt", "first")
    z.writestr("../victim.txt", "overwritten")
    z.writestr("never.txt", "never")
with zipfile.ZipFile("crc.zip", "w") as z:
    z.writestr("bad.txt", "payload")
data = bytearray(open("crc.zip", "rb").read())
data[data.index(b"payload")] ^= 1
open("crc.zip", "wb").write(data)
open("text.zip", "w").write("not a zip archive\n")
PY
fail() { echo "FAIL: $*" >&2; exit 1; }
one_line_refusal() {  # one_line_refusal PATTERN COMMAND...: exit 1 and one matching line on stderr
  local pattern=$1; shift
  local rc=0
  "$@" >/dev/null 2>err || rc=$?
  [ "$rc" = 1 ] || fail "$* exited $rc"
  [ "$(wc -l <err)" = 1 ] || fail "$*: not one line: $(cat err)"
  grep -q -- "$pattern" err || fail "$*: '$(cat err)' lacks '$pattern'"
}

listing=$("$tool" list good.zip) || fail "list good.zip"
grep -q ' deflated .* a\.txt$' <<<"$listing" || fail "listing lacks a.txt: $listing"
[ "$(tail -n 1 <<<"$listing")" = "2 entries" ] || fail "listing count: $listing"
grep -q 'refused: unsafe name' <<<"$("$tool" list evil.zip)" || fail "list marks unsafe names"

mkdir out
"$tool" extract good.zip out >/dev/null || fail "extract good.zip"
[ "$(cat out/a.txt)" = alpha ] || fail "a.txt content"
cmp -s out/b.txt <(python3 -c 'print("beta\n" * 1000, end="")') || fail "b.txt content"
# An existing (even read-only) target is replaced, as the update dialog does.
echo old >out/a.txt
chmod 444 out/a.txt
"$tool" extract good.zip out >/dev/null || fail "extract over existing files"
[ "$(cat out/a.txt)" = alpha ] || fail "a.txt replaced"

# A hostile name stops the run at that entry; the file it names is neither deleted nor written.
echo keep >victim.txt
mkdir out2
one_line_refusal 'entry 1 "../victim.txt": unsafe entry name' "$tool" extract evil.zip out2
[ "$(cat victim.txt)" = keep ] || fail "victim.txt touched"
[ -f out2/first.txt ] && [ ! -e out2/never.txt ] || fail "directory order, stop at the first failure"

one_line_refusal 'CRC-32 mismatch' "$tool" extract crc.zip out2
[ ! -e out2/bad.txt ] || fail "a failed entry leaves no file"
one_line_refusal 'no end of central directory' "$tool" list text.zip
one_line_refusal 'cannot open the archive' "$tool" extract missing.zip out2
one_line_refusal 'folder is missing' "$tool" extract good.zip no-such-folder
rc=0; "$tool" >/dev/null 2>&1 || rc=$?
[ "$rc" = 2 ] || fail "usage exits 2, got $rc"
echo "talvo-zip behaves"
