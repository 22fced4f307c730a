# shellcheck shell=bash
# Shared by the cluster tests and the cluster benchmark (sourced, not run):
# a work folder, a one-node Slurm cluster started as this script's own processes,
# the clips, the plan and the checks of the results.
#
# The caller sets no traps of its own: cluster_begin installs one that stops the
# daemons, checks that none of them is left, and removes the work folder.

skip() {
  echo "SKIP: $*"
  exit 77
}
fail() {
  echo "FAIL: $*"
  failures=$((failures + 1))
}
failures=0

work=""
daemon_pids=()
cluster_conf=""  # set once our cluster exists: never the SLURM_CONF of a real one
passed=""        # what the test showed, said once everything is stopped

cluster_begin() {
  command -v jq >/dev/null ||
    skip "jq is not installed (the cluster_setup test runs scripts/setup_cluster.sh)"
  work=$(mktemp -d /tmp/qv-cluster.XXXXXX)
  chmod 755 "$work"
  trap cluster_end EXIT
  trap 'exit 130' INT TERM
}

# Stops whatever the test started, the daemons last, and says so when one will not end.
cluster_end() {
  local rc=$?
  if [ -n "$cluster_conf" ] && [ "${#daemon_pids[@]}" -eq 3 ]; then
    local jobs
    jobs=$(SLURM_CONF=$cluster_conf timeout 5 squeue -h -o %A 2>/dev/null | sort -u)
    if [ -n "$jobs" ]; then
      # shellcheck disable=SC2086
      SLURM_CONF=$cluster_conf timeout 5 scancel $jobs 2>/dev/null
      wait_for 10 "[ -z \"\$(SLURM_CONF=$cluster_conf timeout 5 squeue -h -o %A 2>/dev/null)\" ]" ||
        true
    fi
  fi
  # Reverse order of starting: slurmd, slurmctld, munged.
  local i pid
  for ((i = ${#daemon_pids[@]} - 1; i >= 0; i--)); do
    pid=${daemon_pids[i]}
    kill -TERM "$pid" 2>/dev/null || continue
    if ! wait_for 15 "! kill -0 $pid 2>/dev/null"; then
      echo "daemon $pid did not stop within 15 s; killed"
      kill -KILL "$pid" 2>/dev/null
    fi
    wait "$pid" 2>/dev/null
  done
  # Job steps leave their daemon's session; anything still running from our folder is ours.
  local left
  left=$(leftover_processes)
  if [ -n "$left" ]; then
    echo "FAIL: processes left behind:"
    ps -o pid,args -p "$(tr '\n' ',' <<<"$left" | sed 's/,$//')"
    # shellcheck disable=SC2086
    kill -KILL $left 2>/dev/null
    [ "$rc" -eq 0 ] && rc=1
  fi
  [ -n "$work" ] && rm -rf "$work"
  [ "$rc" -eq 0 ] && [ -n "$passed" ] && echo "PASS: $passed"
  exit "$rc"
}

# Processes other than this shell and its children whose command line or working folder
# lies in the work folder.
leftover_processes() {
  [ -n "$work" ] || return 0
  local p
  for p in /proc/[0-9]*; do
    p=${p#/proc/}
    [ "$p" = "$$" ] && continue
    if tr '\0' ' ' 2>/dev/null <"/proc/$p/cmdline" | grep -qF "$work" ||
      [[ "$(readlink "/proc/$p/cwd" 2>/dev/null)" == "$work"* ]]; then
      # The command substitution this runs in, and its own children, do not count.
      [ "$p" = "$BASHPID" ] && continue
      [ "$(ps -o ppid= -p "$p" 2>/dev/null | tr -d ' ')" = "$BASHPID" ] && continue
      echo "$p"
    fi
  done
}

# wait_for SECONDS CONDITION: true as soon as the condition holds, false at the deadline.
wait_for() {
  local deadline=$((SECONDS + $1))
  while ! eval "$2"; do
    [ "$SECONDS" -ge "$deadline" ] && return 1
    sleep 0.2
  done
}

# A TCP port on which nothing listens, from a random start so that clusters of
# tests running at the same time seldom meet.
free_port() {
  local port tries
  for ((tries = 0; tries < 50; tries++)); do
    port=$((20000 + RANDOM % 30000))
    if ! (exec 3<>"/dev/tcp/127.0.0.1/$port") 2>/dev/null &&
      ! (exec 3<>"/dev/tcp/127.0.0.1/$((port + 1))") 2>/dev/null; then
      echo "$port"
      return 0
    fi
  done
  return 1
}

# Starts a daemon that stays in the foreground, in a session of its own, its output in log.
# timeout passes our TERM on to it, and ends it by itself should this script be killed
# before it could stop it (a ctest time-out).
start_daemon() {
  local log=$1
  shift
  setsid timeout --kill-after=10 900 "$@" </dev/null >"$log" 2>&1 &
  daemon_pids+=($!)
}

# Starts MUNGE and a one-node cluster in the work folder and waits until its node is idle.
# Skips the test (exit 77) with the reason when the daemons cannot run here.
cluster_start() {
  local tool
  for tool in munged mungekey slurmctld slurmd sbatch sinfo squeue scancel; do
    command -v "$tool" >/dev/null ||
      skip "$tool is not installed (the cluster_setup test runs scripts/setup_cluster.sh)"
  done
  [ "$(id -u)" -eq 0 ] || skip "the cluster's daemons run as root; this test runs as $(id -un)"

  local c=$work/cluster
  mkdir -p "$c/munge" "$c/state" "$c/spool" "$c/log"
  chmod 700 "$c/munge"
  # Our own key: the machine's MUNGE, if any, is left alone.
  mungekey --create --keyfile="$c/munge/munge.key" >"$c/log/mungekey.log" 2>&1 ||
    skip "mungekey cannot make a key: $(cat "$c/log/mungekey.log")"
  munge_socket=$c/munge/munge.socket
  start_daemon "$c/log/munged.log" munged --foreground --force \
    --key-file="$c/munge/munge.key" --socket="$munge_socket" \
    --pid-file="$c/munge/munged.pid" --seed-file="$c/munge/munged.seed" \
    --log-file="$c/log/munged.file.log"
  if ! wait_for 10 "[ -S '$munge_socket' ] || ! kill -0 ${daemon_pids[0]} 2>/dev/null" ||
    ! kill -0 "${daemon_pids[0]}" 2>/dev/null; then
    skip "munged did not start: $(tail -n 5 "$c/log/munged.log")"
  fi

  local host ctld_port node_port cpus
  host=$(hostname -s)
  ctld_port=$(free_port) || skip "no free TCP port for slurmctld"
  node_port=$((ctld_port + 1))
  cpus=$(nproc)
  [ "$cpus" -gt 2 ] && cpus=2
  cluster_conf=$c/slurm.conf
  export SLURM_CONF=$cluster_conf
  cat >"$SLURM_CONF" <<EOF
ClusterName=quorvane
SlurmctldHost=$host(127.0.0.1)
SlurmctldPort=$ctld_port
SlurmdPort=$node_port
SlurmUser=root
SlurmdUser=root
AuthType=auth/munge
AuthInfo=socket=$munge_socket
CredType=cred/munge
StateSaveLocation=$c/state
SlurmdSpoolDir=$c/spool
SlurmctldPidFile=$c/slurmctld.pid
SlurmdPidFile=$c/slurmd.pid
SlurmctldLogFile=$c/log/slurmctld.file.log
SlurmdLogFile=$c/log/slurmd.file.log
ProctrackType=proctrack/linuxproc
TaskPlugin=task/none
JobAcctGatherType=jobacct_gather/none
SelectType=select/cons_tres
SelectTypeParameters=CR_Core
SchedulerType=sched/builtin
# Start the next array tasks as soon as a CPU is free, not up to three seconds later.
SchedulerParameters=batch_sched_delay=0
# The node is what this file says, whatever the machine has.
SlurmdParameters=config_overrides
ReturnToService=2
MpiDefault=none
MailProg=/bin/true
NodeName=$host NodeAddr=127.0.0.1 CPUs=$cpus RealMemory=256 State=UNKNOWN
PartitionName=test Nodes=$host Default=YES MaxTime=INFINITE State=UP
EOF
  start_daemon "$c/log/slurmctld.log" slurmctld -D -f "$SLURM_CONF"
  start_daemon "$c/log/slurmd.log" slurmd -D -f "$SLURM_CONF" -N "$host"
  local up="kill -0 ${daemon_pids[1]} 2>/dev/null && kill -0 ${daemon_pids[2]} 2>/dev/null"
  if ! wait_for 30 "! { $up; } || [ \"\$(timeout 5 sinfo -h -n '$host' -o %t 2>/dev/null)\" = idle ]" ||
    ! eval "$up"; then
    local why="the node did not become idle within 30 s"
    kill -0 "${daemon_pids[1]}" 2>/dev/null || why="slurmctld ended"
    kill -0 "${daemon_pids[2]}" 2>/dev/null || why="slurmd ended"
    echo "--- slurmctld:"
    tail -n 15 "$c/log/slurmctld.log"
    echo "--- slurmd:"
    tail -n 15 "$c/log/slurmd.log"
    skip "the one-node cluster cannot run here: $why (its logs above)"
  fi
}

# The converter in a program folder of the test's own, so that nothing of the build's
# program folder is written to.
prepare_program() {
  local built=${QV_PROGRAM_DIR:-}
  [ -n "$built" ] || { echo "FAIL: QV_PROGRAM_DIR is not set"; exit 1; }
  [ -x "$built/quorvane-convert" ] || { echo "FAIL: no $built/quorvane-convert"; exit 1; }
  cp -a "$built" "$work/program"
  convert=$work/program/quorvane-convert
}

# Eight short clips of different sizes, lengths and containers, each dated to the
# nanosecond with a time of its own.
make_clips() {
  sources=$work/sources
  mkdir -p "$sources"
  local rows=(
    "clip0.avi 160x120 1 mpeg4 mp2"
    "clip1.mkv 176x144 2 mpeg4 mp2"
    "clip2.avi 320x240 1 mpeg4 mp2"
    "clip3.mp4 240x180 2 mpeg4 aac"
    "clip4.avi 352x288 1 mpeg4 mp2"
    "clip5.mkv 128x96 1 mpeg4 mp2"
    "clip6.avi 200x150 2 mpeg4 mp2"
    "ｸﾘｯﾌﾟ 7.avi 192x144 1 mpeg4 mp2"
  )
  local i=0 row name size seconds vcodec acodec
  for row in "${rows[@]}"; do
    read -r -a fields <<<"$row"
    # The last four fields are fixed; the name may hold blanks.
    acodec=${fields[-1]}
    vcodec=${fields[-2]}
    seconds=${fields[-3]}
    size=${fields[-4]}
    name=${row% "$size" *}
    if ! ffmpeg -nostdin -hide_banner -loglevel error -y \
      -f lavfi -i "testsrc=size=$size:rate=25:duration=$seconds" \
      -f lavfi -i "sine=frequency=$((300 + 60 * i)):sample_rate=44100:duration=$seconds" \
      -c:v "$vcodec" -c:a "$acodec" -shortest "$sources/$name" >"$work/clip.log" 2>&1; then
      echo "FAIL: cannot make $name:"
      cat "$work/clip.log"
      exit 1
    fi
    touch -d "2021-0$((i + 1))-1$i 0$i:1$i:2$i.$((123456789 + i * 11111111))" "$sources/$name"
    i=$((i + 1))
  done
  clip_count=$i
  sources_before=$(sources_state)
}

# plan_field FILE INDEX KEY: that key of the plan's line INDEX (0-based).
plan_field() {
  sed -n "$(($2 + 1))p" "$1" | jq -r ".$3"
}

# write_plan PRESET: the plan of every clip with that preset, into the folder "out".
write_plan() {
  local preset=$1
  plan=$work/jobs.jsonl
  dest=$work/out
  if ! "$convert" --plan --preset "$preset" --dest "$dest" "$sources" \
    >"$plan" 2>"$work/plan.err" </dev/null; then
    echo "FAIL: --plan ended with an error:"
    cat "$work/plan.err"
    exit 1
  fi
  local lines
  lines=$(grep -c . "$plan")
  if [ "$lines" -ne "$clip_count" ]; then
    echo "FAIL: the plan has $lines lines for $clip_count clips:"
    cat "$plan"
    exit 1
  fi
  if ! jq -e 'has("source") and has("result")' "$plan" >/dev/null; then
    echo "FAIL: a line of the plan lacks its source or result:"
    cat "$plan"
    exit 1
  fi
  if [ -n "$(ls -A "$dest" 2>/dev/null)" ]; then
    fail "--plan converted something: $(ls -A "$dest")"
  fi
}

# The results of the plan: each there, each playing to its end without a word from the
# decoder, each dated like its source; nothing else beside them or the sources.
check_results() {
  local i source result said expected_results=() decoded
  for ((i = 0; i < clip_count; i++)); do
    source=$(plan_field "$plan" "$i" source)
    result=$(plan_field "$plan" "$i" result)
    expected_results+=("$(basename "$result")")
    [ "$(dirname "$result")" = "$dest" ] || fail "line $i: result $result is not in $dest"
    if [ ! -f "$result" ]; then
      fail "line $i: no result $result"
      continue
    fi
    said=$(ffprobe -v error -show_entries stream=codec_type -of csv=p=0 "$result" 2>&1)
    if ! grep -qx video <<<"$said" || ! grep -qx audio <<<"$said"; then
      fail "line $i: $result has not both a picture and a sound: $said"
    fi
    if ! decoded=$(ffmpeg -nostdin -v error -i "$result" -f null - 2>&1) || [ -n "$decoded" ]; then
      fail "line $i: $result does not decode: $decoded"
    fi
    [ "$(stat -c %.9Y "$result")" = "$(stat -c %.9Y "$source")" ] ||
      fail "line $i: $result dated $(stat -c %y "$result"), its source $(stat -c %y "$source")"
  done
  # Only the results in the destination (no lock file, no hidden copy), and the
  # sources untouched beside each other.
  local want have
  want=$(printf '%s\n' "${expected_results[@]}" | sort)
  have=$(ls -A "$dest" | sort)
  [ "$want" = "$have" ] || fail "the destination holds $(tr '\n' '|' <<<"$have") not $(tr '\n' '|' <<<"$want")"
  [ "$(sources_state)" = "$sources_before" ] ||
    fail "the sources changed: $(diff <(echo "$sources_before") <(sources_state))"
}

# Every entry of the sources' folder with its time and checksum.
sources_state() {
  (cd "$sources" && find . -mindepth 1 -printf '%P %T@\n' | sort && find . -type f -exec md5sum {} + | sort)
}
