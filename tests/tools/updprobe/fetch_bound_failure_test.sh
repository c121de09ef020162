#!/usr/bin/env bash
# updprobe fetch against hostile servers: a gzip bomb and endless bodies stop
# at --max-bytes (or the default bound) with 0x1204, never writing past the
# bound (the file size limit would kill the probe) nor holding much memory,
# and leave no output file; a length past the bound is refused before the
# output is touched; a redirect without Location fails with 0x1203 and keeps
# the output as it was.
set -uo pipefail
# shellcheck source=fetch_kit.sh
source "$(dirname "$0")/fetch_kit.sh"
hostile="${PYTHON3:-python3} $UPD_SOURCE_DIR/tests/support/hostile_script.py"

serve() {  # NAME KIND [options...]: a scripted peer whose every connection plays KIND
  local name=$1 kind=$2
  shift 2
  $hostile "$kind" "$tmp/$name.json" "$@" || fail "script $name"
  testnet_start "$name" scripted "$tmp" --script "$tmp/$name.json" || fail "peer $name"
}

# expect NAME EXIT LINES URL OUT [options...]: the probe's exit code and output.
expect() {
  local name=$1 code=$2 want=$3 url=$4 out=$5
  shift 5
  local lines
  lines=$("$probe" fetch "$@" "$url" "$out")
  local status=$?
  [[ $status -eq $code && "$lines" == "$want" ]] ||
    fail "$name: exit $status, printed '$lines'"
}

# measured VAR COMMAND...: runs COMMAND; its output goes to $lines, its peak
# resident size in KiB to VAR.
measured() {
  local var=$1 report
  shift
  report=$("${PYTHON3:-python3}" -c '
import os, subprocess, sys
child = subprocess.Popen(sys.argv[1:], stdout=subprocess.PIPE)
out = child.stdout.read().decode()
_, _, usage = os.wait4(child.pid, 0)
print(out.rstrip("\n"))
print("peak %d" % usage.ru_maxrss)' "$@")
  lines=${report%$'\n'peak *}
  printf -v "$var" '%s' "${report##*peak }"
}

bound=1048576
for kind in bomb endless chunked; do
  serve "$kind" "$kind"
  url_var="${kind}_url"
  url="${!url_var}f.bin"
  # A write past the bound would end the probe with SIGXFSZ.
  (
    ulimit -f $((bound / 1024))
    expect "$kind to a file" 1 $'result 0x1204\nbytes 0' "$url" "$tmp/$kind.out" \
      --max-bytes "$bound"
  ) || fail "$kind to a file"
  [[ ! -e "$tmp/$kind.out" ]] || fail "$kind: the partial output stayed"

  measured small "$probe" fetch --memory --max-bytes 1 "$url" "$tmp/small.out"
  [[ "$lines" == $'result 0x1204\nbytes 0' ]] || fail "$kind, 1 byte: '$lines'"
  measured held "$probe" fetch --memory --max-bytes "$bound" "$url" "$tmp/$kind.mem"
  [[ "$lines" == $'result 0x1204\nbytes 0' ]] || fail "$kind in memory: '$lines'"
  [[ ! -e "$tmp/$kind.mem" ]] || fail "$kind in memory: an output was written"
  # Bounded by 1 MiB: the buffer, a receive block and an inflate window at
  # most, whatever the sanitizers add.
  ((held < small + 32 * 1024)) || fail "$kind in memory: peak ${held} KiB (${small} KiB for 1 byte)"
done

# Without --max-bytes, memory holds at most the default 64 MiB: with the
# buffer's growth and the sanitizers' quarantine of the buffers it outgrew,
# some hundreds of MiB, where an unbounded body takes gigabytes.
measured default "$probe" fetch --memory "${bomb_url}f.bin" "$tmp/default.mem"
[[ "$lines" == $'result 0x1204\nbytes 0' ]] || fail "bomb, default bound: '$lines'"
((default < small + 512 * 1024)) || fail "bomb, default bound: peak ${default} KiB"

serve long announce --length 2000
printf 'old' >"$tmp/kept.out"
expect "a length past the bound" 1 $'result 0x1204\nbytes 3' "${long_url}f.bin" "$tmp/kept.out" \
  --max-bytes 1999
[[ "$(cat "$tmp/kept.out")" == old ]] || fail "the output was touched"
expect "a length past the bound, new output" 1 $'result 0x1204\nbytes 0' "${long_url}f.bin" \
  "$tmp/absent.out" --max-bytes 1999
[[ ! -e "$tmp/absent.out" ]] || fail "an output was created"
fetched "${long_url}f.bin" "$tmp/exact.out" --max-bytes 2000
[[ "$(stat -c %s "$tmp/exact.out")" == 2000 ]] || fail "a body of exactly the bound"

# The default bound of a file: 1 GiB.
serve huge announce --length $((1024 * 1024 * 1024 + 1))
expect "past the default bound" 1 $'result 0x1204\nbytes 0' "${huge_url}f.bin" "$tmp/huge.out"
[[ ! -e "$tmp/huge.out" ]] || fail "an output past the default bound was created"

for status in 301 302 307 308; do
  serve "moved$status" redirect --status "$status"
  url_var="moved${status}_url"
  printf 'old' >"$tmp/upd.ver"
  expect "$status without Location" 1 $'result 0x1203\nbytes 3' "${!url_var}update.ver" \
    "$tmp/upd.ver"
  [[ "$(cat "$tmp/upd.ver")" == old ]] || fail "$status replaced the output"
done

for args in "--max-bytes" "--max-bytes x ${bomb_url} $tmp/x" "--max-bytes -1 ${bomb_url} $tmp/x" \
  "--max-bytes 99999999999999999999 ${bomb_url} $tmp/x" "--max-bytes 1k ${bomb_url} $tmp/x"; do
  # shellcheck disable=SC2086
  "$probe" fetch $args >/dev/null 2>&1
  [[ $? -eq 2 ]] || fail "'fetch $args' should be a usage error"
done
echo ok
