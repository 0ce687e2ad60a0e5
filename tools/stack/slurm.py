"""The pairs of a polyest-stack run on Slurm: one job array per run, each task a batch of pairs
run one after another by slurm-array.sh (pool.py), followed with squeue and cancelled with
scancel: Slurm's client commands alone, no accounting database.

Under STACK/.polyest-stack/slurm/: pairs (the list of pair folders the tasks take their batches
from), job (the job id while the job runs) and each task's log JOBID_TASK.out.
"""
import math
import os
import subprocess
import time

import pairs

TASK_SECONDS = 60  # the work a task holds by default
ACTIVE = {"PENDING", "CONFIGURING", "RUNNING", "COMPLETING", "SUSPENDED", "REQUEUED",
          "REQUEUE_FED", "REQUEUE_HOLD", "RESIZING", "RESV_DEL_HOLD", "SIGNALING", "STAGE_OUT",
          "STOPPED"}
POLL_SECONDS = (0.5, 5)  # the first wait between two looks at the job, the longest


def folder(stack):
    return os.path.join(stack, pairs.STATE, "slurm")


def estimated_seconds(pair):
    """A pair's polyest time from its grid's size: a program start, then about 0.15 us a cell
    (8 bytes of offs)."""
    try:
        return 0.02 + 2e-8 * os.path.getsize(os.path.join(pair, "offs"))
    except OSError:
        return 0.02


def batch_size(folders):
    mean = sum(estimated_seconds(f) for f in folders) / len(folders)
    return max(1, math.floor(TASK_SECONDS / mean))


def submit(stack, folders, o, batch, sbatch_options, tools):
    """Submits FOLDERS as one job array of JOBS tasks at once at most; returns the job id."""
    where = folder(stack)
    os.makedirs(where, exist_ok=True)
    for name in os.listdir(where):  # the logs of earlier runs
        if name.endswith(".out"):
            os.remove(os.path.join(where, name))
    pairs.write_atomic(os.path.join(where, "pairs"), "".join(f + "\n" for f in folders))
    tasks = math.ceil(len(folders) / batch)
    command = ["sbatch", "--parsable", f"--array=0-{tasks - 1}%{o['jobs']}", "--job-name=polyest",
               "--cpus-per-task=1", f"--output={where}/%A_%a.out"] + sbatch_options + [
        os.path.join(tools, "slurm-array.sh"), os.path.join(where, "pairs"), "--batch", str(batch),
        "--polyest", o["polyest"]]
    command += ["--offmap", o["offmap"]] if o["maps"] else []
    command += [a for k in ("npoly", "thres") if o[k] is not None for a in (f"--{k}", o[k])]
    command += [f"--{k}" for k in ("outputs", "maps") if o[k]]
    env = dict(os.environ, POLYEST_STACK_TOOLS=tools)
    p = subprocess.run(command, stdin=subprocess.DEVNULL, capture_output=True, text=True, env=env)
    if p.returncode != 0:
        raise RuntimeError("sbatch failed: " + (p.stderr.strip() or f"exit status {p.returncode}"))
    job = p.stdout.strip().split(";")[0]
    pairs.write_atomic(os.path.join(where, "job"), job + "\n")
    return job, tasks


def active(job):
    """Whether any task of JOB is queued or running; None when the controller cannot tell now.
    A job the controller no longer knows has ended."""
    p = subprocess.run(["squeue", "-h", "-j", job, "-t", "all", "-o", "%T"],
                       stdin=subprocess.DEVNULL, capture_output=True, text=True)
    if p.returncode != 0:
        return False if "Invalid job id" in p.stderr else None
    return any(state in ACTIVE for state in p.stdout.split())


def wait(job):
    """Waits until JOB has ended, looking at it more and more rarely."""
    pause = POLL_SECONDS[0]
    while active(job) is not False:
        time.sleep(pause)
        pause = min(1.5 * pause, POLL_SECONDS[1])


def cancel(job, patience=10):
    """Cancels JOB and waits until its tasks have stopped (PATIENCE seconds at most)."""
    subprocess.run(["scancel", job], stdin=subprocess.DEVNULL, capture_output=True)
    end = time.monotonic() + patience
    while time.monotonic() < end and active(job) is not False:
        time.sleep(0.5)


def leftover_job(stack):
    """The job of an earlier run that still runs (its run and guard were killed), else None."""
    job = pairs.read_text(os.path.join(folder(stack), "job"))
    if not job:
        return None
    try:
        running = active(job.strip())
    except OSError:  # no Slurm client here
        return None
    if running is False:
        pairs.remove(os.path.join(folder(stack), "job"))
    return job.strip() if running else None


def ended(stack):
    pairs.remove(os.path.join(folder(stack), "job"))
