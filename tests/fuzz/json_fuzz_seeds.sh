#!/usr/bin/env bash
# Seeds for json_fuzz: every text of the parser's case table, and a small
# repository-like document with escapes, numbers of every form and an object
# large enough to carry a member index.
set -euo pipefail
out=$1
mkdir -p "$out"
here=$(cd "$(dirname "$0")" && pwd)
python3 - "$here/../repository/json/parse_cases.txt" "$out" <<'PY'
import json, re, sys
cases, out = sys.argv[1], sys.argv[2]
n = 0
for line in open(cases, encoding="utf-8"):
    line = line.rstrip("\n")
    if not line or line.startswith("#"):
        continue
    text = line.split("\t", 1)[0]
    data = re.sub(rb"%([0-9A-Fa-f]{2})", lambda m: bytes([int(m.group(1), 16)]), text.encode())
    open(f"{out}/case{n:03d}.json", "wb").write(data)
    n += 1
doc = {f"app{i}": {"application": {"id": f"id{i}", "path": f"/v1/pkg{i}.bin",
                                    "display_name": "Caf\u00e9 \"\u2603\"\t", "version_id": i * 10,
                                    "size": 2 ** 40 + i, "rating": i / 7, "language": ["en_US", "de"],
                                    "hash": "%040x" % i, "eol": None, "beta": i % 2 == 0}}
       for i in range(40)}
open(f"{out}/repository.json", "w").write(json.dumps(doc, indent=2))
PY
printf '%s' '{"root":{"decision_tree":{"switch":{"var":"os.type","cases":[{"eq":"linux","file":[{"reference":"a"}]}]}}}}' >"$out/tree.json"
