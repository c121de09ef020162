#!/usr/bin/env bash
# updhost app-check and app-update against a signed repository that nginx
# serves: the records printed, a new agreement accepted with --agree, the
# host's answer to the install, a further product's package moved into place.
set -uo pipefail
# shellcheck source=../../support/updhost_kit.sh
source "${UPD_SOURCE_DIR:?UPD_SOURCE_DIR not set}/tests/support/updhost_kit.sh"
src=$UPD_SOURCE_DIR
export TMPDIR="$work/tmp"
mkdir -p "$TMPDIR" "$work/data" "$work/modules" "$work/installed"

testnet_start web nginx "$work" || exit 1
repo="$web_root/repo"
base=$((1 << 48))

sign() { python3 "$src/tools/testpki/sign_kit.py" sign "Wexa Repository Signing Certificate" "$1" "$2"; }
sha1() { printf '%s' "$1" | sha1sum | cut -c1-40; }

# metadata FOLDER JSON-MEMBERS REFS: a signed metadata3 offering REFS.
metadata() {
  mkdir -p "$repo/$1"
  printf '{"root": {"decision_tree": {"switch": {"var": "x", "cases": [{"file": [%s]}]}}}%s}' \
    "$3" "$2" > "$work/plain.json"
  sign "$work/plain.json" "$repo/$1/metadata3" || { echo "FAIL signing"; exit 1; }
}

app_content="application 1.0.0.5"
mkdir -p "$repo/suite/home/pkg" "$repo/suite/pkg/eula" "$repo/tools/a"
printf '%s' "$app_content" > "$repo/suite/home/pkg/app.bin"
printf '%s' "tools a 2" > "$repo/tools/a/a.bin"
cat > "$repo/suite/pkg/eula/manifest.erm" <<'JSON'
[{"document": {"format": 136, "language": [""], "path": "en.html", "hash": "DOC-1", "effective_date": "2026-03-01"}}]
JSON
metadata suite/home ", \"pkg\": {\"application\": {\"id\": \"suite.pkg\", \"format\": 8, \"version_id\": $((base + 5)), \"version\": \"1.0.0.5\", \"path\": \"pkg/app.bin\", \"size\": ${#app_content}, \"hash\": \"$(sha1 "$app_content")\", \"date\": 1700000000, \"eula\": \"terms\"}}, \"terms\": {\"collection\": {\"id\": \"terms\", \"path\": \"eula\", \"format\": 322, \"hash\": \"AGR-1\", \"version\": \"3.1.0\", \"tags\": [\"suite-terms\"]}}" '{"reference": "pkg"}'
metadata tools/a ", \"a\": {\"application\": {\"id\": \"tools.a\", \"format\": 8, \"version_id\": $((base + 9)), \"version\": \"1.0.0.9\", \"path\": \"a.bin\", \"size\": 9, \"hash\": \"$(sha1 "tools a 2")\", \"date\": 1700000001}}" '{"reference": "a"}'
printf 'tools a 1' > "$work/installed/a.bin"

# run NAME EXPECTED_EXIT EXPECTED_STDOUT ARGS...
run() { updhost_case "$1" "$2" "$3" all "${@:4}" --server "${web_url}repo/"; }

agreement="agreement name suite-terms version 3.1.0 level 4 hash AGR-1 document DOC-1 url ${web_url}repo/suite/pkg/eula/en.html effective 2026-03-01"
run "check" 0 "update suite.pkg 1.0.0.5 word 0x0 severity 1 date 1700000000 size 19 changelog 
$agreement
update tools.a 1.0.0.9 word 0x0 severity 1 date 1700000001 size 9 changelog 
result 0x0000" app-check suite.home 1.0.0.0 --product "tools.a:1.0.0.0:8:$work/installed/a.bin"

run "agreement first" 1 "outcome 0x1 changelog 
$agreement
step 1 code 0x500B
step 2 code 0x500B
result 0x500B" app-update suite.home 1.0.0.0

run "agreed, the host goes on installing" 1 "outcome 0x1 changelog 
$agreement
step 1 code 0x500B
step 2 code 0x500B
agreed
outcome 0x1 changelog 
step 1 code 0x5008
result 0x5008" app-update suite.home 1.0.0.0 --agree --install-answer 20488
grep -q "^event 41 package $TMPDIR/PCU" "$work/err" || { echo "FAIL no event 41"; failures=$((failures + 1)); }
[ -z "$(ls -A "$TMPDIR")" ] || { echo "FAIL temporary files left: $(ls "$TMPDIR")"; failures=$((failures + 1)); }
grep -q "^LastAppUpdateAttempt=" "$work/data/settings.ini" ||
  { echo "FAIL LastAppUpdateAttempt not stored"; failures=$((failures + 1)); }

run "products only" 0 "outcome 0x4 changelog 
step 4 code 0x0000
result 0x0000" app-update suite.home 1.0.0.5 --component suite-terms:3.1.0:AGR-1 \
  --product "tools.a:1.0.0.0:8:$work/installed/a.bin"
[ "$(cat "$work/installed/a.bin")" = "tools a 2" ] || { echo "FAIL product not placed"; failures=$((failures + 1)); }

run "bad product option" 2 "" app-check suite.home 1.0.0.0 --product "tools.a:1.0.0.0"

[ "$failures" -eq 0 ] && echo "all passed"
exit "$failures"
