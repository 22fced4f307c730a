#!/usr/bin/env bash
# The plan of eight clips run through GNU parallel, two lines at a time, and once more
# over its own results: every result plays and carries its source's date, as under Slurm.
# Usage: parallel_test.sh   (QV_PROGRAM_DIR names the built program folder)
# Exit status: 0 passed, 1 failed, 77 skipped (GNU parallel is not installed).
set -u
# shellcheck source=cluster.sh
. "$(dirname "$0")/cluster.sh"

command -v parallel >/dev/null ||
  skip "parallel is not installed (the cluster_setup test runs scripts/setup_cluster.sh)"
# moreutils has a program of the same name that takes other arguments.
parallel --version 2>/dev/null | grep -q 'GNU parallel' || skip "parallel here is not GNU parallel"

cluster_begin
prepare_program
make_clips
write_plan '携帯用(H.264/AAC)'

# run_plan ROUND: every line of the plan through parallel. --quote: the tool gets its
# arguments as they are, no shell between. --joblog: one row per line, with its status.
run_plan() {
  local log=$work/joblog.$1 rc ran
  timeout 100 parallel --quote --jobs 2 --joblog "$log" \
    "$convert" --run-plan "$plan" --index '{}' ::: $(seq 0 $((clip_count - 1))) \
    </dev/null >"$work/parallel.out" 2>&1
  rc=$?
  if [ "$rc" -ne 0 ]; then
    echo "FAIL: round $1: parallel ended with $rc (the number of failed lines, or its own error):"
    cat "$work/parallel.out"
    exit 1
  fi
  ran=$(awk 'NR > 1 && $7 == 0' "$log" | wc -l)
  [ "$ran" -eq "$clip_count" ] || fail "round $1: $ran lines ended well, not $clip_count: $(cat "$log")"
}

run_plan 1
check_results
# The plan again over its own results, as when a user submits it twice: each earlier
# result is set aside while its line runs and must be gone again at the end.
run_plan 2
check_results
[ "$failures" -eq 0 ] || exit 1
passed="$clip_count lines through GNU parallel twice, every result plays and is dated"
