#!/usr/bin/env bash
# Makes the README's pictures from the built program: starts build/bin/halvern
# on a virtual display (Xvfb) with a temporary home, a socat pseudo-terminal
# pair as the instrument's line (COM 1), the loader simulator as an
# instrument's firmware loader (COM 2) and a headless office, drives it with
# xdotool as a user would, and saves one PNG for each window in a real state.
#   tools/screenshots/make-screenshots.sh [build folder] [output folder]
# Defaults: build/ and docs/images/. Needs xvfb-run, xdotool, socat and
# ImageMagick (scripts/setup.sh installs them); build first.
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
build=$(cd "${1:-$root/build}" && pwd)
mkdir -p "${2:-$root/docs/images}"
out=$(cd "${2:-$root/docs/images}" && pwd)

# Restart on a virtual display of a known size; the current display, if
# any, is left alone.
if [ -z "${HALVERN_SCREENSHOTS_INNER:-}" ]; then
  for tool in xvfb-run xdotool socat import convert; do
    command -v "$tool" >/dev/null || { echo "make-screenshots: $tool is missing (run scripts/setup.sh)" >&2; exit 1; }
  done
  [ -x "$build/bin/halvern" ] && [ -x "$build/bin/halvern_loader_sim" ] \
    || { echo "make-screenshots: build first (no $build/bin/halvern or halvern_loader_sim)" >&2; exit 1; }
  export HALVERN_SCREENSHOTS_INNER=1
  exec xvfb-run -n $((100 + RANDOM % 800)) -a -s "-screen 0 1280x800x24" bash "$0" "$build" "$out"
fi

work=$(mktemp -d)
pids=()
cleanup() {
  for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done
  wait 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT
fail() {
  local screen=${TMPDIR:-/tmp}/make-screenshots-failure.png
  import -window root "$screen" 2>/dev/null || true
  echo "make-screenshots: $* (the screen at that moment: $screen)" >&2
  exit 1
}

# ---- A program folder with firmware files, a home, the lines --------------
program=$work/program
mkdir -p "$program/Firmware"
cp "$build/bin/halvern" "$build/bin/KeyChain.txt" "$build/bin/spreadsheet.xls" "$program/"
printf 'send 72 79 76 68\r\n' > "$program/Firmware/hold.ldf"
# Three firmware files of 256-byte packets; at 56000 baud the update takes
# about ten seconds. Each file's last packet occurs nowhere before it, so
# the simulator knows where the file ends.
make_firmware() { # <file> <number> <packets>
  {
    printf '; firmware file %d\r\n' "$2"
    for ((p = 0; p < $3; ++p)); do
      line="send $2 $((p % 256)) $((p / 256))"
      for ((i = 3; i < 256; ++i)); do line+=" $(((p * 31 + i * 17 + $2) % 256))"; done
      printf '%s\r\n' "$line"
    done
  } > "$1"
}
make_firmware "$program/Firmware/fc.ldf" 1 60
make_firmware "$program/Firmware/ff.ldf" 2 120
make_firmware "$program/Firmware/af.ldf" 3 40

export HOME=$work/home
export XDG_CONFIG_HOME=$HOME/.config XDG_DATA_HOME=$HOME/.local/share XDG_RUNTIME_DIR=$work/run
export XDG_DATA_DIRS=$work/shared HALVERN_OFFICE_HEADLESS=1
unset QT_QPA_PLATFORM
mkdir -p "$HOME/Documents" "$XDG_CONFIG_HOME/Halvern" "$XDG_RUNTIME_DIR" "$XDG_DATA_DIRS/Quentaro Works/Halvern"
chmod 700 "$XDG_RUNTIME_DIR"

socat pty,raw,echo=0,link="$work/ttyA" pty,raw,echo=0,link="$work/ttyB" 2>/dev/null &
pids+=($!)
"$build/bin/halvern_loader_sim" --link "$work/loader" --firmware "$program/Firmware" \
  --cycle-after 1 --record "$work/loader-received.bin" > "$work/loader.log" 2>&1 &
pids+=($!)
for _ in $(seq 100); do
  [ -e "$work/ttyA" ] && [ -e "$work/ttyB" ] && [ -e "$work/loader" ] && break
  sleep 0.05
done
[ -e "$work/ttyB" ] && [ -e "$work/loader" ] || fail "the pseudo-terminals did not appear"
cat > "$XDG_CONFIG_HOME/Halvern/ports.conf" <<EOF
COM1=$work/ttyA
COM2=$work/loader
COM5=/dev/ttyUSB0
EOF
# The program opens on COM 5, an adapter named in ports.conf.
printf '[Communication]\nComPort=5\n' > "$XDG_CONFIG_HOME/Halvern/Halvern.conf"

# ---- Helpers ------------------------------------------------------------
# Waits until a visible window with exactly this title exists; prints its id.
window_titled() {
  for _ in $(seq 150); do
    for w in $(xdotool search --onlyvisible --name '.' 2>/dev/null); do
      [ "$(xdotool getwindowname "$w" 2>/dev/null)" = "$1" ] && { echo "$w"; return 0; }
    done
    sleep 0.1
  done
  return 1
}
gone() { # <window>: waits until the window is no longer visible
  for _ in $(seq 150); do
    xdotool search --onlyvisible --name '.' 2>/dev/null | grep -qx "$1" || return 0
    sleep 0.1
  done
  return 1
}
pixel() { # <window> <x> <y>
  import -window "$1" png:- 2>/dev/null | convert png:- -format "%[pixel:p{$2,$3}]" info:
}
until_pixel() { # <window> <x> <y> <colour>: waits until that pixel has that colour
  for _ in $(seq 300); do
    [ "$(pixel "$1" "$2" "$3")" = "$4" ] && return 0
    sleep 0.1
  done
  return 1
}
checksum() { import -window "$1" rgb:- 2>/dev/null | md5sum; }
until_changed() { # <window> <checksum before>: waits until the window looks different
  for _ in $(seq 100); do
    [ "$(checksum "$1")" != "$2" ] && return 0
    sleep 0.1
  done
  return 1
}
# Saves the part of the screen that the given windows cover as a PNG.
shoot() { # <name> <window>...
  local name=$1 x0=100000 y0=100000 x1=0 y1=0
  shift
  for w in "$@"; do
    eval "$(xdotool getwindowgeometry --shell "$w")"
    ((X < x0)) && x0=$X
    ((Y < y0)) && y0=$Y
    ((X + WIDTH > x1)) && x1=$((X + WIDTH))
    ((Y + HEIGHT > y1)) && y1=$((Y + HEIGHT))
  done
  local area="$((x1 - x0))x$((y1 - y0))+$x0+$y0" last="" now
  # Taken once two looks in a row agree: the last repaint has landed.
  for _ in $(seq 20); do
    import -window root -crop "$area" +repage -strip -define png:compression-level=9 "$out/$name.png"
    now=$(md5sum < "$out/$name.png")
    [ "$now" = "$last" ] && break
    last=$now
    sleep 0.1
  done
  echo "$out/$name.png"
}
# A visible window of the program that is not in the given list.
new_window() { comm -13 <(echo "$1") <(xdotool search --onlyvisible --class Halvern | sort) | head -1; }
# Prints a window of ours that was not among <before>, once one shows up
# (50 looks, <pause> seconds apart).
wait_new_window() { # <before> <pause>
  local popup
  for _ in $(seq 50); do
    popup=$(new_window "$1")
    [ -n "$popup" ] && { echo "$popup"; return 0; }
    sleep "$2"
  done
  return 1
}
click() { xdotool mousemove --window "$1" "$2" "$3" click 1; }
# Keys typed into a window: it gets the keyboard focus first (there is no
# window manager to give it).
keys() { xdotool windowfocus --sync "$1"; xdotool key --delay 50 "${@:2}"; }
text() { xdotool windowfocus --sync "$1"; xdotool type --delay 30 "$2"; }
# Picks an entry of a menu of the main window's menu bar: the first, or
# the given one counted from 1.
menu() { # <x of the menu's title> [entry]
  local before
  before=$(xdotool search --onlyvisible --class Halvern | sort)
  click "$main" "$1" 9
  wait_new_window "$before" 0.05 >/dev/null || fail "the menu did not open"
  if [ -z "${2:-}" ]; then
    click "$main" "$1" 34
    return
  fi
  # The open menu has the keyboard.
  for ((i = 0; i < $2; ++i)); do xdotool key Down; done
  xdotool key Return
}

# Places on the main window (600 x 200 below a menu bar of 19 pixels) and
# on the COM port dialog.
START=(528 48) STOP=(528 84) PAUSE=(528 120) COMPORTS=(528 156) CLOSE=(528 192)
PORT_LAMP=(82 66) EXCEL_LAMP=(82 104)
TOOLS=24 UTILITIES=76 HELP=127
COM1=(30 35) COM2=(30 61) DIALOG_OK=(150 20)
GREEN='srgb(0,255,0)'

# ---- Main window, stopped ------------------------------------------------
(cd "$work" && exec "$program/halvern") > "$work/halvern.log" 2>&1 &
halvern=$!
pids+=($halvern)
main=$(window_titled "Halvern v$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/CMakeCache.txt")") \
  || fail "no main window"
xdotool mousemove 1000 700 # the pointer out of the way
shoot main-stopped "$main"

# ---- The COM port dialog: "Other" shows COM 5's device -------------------
click "$main" "${COMPORTS[@]}"
dialog=$(window_titled "COM Port Selection") || fail "no COM port dialog"
eval "$(xdotool getwindowgeometry --shell "$dialog")"
dialog_height=$HEIGHT
# The list at the bottom of the frame stands for "Other"; its tooltip shows
# below it.
before=$(xdotool search --onlyvisible --class Halvern | sort)
xdotool mousemove --window "$dialog" 50 $((dialog_height - 24))
tip=$(wait_new_window "$before" 0.1) || fail "no tooltip over Other"
shoot com-port-dialog "$dialog" "$tip"
click "$dialog" "${COM1[@]}" # the instrument's line
click "$dialog" "${DIALOG_OK[@]}"
gone "$dialog" || fail "the COM port dialog stayed open"

# ---- Main window, running: the instrument prints on the line ------------
click "$main" "${START[@]}"
until_pixel "$main" "${EXCEL_LAMP[@]}" "$GREEN" || fail "Start did not reach Ready (office)"
until_pixel "$main" "${PORT_LAMP[@]}" "$GREEN" || fail "Start did not reach Ready (port)"
ready=$(checksum "$main")
stamp() { date +%m-%d-%Y; }
for i in 1 2 3 4 5 6; do
  printf '%04d :: %s :: 10:1%d:0%d = %d (RAW)  24.%d (C)\r\n' "$i" "$(stamp)" "$i" "$i" $((1480 + i * 37)) "$i"
done > "$work/ttyB"
until_changed "$main" "$ready" || fail "the main window showed nothing received"
# Received counts settle once the whole text has been taken.
for _ in $(seq 20); do
  now=$(checksum "$main"); sleep 0.3; [ "$now" = "$(checksum "$main")" ] && break
done
shoot main-running "$main"

# ---- The emulator, Strata then VX-Orbis, and the received text ------------
menu $TOOLS
emulator=$(window_titled "Emulator") || fail "no emulator window"
shown=$(checksum "$emulator")
until_changed "$emulator" "$shown" || fail "the emulator showed no output"
shown=$(checksum "$emulator")
until_changed "$emulator" "$shown" || fail "the emulator showed no second output"
shoot emulator-strata "$emulator"
# The Received text window below the main window, left of the emulator.
menu $TOOLS 2
received=$(window_titled "Received text") || fail "no Received text window"
xdotool windowsize "$received" 600 400
xdotool windowmove "$received" 0 390
# The machine box is editable: type the model's name into it.
click "$emulator" 180 17
keys "$emulator" ctrl+a
text "$emulator" "VX-Orbis"
# Orbis prints a line a quarter second and a block separator after every
# "Every" lines; with 3 the window soon shows Strata's record lines above a
# few short blocks. Pause holds the text still for the picture, taken with
# the window wide enough for a line.
set_every() { click "$emulator" 100 86; keys "$emulator" ctrl+a; text "$emulator" "$1"; }
set_every 3
sleep 2
click "$main" "${PAUSE[@]}"
xdotool windowsize "$received" 900 400
shoot received-text "$received"
xdotool windowsize "$received" 600 400
click "$main" "${PAUSE[@]}" # Resume, in the same place
set_every 16
shown=$(checksum "$emulator")
until_changed "$emulator" "$shown" || fail "the emulator showed no Orbis output"
shoot emulator-orbis "$emulator"

# ---- Stop: the filled workbook is saved under a name -------------------
click "$main" "${STOP[@]}"
save=$(window_titled "Please rename this workbook") || fail "Stop showed no save dialog"
text "$save" "$HOME/Documents/first-run.xls"
keys "$save" Return
gone "$save" || fail "the save dialog stayed open"
# The lamp takes the frame's colour; that colour is looked at each time, since
# the part of the window the save dialog covered may not be painted yet.
for _ in $(seq 300); do
  [ "$(pixel "$main" "${EXCEL_LAMP[@]}")" = "$(pixel "$main" 300 30)" ] && break
  sleep 0.1
done
[ "$(pixel "$main" "${EXCEL_LAMP[@]}")" = "$(pixel "$main" 300 30)" ] || fail "Stop did not end the run (lamp $(pixel "$main" "${EXCEL_LAMP[@]}"), frame $(pixel "$main" 300 30))"

# ---- A firmware update in progress (the loader on COM 2) ------------------
click "$main" "${COMPORTS[@]}"
dialog=$(window_titled "COM Port Selection") || fail "no COM port dialog"
click "$dialog" "${COM2[@]}"
click "$dialog" "${DIALOG_OK[@]}"
gone "$dialog" || fail "the COM port dialog stayed open"
menu $UTILITIES
verify=$(window_titled "Verify request for update") || fail "no update request box"
keys "$verify" Return
update=$(window_titled "Update firmware") || fail "no update window"
# Well into the second file: the loader has taken about 40% of the bytes
# (220 packets of 256 bytes).
total=$((220 * 256))
for _ in $(seq 600); do
  received=$(stat -c %s "$work/loader-received.bin" 2>/dev/null || echo 0)
  ((received * 10 > total * 4)) && break
  sleep 0.05
done
((received * 10 > total * 4)) || fail "the update did not get going (see $work/loader.log)"
shoot firmware-update "$update"
gone "$update" || fail "the update did not finish"

# ---- About ------------------------------------------------------------------
menu $HELP
about=$(window_titled "About") || fail "no About box"
shoot about "$about"
keys "$about" Return
gone "$about" || true

click "$main" "${CLOSE[@]}"
for _ in $(seq 100); do kill -0 "$halvern" 2>/dev/null || break; sleep 0.1; done
echo "pictures in $out"
