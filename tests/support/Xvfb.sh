# Shell helpers for the checks that run the real program on a virtual
# display. The outer script sources this file and starts its inner script
# with run_on_xvfb; the inner script sources it again (its path is exported
# as xvfb_helpers) for wait_for_display and window_titled.
export xvfb_helpers=${BASH_SOURCE[0]}

# run_on_xvfb <log file> <command...>: the command on a fresh Xvfb; the
# server's own messages are shown when the command fails.
run_on_xvfb() {
  local log=$1 status
  shift
  # A random first display number keeps parallel runs apart (-n before -a:
  # the free display is looked for from there on). -noreset: the server does
  # not start over when its last client (the display probe) leaves, just as
  # the program connects.
  xvfb-run -n $((100 + RANDOM % 800)) -a -s "-screen 0 1280x1024x24 -noreset" -e "$log" "$@"
  status=$?
  [ $status = 0 ] || sed 's/^/Xvfb: /' "$log"
  return $status
}

# The display must answer before the program may take it.
wait_for_display() {
  for _ in $(seq 100); do xdotool getdisplaygeometry >/dev/null 2>&1 && return 0; sleep 0.1; done
  echo "FAIL: the virtual display $DISPLAY does not answer"
  exit 1
}

# Prints the id of the visible window with exactly this title, once there is
# one (15 s at the most).
window_titled() {
  for _ in $(seq 150); do
    for w in $(xdotool search --onlyvisible --name '.' 2>/dev/null); do
      [ "$(xdotool getwindowname "$w")" = "$1" ] && { echo "$w"; return 0; }
    done
    sleep 0.1
  done
  return 1
}
