#!/usr/bin/env bash
# Seeds for xml_store_fuzz: the shapes of the store's own files and the
# quirks of its grammar (split names, attributes inside content, references).
set -euo pipefail
out=$1
mkdir -p "$out"
printf '<?xml version="1.0" encoding="utf-8"?>\n<BACKUP VERSION="2">\n <SNAPSHOT TIMESTAMP="65A1B2C3">\n  <MODULE ID="1" FILE="em001_64.dat" ORIG="/var/opt/em001_64.dat" />\n </SNAPSHOT>\n</BACKUP>\n' > "$out/db.xml"
printf '<SECTION><SETTINGS><NODE NAME="Pw" VALUE="czNjcg==" TYPE="PASS" /></SETTINGS></SECTION>' > "$out/config.xml"
printf '<A\r\nB x\n1="v"><C/><y="2">text &amp; &#x1F600; &nbsp;</A\nB>' > "$out/quirks.xml"
printf '<A a0="0" a1="1" a2="2" a3="3" a4="4" a5="5" a6="6" a7="7" a8="8" a9="9"><B/><A3="z"/></A>' > "$out/attributes.xml"
printf '<?xml version="1.0"?><!-- c --><R><!----><E><E><E/></E></E>\xC3\xA9</R>' > "$out/nested.xml"
