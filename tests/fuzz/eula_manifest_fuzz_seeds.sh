#!/usr/bin/env bash
# Seeds for eula_manifest_fuzz: manifests with shown and kept documents in
# several languages, documents to pass over, and hostile paths.
set -euo pipefail
out=$1
mkdir -p "$out"
cat >"$out/manifest.json" <<'JSON'
[{"document":{"format":136,"language":["de_DE"],"path":"de.html","hash":"A"}},
 {"document":{"format":129,"language":["EN-us","fr"],"path":"","hash":"B"}},
 {"document":{"format":136,"language":["en_US"],"path":"en.html","hash":"C","effective_date":"2026-01-01"}},
 {"document":{"type":15,"format":3,"language":["en_us"],"path":"//cdn/licence.txt","hash":"K"}},
 {"document":{"type":15,"format":7,"language":"en_US","path":"x.txt"}},
 {"other":1}, 5, "text"]
JSON
printf '%s' '[{"document":{"format":136,"language":["en_US"],"path":"../%2e%2E/x"}},{"document":{"type":15,"format":3,"language":["en-US"],"path":"file:///etc/passwd"}}]' >"$out/hostile.json"
printf '%s' 'https://cdn.example/a/..\b' >"$out/path.txt"
