#!/usr/bin/env bash
# Makes the OpenPGP test kit once under ROOT and prints its folder. Tests run
# in processes of their own (ctest runs each case apart), so they share one
# kit, made under a lock in a folder named after the digest of the kit's
# scripts: a changed script makes a fresh kit.
#
#   pgp_kit_cached.sh ROOT
set -euo pipefail
root=${1:?usage: pgp_kit_cached.sh ROOT}
here=$(cd "$(dirname "$0")" && pwd)
mkdir -p "$root"
digest=$(cat "$here/make_pgp_kit.sh" "$here/pgp_keyblock.py" "$here/pgp_tamper.py" |
  sha1sum | cut -c1-12)
kit="$root/pgp-kit-$digest"
(
  flock 9
  if [[ ! -f "$kit/.done" ]]; then
    rm -rf "$kit.tmp"
    bash "$here/make_pgp_kit.sh" "$kit.tmp" >/dev/null 2>&1
    touch "$kit.tmp/.done"
    mv "$kit.tmp" "$kit"
    # Kits of earlier scripts are of no further use.
    find "$root" -maxdepth 1 -name 'pgp-kit-*' ! -name "pgp-kit-$digest" -exec rm -rf {} +
  fi
) 9>"$root/pgp-kit.lock"
echo "$kit"
