#!/usr/bin/env bash
# Builds Halvern with AddressSanitizer and UndefinedBehaviorSanitizer (GCC,
# float-cast-overflow included, no recovery) into build-asan/ and runs the
# tests there. Any finding fails the test it happens in, and so the script.
#   scripts/sanitize.sh            the tests that need no office
#   scripts/sanitize.sh --office   every test, the office-backed ones too
#                                  (much longer: each starts a real office)
# Extra arguments go to ctest, e.g. scripts/sanitize.sh -R firmware.
set -euo pipefail
cd "$(dirname "$0")/.."
build=build-asan

office=0
if [ "${1:-}" = "--office" ]; then
  office=1
  shift
fi

# The package test installs what it builds into the machine: never a
# sanitizer build.
selection=(-LE 'office|package')
[ $office = 1 ] && selection=(-LE package)

# The "asan" preset: -O1 with line tables only (a third quicker to build than
# -O2 -g, and the reports still name file and line); Debug keeps assertions on.
launcher=()
command -v ccache >/dev/null && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
cmake --preset asan "${launcher[@]}" >/dev/null

# Only what the chosen tests need: each test is its own target, and the
# program test needs the program.
targets=()
while read -r name; do
  if [ "$name" = app_program_xvfb ]; then
    targets+=(halvern)
  elif find "$build" -path "*/CMakeFiles/$name.dir" -type d | grep -q .; then
    targets+=("$name")
  else
    targets=(all)
    break
  fi
done < <(cd "$build" && ctest -N "${selection[@]}" "$@" | sed -n 's/^ *Test *#[0-9]*: //p')
[ ${#targets[@]} -gt 0 ] || targets=(all)
cmake --build "$build" -j"$(nproc)" --target "${targets[@]}" >/dev/null

# Every finding is fatal; leaks in the office's own libraries are suppressed
# (see scripts/lsan.supp). No strict_string_checks: it takes the X keyboard
# library's strndup of a counted, unterminated name for an overflow.
export ASAN_OPTIONS=abort_on_error=1:halt_on_error=1:detect_leaks=1:detect_stack_use_after_return=1:check_initialization_order=1:strict_init_order=1
export UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1
export LSAN_OPTIONS=suppressions=$PWD/scripts/lsan.supp:print_suppressions=0

cd "$build"
ctest --output-on-failure --timeout 900 -j2 "${selection[@]}" "$@"
