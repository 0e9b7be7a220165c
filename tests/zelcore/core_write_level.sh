#!/usr/bin/env bash
# core_write_level.sh DIR LEVEL OPTIONS: the zelcore translator writes its
# body under KOR_ZELWRITE_OPTIONS=OPTIONS; the file must be at format level
# LEVEL, and libzel and libzelcore must read it alike.
set -euo pipefail
bin=$1
level=$2
file=$(mktemp --suffix=.zel)
trap 'rm -f "$file"' EXIT
KOR_ZELWRITE_OPTIONS=$3 "$bin/core_translator" "$file" >/dev/null
read -r _ written < <("$bin/core_queries_zelcore" "$file")
[ "$written" = "$level" ] || { echo "written at level $written, not $level"; exit 1; }
"$(dirname "$0")/same_queries.sh" "$bin/core_queries_zel" "$bin/core_queries_zelcore" "$file"
