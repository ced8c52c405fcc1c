#!/usr/bin/env bash
# The quick loop while working: no set-up, the format of every source file
# checked, an incremental build of build/ without the benchmarks, then the
# tests that need no office and install nothing. The whole run stays scripts/test.sh.
#   scripts/check.sh [ctest arguments]    e.g. scripts/check.sh -R acquisition
#   scripts/check.sh --tidy [files...]    clang-tidy (.clang-tidy) over src/,
#                                         or over the files named
set -euo pipefail
cd "$(dirname "$0")/.."
cmake --preset check >/dev/null

if [ "${1:-}" = "--tidy" ]; then
  shift
  # Generated headers (the office's API, moc) must exist before clang-tidy
  # reads the sources that include them.
  cmake --build build -j"$(nproc)" --target uno_headers >/dev/null
  files=("$@")
  [ ${#files[@]} -gt 0 ] || mapfile -t files < <(git ls-files 'src/*.cpp')
  exec run-clang-tidy -quiet -p build -j"$(nproc)" "${files[@]}"
fi

# The format of .clang-format, kept in every source folder.
mapfile -t sources < <(git ls-files -- {src,tests,tools,bench,fuzz}/'*.cpp' {src,tests,tools,bench,fuzz}/'*.h')
if ! clang-format --dry-run --Werror "${sources[@]}"; then
  echo "check.sh: the files above are not as clang-format writes them: clang-format -i them" >&2
  exit 1
fi

cmake --build build -j"$(nproc)"
cd build
ctest --output-on-failure -LE 'office|package' -j2 "$@"
