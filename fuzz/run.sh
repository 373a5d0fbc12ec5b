#!/bin/sh
# Long fuzzing run: every target for MINUTES, WORKERS at a time (default: all
# cores), from the seeds and the build folder's corpus. Prints the executions
# and the findings of each target; findings stay in build-fuzz/fuzz/findings/.
# Usage: fuzz/run.sh MINUTES     (WORKERS=2 fuzz/run.sh 20 on a shared machine;
#        TARGETS="job ppd" fuzz/run.sh 30 runs only those)
set -eu
cd "$(dirname "$0")/.."
minutes=${1:?usage: fuzz/run.sh MINUTES}
workers=${WORKERS:-$(nproc)}
CC=clang CXX=clang++ scripts/setup.sh build-fuzz -DNORVEX_FUZZ=ON -DNORVEX_BUILD_TESTS=OFF \
  -DNORVEX_BUILD_BENCH=OFF
out=build-fuzz/fuzz
export LSAN_OPTIONS="suppressions=$PWD/fuzz/lsan.supp"

run() {  # target per-input-timeout [seeds]
  seeds=${3:-$1}
  mkdir -p "$out/corpus/$1" "$out/findings/$1"
  dict=""
  [ -f "fuzz/$seeds.dict" ] && dict="-dict=fuzz/$seeds.dict"
  # shellcheck disable=SC2086
  "$out/fuzz_$1" -rss_limit_mb=2048 -malloc_limit_mb=4096 -timeout="$2" -max_len=16384 \
    -max_total_time=$((minutes * 60)) -close_fd_mask=3 -print_final_stats=1 \
    -entropic_scale_per_exec_time=1 \
    -artifact_prefix="$out/findings/$1/" $dict "$out/corpus/$1" "fuzz/corpus/$seeds" \
    >"$out/run-$1.log" 2>&1 || true
}

running=0
# The pipeline target runs the jobs' seeds.
for entry in decoder:10 options:10 ppd:30 job:60 pipeline:120:job jbig:10; do
  target=${entry%%:*}
  case " ${TARGETS:-$target} " in *" $target "*) ;; *) continue ;; esac
  rest=${entry#*:}
  run "$target" "${rest%%:*}" "$(echo "$rest" | cut -s -d: -f2)" &
  running=$((running + 1))
  if [ "$running" -ge "$workers" ]; then wait; running=0; fi
done
wait

total=0
for t in ${TARGETS:-decoder options ppd job pipeline jbig}; do
  execs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$out/run-$t.log" | tail -1)
  # slow-unit-* files only note inputs above 10 s; they are not findings.
  findings=$(find "$out/findings/$t" -type f ! -name 'slow-unit-*' | wc -l)
  echo "fuzz_$t: ${execs:-0} executions, $findings findings"
  total=$((total + ${execs:-0}))
done
echo "all targets: $total executions"
