#!/usr/bin/env bash
# Checks that every DLL and program in a bin/ folder is a 32-bit Windows (PE32) file
# that needs no MinGW runtime DLL beside it.
set -eu
bin=$1
shopt -s nullglob
files=("$bin"/*.dll "$bin"/*.exe)
[ ${#files[@]} -gt 0 ] || { echo "no binaries in $bin"; exit 1; }
status=0
for f in "${files[@]}"; do
  kind=$(file -b "$f")
  case "$kind" in
    "PE32 executable"*"Intel 80386"*) ;;
    *) echo "not PE32: $f: $kind"; status=1 ;;
  esac
  if i686-w64-mingw32-objdump -p "$f" | grep -qiE 'DLL Name: (libstdc\+\+|libgcc|libwinpthread)'; then
    echo "needs a MinGW runtime DLL: $f"; status=1
  fi
done
[ $status -eq 0 ] && echo "${#files[@]} PE32 files checked in $bin"
exit $status
