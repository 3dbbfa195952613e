#!/usr/bin/env bash
# The shortcuts command against a naive walk of the same menu bar (Python and
# libatspi, interpreter start included), over mousepad and LibreOffice Writer
# in a private session: five runs each of
#   exec to first bus connection  (strace: the command's execve to its first
#                                  connect to a bus socket)
#   whole command                 (wall time of `hintboard shortcuts --pid`)
#   naive walk                    (wall time of bench/naive_menu_walk.py)
#
#   bench/command_line_speed.sh [BUILD_DIR]
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
hintboard="$build/src/app/hintboard"
[[ -x $hintboard ]] || { echo "build $hintboard first" >&2; exit 1; }

eval "$(scripts/session start)"
pids=()
finish() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  [[ -n ${soffice:-} ]] && kill "$soffice" 2>/dev/null || true
  scripts/session stop "$HINTBOARD_SESSION"
}
trap finish EXIT

mousepad --disable-server >/dev/null 2>&1 &
pids+=($!)
libreoffice --writer --norestore --nologo >/dev/null 2>&1 &
pids+=($!)

# Waits for the menus of the program named $1, started by process $2 (or
# that process itself), to be readable and prints its process id
# (LibreOffice restarts itself once on a fresh profile).
readable_pid() {
  local pid
  for _ in $(seq 600); do
    pid=$(pgrep -n -x "$1" -P "$2" || true)
    [[ -n $pid ]] && "$hintboard" shortcuts --pid "$pid" >/dev/null 2>&1 && { echo "$pid"; return 0; }
    sleep 0.1
  done
  echo "the menus of $1 cannot be read" >&2
  return 1
}
mousepad=$(readable_pid mousepad "$$")
soffice=$(readable_pid soffice.bin "${pids[1]}")

milliseconds() { echo $(( ($2 - $1) / 1000000 )); }
first_connection() {
  strace -f --seccomp-bpf -ttt -e trace=execve,connect -o "$HINTBOARD_SESSION/trace" \
    "$hintboard" shortcuts --pid "$1" >/dev/null 2>&1 || true
  awk '/execve\(/ && !start { start = $2 }
       /connect\(.*sun_path=.*(bus|at-spi)/ && !done { printf "%.1f", ($2 - start) * 1000; done = 1 }' \
    "$HINTBOARD_SESSION/trace"
}
timed() {
  local begin end
  begin=$(date +%s%N); "$@" >/dev/null 2>&1 || true; end=$(date +%s%N)
  milliseconds "$begin" "$end"
}

printf '%-20s %4s %22s %16s %14s %8s\n' application run "exec→first bus (ms)" "command (ms)" "naive (ms)" ratio
for app in mousepad:"$mousepad" "LibreOffice Writer:$soffice"; do
  name=${app%%:*} pid=${app##*:}
  for run in 1 2 3 4 5; do
    connection=$(first_connection "$pid")
    command=$(timed "$hintboard" shortcuts --pid "$pid")
    naive=$(timed bench/naive_menu_walk.py "$pid")
    printf '%-20s %4s %22s %16s %14s %8s\n' "$name" "$run" "$connection" "$command" "$naive" \
      "$(awk -v n="$naive" -v c="$command" 'BEGIN { printf "%.1f×", n / (c ? c : 1) }')"
  done
done
