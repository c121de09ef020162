#!/usr/bin/env bash
# The host's header must build as plain C (C11 and later) and as C++, with
# every pinned offset holding, and must keep the library context opaque.
set -euo pipefail
src=${UPD_SOURCE_DIR:?UPD_SOURCE_DIR not set}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

cat > "$work/host.c" <<'C'
#include "updater.h"
static uint32_t OnEvent(uint32_t event, void* data, void* user) {
  (void)data; (void)user;
  return event == UPD_EVENT_CONFIRM_DOWNLOAD;
}
int main(void) {
  static UPDATER_SETTINGS settings;
  settings.eventCallback = OnEvent;
  UPDATER_CONTEXT* context = 0;
  return context != 0 || sizeof settings < 14076;
}
C
for cc in gcc clang; do
  command -v "$cc" > /dev/null || continue
  for std in c11 c17; do
    "$cc" -std=$std -Wall -Wextra -Wpedantic -Werror -I"$src/include" "$work/host.c" -o "$work/host"
    "$work/host"
  done
done
cp "$work/host.c" "$work/host.cpp"
g++ -std=c++20 -Wall -Wextra -Wpedantic -Werror -I"$src/include" "$work/host.cpp" -o "$work/host"
"$work/host"

# The host cannot see inside the context.
printf '#include "updater.h"\nunsigned long size = sizeof(UPDATER_CONTEXT);\n' > "$work/opaque.c"
if gcc -std=c11 -fsyntax-only -I"$src/include" "$work/opaque.c" 2> /dev/null; then
  echo "UPDATER_CONTEXT is not opaque"
  exit 1
fi
echo "public header ok"
