#!/usr/bin/env bash
# A plan of eight clips run as a Slurm job array on a one-node cluster of the test's
# own: every task converts its line, and the results play and carry their sources' dates.
# Usage: slurm_array_test.sh   (QV_PROGRAM_DIR names the built program folder)
# Exit status: 0 passed, 1 failed, 77 skipped (the cluster cannot run here).
set -u
# shellcheck source=cluster.sh
. "$(dirname "$0")/cluster.sh"

cluster_begin
prepare_program
cluster_start
make_clips
write_plan '携帯用(H.264/AAC)'

mkdir -p "$work/tasks"
# The job script every task runs, its line picked by the task's index.
cat >"$work/task.sh" <<EOF
#!/bin/sh
exec "$convert" --run-plan "$plan" --index "\$SLURM_ARRAY_TASK_ID" </dev/null
EOF
chmod +x "$work/task.sh"
timeout 50 sbatch --wait --quiet --array="0-$((clip_count - 1))" --chdir="$work" \
  --output="$work/tasks/%a.out" --error="$work/tasks/%a.err" "$work/task.sh" \
  >"$work/sbatch.out" 2>&1
rc=$?
if [ "$rc" -ne 0 ]; then
  [ "$rc" -eq 124 ] && echo "FAIL: the job array did not end within 50 s"
  echo "FAIL: the job array did not end well (sbatch exit $rc: $(cat "$work/sbatch.out"))"
  for f in "$work"/tasks/*.err; do
    [ -s "$f" ] && echo "--- task $(basename "$f" .err):" && cat "$f"
  done
  exit 1
fi
# One task per line of the plan, each run once by the cluster.
for ((i = 0; i < clip_count; i++)); do
  [ -e "$work/tasks/$i.out" ] || fail "task $i left no output: Slurm did not run it"
done
rm -rf "$work/tasks"

check_results
[ "$failures" -eq 0 ] || exit 1
passed="$clip_count tasks of the job array, every result plays and is dated"
