#!/usr/bin/env bash
# install_and_consume.sh BUILD_DIR: installs the build into a temporary
# prefix, checks what is there, and builds and runs a small C program
# outside the source tree against each installed library, found once
# through pkg-config and once through find_package.
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
for file in include/zel.h include/zelcore.h include/zel.f90 bin/zel; do
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
  cc -std=c99 -o "$work/pc_$library" "$here/consumer.c" $(pkg-config --cflags --libs "$library") \
    -Wl,-rpath,"$libdir"
  "$work/pc_$library"
done

cmake -S "$here/project" -B "$work/project" -DCMAKE_PREFIX_PATH="$prefix" >/dev/null
cmake --build "$work/project" >/dev/null
for library in zel zelcore; do
  "$work/project/consumer_$library"
  libraries=$(ldd "$work/project/consumer_$library")
  echo "$libraries" | grep -q "lib$library.so.0 => $libdir" \
    || { echo "consumer_$library does not use the installed lib$library:"; echo "$libraries"; exit 1; }
done
