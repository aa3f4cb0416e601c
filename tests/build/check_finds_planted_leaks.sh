#!/usr/bin/env bash
# check_finds_planted_leaks.sh CHECKER TREE
# Runs the platform-access CHECKER on the planted TREE and fails unless it
# refuses the tree and reports exactly the lines that end in "// planted":
# a checker that stops at the first kind of leak, or that also flags
# harmless code, fails here.
set -uo pipefail
checker=$1
tree=$2
report=$("$checker" "$tree")
if [ $? -ne 1 ]; then
  echo "the checker did not refuse the planted tree:"
  echo "$report"
  exit 1
fi
expected=$(cd "$tree" && grep -R -n -E '// planted$' . | cut -d: -f1,2 | sort)
reported=$(echo "$report" | grep -E '^\./' | cut -d: -f1,2 | sort)
if [ "$expected" != "$reported" ]; then
  echo "planted lines and reported lines differ (< planted, > reported):"
  diff <(echo "$expected") <(echo "$reported")
  exit 1
fi
echo "every planted leak is reported, and nothing else"
