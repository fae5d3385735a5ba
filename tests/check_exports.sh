#!/usr/bin/env bash
# Checks that a built library exports exactly the names of the export table, both ways, and that
# the module definition file maps every name to its ordinal.
# usage: check_exports.sh LIBRARY TABLE DEF
set -euo pipefail
lib=$1 table=$2 def=$3
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

grep -E '^[0-9]+[[:space:]]' "$table" | awk '{print $2}' | sort > "$tmp/table"
nm -D --defined-only "$lib" | awk '$2 ~ /^[TWiV]$/ {print $3}' | sed 's/@.*//' | sort -u > "$tmp/exported"
# Any other defined dynamic symbol (data, for instance) is a leak of an internal name too.
nm -D --defined-only "$lib" | awk '{print $3}' | sed 's/@.*//' | sort -u > "$tmp/all"

status=0
missing=$(comm -23 "$tmp/table" "$tmp/exported")
extra=$(comm -13 "$tmp/table" "$tmp/all")
if [ -n "$missing" ]; then echo "Listed in the table but not exported:"; echo "$missing"; status=1; fi
if [ -n "$extra" ]; then echo "Exported but not listed in the table:"; echo "$extra"; status=1; fi

# Every table line appears in the .def as "_name = name @ordinal".
while read -r ord name; do
  grep -qx "  _${name} = ${name} @${ord}" "$def" || { echo "Missing from the .def: $ord $name"; status=1; }
done < <(grep -E '^[0-9]+[[:space:]]' "$table")
[ "$(grep -c ' @' "$def")" -eq "$(wc -l < "$tmp/table")" ] || { echo "The .def has extra lines"; status=1; }

[ $status -eq 0 ] && echo "$(wc -l < "$tmp/table") exports match the table and the .def"
exit $status
