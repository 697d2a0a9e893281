#!/usr/bin/env bash
# Builds the two libFuzzer targets and runs each for SECONDS on a scratch copy
# of the seed corpus (tests/fuzz/corpus/<target> plus the kept regression
# inputs); the repository is never written. Exits non-zero when a target
# crashes, breaks an invariant or fails to finish, printing the reproducer.
#
# Usage: tools/run-fuzz.sh BUILD_DIR SECONDS
#   BUILD_DIR  a clang build folder of its own (configured here when needed)
#   SECONDS    fuzzing time per target, 1..86400 (about 60 in CI)
#
# Crash inputs and logs go to BUILD_DIR/fuzz-artifacts/<target>/. A crash
# input copied into tests/fuzz/corpus/regression/<target>/ becomes a test.
set -euo pipefail

usage() {
  echo "usage: $0 BUILD_DIR SECONDS" >&2
  exit 2
}
[[ $# -eq 2 ]] || usage
build_dir=$1
seconds=$2
[[ $seconds =~ ^[0-9]{1,5}$ ]] || usage
seconds=$((10#$seconds))
((seconds >= 1 && seconds <= 86400)) || usage

repo=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
targets=(fuzz_walk_response fuzz_init_setting)
declare -A corpus_of=([fuzz_walk_response]=response [fuzz_init_setting]=settings)

# clang and its sanitizer/libFuzzer runtimes are the only things installed.
configure() {
  local cache=$build_dir/CMakeCache.txt
  if [[ -f $cache ]]; then
    if ! grep -q '^CMAKE_CXX_COMPILER:[A-Z]*=.*clang++' "$cache"; then
      echo "$build_dir is configured for another compiler; use a folder of its own" >&2
      exit 2
    fi
    grep -q '^PDU_FUZZ:BOOL=ON$' "$cache" && return
  fi
  cmake -S "$repo" -B "$build_dir" -DCMAKE_CXX_COMPILER=clang++ -DPDU_FUZZ=ON -DBUILD_TESTING=OFF
}

"$repo/tools/install-deps.sh" clang libclang-rt-14-dev
configure
cmake --build "$build_dir" --target "${targets[@]}" -j "$(nproc)"

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}

status=0
for target in "${targets[@]}"; do
  corpus=$work/$target
  artifacts=$(cd "$build_dir" && pwd)/fuzz-artifacts/$target
  mkdir -p "$corpus" "$artifacts"
  for dir in "$repo/tests/fuzz/corpus/${corpus_of[$target]}" \
             "$repo/tests/fuzz/corpus/regression/${corpus_of[$target]}"; do
    if [[ -d $dir ]]; then
      find "$dir" -maxdepth 1 -type f ! -name '.*' -exec cp -t "$corpus" {} +
    fi
  done
  binary=$build_dir/tests/fuzz/$target
  log=$artifacts/fuzz.log
  echo "== $target: ${seconds}s, log $log"
  # libFuzzer stops itself after max_total_time; the outer bound covers a
  # process that no longer gets there (a hang outside an input's timer).
  rc=0
  timeout --kill-after=30 $((seconds + 120)) "$binary" \
      -max_total_time="$seconds" -rss_limit_mb=2048 -timeout=10 -max_len=4096 \
      -print_final_stats=1 -artifact_prefix="$artifacts/" "$corpus" >"$log" 2>&1 || rc=$?
  grep -E '^(#[0-9]+[[:space:]]+DONE|stat::number_of_executed_units|stat::average_exec_per_sec|stat::peak_rss_mb)' \
      "$log" || true
  if ((rc != 0)); then
    status=1
    echo "!! $target failed (exit $rc); last lines of $log:" >&2
    tail -n 40 "$log" >&2
    reproducer=$(sed -n 's/.*Test unit written to \(.*\)$/\1/p' "$log" | tail -n 1)
    if [[ -n $reproducer ]]; then
      echo "!! reproducer: $reproducer" >&2
      echo "!! replay:     $binary $reproducer" >&2
    fi
  fi
done
exit "$status"
