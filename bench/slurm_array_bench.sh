#!/usr/bin/env bash
# What a Slurm job array costs per task, on a one-node cluster of its own: M tasks that
# do nothing but print the time, submitted with sbatch --wait, against the same M tasks
# run one after another by a plain loop. Information, not a goal.
#   bench/slurm_array_bench.sh [M]
# Exit status: 0 measured, 77 the cluster cannot run here (the reason is printed).
set -u
# shellcheck source=../tests/cluster/cluster.sh
. "$(dirname "$0")/../tests/cluster/cluster.sh"
tasks=${1:-20}

cluster_begin
cluster_start
mkdir -p "$work/array" "$work/loop"

now() { echo "${EPOCHREALTIME/,/.}"; }
elapsed() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.3f", b - a }'; }

start=$(now)
if ! timeout 300 sbatch --wait --quiet --array="0-$((tasks - 1))" --chdir="$work" \
  --output="$work/array/%a.out" --wrap 'date +%s.%N' >"$work/sbatch.out" 2>&1; then
  echo "FAIL: the array did not end well: $(cat "$work/sbatch.out")"
  exit 1
fi
end=$(now)
array_wall=$(elapsed "$start" "$end")
# When the last task printed its time: the cluster's own cost, without sbatch's polling.
last=$(sort -n "$work"/array/*.out | tail -n 1)
array_span=$(elapsed "$start" "$last")

start=$(now)
for ((i = 0; i < tasks; i++)); do
  sh -c 'date +%s.%N' >"$work/loop/$i.out"
done
end=$(now)
loop_wall=$(elapsed "$start" "$end")

cpus=$(sinfo -h -o %c)
awk -v m="$tasks" -v c="$cpus" -v aw="$array_wall" -v as="$array_span" -v lw="$loop_wall" 'BEGIN {
  printf "slurm array, %d tasks on one node of %d CPUs: sbatch --wait %.2f s, last task done after %.2f s\n",
         m, c, aw, as
  printf "per task: sbatch --wait %.0f ms, scheduling to the last end %.0f ms, plain loop %.1f ms\n",
         1000 * aw / m, 1000 * as / m, 1000 * lw / m
  printf "ratio array/loop (sbatch --wait): %.0f (information)\n", aw / lw
}'
