"""Runs pairs of a stack, JOBS at a time. Each pair's programs (polyest, then offmap for the
maps) are child processes started from here: no process per pair besides them. Also the
program of a Slurm array task, which runs its batch of a list of pair folders one pair after
another (lines I*B+1 to I*B+B of LIST):

  pool.py LIST --task I --batch B [--npoly N] [--thres T] [--outputs] [--maps]
          [--polyest PATH] [--offmap PATH]

polyest and offmap are those named, else $POLYEST / $OFFMAP, else those of the installation
(<prefix>/bin), else on PATH.
"""
import argparse
import collections
import os
import signal
import subprocess
import sys
import time

import pairs

STOPS = {signal.SIGINT, signal.SIGTERM, signal.SIGHUP}


def start(command, work, out, err, group):
    with open(os.path.join(work, err), "wb") as errors:
        stdout = open(os.path.join(work, out), "wb") if out else subprocess.DEVNULL
        try:
            return subprocess.Popen(command, cwd=work, stdin=subprocess.DEVNULL, stdout=stdout,
                                    stderr=errors, process_group=group)
        finally:
            if out:
                stdout.close()


def run_pairs(folders, o, jobs, group=None):
    """Runs the pairs of FOLDERS; returns {folder: result} of those whose run took place (a pair
    whose program was killed by a signal is left as it was, without a result). GROUP is the
    process group of the children (None: this one's). When this is interrupted (an exception in
    a signal handler), the running programs are killed before the exception goes on."""
    waiting = collections.deque(folders)
    running = {}  # pid: [folder, child, the maps still to draw, offmap's statuses, start]
    results = {}
    try:
        while waiting or running:
            while waiting and len(running) < jobs:
                folder = waiting.popleft()
                try:
                    work = pairs.begin(folder)
                except OSError as e:
                    print(f"polyest-stack: {folder}: cannot run: {e}", file=sys.stderr)
                    continue
                child = start(pairs.polyest_command(o), work, "polyest.log", "polyest.err", group)
                running[child.pid] = [folder, child, None, [], time.monotonic()]
            pid, wait_status = os.wait()
            if pid not in running:
                continue
            folder, child, maps, offmap_status, began = running.pop(pid)
            child.returncode = status = os.waitstatus_to_exitcode(wait_status)
            if status < 0:
                print(f"polyest-stack: {folder}: {os.path.basename(child.args[0])} killed by "
                      f"signal {-status}; not run", file=sys.stderr)
                continue
            if maps is None:  # polyest has ended
                polyest_status = status
                maps = pairs.offmap_commands(o) if status == 0 else []
            else:
                polyest_status = 0
                offmap_status.append(status)
            if maps:
                work = os.path.join(folder, pairs.STATE, "work")
                command = maps.pop(0)
                child = start(command, work, None, command[1] + ".err", group)
                running[child.pid] = [folder, child, maps, offmap_status, began]
                continue
            # A pair's outputs go into place whole: a stop request waits until they have.
            signal.pthread_sigmask(signal.SIG_BLOCK, STOPS)
            try:
                results[folder] = pairs.finish(folder, o, polyest_status, offmap_status,
                                               time.monotonic() - began)
            finally:
                signal.pthread_sigmask(signal.SIG_UNBLOCK, STOPS)
    finally:
        for entry in running.values():
            entry[1].kill()
            entry[1].wait()
    return results


def main():
    parser = argparse.ArgumentParser(prog="pool.py")
    parser.add_argument("list")
    parser.add_argument("--task", type=int, required=True)
    parser.add_argument("--batch", type=int, default=1)
    parser.add_argument("--npoly")
    parser.add_argument("--thres")
    parser.add_argument("--outputs", action="store_true")
    parser.add_argument("--maps", action="store_true")
    parser.add_argument("--polyest")
    parser.add_argument("--offmap")
    o = vars(parser.parse_args())
    installed_bin = os.path.join(os.path.dirname(os.path.realpath(__file__)), "..", "..", "..", "bin")
    for name in ("polyest", "offmap"):
        o[name] = o[name] or pairs.find_program(name, [installed_bin])
    if not o["polyest"] or (o["maps"] and not o["offmap"]):
        print("ERROR: polyest or offmap not found (set POLYEST / OFFMAP)", file=sys.stderr)
        sys.exit(255)
    with open(o["list"]) as f:
        lines = [line.rstrip("\n") for line in f if line.strip()]
    batch = lines[o["task"] * o["batch"]:(o["task"] + 1) * o["batch"]]
    if not batch:
        print(f"ERROR: no pairs for task {o['task']} in {o['list']}", file=sys.stderr)
        sys.exit(255)
    todo = []
    for folder in batch:
        try:
            pairs.prepare(folder, pairs.options_key(o), pairs.expected_outputs(o))
            pairs.forget_result(folder)
            todo.append(folder)
        except OSError as e:
            print(f"{folder}: cannot run: {e}", file=sys.stderr)
    for folder in todo:  # one after another, each reported as it ends
        result = run_pairs([folder], o, 1).get(folder)
        if result:
            print(f"{folder}: {result['status']}" +
                  (f": {result['message']}" if result["message"] else ""), flush=True)


if __name__ == "__main__":
    main()
