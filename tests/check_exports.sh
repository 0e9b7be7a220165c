#!/usr/bin/env bash
# The shared library must export exactly the operations its header marks
# ZEL_API: no internal symbol may leak, of any kind (functions, data, the
# C++ runtime's template statics and typeinfo alike).
set -euo pipefail
library=$1
header=$2
here=$(cd "$(dirname "$0")/.." && pwd)
exported=$(nm -D --defined-only "$library" | awk 'NF >= 3 {print $3}' | sed 's/@.*//' | sort -u)
declared=$("$here/scripts/exported_names.sh" "$header")
unexpected=$(comm -23 <(echo "$exported") <(echo "$declared"))
missing=$(comm -13 <(echo "$exported") <(echo "$declared"))
status=0
if [ -n "$unexpected" ]; then echo "exported but not declared ZEL_API:"; echo "$unexpected"; status=1; fi
if [ -n "$missing" ]; then echo "declared ZEL_API but not exported:"; echo "$missing"; status=1; fi
[ $status -eq 0 ] && echo "$(echo "$exported" | wc -l) exported symbols, all declared"
exit $status
