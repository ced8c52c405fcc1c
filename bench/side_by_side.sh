#!/usr/bin/env bash
# The figures the user waits on, for several builds side by side in one run
# (this machine is shared and noisy: only figures of one run compare):
#   bench/side_by_side.sh NAME=BUILD_FOLDER...
# Each BUILD_FOLDER is the build/ of a checkout, with bin/halvern and
# bench_calc built (bench_replay and bench_verify where it has them). The last one named makes the journals (its bench_replay), so name
# the newest build last.
#  - bench_calc of each, quiet and with one `yes >/dev/null` beside it; the
#    Python-UNO peer (bench/calc/uno_peer.py, needs python3-uno) alike;
#  - `halvern --replay` of a 70,000-line journal to .xlsx against the office's
#    own `soffice --headless --convert-to xlsx` of a CSV of the same cells,
#    three rounds, alternating;
#  - `halvern --replay` of a 10-hour journal: time and the office's peak memory;
#  - `bench_verify workbook` (--verify of a changed 70,000-line workbook)
#    where the build has it.
set -uo pipefail
here=$(cd "$(dirname "$0")" && pwd)
[ $# -ge 1 ] || { sed -n 2,16p "$0"; exit 2; }
names=() folders=()
for arg in "$@"; do
  names+=("${arg%%=*}")
  folders+=("$(cd "${arg#*=}" && pwd)")
done
newest=${folders[-1]}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export HOME=$work/home XDG_CONFIG_HOME=$work/home/.config XDG_DATA_HOME=$work/home/.local/share
mkdir -p "$HOME"

# A benchmark of a build: in bin/ beside the program, or in bench/bin/.
tool() { if [ -x "$1/bin/$2" ]; then echo "$1/bin/$2"; else echo "$1/bench/bin/$2"; fi; }

busy_pid=
busy_on() { yes >/dev/null & busy_pid=$!; }
busy_off() { [ -n "$busy_pid" ] && kill "$busy_pid" && wait "$busy_pid" 2>/dev/null; busy_pid=; }
trap 'busy_off; rm -rf "$work"' EXIT

echo "== bench_calc (cells/s), quiet and with one busy core"
for load in quiet busy; do
  for i in "${!folders[@]}"; do
    [ "$load" = busy ] && busy_on
    "$(tool "${folders[$i]}" bench_calc)" 2>/dev/null | grep 'cells/s' | sed "s/^/${names[$i]} $load: /"
    if [ "$i" = $((${#folders[@]} - 1)) ]; then
      xvfb-run -a "$(tool "${folders[$i]}" bench_calc)" visible 2>/dev/null | grep 'cells/s' | sed "s/^/${names[$i]} $load: /"
    fi
    busy_off
  done
  for mode in "" --view; do
    [ "$load" = busy ] && busy_on
    /usr/bin/python3 "$here/calc/uno_peer.py" "$newest/bin/spreadsheet.xls" $mode 2>/dev/null | sed "s/^/peer $load: /"
    busy_off
  done
done

echo "== --replay of 70,000 lines to .xlsx against the office's import of a CSV of the same cells"
raw=$("$(tool "$newest" bench_replay)" journal 70000 "$work/runs70k")
# The CSV of the cells, from the newest build's workbook.
"$(tool "$newest" bench_replay)" program "$newest/bin/halvern" "$raw" "$work/cells.xlsx" >/dev/null
soffice -env:UserInstallation="file://$work/csvprofile" --headless --convert-to csv --outdir "$work" \
  "$work/cells.xlsx" >/dev/null 2>&1
echo "CSV: $(wc -l <"$work/cells.csv") rows, $(stat -c %s "$work/cells.csv") bytes"
for round in 1 2 3; do
  for i in "${!folders[@]}"; do
    rm -f "$work/out.xlsx"
    echo "round $round ${names[$i]}: $("$(tool "$newest" bench_replay)" program "${folders[$i]}/bin/halvern" "$raw" "$work/out.xlsx")"
  done
  rm -rf "$work/import"
  start=$(date +%s.%N)
  soffice -env:UserInstallation="file://$work/importprofile$round" --headless --convert-to xlsx \
    --outdir "$work/import" "$work/cells.csv" >/dev/null 2>&1
  echo "round $round soffice --convert-to xlsx of the CSV: $(echo "$(date +%s.%N) - $start" | bc) s"
done

echo "== --replay of a 10-hour journal"
raw10=$("$(tool "$newest" bench_replay)" journal 10h "$work/runs10h")
echo "journal: $(stat -c %s "$raw10") bytes"
for i in "${!folders[@]}"; do
  rm -f "$work/ten.xlsx"
  echo "${names[$i]}: $("$(tool "$newest" bench_replay)" program "${folders[$i]}/bin/halvern" "$raw10" "$work/ten.xlsx")"
done

echo "== --verify of a changed 70,000-line workbook"
for i in "${!folders[@]}"; do
  if [ -x "$(tool "${folders[$i]}" bench_verify)" ]; then
    "$(tool "${folders[$i]}" bench_verify)" workbook 2>/dev/null | sed "s/^/${names[$i]}: /"
  else
    echo "${names[$i]}: no bench_verify (no --verify in this build)"
  fi
done
