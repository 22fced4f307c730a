#!/usr/bin/env bash
# The plan of eight clips run through GNU parallel, two lines at a time: every result
# plays and carries its source's date, as under Slurm.
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

# --quote: the tool gets its arguments as they are, no shell between. --joblog: one row
# per line of the plan, with its exit status.
timeout 100 parallel --quote --jobs 2 --joblog "$work/joblog" \
  "$convert" --run-plan "$plan" --index '{}' ::: $(seq 0 $((clip_count - 1))) \
  </dev/null >"$work/parallel.out" 2>&1
rc=$?
if [ "$rc" -ne 0 ]; then
  echo "FAIL: parallel ended with $rc (the number of failed lines, or its own error):"
  cat "$work/parallel.out"
  exit 1
fi
ran=$(awk 'NR > 1 && $7 == 0' "$work/joblog" | wc -l)
[ "$ran" -eq "$clip_count" ] || fail "parallel ran $ran lines well, not $clip_count: $(cat "$work/joblog")"

check_results
[ "$failures" -eq 0 ] || exit 1
passed="$clip_count lines through GNU parallel, every result plays and is dated"
