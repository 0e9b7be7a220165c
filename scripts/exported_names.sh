#!/usr/bin/env bash
# The names a public header marks ZEL_API, one a line, sorted:
#   exported_names.sh HEADER                  the names
#   exported_names.sh HEADER --version-script a linker version script that
#                                             exports them and nothing else
set -euo pipefail
header=$1
names=$(grep -ohE '^ZEL_API[^;(]*[ *]([A-Za-z_][A-Za-z0-9_]*)[[:space:]]*(\(|;)' "$header" \
  | sed -E 's/.*[ *]([A-Za-z_][A-Za-z0-9_]*)[[:space:]]*[(;]$/\1/' | sort -u)
if [ "${2:-}" = "--version-script" ]; then
  echo "{"
  echo "  global:"
  echo "$names" | sed 's/.*/    &;/'
  echo "  local: *;"
  echo "};"
else
  echo "$names"
fi
