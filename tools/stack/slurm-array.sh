#!/bin/bash
#SBATCH --job-name=polyest
#SBATCH --cpus-per-task=1
#SBATCH --output=polyest-%A_%a.out
# One pair of a stack per Slurm array task, for sites without Snakemake. LIST holds one pair
# folder a line (absolute, or relative to the folder sbatch is called from):
#
#   ls -d "$PWD"/stack/*/ > pairs.txt
#   sbatch --array=1-$(wc -l < pairs.txt)%50 slurm-array.sh pairs.txt [--npoly N] [--thres T] [--outputs] [--maps]
#   summary.py stack       # once every task has ended
#
# Every task runs its pair again from the pristine KOLT_par, with the bookkeeping polyest-stack
# keeps, so a later polyest-stack run with the same options finds those pairs done. polyest and
# offmap are $POLYEST / $OFFMAP, else <prefix>/bin of an installation, else on PATH.
set -euo pipefail
args="$*"
list=${1:?usage: sbatch --array=1-N slurm-array.sh LIST [options]}
shift
pair=$(sed -n "${SLURM_ARRAY_TASK_ID:?not a Slurm array task}p" "$list")
[ -n "$pair" ] || { echo "ERROR: no line $SLURM_ARRAY_TASK_ID in $list" >&2; exit 255; }
# Slurm runs a copy of this script: the tools are beside the script that was submitted, whose
# path is the job's command less its arguments ($POLYEST_STACK_TOOLS overrides).
command=$(scontrol show job "$SLURM_JOB_ID" 2>/dev/null | sed -n 's/^ *Command=//p' | head -n 1)
here=${POLYEST_STACK_TOOLS:-$(dirname "${command% "$args"}")}
exec /usr/bin/python3 "$here/pairs.py" run --prepare "$@" -- "$pair"
