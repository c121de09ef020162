#!/usr/bin/env bash
# Seeds for catalogue_fuzz: catalogues of the shapes the update servers send
# (engine modules with delta chains, channel sections, references to
# per-component catalogues, application components, inline data, the
# special sections) and a few damaged ones.
set -euo pipefail
out=$1
mkdir -p "$out"

cat > "$out/modules.ver" <<'INI'
[SETUP]
probability=50
[LINKS]
updates=/upd/v3
[SERVERS]
list=3@http://a.example/ , http://b.example/;http://c.example/
[EM001_64]
name=EM001_64
category=engine
platform=x64
type=em001
version=1.0.1200 (20240101)
build=1200
level=0
file=/upd/v3/em001_64_1200.nup
size=40960
group=Release,Beta
[EM001_64_D1]
category=engine
platform=x64
type=em001
build=1201
base=1200
level=1
file=em001_64_1201.nup
size=1024
[EM001_64_D2]
category=engine
platform=x64
type=em001
build=1202
baseindex=1201
level=2
file=em001_64_1202.nup
[CONTINUOUS_EM001_64]
category=engine
platform=x64
type=em001
build=1203
base=1202
level=1
[PRELIMINARY_EM002]
category=dll
platform=x86
type=em002
build=77
[REVERSE_EM003]
category=dylib
platform=arm64
type=em003
build=3
INI

cat > "$out/components.ver" <<'INI'
[APP_agent]
category=component
platform=winnt64
version=10.2.300.4
display_name=Agent%20%u20AC%E9
language=1033
setup=full
Agreed=1
versionid=7
file=agent.nup
[APP_tool]
category=Component
platform=WINNT32
buildMS=1
buildLS=2
[PICO_7]
category=pico
id=7
interval=3600
[REF_EM004]
ver=upd1234ABCD.ver
INI

cat > "$out/inline.ver" <<'INI'
[EULA_TEXT]
category=component
platform=winnt32
data0000=SGVsbG8sIHdvcmxkIQ==
[BLOB]
data0000=AAECAwQFBgcICQoLDA0ODxAREhMUFRYXGBkaGxwdHh8=
data0001=ICEiIyQlJicoKSorLC0uLzAxMjM0NTY3ODk6Ozw9Pj8=
data0002=
[BROKEN]
data0000=SGV*bG8=
INI

printf '[A]\r\ncategory=engine\r\nplatform=x64\r\nbuild=1\r\n[A]\r\nbuild=2\r\n[' > "$out/duplicate_open.ver"
printf '[LEVELS]\ncategory=engine\nplatform=x64\nlevel=2147483647\nbuild=4294967295\nbase=-1\n' \
  > "$out/extremes.ver"
