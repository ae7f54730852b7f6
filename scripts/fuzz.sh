#!/usr/bin/env bash
# Builds the fuzzing tree (clang, build-fuzz) and runs every plug-in's fuzzers for a
# bounded time, one after the other: the hostile VST 2.x host (fuzz_<plugin>) for
# ORVEX_FUZZ_SECONDS each (60 by default), then, for a plug-in with an LV2 face, the
# hostile LV2 host (fuzz_lv2_<plugin>) for ORVEX_FUZZ_LV2_SECONDS each (30 by default;
# 0 leaves them out), and for a plug-in with a CLAP face the hostile CLAP host
# (fuzz_clap_<plugin>) and the CLAP state loader (fuzz_clapstate_<plugin>) for
# ORVEX_FUZZ_CLAP_SECONDS each (30 by default; 0 leaves them out).
# Usage: scripts/fuzz.sh [PLUGIN...]   (every plug-in built by default)
#
# Each fuzzer starts from its committed seeds and regression inputs (tests/fuzz/seeds
# and regressions; seeds-lv2 and regressions-lv2 for the LV2 host; seeds-clap and
# seeds-clapstate for the CLAP ones) and keeps what it finds in
# build-fuzz/corpus/<target> (<plugin>, lv2_<plugin>, clap_<plugin> or
# clapstate_<plugin>), so local runs build on each other.
# A crash, a sanitizer report, a broken invariant, a hang (an input running longer
# than 20 s) or memory past 2 GB fails the script: the input is saved in
# build-fuzz/crashes/<target>/ and printed as base64, so that a CI log alone is
# enough to reproduce it.
set -euo pipefail
cd "$(dirname "$0")/.."
vst_seconds="${ORVEX_FUZZ_SECONDS:-60}"
lv2_seconds="${ORVEX_FUZZ_LV2_SECONDS:-30}"
clap_seconds="${ORVEX_FUZZ_CLAP_SECONDS:-30}"
jobs="$(nproc)"

cmake -S . -B build-fuzz -G Ninja -DCMAKE_CXX_COMPILER=clang++ -DORVEX_FUZZ=ON -DORVEX_WERROR=ON >/dev/null
cmake --build build-fuzz -j "$jobs"

plugins=("$@")
if [ ${#plugins[@]} -eq 0 ]; then
  for binary in build-fuzz/tests/fuzz/fuzz_*; do
    case "$binary" in */fuzz_lv2_* | */fuzz_clap_* | */fuzz_clapstate_*) continue ;; esac
    [ -x "$binary" ] && plugins+=("${binary##*/fuzz_}")
  done
fi
if [ ${#plugins[@]} -eq 0 ]; then
  echo "fuzz: no fuzzer was built" >&2
  exit 1
fi

export ASAN_OPTIONS="${ASAN_OPTIONS:-detect_leaks=1}"
export UBSAN_OPTIONS="${UBSAN_OPTIONS:-print_stacktrace=1}"
# What the editors' font library keeps for the life of the process is not a leak.
export LSAN_OPTIONS="${LSAN_OPTIONS:-suppressions=$PWD/tests/lsan-suppressions.txt}"
# The targets: each plug-in's VST 2.x host, and its LV2 host where it has one.
targets=()
for plugin in "${plugins[@]}"; do
  if [ ! -x "build-fuzz/tests/fuzz/fuzz_$plugin" ]; then
    echo "fuzz: no fuzzer for '$plugin' (build-fuzz/tests/fuzz/fuzz_$plugin)" >&2
    exit 1
  fi
  targets+=("$plugin")
  if [ "$lv2_seconds" -gt 0 ] && [ -x "build-fuzz/tests/fuzz/fuzz_lv2_$plugin" ]; then
    targets+=("lv2_$plugin")
  fi
  for driver in clap clapstate; do
    if [ "$clap_seconds" -gt 0 ] && [ -x "build-fuzz/tests/fuzz/fuzz_${driver}_$plugin" ]; then
      targets+=("${driver}_$plugin")
    fi
  done
done

failed=0
for target in "${targets[@]}"; do
  binary="build-fuzz/tests/fuzz/fuzz_$target"
  case "$target" in
    lv2_*)
      seconds=$lv2_seconds
      inputs=(tests/fuzz/seeds-lv2)
      [ -d tests/fuzz/regressions-lv2 ] && inputs+=(tests/fuzz/regressions-lv2)
      keep="tests/fuzz/regressions-lv2/${target#lv2_}-<what-it-broke>"
      ;;
    clap_* | clapstate_*)
      seconds=$clap_seconds
      inputs=("tests/fuzz/seeds-${target%%_*}")
      keep="tests/fuzz/seeds-${target%%_*}/${target#*_}-<what-it-broke>"
      ;;
    *)
      seconds=$vst_seconds
      inputs=(tests/fuzz/seeds tests/fuzz/regressions)
      keep="tests/fuzz/regressions/$target-<what-it-broke>"
      ;;
  esac
  corpus="build-fuzz/corpus/$target"
  crashes="build-fuzz/crashes/$target"
  log="build-fuzz/fuzz-$target.log"
  mkdir -p "$corpus" "$crashes"
  echo "fuzz: $target for $seconds s (log $log)"
  stamp="$crashes/.started"
  touch "$stamp"
  status=0
  # -max_len: a session of a few hundred host actions; -timeout: far above the slowest
  # regular input (one session processes at most 2^17 samples).
  "$binary" -max_total_time="$seconds" -max_len=4096 -timeout=20 -rss_limit_mb=2048 -print_final_stats=1 \
    -artifact_prefix="$crashes/" "$corpus" "${inputs[@]}" >"$log" 2>&1 || status=$?
  done_line="$(grep -E '^#[0-9]+[[:space:]]+DONE' "$log" | tail -1 || true)"
  runs="$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")"
  speed="$(sed -n 's/^stat::average_exec_per_sec: *//p' "$log")"
  coverage="$(sed -n 's/.* cov: \([0-9]*\) ft: \([0-9]*\) corp: \([0-9]*\)\/\([0-9a-zA-Z]*\).*/\1 edges, \2 features, corpus \3 inputs (\4)/p' <<<"$done_line")"
  if [ "$status" -eq 0 ] && [ -n "$done_line" ]; then
    echo "fuzz: $target passed: ${runs:-?} runs, ${speed:-?}/s, $coverage"
    continue
  fi
  failed=1
  echo "fuzz: $target FAILED (exit status $status); the end of $log:" >&2
  tail -n 40 "$log" >&2
  found=0
  # Only what this run saved; earlier runs' inputs stay in the folder for the developer.
  while IFS= read -r input; do
    found=1
    echo "fuzz: input saved as $input; base64:" >&2
    base64 -w 0 "$input" >&2
    echo >&2
  done < <(find "$crashes" -type f -newer "$stamp" ! -name .started)
  if [ "$found" -eq 1 ]; then
    cat >&2 <<EOF
fuzz: to reproduce:  $binary FILE
      to read it:    ORVEX_FUZZ_TRACE=1 build/tests/fuzz/fuzz_replay_$target FILE
      to shrink it:  $binary -minimize_crash=1 -runs=20000 FILE
      once fixed, keep it as $keep (see README, Fuzzing)
EOF
  fi
done
exit "$failed"
