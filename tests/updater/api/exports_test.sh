#!/usr/bin/env bash
# The shared library must export nothing but the host's entry points.
set -euo pipefail
lib=${UPD_LIBRARY:?UPD_LIBRARY not set}
[ -f "$lib" ] || { echo "missing $lib"; exit 1; }
bad=$(nm -D --defined-only "$lib" | awk '{print $NF}' | grep -Ev '^(Upd[A-Za-z0-9_]*|OpenSSLSharedBuildId)$' || true)
if [ -n "$bad" ]; then
  echo "unexpected exported symbols:"
  echo "$bad"
  exit 1
fi
echo "exports ok"
