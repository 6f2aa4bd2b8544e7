#!/usr/bin/env bash
# Start-up cost of the panel against the EchoLink stand-in, on a private X server with
# openbox and a private session bus:
#   overhead  time from exec to the panel mapped, minus the 7 s of designed waits
#             (median of RUNS runs; the window is polled, so add a few ms of resolution)
#   memory    VmRSS and VmHWM of the panel once it is up
#   idle      CPU time and context switches over IDLE seconds with Always On Top off
# Usage: bench/startup_overhead.sh [build-dir]   (RUNS=5 IDLE=60 by default; IDLE=0 skips
# the idle watch)
set -euo pipefail
build=$(realpath "${1:-build}")
if [ -z "${DISPLAY:-}" ]; then
  exec xvfb-run -a -s "-screen 0 1280x1024x24 -dpi 96" \
    "$(dirname "$0")/../scripts/with-openbox.sh" "$0" "$build"
fi
if [ -z "${BENCH_BUS:-}" ]; then
  BENCH_BUS=1 exec dbus-run-session --config-file="$(dirname "$0")/../scripts/session-bus.conf" -- "$0" "$build"
fi
runs=${RUNS:-5}
idle=${IDLE:-60}
export QT_QPA_PLATFORM=xcb

now_ms() { echo $(( $(date +%s%N) / 1000000 )); }

start_sim() {
  "$build/tools/echolink-sim/echolink-sim" --no-window --connect-delay 0 2>/dev/null &
  sim=$!
  until dbus-send --session --print-reply --dest=org.freedesktop.DBus / \
        org.freedesktop.DBus.GetNameOwner string:org.dialboard.EchoLink >/dev/null 2>&1; do
    sleep 0.02
  done
}

close_panel() {
  dbus-send --session --print-reply --dest=org.dialboard.EchoLink /Control \
    org.dialboard.EchoLink.Simulator.EmitClosing >/dev/null
  wait "$1" || true
  wait "$sim" 2>/dev/null || true
}

# Sum of one field of /proc/<pid>/task/*/status over all threads.
threads_sum() {
  cat /proc/"$1"/task/*/status | awk -v key="$2:" '$1 == key { s += $2 } END { print s }'
}
cpu_ticks() { awk '{ print $14 + $15 }' /proc/"$1"/stat; }

overheads=()
for run in $(seq "$runs"); do
  XDG_CONFIG_HOME=$(mktemp -d); export XDG_CONFIG_HOME
  start_sim
  t0=$(now_ms)
  "$build/dialboard" 2>/dev/null &
  panel=$!
  until xdotool search --onlyvisible --name '^Dialboard N0CALL$' >/dev/null 2>&1; do
    sleep 0.002
  done
  t1=$(now_ms)
  overheads+=($(( t1 - t0 - 7000 )))
  echo "run $run: exec to panel mapped $(( t1 - t0 )) ms, overhead $(( t1 - t0 - 7000 )) ms"

  if [ "$run" -eq "$runs" ] && [ "$idle" -gt 0 ]; then
    sleep 1
    grep -E '^Vm(RSS|HWM)' /proc/"$panel"/status | tr -s ' \t' ' '
    hz=$(getconf CLK_TCK)
    ticks0=$(cpu_ticks "$panel")
    vol0=$(threads_sum "$panel" voluntary_ctxt_switches)
    inv0=$(threads_sum "$panel" nonvoluntary_ctxt_switches)
    main0=$(awk '$1 == "voluntary_ctxt_switches:" { print $2 }' /proc/"$panel"/task/"$panel"/status)
    sleep "$idle"
    ticks1=$(cpu_ticks "$panel")
    vol1=$(threads_sum "$panel" voluntary_ctxt_switches)
    inv1=$(threads_sum "$panel" nonvoluntary_ctxt_switches)
    main1=$(awk '$1 == "voluntary_ctxt_switches:" { print $2 }' /proc/"$panel"/task/"$panel"/status)
    echo "idle ${idle} s: CPU $(( (ticks1 - ticks0) * 1000 / hz )) ms;" \
         "context switches, all threads: $(( vol1 - vol0 )) voluntary, $(( inv1 - inv0 )) involuntary;" \
         "main thread: $(( main1 - main0 )) voluntary" \
         "($(echo "scale=2; ($main1 - $main0) / $idle" | bc) a second)"
  fi
  close_panel "$panel"
  rm -rf "$XDG_CONFIG_HOME"
done

sorted=($(printf '%s\n' "${overheads[@]}" | sort -n))
echo "start-up overhead, median of $runs: ${sorted[$(( runs / 2 ))]} ms (target <= 150 ms)"
echo "startup.overhead_ms=${sorted[$(( runs / 2 ))]}"
