#!/usr/bin/env bash
# The reliability suite, apart from the everyday tests because it takes a while:
#   1. the whole test suite built with AddressSanitizer and UndefinedBehaviorSanitizer
#      (build-asan/), stopping at the first report;
#   2. a soak of 10,000 caption refreshes against the stand-in with links changing at
#      random, every caption checked, resident memory growth at most 1 MiB;
#   3. the fault matrix: the real program end to end against a missing, half-present,
#      hung, killed, replaced or impersonated EchoLink, and EchoLink closing during each
#      wait, the dialog and a message box, on a display with a window manager; one table
#      of what the user sees and what, if anything, was lost;
#   4. the fuzz targets for the settings text forms and settings files and for
#      echolink-node's parsers (control and audio packets with both voice decoders, the
#      station list, the directory's answers, its configuration file), built with clang
#      and libFuzzer (build-fuzz/), each for a bounded time.
#
#   scripts/reliability.sh [--quick] [--build-dir DIR]
#     --quick      1,000 soak passes, 10 s per fuzz target
#     --build-dir  run the soak and the fault matrix from DIR (default build/, built by
#                  scripts/build.sh; another folder is configured here if need be)
set -euo pipefail
cd "$(dirname "$0")/.."

quick=false build=build
while [ $# -gt 0 ]; do
  case $1 in
    --quick) quick=true ;;
    --build-dir) build=${2:?--build-dir needs a folder}; shift ;;
    *) echo "usage: scripts/reliability.sh [--quick] [--build-dir DIR]" >&2; exit 2 ;;
  esac
  shift
done
soak_passes=10000 fuzz_seconds=60
$quick && soak_passes=1000 fuzz_seconds=10

scripts/deps.sh --tests
results=()
step() { echo; echo "=== $* ==="; step_start=$SECONDS; }
done_step() { results+=("$1: $2 ($((SECONDS - step_start)) s)"); echo "--- $1: $2 ($((SECONDS - step_start)) s)"; }
on_display() { xvfb-run -a -s "-screen 0 1280x1024x24 -dpi 96" scripts/with-openbox.sh "$@"; }

# --- 1. Sanitizers ------------------------------------------------------------------
step "test suite under AddressSanitizer + UndefinedBehaviorSanitizer"
sanitize="-fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined"
[ -f build-asan/CMakeCache.txt ] || cmake -S . -B build-asan -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_CXX_FLAGS="$sanitize" -DCMAKE_EXE_LINKER_FLAGS="-fsanitize=address,undefined" >/dev/null
cmake --build build-asan -j"$(nproc)" >build-asan/build.log 2>&1 || { tail -30 build-asan/build.log; exit 1; }
export ASAN_OPTIONS="halt_on_error=1:detect_leaks=1:check_initialization_order=1:strict_init_order=1"
export UBSAN_OPTIONS="halt_on_error=1:print_stacktrace=1"
export LSAN_OPTIONS="suppressions=$PWD/bench/lsan.supp:print_suppressions=0"
if on_display ctest --test-dir build-asan --output-on-failure 2>&1 | tee build-asan/ctest.log; then
  done_step sanitizers "passed, $(grep -oE '[0-9]+ tests failed out of [0-9]+' build-asan/ctest.log | tail -1)"
else
  done_step sanitizers "FAILED, $(grep -oE '[0-9]+ tests failed out of [0-9]+' build-asan/ctest.log | tail -1)"
fi
unset ASAN_OPTIONS UBSAN_OPTIONS LSAN_OPTIONS

# --- 2. Soak --------------------------------------------------------------------------
step "soak: $soak_passes refreshes with links changing at random"
if [ "$build" = build ]; then
  scripts/build.sh >/dev/null
else
  [ -f "$build/CMakeCache.txt" ] || cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
  cmake --build "$build" -j"$(nproc)" --target soak_refresh fault_matrix >/dev/null
fi
if "$build"/bench/soak_refresh "$soak_passes"; then
  done_step soak passed
else
  done_step soak FAILED
fi

# --- 3. Fault matrix -------------------------------------------------------------------
step "fault matrix: the real program against EchoLink failing in every way"
if on_display "$build"/bench/fault_matrix; then
  done_step "fault matrix" passed
else
  done_step "fault matrix" FAILED
fi

# --- 4. Fuzzing -----------------------------------------------------------------------
step "fuzzing the settings text forms and files and the node's parsers, $fuzz_seconds s each"
fuzz_targets=(fuzz_textforms fuzz_settings_file fuzz_control_packet fuzz_audio_packet
              fuzz_station_list fuzz_logon_reply fuzz_node_config fuzz_proxy_message
              fuzz_chat_relay)
for p in clang libclang-rt-14-dev; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" \
    || { [ "$(id -u)" -eq 0 ] && s=() || s=(sudo); "${s[@]}" apt-get -o DPkg::Lock::Timeout=300 -y -q install "$p"; }
done
[ -f build-fuzz/CMakeCache.txt ] || cmake -S . -B build-fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_CXX_COMPILER=clang++ -DDIALBOARD_FUZZ=ON \
  -DCMAKE_CXX_FLAGS="-fsanitize=fuzzer-no-link,address,undefined -fno-sanitize-recover=undefined" >/dev/null
export LSAN_OPTIONS="suppressions=$PWD/bench/lsan.supp:print_suppressions=0"
fuzz_ok=true
cmake --build build-fuzz -j"$(nproc)" --target "${fuzz_targets[@]}" >build-fuzz/build.log 2>&1 \
  || { tail -30 build-fuzz/build.log; fuzz_ok=false; fuzz_targets=(); }
for target in "${fuzz_targets[@]}"; do
  corpus=build-fuzz/corpus/$target
  mkdir -p "$corpus"
  cp bench/fuzz/seeds/"$target"/* "$corpus"/
  echo "fuzz: $target for $fuzz_seconds s"
  # Findings are written as build-fuzz/crash-* (or leak-*, timeout-*) for replaying:
  #   build-fuzz/bench/<target> build-fuzz/crash-...
  if (cd build-fuzz && ./bench/"$target" -max_total_time="$fuzz_seconds" -timeout=10 \
        -print_final_stats=1 "corpus/$target" >"$target.log" 2>&1); then
    grep -E '^stat::number_of_executed_units' "build-fuzz/$target.log" || true
  else
    grep -E '^(finding: |  [A-Za-z]|SUMMARY|==[0-9]+==ERROR|artifact_prefix)' "build-fuzz/$target.log" | tail -20
    fuzz_ok=false
  fi
done
unset LSAN_OPTIONS
$fuzz_ok && done_step fuzzing passed || done_step fuzzing FAILED

echo
echo "=== reliability summary ==="
printf '%s\n' "${results[@]}"
! printf '%s\n' "${results[@]}" | grep -q FAILED
