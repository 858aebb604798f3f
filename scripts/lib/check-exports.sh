#!/usr/bin/env bash
# check-exports.sh OBJDUMP DLL DEF: the DLL's export table, read from the
# built file, must hold exactly the .def file's exports at their ordinals.
# Prints the differences and exits 1 when there are any.
set -euo pipefail
objdump=$1 dll=$2 def=$3

# name ordinal, one per line, from the .def (NONAME entries as "#N").
want=$(awk '
  /^[[:space:]]*;/ { next }
  toupper($1) == "EXPORTS" { on = 1; next }
  on && NF >= 2 {
    name = $1; sub(/=.*/, "", name); ord = ""
    for (i = 2; i <= NF; i++) if ($i ~ /^@[0-9]+$/) ord = substr($i, 2)
    if (ord == "") next
    noname = 0
    for (i = 2; i <= NF; i++) if (toupper($i) == "NONAME") noname = 1
    print (noname ? "#" ord : name) " " ord
  }' "$def" | sort)

# The same from the file: named exports from the name table (index + base),
# nameless ones from the address table.
have=$("$objdump" -p "$dll" | awk '
  /Export Address Table -- Ordinal Base/ { base = $NF + 0; sect = "eat"; next }
  /^\[Ordinal\/Name Pointer\] Table/ { sect = "names"; next }
  /^$/ { sect = "" }
  sect == "eat" && /\+base\[/ {
    s = $0; sub(/.*\+base\[ */, "", s); sub(/\].*/, "", s); ords[s + 0] = 1
  }
  sect == "names" && /^\t\[/ {
    s = $0; sub(/^\t\[ */, "", s); idx = s; sub(/\].*/, "", idx)
    name = s; sub(/^[^]]*\] /, "", name)
    ord = idx + base; named[ord] = 1; print name " " ord
  }
  END { for (o in ords) if (!(o in named)) print "#" o " " o }' | sort)

if [ "$want" != "$have" ]; then
  echo "check-exports: $dll does not match $def:" >&2
  diff <(echo "$want") <(echo "$have") | sed -n 's/^</  missing: /p; s/^>/  unexpected: /p' >&2
  exit 1
fi
echo "check-exports: $(basename "$dll"): $(echo "$want" | grep -c .) exports at the ordinals of $(basename "$def")"
