#!/usr/bin/env bash
# The library exports exactly the names of its export list, and no C++ symbol.
set -euo pipefail
lib=$1
map=$2
exported=$(nm -D --defined-only "$lib" | awk '$2 ~ /^[TWDBRV]$/ {print $3}' | sort)
listed=$(sed -n '/global:/,/local:/p' "$map" | grep -E '^\s+[A-Za-z_][A-Za-z0-9_]*;' \
  | tr -d ' ;' | sort)
if grep -q '^_Z' <<<"$exported"; then
  echo "C++ symbols exported:"; grep '^_Z' <<<"$exported"; exit 1
fi
if [ "$exported" != "$listed" ]; then
  echo "exports differ from $map:"; diff <(echo "$listed") <(echo "$exported") || true; exit 1
fi
echo "libkelodbc.so exports $(wc -l <<<"$exported") names, as listed"
