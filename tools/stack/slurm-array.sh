#!/bin/bash
#SBATCH --job-name=polyest
#SBATCH --cpus-per-task=1
#SBATCH --output=/dev/null
# A Slurm array task of a stack: the batch of pairs number SLURM_ARRAY_TASK_ID (from 0) of LIST,
# which holds one pair folder a line (absolute, or relative to the folder sbatch is called
# from), B pairs a batch, run one after another (a failing pair does not stop the others).
# polyest-stack --slurm submits it; it serves without polyest-stack too:
#
#   ls -d "$PWD"/stack/*/ > pairs.txt
#   sbatch --array=0-$(( ($(wc -l < pairs.txt) + 19) / 20 - 1 ))%50 slurm-array.sh pairs.txt --batch 20 \
#     [--npoly N] [--thres T] [--outputs] [--maps]
#   summary.py stack       # once every task has ended
#
# Every task runs its pairs again from the pristine KOLT_par, with the bookkeeping polyest-stack
# keeps, so a later polyest-stack run with the same options finds those pairs done. The task's
# log is STACK/.polyest-stack/slurm/JOBID_TASK.out beside its pairs (STACK: the folder of the
# batch's first pair). polyest and offmap: see pool.py.
set -euo pipefail
args="$*"
list=${1:?usage: sbatch --array=0-N slurm-array.sh LIST [--batch B] [options]}
shift
task=${SLURM_ARRAY_TASK_ID:?not a Slurm array task}
batch=1 prev=
for a in "$@"; do
  case $prev/$a in --batch/*) batch=$a ;; */--batch=*) batch=${a#--batch=} ;; esac
  prev=$a
done
first=$(sed -n "$((task * batch + 1))p" "$list")
[ -n "$first" ] || { echo "ERROR: no line $((task * batch + 1)) in $list" >&2; exit 255; }
logs=$(dirname "$(realpath -m "$first")")/.polyest-stack/slurm
mkdir -p "$logs"
exec >>"$logs/${SLURM_ARRAY_JOB_ID}_$task.out" 2>&1
# Slurm runs a copy of this script: the tools are beside the script that was submitted, whose
# path is the job's command less its arguments ($POLYEST_STACK_TOOLS overrides).
if [ -z "${POLYEST_STACK_TOOLS:-}" ]; then
  command=$(scontrol show job "$SLURM_JOB_ID" 2>/dev/null | sed -n 's/^ *Command=//p' | head -n 1)
  POLYEST_STACK_TOOLS=$(dirname "${command% "$args"}")
fi
exec /usr/bin/python3 "$POLYEST_STACK_TOOLS/pool.py" "$list" --task "$task" "$@"
