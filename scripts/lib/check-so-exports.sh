#!/usr/bin/env bash
# check-so-exports.sh NM LIB DEF: the shared library's defined dynamic
# symbols must be exactly the functions the .def file exports.
set -euo pipefail
nm=$1 lib=$2 def=$3
want=$(awk '/^[[:space:]]*;/ { next }
            toupper($1) == "EXPORTS" { on = 1; next }
            on && NF >= 2 { n = $1; sub(/=.*/, "", n); print n }' "$def" | sort)
have=$("$nm" -D --defined-only "$lib" | awk 'NF >= 3 && $2 != "A" { print $3 }' | sed 's/@.*//' | sort -u)
if [ "$want" != "$have" ]; then
  echo "check-so-exports: $lib does not match $def:" >&2
  diff <(echo "$want") <(echo "$have") | sed -n 's/^</  missing: /p; s/^>/  unexpected: /p' >&2
  exit 1
fi
echo "check-so-exports: $(echo "$have" | wc -l) functions, as in $(basename "$def")"
