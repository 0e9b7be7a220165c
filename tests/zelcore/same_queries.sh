#!/usr/bin/env bash
# same_queries.sh ZEL_READER ZELCORE_READER FILE: both libraries' readers
# must read FILE and answer every query alike.
set -euo pipefail
full=$("$1" "$3")
core=$("$2" "$3")
if [ "$full" != "$core" ]; then
  diff <(echo "$full") <(echo "$core") || true
  exit 1
fi
echo "$(echo "$full" | wc -l) lines of answers alike"
