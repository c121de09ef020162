#!/usr/bin/env bash
# Installs a build into a temporary prefix, as a host's packager would, and
# builds the small C host of tests/install against the installed files
# twice: with pkg-config (cc $(pkg-config --cflags --libs updater)) and with
# CMake's find_package(updater). Each must load the installed library, not
# the build tree's; the installed updhost must find it too. The prefix is
# removed at the end, so no test ever sees it.
#
#   tools/install_check.sh [build folder]     (default build/dev)
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
build=${1:-build/dev}

work=$(mktemp -d "${TMPDIR:-/tmp}/updater-install.XXXXXX")
trap 'rm -rf "$work"' EXIT
prefix=$work/prefix
fail() { echo "install check: $*" >&2; exit 1; }

cmake --install "$build" --prefix "$prefix" > "$work/install.log" || { cat "$work/install.log"; exit 1; }

pc=$(find "$prefix" -name updater.pc -print -quit)
[ -n "$pc" ] || fail "no updater.pc under the prefix"
export PKG_CONFIG_PATH=${pc%/*}
libdir=$(pkg-config --variable=libdir updater)
includedir=$(pkg-config --variable=includedir updater)
version=$(pkg-config --modversion updater)
for f in "$libdir/libupdater.so" "$includedir/updater.h" "$prefix/bin/updhost" \
  "$libdir/cmake/updater/updaterConfig.cmake" "$libdir/cmake/updater/updaterConfigVersion.cmake"; do
  [ -e "$f" ] || fail "missing $f (installed: $(cd "$prefix" && find . -type f | tr '\n' ' '))"
done

# A sanitizer build of the library needs the sanitizer's runtime loaded
# first in a host built without it.
preload=
if readelf -d "$libdir/libupdater.so" | grep -q 'NEEDED.*libasan'; then
  preload=$(cc -print-file-name=libasan.so)
fi

# run_host LABEL HOST: runs it on fresh folders; it must resolve
# libupdater.so inside the prefix.
run_host() {
  local label=$1 host=$2
  local resolved
  resolved=$(LD_LIBRARY_PATH=$libdir ldd "$host" | awk '$1 == "libupdater.so" {print $3}')
  [ "$(realpath "$resolved")" = "$(realpath "$libdir/libupdater.so")" ] ||
    fail "$label host loads '${resolved:-nothing}' instead of the installed library"
  rm -rf "$work/data" "$work/modules"
  mkdir -p "$work/data" "$work/modules"
  LD_LIBRARY_PATH=$libdir LD_PRELOAD=$preload "$host" "$work/data" "$work/modules" ||
    fail "$label host failed"
}

# shellcheck disable=SC2046  # pkg-config's flags are words
cc -std=c11 -Wall -Wextra -Werror -o "$work/host_pc" tests/install/host.c \
  $(pkg-config --cflags --libs updater) > "$work/cc.log" 2>&1 || { cat "$work/cc.log"; exit 1; }
run_host pkg-config "$work/host_pc"

cmake -S tests/install -B "$work/consumer" -DCMAKE_PREFIX_PATH="$prefix" \
  -DUPDATER_VERSION="$version" > "$work/consumer.log" 2>&1 || { cat "$work/consumer.log"; exit 1; }
cmake --build "$work/consumer" >> "$work/consumer.log" 2>&1 || { cat "$work/consumer.log"; exit 1; }
run_host find_package "$work/consumer/host"

# The installed command-line host finds the installed library by itself.
mkdir -p "$work/data" "$work/modules"
out=$("$prefix/bin/updhost" times --data "$work/data" --modules "$work/modules" 2>&1) ||
  fail "installed updhost: $out"
[ "$(tail -n 1 <<< "$out")" = "result 0x0000" ] || fail "installed updhost: $out"

echo "install check: $version installed, pkg-config and find_package hosts and updhost run"
