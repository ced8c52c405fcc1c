#!/usr/bin/env bash
# Starts the real program from its folder on a virtual display: the main
# window is titled "Halvern v<version>"; a second copy shows the single-instance
# box and opens no main window of its own; closing writes the settings; a
# program folder without KeyChain.txt ends with a non-zero status; a data
# folder and a kept run left open to others are private once it has started.
# Usage: ProgramUnderXvfb.sh <program folder> <version>
set -u
bin=$1
version=$2
. "$(dirname "$0")/../support/Xvfb.sh"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export HOME=$work XDG_CONFIG_HOME=$work/config XDG_RUNTIME_DIR=$work/run XDG_DATA_HOME=$work/data
mkdir -p "$XDG_RUNTIME_DIR" && chmod 700 "$XDG_RUNTIME_DIR"
unset QT_QPA_PLATFORM
# As an older version left them: the umask's rights.
runs=$XDG_DATA_HOME/Halvern/runs
mkdir -p "$runs" && chmod 755 "$XDG_DATA_HOME/Halvern" "$runs"
printf '1\r\n' > "$runs/2026-12-07_14-30-00_COM5.raw"
printf 'Halvern run\nStarted: 2026-12-07 14:30:00\nWorkbook saved as: (not saved)\n' \
  > "$runs/2026-12-07_14-30-00_COM5.summary.txt"
chmod 644 "$runs"/*

cat > "$work/check.sh" <<'INNER'
set -u
bin=$1
title="Halvern v$2"
fail() { echo "FAIL: $*"; kill "$first" "${second:-}" 2>/dev/null; exit 1; }
. "$xvfb_helpers"
wait_for_display
"$bin/halvern" & first=$!
main=$(window_titled "$title") || fail "no main window titled '$title'"
echo "main window: $title"
modes() { stat -c '%a' "$XDG_DATA_HOME/Halvern" "$XDG_DATA_HOME/Halvern/runs" "$XDG_DATA_HOME/Halvern/runs"/* | tr '\n' ' '; }
for _ in $(seq 1 50); do [ "$(modes)" = "700 700 600 600 " ] && break; sleep 0.1; done
[ "$(modes)" = "700 700 600 600 " ] || fail "data folder, runs and their files not private: $(modes)"
echo "private: $(modes)"

"$bin/halvern" & second=$!
window_titled "Cannot run more than one copy of this program." >/dev/null || fail "no single-instance box"
count=$(for w in $(xdotool search --onlyvisible --name '.'); do xdotool getwindowname "$w"; done | grep -cxF "$title")
[ "$count" = 1 ] || fail "the second copy opened a main window"
echo "second copy: single-instance box"
kill "$second"; wait "$second" 2>/dev/null

# Click the Close button (no window manager here to send a close request).
xdotool mousemove --window "$main" 528 195 click 1
for _ in $(seq 1 50); do kill -0 "$first" 2>/dev/null || break; sleep 0.1; done
kill -0 "$first" 2>/dev/null && fail "the program did not end when its window closed"
# A clean end (a sanitizer build reports its findings through the status too).
wait "$first"
status=$?
[ "$status" = 0 ] || fail "the program ended with status $status"
grep -q "^ComPort=1" "$XDG_CONFIG_HOME/Halvern/Halvern.conf" || fail "settings not written at close"
echo "closed: settings written"

# A program folder without KeyChain.txt: the load fails with a box, and once
# it is answered the program ends with a failure status.
mkdir -p "$HOME/broken" && cp "$bin/halvern" "$HOME/broken/"
"$HOME/broken/halvern" & broken=$!
box=$(window_titled "Program cannot be loaded.") || { kill "$broken"; fail "no load failure box"; }
xdotool key --window "$box" Return
wait "$broken"; status=$?
[ "$status" -ne 0 ] || fail "a failed load ended with status 0"
echo "failed load: status $status"
INNER

run_on_xvfb "$work/xvfb.log" bash "$work/check.sh" "$bin" "$version"
status=$?
[ $status -eq 0 ] && echo "1 passed, 0 failed" || echo "0 passed, 1 failed"
exit $status
