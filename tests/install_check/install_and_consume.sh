#!/usr/bin/env bash
# install_and_consume.sh BUILD_DIR: installs the build into a temporary
# prefix, checks what is there, and builds and runs a small C program
# outside the source tree against each installed library, found once
# through pkg-config (and run without LD_LIBRARY_PATH) and once through
# find_package; the installed zel program runs the installed Python package.
set -euo pipefail
build=$1
here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
trap 'echo "failed at line $LINENO: $BASH_COMMAND"' ERR
prefix=$work/prefix
cmake --install "$build" --prefix "$prefix" >/dev/null

pcfile=$(find "$prefix" -name zel.pc)
libdir=$(dirname "$(dirname "$pcfile")")
for file in include/zel.h include/zelcore.h include/zel.f90 bin/zel share/zel/python/zel/__main__.py; do
  [ -e "$prefix/$file" ] || { echo "not installed: $file"; exit 1; }
done
for library in zel zelcore; do
  soname=$(readelf -d "$libdir/lib$library.so" | sed -n 's/.*Library soname: \[\(.*\)\]/\1/p')
  [ "$soname" = "lib$library.so.0" ] || { echo "lib$library.so has SONAME '$soname'"; exit 1; }
  [ -e "$libdir/$soname" ] || { echo "no $soname link"; exit 1; }
done
# The installed program finds the installed library on its own.
"$prefix/bin/zel" --help >/dev/null

export PKG_CONFIG_PATH=$libdir/pkgconfig
for library in zel zelcore; do
  # shellcheck disable=SC2046
  cc -std=c99 -o "$work/pc_$library" "$here/consumer.c" $(pkg-config --cflags --libs "$library")
  env -u LD_LIBRARY_PATH "$work/pc_$library"
done

# zel vtk from the prefix, with nothing pointing at the build or the
# sources: the program sets the library and the package it was installed with.
sample=$here/../../fuzz/corpus/sample_316.zel
env -u PYTHONPATH -u ZEL_LIBRARY -u ZEL_PYTHON -u LD_LIBRARY_PATH PATH=/usr/bin:/bin \
  "$prefix/bin/zel" vtk "$sample" "$work/sample.vtu"
grep -q '<VTKFile' "$work/sample.vtu" || { echo "zel vtk wrote no VTK file"; exit 1; }

cmake -S "$here/project" -B "$work/project" -DCMAKE_PREFIX_PATH="$prefix" >/dev/null
cmake --build "$work/project" >/dev/null
for library in zel zelcore; do
  "$work/project/consumer_$library"
  libraries=$(ldd "$work/project/consumer_$library")
  echo "$libraries" | grep -q "lib$library.so.0 => $libdir" \
    || { echo "consumer_$library does not use the installed lib$library:"; echo "$libraries"; exit 1; }
done
