# Sourced by the certificate fixture scripts.
#
#   ca_database DIR >CONFIG
#
# Makes a fresh `openssl ca` database in DIR (random serial) and writes the
# [ca] part of a configuration that uses it: SHA-256, any subject with a
# common name (organisation and country kept when given, in that order), no
# extensions copied from requests. Callers append their extension sections
# and pass -extensions on the command line.
ca_database() {
  local dir=$1
  rm -rf "$dir" && mkdir -p "$dir/new" && : >"$dir/index.txt"
  openssl rand -hex 16 >"$dir/serial"
  cat <<CNF
[ ca ]
default_ca = issuer
[ issuer ]
dir = $dir
database = \$dir/index.txt
new_certs_dir = \$dir/new
serial = \$dir/serial
default_md = sha256
policy = anything
unique_subject = no
copy_extensions = none
[ anything ]
commonName = supplied
organizationName = optional
countryName = optional
CNF
}
