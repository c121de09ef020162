#!/usr/bin/env bash
# Seeds for session_url_fuzz: a URL, a NUL, then a Location header's text.
set -euo pipefail
out=$1
mkdir -p "$out"
seed() { printf '%s\0%s' "$2" "$3" >"$out/$1"; }
seed relative 'http://srv:8080/a/b/update.ver' 'next/update.ver'
seed rooted 'http://srv/a/update.ver' '/other/update.ver'
seed absolute 'https://[::1]:443/x/f.nup' 'http://mirror.example/y/f.nup'
seed scheme-relative 'HTTP://host' '//elsewhere/z/f'
seed dotdot 'http://srv/a/b/' '../../../etc/passwd'
seed file 'http://srv/a/' 'file:///etc/passwd'
seed share '\\server\share\dir\file.nup' '\\other\share\x'
seed drive 'c:\mirror\update.ver' 'c:\windows\win.ini'
