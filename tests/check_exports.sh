#!/usr/bin/env bash
# The shared library must export exactly the operations its header marks
# ZEL_API: no internal symbol may leak.
set -euo pipefail
library=$1
header=$2
exported=$(nm -D --defined-only "$library" | awk '$2 ~ /^[TDBR]$/ {print $3}' | sort -u)
declared=$(grep -ohE '^ZEL_API[^;(]*[ *]([A-Za-z_][A-Za-z0-9_]*)[[:space:]]*(\(|;)' "$header" \
  | sed -E 's/.*[ *]([A-Za-z_][A-Za-z0-9_]*)[[:space:]]*[(;]$/\1/' | sort -u)
unexpected=$(comm -23 <(echo "$exported") <(echo "$declared"))
missing=$(comm -13 <(echo "$exported") <(echo "$declared"))
status=0
if [ -n "$unexpected" ]; then echo "exported but not declared ZEL_API:"; echo "$unexpected"; status=1; fi
if [ -n "$missing" ]; then echo "declared ZEL_API but not exported:"; echo "$missing"; status=1; fi
[ $status -eq 0 ] && echo "$(echo "$exported" | wc -l) exported symbols, all declared"
exit $status
