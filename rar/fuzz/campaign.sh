#!/usr/bin/env bash
# A long fuzzing campaign over the library's fuzz targets: each runs for its
# share of the time with all cores' worth of jobs (the UBSan-only build, for
# speed), its corpus kept in a work folder (seeded from corpus/<target>);
# then everything it kept is replayed through the ASan + UBSan build, and
# the campaign ends with a table of executions, coverage and findings.
# Usage: [FUZZ_JOBS=N] rar/fuzz/campaign.sh BUILD_DIR [SECONDS] [TARGET...]
#   BUILD_DIR: a configured build of the library (its own tree or the project);
#   SECONDS: the whole campaign's time (default 3600), shared by the targets.
# Findings are left in BUILD_DIR/fuzz-campaign/<target>/; copy the ones worth
# keeping into findings/<target>/, where every build replays them.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
build=$(cd "${1:?usage: campaign.sh BUILD_DIR [SECONDS] [TARGET...]}" && pwd)  # absolute: the jobs run in their work folders
seconds=${2:-3600}
shift $(( $# > 1 ? 2 : 1 ))
targets=("$@")
[[ ${#targets[@]} -gt 0 ]] || targets=(blocks huffman lz audio cipher handle)
cmake --build "$build" --target quorbenhal_fuzzers >/dev/null
bin=$(dirname "$(find "$build" -name quorbenhal_fuzz_lz -type f | head -n 1)")
share=$(( seconds / ${#targets[@]} ))
jobs=${FUZZ_JOBS:-$(nproc)}
printf '%-8s %12s %8s %8s %8s %9s\n' target executions cov ft corpus findings
total=0
for t in "${targets[@]}"; do
  work="$build/fuzz-campaign/$t"
  mkdir -p "$work/corpus"
  # Each job runs for the whole share; -max_total_time ends them together.
  (cd "$work" && "$bin/quorbenhal_fast_fuzz_$t" -max_total_time="$share" -jobs="$jobs" -workers="$jobs" \
     -max_len=65536 -timeout=20 -rss_limit_mb=2048 -print_final_stats=1 -artifact_prefix="$work/" \
     "$work/corpus" "$here/corpus/$t" >"$work/run.log" 2>&1) || true
  execs=$(cat "$work"/fuzz-*.log 2>/dev/null | awk '/stat::number_of_executed_units/ {s += $2} END {print s + 0}')
  last=$(cat "$work"/fuzz-*.log 2>/dev/null | grep -E '^#[0-9]+' | tail -n 1)
  cov=$(sed -n 's/.*cov: \([0-9]*\).*/\1/p' <<<"$last")
  ft=$(sed -n 's/.*ft: \([0-9]*\).*/\1/p' <<<"$last")
  "$bin/quorbenhal_fuzz_$t" -runs=0 -timeout=20 -rss_limit_mb=2048 -artifact_prefix="$work/asan-" \
    "$work/corpus" >"$work/asan-replay.log" 2>&1 || echo "$t: the ASan replay failed (see $work/asan-replay.log)"
  found=$(find "$work" -maxdepth 1 \( -name 'crash-*' -o -name 'asan-crash-*' -o -name 'timeout-*' -o -name 'oom-*' -o -name 'slow-unit-*' \) | wc -l)
  printf '%-8s %12s %8s %8s %8s %9s\n' "$t" "$execs" "${cov:-?}" "${ft:-?}" "$(ls "$work/corpus" | wc -l)" "$found"
  total=$(( total + execs ))
done
echo "executions in total: $total"
