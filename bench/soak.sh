#!/usr/bin/env bash
# Stamina of the running application: in a private session with a tray host
# and mousepad, opens and closes the popup by the hot key OPENINGS times
# (default 1000), typing into it each time and running a command (Select
# All) every tenth time; prints resident memory, open file descriptors and
# threads at 0, 100, 400 and OPENINGS openings, then the CPU ticks and wake-ups
# (context switches of all threads) over IDLE idle seconds (default 60), and
# the error lines Hintboard logged.
#
#   bench/soak.sh [BUILD_DIR] [OPENINGS] [IDLE]
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
openings=${2:-1000}
idle=${3:-60}
hintboard="$build/src/app/hintboard"
[[ -x $hintboard ]] || { echo "build $hintboard first" >&2; exit 1; }

eval "$(scripts/session start)"
pids=()
finish() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  scripts/session stop "$HINTBOARD_SESSION"
}
trap finish EXIT

wait_for() {
  local tries=$1
  shift
  for ((i = 0; i < tries; ++i)); do "$@" >/dev/null 2>&1 && return 0; sleep 0.02; done
  return 1
}
# The popup: a mapped top-level window of Hintboard's at least 200 pixels wide (the icon is 22).
popup_shown() {
  xdotool search --onlyvisible --class hintboard getwindowgeometry --shell %@ 2>/dev/null |
    awk -F= '$1 == "WIDTH" && $2 >= 200 { found = 1 } END { exit !found }'
}
popup_hidden() { ! popup_shown; }

# Settings of a user who has been through the wizard and turned update checks off.
mkdir -p "$XDG_CONFIG_HOME/hintboard"
cat >"$XDG_CONFIG_HOME/hintboard/org.mirelo.Hintboard.plist" <<'PLIST'
<?xml version="1.0" encoding="UTF-8"?>
<!DOCTYPE plist PUBLIC "-//Apple//DTD PLIST 1.0//EN" "http://www.apple.com/DTDs/PropertyList-1.0.dtd">
<plist version="1.0"><dict>
<key>didShowOnboardingWizard</key><true/>
<key>SUEnableAutomaticChecks</key><false/>
</dict></plist>
PLIST

trayer --edge top --align right --widthtype pixel --width 120 --height 28 --SetDockType true \
  --transparent false >/dev/null 2>&1 &
pids+=($!)
mousepad --disable-server >/dev/null 2>&1 &
pids+=($!)
wait_for 500 "$hintboard" shortcuts --app mousepad || { echo "mousepad's menus cannot be read" >&2; exit 1; }
xdotool search --onlyvisible --class mousepad windowactivate --sync >/dev/null 2>&1
"$hintboard" >"$HINTBOARD_SESSION/hintboard.log" 2>&1 &
hintboard_pid=$!
pids+=("$hintboard_pid")
wait_for 500 "$hintboard" show || { echo "Hintboard did not answer on the bus" >&2; exit 1; }
wait_for 250 popup_shown && xdotool key Escape && wait_for 250 popup_hidden

measure() {
  local status=/proc/$hintboard_pid/status
  printf '%-10s %10s %6s %8s\n' "$1" "$(awk '/^VmRSS/ { print $2 " kB" }' "$status")" \
    "$(ls "/proc/$hintboard_pid/fd" | wc -l)" "$(awk '/^Threads/ { print $2 }' "$status")"
}
printf '%-10s %10s %6s %8s\n' openings resident fds threads
measure 0
failures=0
for ((opening = 1; opening <= openings; ++opening)); do
  xdotool key alt+super+k
  if ! wait_for 250 popup_shown; then
    failures=$((failures + 1))
    continue
  fi
  if ((opening % 10 == 0)); then
    xdotool type --delay 0 "select all"
    xdotool key Tab Return  # Tab selects the one row left
  else
    xdotool type --delay 0 "sa"
    xdotool key BackSpace BackSpace Escape
  fi
  # On a busy machine the typing may reach mousepad before the popup holds the
  # keyboard, and an Escape may only clear lit modifiers: Escape once more.
  wait_for 50 popup_hidden || { xdotool key Escape; wait_for 250 popup_hidden || failures=$((failures + 1)); }
  if ((opening == 100 || opening == 400 || opening == openings)); then measure "$opening"; fi
done
echo "openings that did not show or close the popup: $failures"

# Idle: CPU ticks of the process and context switches of each thread
# ("task name switches" lines; a thread that ended counts nothing).
switches() {
  local task
  for task in /proc/"$hintboard_pid"/task/*; do
    echo "${task##*/} $(tr ' ' _ <"$task/comm") $(awk '/ctxt_switches/ { sum += $2 } END { print sum }' "$task/status")"
  done
}
ticks() { awk '{ print $14 + $15 }' /proc/"$hintboard_pid"/stat; }
sleep 2
ticks_before=$(ticks)
switches >"$HINTBOARD_SESSION/switches-before"
sleep "$idle"
switches >"$HINTBOARD_SESSION/switches-after"
echo "idle ${idle} s: $(( $(ticks) - ticks_before )) CPU ticks; wake-ups by thread:"
awk 'NR == FNR { before[$1] = $3; next } { printf "  %-16s %d\n", $2, $3 - before[$1] }' \
  "$HINTBOARD_SESSION/switches-before" "$HINTBOARD_SESSION/switches-after"
echo "error lines logged: $(grep -c 'error' "$HINTBOARD_SESSION/hintboard.log" || true)"
grep 'error' "$HINTBOARD_SESSION/hintboard.log" | sort | uniq -c | head -5 || true
