#!/usr/bin/env bash
# readme_commands_test.sh SOURCE_DIR BUILD_DIR: runs the README's command
# blocks in their order, as written, in a scratch copy of the sources
# (the files git tracks), with HOME in the scratch folder. A ```sh block is
# run line by line in one shell, so that a variable or a folder change
# carries over; a ```python block is run by the venv's interpreter that an
# earlier block made. A block under the line
#   <!-- readme test: skip (REASON) -->
# is not run, and neither is scripts/test.sh, which would run this test.
#
# The commands that build (scripts/demo.sh, cmake -S/--build) take minutes:
# unless ZEL_README_FULL=1, they are left out and build/ and build-demo/ are
# the finished BUILD_DIR, which the same sources built. The skipped lines
# are listed at the end.
set -euo pipefail
source_dir=$(cd "$1" && pwd)
build_dir=$(cd "$2" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
copy=$work/zel
mkdir -p "$copy" "$work/home"
(cd "$source_dir" && git ls-files -z | tar --null --ignore-failed-read -T - -cf -) | tar -C "$copy" -xf -

full=${ZEL_README_FULL:-0}
if [ "$full" != 1 ]; then
  ln -s "$build_dir" "$copy/build"
  ln -s "$build_dir" "$copy/build-demo"
fi

# The README as one script: each command echoed, then run.
script=$work/readme.sh
skipped=$work/skipped
: >"$skipped"
awk -v full="$full" -v python_dir="$work" -v skipped="$skipped" '
  function quote(text) { gsub(/\x27/, "\x27\\\x27\x27", text); return "\x27" text "\x27" }
  /^<!-- readme test: skip/ { skip_next = $0; next }
  /^```sh$/ { in_sh = 1; skip_block = skip_next; skip_next = ""; next }
  /^```python$/ { in_python = 1; skip_block = skip_next; skip_next = ""; count += 1
                  file = python_dir "/block" count ".py"; printf "" > file; next }
  /^```/ && (in_sh || in_python) {
    if (in_python && !skip_block) print "echo \"+ python block " count "\"; .venv/bin/python3 " quote(file)
    if (in_python && skip_block) print "python block " count ": " skip_block >> skipped
    in_sh = 0; in_python = 0; next
  }
  /^```/ { skip_next = ""; next }
  in_python { print > file; next }
  in_sh && /\\$/ { pending = pending substr($0, 1, length($0) - 1); next }
  in_sh {
    line = pending $0
    pending = ""
    if (line ~ /^[ \t]*$/) next
    if (skip_block) { print line "    " skip_block >> skipped; next }
    if (line ~ /^scripts\/test\.sh/) { print line "    (runs this test itself)" >> skipped; next }
    if (full != 1 && line ~ /^(scripts\/demo\.sh|cmake -S|cmake --build)/) {
      print line "    (a build: the finished build folder stands in)" >> skipped; next
    }
    print "echo " quote("+ " line)
    print line
    next
  }
' "$source_dir/README.md" >"$script"

cd "$copy"
HOME=$work/home bash -euo pipefail "$script"
echo "README commands: all ran. Not run:"
sed 's/^/  /' "$skipped"
