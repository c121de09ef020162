#!/usr/bin/env bash
# Seeds for decision_tree_fuzz: trees using every operator on every element
# type, defaults of every type, nested switches with else nodes, and
# resources of each kind with named licence and change-log members.
set -euo pipefail
out=$1
mkdir -p "$out"
cat >"$out/operators.json" <<'JSON'
{"manifest":{"version":3},"root":{"decision_tree":{"revision":1,
 "defaults":{"language":"en-GB","os.family":2,"ratio":0.5,"beta":false,"nothing":null,"list":[1]},
 "switch":{"var":"os.type","cases":[
  {"eq":"linux","file":[{"reference":"app","severity":2}],"switch":{"var":"os.bits","cases":[
    {"in_set":["32","64"],"file":[{"reference":"coll"}]}],"else":{"file":[{"reference":"none"}]}}},
  {"starts_with":"LI","file":[{"reference":"app"}]},
  {"ends_with":"nux","contains":"x","file":[{"reference":"both"}]},
  {"not_contains":"win","switch":{"var":"app.version","cases":[
    {"in_range":[1000,2000],"file":[{"reference":"app","severity":4294967296}]},
    {"not_in_range":[1,2,3]},{"gt":1},{"ge":1.5},{"lt":"x"},{"le":true},{"ne":null},
    {"not_in_set":[]}]}}],
  "else":{"eq":"other","file":[{"reference":"missing"}]}}}},
 "app":{"application":{"id":"a","version_id":1300,"format":323,"eula":"eula","changelog":"notes",
  "update":{"base":[{"from":1,"to":2},5],"level":1},"language":["en",1],
  "dependencies":{"os":[{"name":"linux","bits":64}],"platform":[1,"x"],"eula":{"package":{"name":"p"}}},
  "token":{"id":"t","deal_id":"d"}}},
 "eula":{"collection":{"id":"e","format":322,"tags":["x"]}},
 "notes":{"document":{"path":"n","display_name":{"en":"N","en":"M"},"package":{"name":"p"}}},
 "coll":{"collection":{"id":"c"}},
 "both":{"application":{"id":"b"},"collection":{"id":"c"}}}
JSON
printf '%s' '{"root":{"decision_tree":{"switch":{"var":"deal_id","cases":[{"eq":"deal \"1\"\\","file":[{"reference":"x"}]}]}}},"x":{"application":{}}}' >"$out/escaped.json"
printf '%s' '{"root":{"decision_tree":{"switch":{"var":"os.edition","cases":[{"eq":"pro","file":[{"reference":"e"}]}],"else":{"file":[{"reference":"f"}]}}}}}' >"$out/null_first.json"
printf '%s' '{"root":{"decision_tree":{"switch":null}}}' >"$out/leaf.json"
