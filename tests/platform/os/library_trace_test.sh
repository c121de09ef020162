#!/usr/bin/env bash
# Watches the library loader's system calls with strace(1): a ".dll" name
# must reach no file at all, and a bare name the loader cannot find is looked
# for in the ten library folders, in order.
set -euo pipefail

tests="$UPD_BINARY_DIR/bin/test_platform_os"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

if ! strace -o /dev/null true 2>/dev/null; then
  echo "strace cannot trace here (no ptrace); nothing to check" >&2
  exit 0
fi

trace() {  # trace <file> <gtest filter>
  ASAN_OPTIONS=detect_leaks=0 strace -f -e trace=%file,openat -o "$1" \
    "$tests" --gtest_filter="$2" >"$work/out" 2>&1 || { cat "$work/out"; exit 1; }
}

trace "$work/dll" 'OsLibraryLoad.NamesEndingInDllAreNeverOpened'
if grep -q 'crypto\.dll' "$work/dll"; then
  echo "a .dll name touched the file system:" >&2
  grep 'crypto\.dll' "$work/dll" >&2
  exit 1
fi

trace "$work/search" 'OsLibraryLoad.ArgumentErrors'
grep -q '"[^"]*libdefinitelynotinstalled\.so"' "$work/search" || {
  echo "the bare name was not first tried as name.so" >&2
  exit 1
}
expected='/lib
/usr/lib
/usr/local/lib
/usr/lib32
/lib64
/usr/lib64
/lib/x86_64-linux-gnu
/lib/i386-linux-gnu
/usr/lib/x86_64-linux-gnu
/usr/lib/i386-linux-gnu'
actual=$(grep 'O_DIRECTORY' "$work/search" | sed -E 's/.*openat\(AT_FDCWD, "([^"]*)".*/\1/')
if [[ "$actual" != "$expected" ]]; then
  echo "library folders searched:" >&2
  echo "$actual" >&2
  exit 1
fi
echo ok
