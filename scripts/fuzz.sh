#!/usr/bin/env bash
# Runs the libFuzzer targets of the preset "fuzz" (build it first: cmake --preset fuzz &&
# cmake --build --preset fuzz), each for SECONDS (default 30), one after the other:
#   scripts/fuzz.sh [SECONDS] [TARGET...]
# The committed seeds in fuzz/corpus/TARGET are replayed first and never written to; inputs
# the fuzzer finds go to build/fuzz/corpus/TARGET, crashes and hangs to build/fuzz/artifacts/.
# Fails when a target finds a crash, a sanitizer report, a broken rule or a hang.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-30}
shift || true
targets=("$@")
if [ ${#targets[@]} -eq 0 ]; then
    targets=(fuzz_vdb_open fuzz_expression fuzz_csv fuzz_schema_json fuzz_numbers)
fi
build=build/fuzz
mkdir -p "$build/artifacts"
export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
for target in "${targets[@]}"; do
    echo "== $target: $seconds s"
    mkdir -p "$build/corpus/$target"
    "$build/fuzz/$target" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
        -print_final_stats=1 -artifact_prefix="$build/artifacts/$target-" \
        "$build/corpus/$target" "fuzz/corpus/$target" 2>"$build/$target.log" ||
        { tail -n 60 "$build/$target.log"; echo "== $target failed (log: $build/$target.log)"; exit 1; }
    grep -E '^(stat::number_of_executed_units|stat::average_exec_per_sec)' "$build/$target.log" || true
done
