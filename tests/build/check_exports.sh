#!/usr/bin/env bash
# check_exports.sh LIBRARY EXPORTS
# Fails unless the dynamic symbols that LIBRARY defines are exactly the names
# listed in EXPORTS (C names, or C++ signatures as c++filt prints them).
set -euo pipefail
lib=$1
list=$2
actual=$(nm -D --defined-only --demangle "$lib" |
  awk '$2 != "A" { $1 = ""; $2 = ""; sub(/^  /, ""); print }' | sort -u)
expected=$(grep -v -E '^[[:space:]]*(#|$)' "$list" | sed 's/^[[:space:]]*//; s/[[:space:]]*$//' | sort -u)
if [ "$actual" != "$expected" ]; then
  echo "exported symbols of $lib differ from $list:"
  diff <(echo "$expected") <(echo "$actual") | sed 's/^</  missing:/; s/^>/  extra:  /' | grep -E 'missing|extra'
  exit 1
fi
echo "$lib exports exactly the $(echo "$expected" | wc -l) names of $list"
