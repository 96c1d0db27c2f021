#!/usr/bin/env bash
# A throw-away single-node SLURM cluster on localhost, for the batch test:
#   slurm_cluster.sh start DIR   writes DIR/slurm.conf, starts munged, slurmctld and
#                                slurmd on it, and waits until the node takes jobs;
#                                DIR/env then sets SLURM_CONF for the client commands
#   slurm_cluster.sh stop DIR    cancels the cluster's jobs and stops the daemons that
#                                start recorded in DIR/pids
# Sourced, it defines cluster_start and cluster_stop instead: daemons started so are children of the
# sourcing shell, which reaps them when they stop.
# DIR must be new or empty; its path must be short (munged's socket lies in it). Nothing
# outside DIR is read or written but the daemons' ports: no systemd, no cgroups, no
# accounting database, and no slurm.conf or munge key of the machine.
set -uo pipefail
# shellcheck source=companion/batch/tests/deadline.sh
. "$(dirname "${BASH_SOURCE[0]}")/deadline.sh"

cluster_fail() {
  echo "slurm_cluster: $*" >&2
  exit 1
}

# True while process PID runs and was started on this cluster's files (a dead daemon may
# linger as a zombie under its name, and its PID may be reused).
alive() {
  local pid=$1 dir=$2 state
  [ -r "/proc/$pid/stat" ] || return 1
  state=$(sed 's/^.*) //' "/proc/$pid/stat" | cut -d ' ' -f 1)
  [ "$state" != Z ] && [ "$state" != X ] || return 1
  tr '\0' ' ' <"/proc/$pid/cmdline" 2>/dev/null | grep -qF -- "$dir"
}

gone() { ! alive "$@"; }

# no_jobs DIR: the cluster of DIR has no job queued or running.
no_jobs() {
  [ -z "$(SLURM_CONF=$1/slurm.conf squeue -h 2>/dev/null)" ]
}

cluster_stop() {
  local dir=$1 name pid line lines
  [ -f "$dir/pids" ] || return 0
  # Jobs first, so that no task outlives the cluster.
  if [ -f "$dir/slurm.conf" ]; then
    SLURM_CONF=$dir/slurm.conf scancel --user="$(id -un)" 2>/dev/null
    within 30 no_jobs "$dir"
  fi
  # slurmd first, munged last: each daemon may still talk to those started before it.
  mapfile -t lines < <(tac "$dir/pids")
  for line in "${lines[@]}"; do
    read -r name pid <<<"$line"
    if alive "$pid" "$dir"; then
      kill -TERM "$pid" 2>/dev/null
      if ! within 30 gone "$pid" "$dir"; then
        echo "slurm_cluster: $name ($pid) did not stop in 30 s; killing it" >&2
        kill -KILL "$pid" 2>/dev/null
      fi
    fi
    wait "$pid" 2>/dev/null # reaps it when it is a child of this shell
  done
  rm -f "$dir/pids"
}

node_state() {
  local state
  state=$(sinfo -h -N -n localhost -o %T 2>/dev/null)
  echo "${state:-none}"
}

node_idle() { [ "$(node_state)" = idle ]; }

# A TCP port on 127.0.0.1 that nothing listens on.
free_port() {
  local port
  for _ in $(seq 1 200); do
    port=$((20000 + RANDOM % 20000))
    if ! ss -Htln "sport = :$port" | grep -q .; then
      echo "$port"
      return 0
    fi
  done
  cluster_fail "no free port found"
}

# Runs a daemon in the background, keeping its log, and records its PID.
daemon() {
  local name=$1
  shift
  "$@" >>"$dir/$name.out" 2>&1 &
  echo "$name $!" >>"$dir/pids"
}

cluster_start() {
  dir=$1
  { mkdir -p "$dir" && chmod 0700 "$dir"; } || cluster_fail "cannot make $dir"
  [ -z "$(ls -A "$dir")" ] || cluster_fail "$dir is not empty"
  for program in munged mungekey slurmctld slurmd sinfo sbatch scancel squeue ss; do
    command -v "$program" >/dev/null || cluster_fail "$program not found (Debian packages munge, slurm-wlm, iproute2)"
  done
  local user cpus memory
  user=$(id -un)

  # munged with a key of its own on a socket of its own.
  mkdir -m 0700 "$dir/munge"
  mungekey --create --keyfile="$dir/munge/munge.key" || cluster_fail "mungekey failed"
  daemon munged munged --foreground --force --socket="$dir/munge/socket" \
    --key-file="$dir/munge/munge.key" --pid-file="$dir/munge/munged.pid" \
    --log-file="$dir/munge/munged.log" --seed-file="$dir/munge/munged.seed"
  within 60 test -S "$dir/munge/socket" || { cat "$dir/munged.out" "$dir/munge/munged.log" >&2; cluster_fail "munged did not start"; }

  # The node as large as slurmd sees it, never larger (it would be drained).
  read -r cpus memory < <(slurmd -C | awk '{ for (i = 1; i <= NF; i++) { split($i, kv, "=");
    v[kv[1]] = kv[2] } } /^NodeName/ { print v["CPUs"], v["RealMemory"] }')
  { [ -n "$cpus" ] && [ -n "$memory" ]; } || cluster_fail "slurmd -C did not tell the node's size"
  mkdir -p "$dir/state" "$dir/spool"
  : >"$dir/plugstack.conf"
  cat >"$dir/slurm.conf" <<EOF
# Written by slurm_cluster.sh for one test run; removed with its directory.
ClusterName=conv2model-test
SlurmctldHost=localhost
SlurmUser=$user
SlurmdUser=$user
SlurmctldPort=$(free_port)
SlurmdPort=$(free_port)
AuthType=auth/munge
CredType=cred/munge
AuthInfo=socket=$dir/munge/socket
StateSaveLocation=$dir/state
SlurmdSpoolDir=$dir/spool
SlurmctldPidFile=$dir/slurmctld.pid
SlurmdPidFile=$dir/slurmd.pid
SlurmctldLogFile=$dir/slurmctld.log
SlurmdLogFile=$dir/slurmd.log
PlugStackConfig=$dir/plugstack.conf
ProctrackType=proctrack/linuxproc
TaskPlugin=task/none
JobAcctGatherType=jobacct_gather/none
AccountingStorageType=accounting_storage/none
JobCompType=jobcomp/filetxt
JobCompLoc=$dir/jobcomp.txt
MpiDefault=none
SwitchType=switch/none
SchedulerType=sched/builtin
SelectType=select/cons_tres
SelectTypeParameters=CR_CPU
SchedulerParameters=batch_sched_delay=0,sched_min_interval=0
MinJobAge=5
# Small, so that a test can see the batch tool keep its arrays within it.
MaxArraySize=8
ReturnToService=2
NodeName=localhost NodeAddr=127.0.0.1 CPUs=$cpus RealMemory=$memory State=UNKNOWN
PartitionName=batch Nodes=localhost Default=YES MaxTime=INFINITE State=UP
EOF
  echo "export SLURM_CONF=$dir/slurm.conf" >"$dir/env"
  export SLURM_CONF=$dir/slurm.conf

  daemon slurmctld slurmctld -D -c -f "$dir/slurm.conf"
  daemon slurmd slurmd -D -N localhost -f "$dir/slurm.conf"

  # Up when the node is idle.
  within 120 node_idle && return 0
  echo "slurm_cluster: the node did not become idle in 120 s (state: $(node_state))" >&2
  tail -n 20 "$dir"/*.out "$dir"/*.log >&2
  cluster_stop "$dir"
  return 1
}

if [ "${BASH_SOURCE[0]}" = "$0" ]; then
  case ${1-} in
    start) [ $# -eq 2 ] || cluster_fail "usage: slurm_cluster.sh start DIR"; cluster_start "$2" ;;
    stop) [ $# -eq 2 ] || cluster_fail "usage: slurm_cluster.sh stop DIR"; cluster_stop "$2" ;;
    *) cluster_fail "usage: slurm_cluster.sh start|stop DIR" ;;
  esac
fi
