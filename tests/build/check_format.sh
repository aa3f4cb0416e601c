#!/usr/bin/env bash
# check_format.sh ROOT
# Fails when a C or C++ source under ROOT differs from what clang-format 14
# makes of it with the tree's .clang-format.
set -uo pipefail
root=$1
formatter=$(command -v clang-format-14 || command -v clang-format) || {
  echo "clang-format 14 is not installed (scripts/setup installs it)"
  exit 1
}
if ! "$formatter" --version | grep -q 'version 14\.'; then
  echo "$formatter is not clang-format 14: $("$formatter" --version)"
  exit 1
fi
cd "$root" || exit 1
# clang-format names each differing file in lines "FILE:LINE:COL: error: ...".
differing=$(find . \( -path ./build -o -path './build-*' \) -prune -o \
  -type f \( -name '*.c' -o -name '*.cpp' -o -name '*.h' \) -print0 |
  xargs -0 -n 32 -P "$(nproc)" "$formatter" --dry-run --Werror 2>&1 |
  sed -n -E 's/^([^:]+):[0-9]+:[0-9]+: error: .*/\1/p' | sort -u)
if [ -n "$differing" ]; then
  echo "these files differ from what clang-format 14 gives (run clang-format -i on them):"
  echo "$differing"
  exit 1
fi
echo "every source file is formatted"
