#!/usr/bin/env bash
# The compiler launcher of the builds in build/ (presets dev, ci, check):
# compiles through ccache where it is installed and keeps the warnings of each
# object in <warnings folder>/<object>.log until it compiles without one. The
# presets compile with the same command, so neither rebuilds what the other
# built, and the test command still fails on a warning of an object it did not
# compile itself (scripts/build.sh ci).
#   compile.sh <warnings folder> <compiler> <arguments...>
set -u
folder=$1
shift
object=
previous=
for argument in "$@"; do
  [ "$previous" = -o ] && object=$argument
  previous=$argument
done
command -v ccache >/dev/null && set -- ccache "$@"
[ -n "$object" ] || exec "$@"

build=$(dirname "$folder")
case $object in
  /*) log=$folder/${object#"$build"/}.log ;;
  *) log=$folder/${PWD#"$build"}/$object.log ;;
esac
said=$(mktemp)
"$@" 2>"$said"
status=$?
cat "$said" >&2
if grep -q 'warning:' "$said"; then
  mkdir -p "$(dirname "$log")" && cp "$said" "$log"
else
  rm -f "$log"
fi
rm -f "$said"
exit $status
