#!/usr/bin/env bash
# A module update from start to end on this machine: builds the library,
# makes a small signed update, serves it on a loopback port and lets the
# command-line host (updhost) install it, patch it and roll it back.
# Everything it makes lives in one temporary folder, removed at the end
# (DEMO_KEEP=1 keeps it).
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD

say() { printf '\n== %s\n' "$*"; }

say "Installing the Debian packages the build needs (tools/packages.txt) when missing"
tools/install_packages.sh

say "Building the release preset"
cmake --preset release > /dev/null
cmake --build --preset release --parallel "${CMAKE_BUILD_PARALLEL_LEVEL:-$(nproc)}" > /dev/null
build=$root/build/release
updhost=$build/bin/updhost
# The release build made this test trust folder and embedded its update key.
trust=$build/trust

work=$(mktemp -d "${TMPDIR:-/tmp}/updater-demo.XXXXXX")
server_pid=
cleanup() {
  if [ -n "$server_pid" ]; then
    kill "$server_pid" 2> /dev/null || true
    wait "$server_pid" 2> /dev/null || true
  fi
  if [ "${DEMO_KEEP:-0}" = 1 ]; then echo "kept $work"; else rm -rf "$work"; fi
}
trap cleanup EXIT

# Serves a folder: nginx from the test kit when it is installed, else the
# web server of Python's standard library. Sets $url and $www (the folder).
serve() {
  www=$work/www
  mkdir -p "$www"
  if command -v nginx > /dev/null || [ -x /usr/sbin/nginx ]; then
    python3 tools/testnet/serve.py nginx --dir "$work" > "$work/server.line" &
    server_pid=$!
    until grep -q '^ready ' "$work/server.line" 2> /dev/null; do
      kill -0 "$server_pid" 2> /dev/null || { echo "nginx did not start" >&2; exit 1; }
      sleep 0.1
    done
    www=$(tr ' ' '\n' < "$work/server.line" | sed -n 's/^root=//p')
    url=$(tr ' ' '\n' < "$work/server.line" | sed -n 's/^url=//p')
    echo "nginx serves the update at $url"
  else
    python3 - "$www" > "$work/server.line" <<'EOF' &
import functools, http.server, sys
handler = functools.partial(http.server.SimpleHTTPRequestHandler, directory=sys.argv[1])
handler.log_message = lambda *args: None
server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), handler)
print("url=http://127.0.0.1:%d/" % server.server_address[1], flush=True)
server.serve_forever()
EOF
    server_pid=$!
    until grep -q '^url=' "$work/server.line" 2> /dev/null; do
      kill -0 "$server_pid" 2> /dev/null || { echo "the web server did not start" >&2; exit 1; }
      sleep 0.1
    done
    url=$(sed -n 's/^url=//p' "$work/server.line")
    echo "Python's web server serves the update at $url"
  fi
}

# Publishes an update: the signed catalogue and the packages of the arguments.
# The server's validators of a catalogue are its time in seconds and its
# size: every publication gets a time of its own, however fast they follow.
publications=0
bump_catalogue_time() {
  publications=$((publications + 1))
  touch -d "@$(($(date +%s) + publications * 3600))" "$1"
}

publish() {
  rm -rf "${www:?}"/*
  python3 tools/testpki/update_tree.py --trust "$trust" "$www" "$@" | sed 's/^/  made /'
  bump_catalogue_time "$www/update.ver.signed"
}

# The modules as the engine sees them: name, build and version of each file.
list_modules() {
  echo "installed modules:"
  local file
  for file in "$work/modules"/*.dat; do
    [ -e "$file" ] || { echo "  (none)"; return; }
    head -n 1 "$file" | sed -E 's/^TESTMOD name=([^ ]+) .* build=([0-9]+) version=(.*)$/  \1 build \2 (version \3)/'
  done
}

host=(--data "$work/data" --modules "$work/modules" --server AUTOSELECT --backup 3:0)

# On a terminal, updhost draws the download as a progress bar among the
# lines of the other events it receives.
updhost_raw() {
  echo "(what the host receives: one line per event, the download as a progress bar)"
  "$updhost" "$@" "${host[@]}" --second "$url" || true
}

# Runs updhost with the host's events in $work/events.txt, then tells in plain
# words what the host saw, then updhost's output (its last line "result ...").
updhost_run() {
  "$updhost" "$@" "${host[@]}" --second "$url" 2> "$work/events.txt" > "$work/out.txt" || true
  awk '
    $1 == "event" && $2 == 6 { split("catalogue download installation - - - finishing", n, " ")
                               printf "  phase %s%s\n", $4, ($4 == 0 ? " (idle again)" : " (" n[$4] ")") }
    $1 == "event" && $2 == 3 && $4 == 1 { printf "  downloaded %s, %s bytes\n", $NF, $6 }
    $1 == "event" && $2 == 3 && $4 == 2 { printf "  installed a module\n" }
    $1 == "event" && $2 == 7 { printf "  the engine answered %s (event 7)\n", $3 }
    $1 == "event" && $2 == 26 { printf "  the engine is loaded from the new loader folder\n" }
  ' "$work/events.txt"
  cat "$work/out.txt"
}

mkdir -p "$work/modules" "$work/data"
serve

say "Publishing version 1: two engine modules, em001 at build 200 and em002 at build 300"
publish --module em001:200 --module em002:300
echo "The catalogue update.ver.signed carries an OpenPGP signature by the update key's signer;"
echo "the library checks it against the update key built into it before reading a line of it."
list_modules

say "Run 1: the library chooses the server (AUTOSELECT), checks the catalogue, downloads and installs"
if [ -t 1 ] && [ -t 2 ]; then updhost_raw update; else updhost_run update; fi
echo "(flags 0x020D: a catalogue obtained 0x200, and new 0x8; packages downloaded 0x4; an engine module replaced 0x1)"
list_modules

say "Publishing version 2: a level-1 patch that takes em001 from build 200 to 201"
publish --module em001:200 --module em002:300 --patch em001:200:201
say "Run 2: a backup snapshot of the installed modules first, then the engine applies the patch"
updhost_run update
list_modules

say "Run 3: nothing new on the server"
updhost_run update
echo "(0x5003: nothing to install; the catalogue was taken, so flags 0x0200)"

say "Rolling back to the snapshot taken before run 2, blocking updates for an hour"
updhost_run rollback --until "$(($(date +%s) + 3600))"
list_modules
updhost_run blocked
say "An update run while updates are blocked"
updhost_run update
echo "(0x7000: blocked by the rollback; nothing was fetched)"

say "Done; the server stops and the demo folder is removed"
