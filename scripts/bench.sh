#!/usr/bin/env bash
# Measures the panel and prints one table: each figure beside the floor or reference
# measured in the same run, the target, and whether the target is met.
#
#   scripts/bench.sh [--quick] [--node] [--build-dir DIR]
#     --quick      fewer repetitions, a 10 s idle watch
#     --node       echolink-node's benchmarks and rows only
#     --build-dir  build and measure in DIR (default build/, configured and built by
#                  scripts/build.sh; another folder is configured here if need be and
#                  only the programs measured are built)
#
# Installs what is missing and builds like scripts/test.sh. Every benchmark program starts
# its own private session bus and the EchoLink stand-in on it, and prints its figures as
# "key=value" lines; the table below names figures by those keys. A figure no program
# printed shows as "not measured".
set -euo pipefail
cd "$(dirname "$0")/.."

quick=() startup_runs=5 build=build node_only=
while [ $# -gt 0 ]; do
  case $1 in
    --quick) quick=(--quick) startup_runs=3 ;;
    --node) node_only=1 ;;
    --build-dir) build=${2:?--build-dir needs a folder}; shift ;;
    *) echo "usage: scripts/bench.sh [--quick] [--node] [--build-dir DIR]" >&2; exit 2 ;;
  esac
  shift
done

scripts/deps.sh --tests
if [ "$build" = build ]; then
  scripts/build.sh >/dev/null
else
  [ -f "$build/CMakeCache.txt" ] || cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
  targets=(bench_node bench_node_audio bench_browser)
  [ -z "$node_only" ] && targets+=(dialboard echolink-sim bench_link bench_idle bench_settings bench_completion)
  cmake --build "$build" -j"$(nproc)" --target "${targets[@]}" >/dev/null
fi

logs=$build/bench-logs
rm -rf "$logs" && mkdir -p "$logs"
declare -A fig
failed=()

# run NAME COMMAND...: runs one benchmark program and gathers its figures.
run() {
  local name=$1 start=$SECONDS
  shift
  echo "bench: $name ..." >&2
  if "$@" >"$logs/$name.out" 2>"$logs/$name.err"; then
    echo "bench: $name done in $((SECONDS - start)) s" >&2
  else
    echo "bench: $name FAILED (see $logs/$name.out and .err)" >&2
    failed+=("$name")
  fi
  local key value
  while IFS='=' read -r key value; do
    fig[$key]=$value
  done < <(grep -E '^[a-z0-9_.]+=[-0-9.]+$' "$logs/$name.out" || true)
}

# The running panel needs a display and a window manager, as on a desktop.
on_display() {
  xvfb-run -a -s "-screen 0 1280x1024x24 -dpi 96" scripts/with-openbox.sh "$@"
}

# bench_settings prints microseconds in its own layout; this turns them into figures.
settings_figures() {
  "$@" | awk '{ print "# " $0 }
    /PutRegSettings/ { printf "settings.save_ms=%.4f\n", $(NF - 1) / 1000 }
    /GetRegSettings/ { printf "settings.load_ms=%.4f\n", $(NF - 1) / 1000 }
    /OnTop tick/ { printf "ontop.tick_ms=%.4f\n", $(NF - 1) / 1000 }'
}

# One line per benchmark program.
if [ -z "$node_only" ]; then
  run link "$build"/bench/bench_link "${quick[@]}"
  run running on_display "$build"/bench/bench_idle "${quick[@]}"
  run settings settings_figures on_display "$build"/bench/bench_settings
  run completion on_display "$build"/bench/bench_completion "${quick[@]}"
  run startup env IDLE=0 RUNS="${startup_runs}" bench/startup_overhead.sh "$build"
fi
run node "$build"/bench/bench_node "${quick[@]}"
run node_audio "$build"/bench/bench_node_audio "${quick[@]}"
run node_conference "$build"/bench/bench_node_conference "${quick[@]}"
run node_browser on_display "$build"/bench/bench_browser

# Derived figures.
if [ -n "${fig[idle.panel_refresh_passes]:-}" ] && [ "${fig[idle.panel_refresh_passes]%.*}" -gt 0 ]; then
  fig[idle.panel_wakeups_per_pass]=$(awk -v w="${fig[idle.panel_wakeups_per_s]}" -v s="${fig[idle.seconds]}" \
    -v p="${fig[idle.panel_refresh_passes]}" 'BEGIN { printf "%.4f", w * s / p }')
fi

if [ -n "${fig[node.conference_cpu_20_links]:-}" ] && [ -n "${fig[node.conference_cpu_1_links]:-}" ]; then
  fig[node.conference_cpu_per_link]=$(awk -v a="${fig[node.conference_cpu_1_links]}" \
    -v b="${fig[node.conference_cpu_20_links]}" 'BEGIN { printf "%.4f", (b - a) / 19 }')
fi

# A number with three significant digits or so.
num() { awk -v v="$1" 'BEGIN { a = v < 0 ? -v : v; f = a >= 100 ? "%.0f" : a >= 10 ? "%.1f" : a >= 1 ? "%.2f" : "%.3f"; printf f, v }'; }

# row FIGURE KEY UNIT REFERENCE REFERENCE-KEY RULE
#   RULE is "ratio R" (at most R times the reference), "over D" (at most D above the
#   reference), "max V" (at most V) or "-" (reported only).
row() {
  local label=$1 key=$2 unit=$3 refLabel=$4 refKey=$5 rule=$6
  local value=${fig[$key]:-} ref=${fig[$refKey]:-} measured target verdict reference
  [ -n "$node_only" ] && [ "${key#node.}" = "$key" ] && return
  reference=$refLabel
  [ -n "$ref" ] && reference="$refLabel: $(num "$ref") $unit"
  [ "$refKey" != "-" ] && [ -z "$ref" ] && reference="$refLabel: not measured"
  case $rule in
    ratio*) target="<= ${rule#ratio } x reference" ;;
    over*) target="<= reference + ${rule#over } $unit" ;;
    max*) target="<= ${rule#max } $unit" ;;
    *) target="-" ;;
  esac
  if [ -z "$value" ]; then
    measured="not measured"; verdict="-"
  else
    measured="$(num "$value")${unit:+ $unit}"
    verdict=$(awk -v v="$value" -v r="${ref:-0}" -v rule="$rule" -v has_ref="${ref:+1}" 'BEGIN {
      split(rule, p, " ")
      if (p[1] == "ratio") ok = has_ref ? v <= p[2] * r : -1
      else if (p[1] == "over") ok = has_ref ? v <= r + p[2] : -1
      else if (p[1] == "max") ok = v <= p[2]
      else ok = -1
      print ok == 1 ? "met" : ok == 0 ? "MISSED" : "-" }')
  fi
  printf '| %s | %s | %s | %s | %s |\n' "$label" "$measured" "$reference" "$target" "$verdict"
}

cpu=$(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2- | sed 's/^ *//')
qt=$(dpkg-query -W -f='${Version}' qt6-base-dev 2>/dev/null || echo '?')
echo
echo "Machine: ${cpu:-unknown CPU}, $(nproc) cores, $(awk '/MemTotal/ { printf "%.1f GiB", $2 / 1048576 }' /proc/meminfo)," \
  "$(uname -sr), Qt $qt, $(date -u +%Y-%m-%d)${quick:+ (quick run)}"
echo
echo "| Figure | Measured | Floor or reference (same run) | Target | Verdict |"
echo "| --- | --- | --- | --- | --- |"
row "Refresh pass (LoadNodeButtons until it has ended), median" refresh.median_ms ms "40 bare IsConnected round trips in flight together" inflight40.median_ms "ratio 1.25"
row "Refresh pass, 90th percentile" refresh.p90_ms ms "40 bare round trips in flight together, p90" inflight40.p90_ms "ratio 1.25"
row "Refresh pass, median, beside the calls made one by one" refresh.median_ms ms "40 bare round trips one after another" floor40.median_ms "-"
row "Left click until Connect is answered, median" click.median_ms ms "one bare round trip" roundtrip.median_ms "over 1"
row "Refresh while the server hangs, median" hung.median_ms ms "call time-out" hung.bound_ms "ratio 1.1"
row "Refresh while the server hangs, worst" hung.max_ms ms "call time-out" hung.bound_ms "-"
row "Longest event-loop stall in a pass, server answering in 100 ms, median pass" slow.stall_median_ms ms "no pass running, median" slow.idle_median_ms "max 50"
row "Longest event-loop stall in a pass, worst pass, less time the CPU was taken by others" slow.stall_own_max_ms ms "no pass running, worst, likewise" slow.idle_own_max_ms "max 50"
row "Longest event-loop stall in a pass, worst pass, on the clock" slow.stall_max_ms ms "no pass running, worst" slow.idle_max_ms "-"
row "Start-up overhead beyond the 7 s of waits" startup.overhead_ms ms "-" - "max 150"
row "Resident memory after start" rss.panel_mib MiB "bare 40-button window" rss.bare_mib "max 32"
row "Resident high-water mark after start" rss.panel_hwm_mib MiB "-" - "max 32"
row "Idle wake-ups, all threads, refresh running" idle.panel_wakeups_per_s "/s" "bare program asking the 40 questions every 5 s" idle.bare_refresh_wakeups_per_s "max 2"
row "Idle wake-ups, main thread" idle.panel_main_wakeups_per_s "/s" "bare program, main thread" idle.bare_refresh_main_wakeups_per_s "-"
row "Idle wake-ups, Qt's D-Bus thread" idle.thread.qdbusconnection_wakeups_per_s "/s" "-" - "-"
row "Idle wake-ups per refresh pass (every 5 s)" idle.panel_wakeups_per_pass "" "-" - "-"
row "Idle CPU time" idle.panel_cpu_ms_per_min "ms/min" "bare 40-button window" idle.bare_cpu_ms_per_min "-"
row "Settings load (open, read 45 keys, apply), median" settings.load_ms ms "-" - "-"
row "Settings save (PutRegSettings, 45 keys), median" settings.save_ms ms "-" - "-"
row "One OnTop tick, median" ontop.tick_ms ms "-" - "-"
row "Load Button dialog, 10,000 stations: longest stall of one key (typing, Down, Escape, Backspace)" completion.key_max_ms ms "-" - "max 30"
row "Load Button dialog, 10,000 stations: one key, median" completion.key_median_ms ms "-" - "-"
row "Load Button dialog, 10,000 stations: stall when the list comes in" completion.open_stall_max_ms ms "-" - "-"
row "Load Button dialog, 10,000 stations: stall when the list comes in, less time the CPU was taken by others" completion.open_stall_own_max_ms ms "-" - "-"
row "echolink-node: click to linked on both ends, median of 20" node.link_median_ms ms "one bare UDP round trip" node.udp_roundtrip_ms "max 0.5"
row "echolink-node: click to linked, beside a bus round trip to the node" node.link_median_ms ms "IsConnected answered, median" node.quiet_answer_median_ms "-"
row "echolink-node: resident memory, headless, 1 link" node.rss_1_link_mib MiB "SvxLink's EchoLink node, 1 idle link: 11 MiB" - "max 20"
row "echolink-node: resident memory, headless, 5 links" node.rss_5_links_mib MiB "-" - "max 20"
row "echolink-node: idle wake-ups, 1 link, all threads" node.idle_wakeups_per_s "/s" "SvxLink's EchoLink node: 4 /s" - "max 10"
row "echolink-node: idle CPU, 1 link" node.idle_cpu_percent "%" "-" - "max 0.5"
row "echolink-node: resident memory, --no-window --no-audio, 1 idle link" node.rss_1_link_mib MiB "bare program owning the bus name and the two UDP ports" node.bare_rss_mib "over 2.5"
row "echolink-node: resident memory beyond the bare program, headless" node.rss_over_bare_mib MiB "-" - "max 2.5"
row "echolink-node: idle wake-ups, --no-window --no-audio, 1 link, all threads" node.idle_wakeups_per_s "/s" "bare program, all threads" node.bare_idle_wakeups_per_s "max 0.5"
row "echolink-node: idle CPU, --no-window --no-audio, 1 link" node.idle_cpu_percent "%" "bare program" node.bare_idle_cpu_percent "max 0.2"
row "echolink-node: CPU during 20,000 calls from 100 unknown addresses in 4 s, 1 link" node.burst_cpu_percent "%" "-" - "-"
row "echolink-node: longest IsConnected answer during those calls" node.burst_answer_max_ms ms "longest answer with nobody calling" node.quiet_answer_max_ms "max 50"
row "echolink-node: IsConnected answer during those calls, median" node.burst_answer_median_ms ms "median with nobody calling" node.quiet_answer_median_ms "-"
row "echolink-node: sound from B's input to A's output, median of 50 bursts" node.audio_latency_median_ms ms "codec packet (4 x 20 ms)" node.audio_packet_ms "max 110"
row "echolink-node: sound latency, p90" node.audio_latency_p90_ms ms "codec packet (4 x 20 ms)" node.audio_packet_ms "max 250"
row "echolink-node: CPU, 1 link carrying sound" node.audio_cpu_percent "%" "-" - "max 3"
row "echolink-node: pauses in A's output, 20 s of tone on clean loopback" node.audio_clean_underruns "" "-" - "max 0"
row "echolink-node: pauses in A's output (receive buffer ran dry), a minute of tone through a relay delaying each packet 0-30 ms" node.audio_jitter_underruns "" "-" - "max 0"
row "echolink-node: sound latency through that relay, median of 50 bursts" node.audio_jitter_latency_median_ms ms "the relay's longest delay" node.audio_jitter_most_delay_ms "-"
row "echolink-node: sound latency through that relay, p90" node.audio_jitter_latency_p90_ms ms "the relay's longest delay" node.audio_jitter_most_delay_ms "-"
row "echolink-node: conference CPU, 1 station talking, 1 link" node.conference_cpu_1_links "%" "-" - "-"
row "echolink-node: conference CPU, 1 station talking, 5 links" node.conference_cpu_5_links "%" "-" - "-"
row "echolink-node: conference CPU, 1 station talking, 10 links" node.conference_cpu_10_links "%" "-" - "-"
row "echolink-node: conference CPU, 1 station talking, 20 links" node.conference_cpu_20_links "%" "-" - "max 5"
row "echolink-node: conference CPU of each further link (1 to 20 links)" node.conference_cpu_per_link "%" "-" - "-"
row "echolink-node window: station browser, 10,000 stations, longest stall of a keystroke in its search box, less time the CPU was taken by others" node_browser.browser_keystroke_stall_own_max_ms ms "-" - "max 30"
row "echolink-node window: station browser, longest keystroke stall, on the clock" node_browser.browser_keystroke_stall_max_ms ms "-" - "-"
row "echolink-node window: station browser, keystroke stall, median" node_browser.browser_keystroke_stall_median_ms ms "-" - "-"
row "echolink-node window: station browser, a fresh list of 10,000 stations, longest stall, less time taken by others" node_browser.browser_list_refresh_stall_own_max_ms ms "-" - "-"
echo
if [ -n "$node_only" ]; then
  echo "Idle figures over $(num "${fig[node.idle_seconds]:-0}") s of the linked node; logs in $logs/."
else
  echo "Idle figures over $(num "${fig[idle.seconds]:-0}") s of the running panel; logs in $logs/."
fi

if [ ${#failed[@]} -gt 0 ]; then
  echo "bench: failed: ${failed[*]}" >&2
  exit 1
fi
