#!/bin/bash
# make test-slurm: a one-machine Slurm (munged, slurmctld and slurmd, configured in a scratch
# folder) runs the Slurm stack test (tests/stack/test_slurm.py): polyest-stack --slurm and the
# job-array script.
# Every daemon started here is stopped by its pid on the way out, also after a failure.
set -euo pipefail
build=$(cd "${1:?usage: slurm-test.sh BUILD}" && pwd)
src=$(cd "$(dirname "$0")/../.." && pwd)
dir=$(mktemp -d /tmp/polyest_slurm_XXXXXX)
chmod 711 "$dir"  # munged wants its socket folder searchable
pids=()
stop() {
  local rc=$?
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  for pid in "${pids[@]}"; do wait "$pid" 2>/dev/null || true; done
  [ "$rc" -eq 0 ] || tail -n 15 "$dir"/*.log >&2 || true
  rm -rf "$dir"
  exit "$rc"
}
trap stop EXIT
trap 'exit 1' INT TERM HUP

host=$(hostname -s)
read -r ctld_port node_port < <(/usr/bin/python3 -c 'import socket; s = [socket.socket() for _ in "ab"]
print(*(x.bind(("127.0.0.1", 0)) or x.getsockname()[1] for x in s))')
mkdir -p "$dir/state" "$dir/spool"
export SLURM_CONF=$dir/slurm.conf
cat >"$SLURM_CONF" <<EOF
ClusterName=polyesttest
SlurmctldHost=$host(127.0.0.1)
SlurmctldPort=$ctld_port
SlurmdPort=$node_port
AuthInfo=socket=$dir/munge.socket
StateSaveLocation=$dir/state
SlurmdSpoolDir=$dir/spool
SlurmctldPidFile=$dir/slurmctld.pid
SlurmdPidFile=$dir/slurmd.pid
SlurmctldLogFile=$dir/slurmctld.log
SlurmdLogFile=$dir/slurmd.log
ProctrackType=proctrack/linuxproc
SelectType=select/cons_tres
SelectTypeParameters=CR_CPU
ReturnToService=2
MailProg=/bin/true
NodeName=$host NodeAddr=127.0.0.1 CPUs=$(nproc) State=UNKNOWN
PartitionName=test Nodes=ALL Default=YES MaxTime=INFINITE State=UP
EOF

mungekey --create --keyfile="$dir/munge.key" --force
/usr/sbin/munged -F --force --socket="$dir/munge.socket" --key-file="$dir/munge.key" \
  --pid-file="$dir/munged.pid" --log-file="$dir/munged.log" --seed-file="$dir/munged.seed" \
  2>>"$dir/munged.log" &
pids+=($!)
for _ in $(seq 50); do [ -S "$dir/munge.socket" ] && break; sleep 0.1; done
/usr/sbin/slurmctld -D -i -f "$SLURM_CONF" 2>>"$dir/slurmctld.log" &
pids+=($!)
/usr/sbin/slurmd -D -N "$host" -f "$SLURM_CONF" 2>>"$dir/slurmd.log" &
pids+=($!)
for i in $(seq 60); do
  [ "$(sinfo -h -o %t 2>/dev/null)" = idle ] && break
  [ "$i" -lt 60 ] || { echo "the test node did not come up" >&2; exit 1; }
  sleep 0.5
done

export POLYEST=$build/polyest/polyest OFFMAP=$build/tools/offmap
/usr/bin/python3 "$src/tests/stack/test_slurm.py" "$build" "$src/tools/stack/polyest-stack"
