"""The guard of a polyest-stack run, started by it as the leader of a process group of its own,
where the run's local programs go too; it shares the run's lock of the stack.

It reads lines from the run on standard input: "job ID" (a Slurm job the run submitted) and
"done ID" (that job has ended). When its input ends, however the run ended (even by SIGKILL),
it cancels the jobs not done and kills its process group, itself last: nothing of the run
outlives it, and the stack's lock is free only then.
"""
import os
import signal
import subprocess
import sys

for sig in (signal.SIGINT, signal.SIGTERM, signal.SIGHUP):
    signal.signal(sig, signal.SIG_IGN)
jobs = []
for line in sys.stdin:
    word, _, job = line.strip().partition(" ")
    if word == "job":
        jobs.append(job)
    elif word == "done" and job in jobs:
        jobs.remove(job)
if jobs:
    subprocess.run(["scancel"] + jobs, stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                   stderr=subprocess.DEVNULL)
os.killpg(0, signal.SIGKILL)
