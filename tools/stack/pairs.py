#!/usr/bin/python3
"""The pair folders of a stack: finding them, their input bookkeeping and one pair's run.

Every pair folder holds offs, ccp and KOLT_par; the bookkeeping lives in its folder
.polyest-stack/:
  KOLT_par.in   the pristine KOLT_par, the input of every run (polyest rewrites KOLT_par)
  KOLT_par.out  the SHA-256 of the KOLT_par file the last successful run put in place
  hashes.json   the SHA-256 of offs and ccp, kept while their size, mtime and inode stay
  stamp         one hash of the inputs' contents and the options; rewritten only when it
                changes, so its modification time tells the workflow when to run the pair again
  result        the outcome of the last run: status, exit status, message, seconds, stamp
  work/         where polyest runs, on a fresh copy of KOLT_par.in

  pairs.py run [--prepare] [--npoly N] [--thres T] [--outputs] [--maps]
               [--polyest PATH] [--offmap PATH] PAIR
"""
import argparse
import hashlib
import json
import os
import shutil
import subprocess
import sys
import time

STATE = ".polyest-stack"
INPUTS = ("offs", "ccp", "KOLT_par")
TOOLS = os.path.dirname(os.path.realpath(__file__))


def find_pairs(stack):
    """The names of STACK's pair folders (any subfolder holding offs, ccp or KOLT_par), sorted."""
    names = []
    for entry in os.scandir(stack):
        if not entry.name.startswith(".") and entry.is_dir() and any(
                os.path.lexists(os.path.join(entry.path, n)) for n in INPUTS):
            names.append(entry.name)
    return sorted(names)


def find_program(name, beside):
    """$NAME (upper case), else NAME in the folder beside, else on PATH; None when not found."""
    path = os.environ.get(name.upper())
    if path:
        return os.path.abspath(path)
    for folder in beside:
        path = os.path.join(folder, name)
        if os.access(path, os.X_OK) and os.path.isfile(path):
            return path
    path = shutil.which(name)
    return os.path.abspath(path) if path else None


def options_key(npoly, thres, outputs, maps):
    return f"npoly={npoly or '-'} thres={thres or '-'} outputs={int(outputs)} maps={int(maps)}"


def expected_outputs(outputs, maps):
    return (["coffs", "coffsets"] if outputs else []) + (["offs.png", "coffs.png"] if maps else [])


def file_hash(path):
    """The file's SHA-256, None when it is missing, or a text naming the error."""
    try:
        with open(path, "rb") as f:
            return hashlib.file_digest(f, "sha256").hexdigest()
    except FileNotFoundError:
        return None
    except OSError as e:
        return f"unreadable ({e.strerror})"


def read_text(path):
    try:
        with open(path) as f:
            return f.read()
    except OSError:
        return None


def write_atomic(path, text):
    with open(path + ".tmp", "w") as f:
        f.write(text)
    os.replace(path + ".tmp", path)


def read_result(pair):
    try:
        with open(os.path.join(pair, STATE, "result")) as f:
            return json.load(f)
    except (OSError, ValueError):
        return None


def prepare(pair, key, expected=()):
    """Brings the pristine KOLT_par copy and the stamp of PAIR up to date; returns the stamp."""
    state = os.path.join(pair, STATE)
    os.makedirs(state, exist_ok=True)
    par, par_in, par_out = (os.path.join(pair, "KOLT_par"), os.path.join(state, "KOLT_par.in"),
                            os.path.join(state, "KOLT_par.out"))
    current, pristine = file_hash(par), file_hash(par_in)
    if current != pristine and current != read_text(par_out):
        # First run, or someone put another KOLT_par in place: that file is the input now.
        for p in (par_in, par_out):
            if os.path.exists(p):
                os.remove(p)
        if current is not None:
            try:
                shutil.copy(par, par_in + ".tmp")  # contents and permission bits
                os.replace(par_in + ".tmp", par_in)
            except OSError:
                pass  # polyest reports the unreadable file itself
        pristine = current
    cache_path = os.path.join(state, "hashes.json")
    try:
        with open(cache_path) as f:
            cache = json.load(f)
    except (OSError, ValueError):
        cache = {}
    hashes, changed = {}, False
    for name in ("offs", "ccp"):
        try:
            st = os.stat(os.path.join(pair, name))
            sig = [st.st_size, st.st_mtime_ns, st.st_ino]
        except OSError:
            sig = None
        if sig is None or name not in cache or cache[name][0] != sig:
            cache[name] = [sig, file_hash(os.path.join(pair, name))]
            changed = True
        hashes[name] = cache[name][1]
    if changed:
        write_atomic(cache_path, json.dumps(cache))
    stamp = hashlib.sha256(json.dumps([hashes["offs"], hashes["ccp"], pristine, key])
                           .encode()).hexdigest()
    stamp_path = os.path.join(state, "stamp")
    if read_text(stamp_path) != stamp:
        write_atomic(stamp_path, stamp)
    result = read_result(pair)
    if result and result.get("status") == "ok" and (current != read_text(par_out) or not all(
            os.path.exists(os.path.join(pair, n)) for n in expected)):
        os.remove(os.path.join(state, "result"))  # an output was replaced or removed: run again
    return stamp


def last_error(text):
    lines = [l.strip() for l in text.splitlines() if l.strip()]
    return lines[-1] if lines else ""


def run(pair, npoly, thres, outputs, maps, polyest, offmap):
    """Runs polyest on a copy of PAIR's pristine inputs and puts the outputs in place when it
    succeeds; the outcome goes to the result file. Fails (exception) only when the run could
    not take place, e.g. polyest killed by a signal, so that a later run tries again."""
    state = os.path.join(pair, STATE)
    work = os.path.join(state, "work")
    stamp = read_text(os.path.join(state, "stamp"))
    shutil.rmtree(work, ignore_errors=True)
    os.mkdir(work)
    job = os.environ.get("SLURM_JOB_ID")
    for name in os.listdir(state):  # Slurm logs of earlier runs of this pair
        if job and name.startswith("slurm-") and name != f"slurm-{job}.out":
            os.remove(os.path.join(state, name))
    for name in ("offs", "ccp"):
        os.symlink(os.path.join("..", "..", name), os.path.join(work, name))
    if os.path.exists(os.path.join(state, "KOLT_par.in")):
        shutil.copy(os.path.join(state, "KOLT_par.in"), os.path.join(work, "KOLT_par"))
    else:  # missing or unreadable: polyest says so
        os.symlink(os.path.join("..", "..", "KOLT_par"), os.path.join(work, "KOLT_par"))
    args = [polyest, "offs", "ccp", "KOLT_par", "coffs" if outputs or maps else "-",
            "coffsets" if outputs else "-", thres or "-", npoly or "-"]
    start = time.monotonic()
    with open(os.path.join(work, "polyest.log"), "wb") as log:
        proc = subprocess.run(args, cwd=work, stdout=log, stderr=subprocess.PIPE,
                              stdin=subprocess.DEVNULL)
        log.write(proc.stderr)  # an error ends the run at once: its message comes last
    if proc.returncode < 0:
        raise RuntimeError(f"{pair}: polyest killed by signal {-proc.returncode}")
    message = last_error(proc.stderr.decode(errors="replace"))
    published = []
    if proc.returncode == 0:
        if maps:
            for grid in ("offs", "coffs"):
                m = subprocess.run([offmap, grid, "KOLT_par", grid + ".png"], cwd=work,
                                   stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
                if m.returncode < 0:
                    raise RuntimeError(f"{pair}: offmap killed by signal {-m.returncode}")
                if m.returncode != 0:
                    message = "offmap: " + last_error(m.stderr.decode(errors="replace"))
                else:
                    published.append(grid + ".png")
        published += ["coffs", "coffsets"] if outputs else []
        # KOLT_par comes last, after its hash is known: a run stopped in between starts
        # again from the pristine copy.
        write_atomic(os.path.join(state, "KOLT_par.out"),
                     file_hash(os.path.join(work, "KOLT_par")))
        published.append("KOLT_par")
    seconds = time.monotonic() - start
    for name in published:
        os.replace(os.path.join(work, name), os.path.join(pair, name))
    os.replace(os.path.join(work, "polyest.log"), os.path.join(pair, "polyest.log"))
    shutil.rmtree(work, ignore_errors=True)
    result = {"status": "ok" if proc.returncode == 0 else "failed", "exit": proc.returncode,
              "message": message, "seconds": round(seconds, 4), "stamp": stamp}
    write_atomic(os.path.join(state, "result"), json.dumps(result) + "\n")
    return result


def main():
    parser = argparse.ArgumentParser(prog="pairs.py")
    parser.add_argument("command", choices=["run"])
    parser.add_argument("pair")
    parser.add_argument("--prepare", action="store_true",
                        help="bring the bookkeeping up to date first (without the workflow)")
    parser.add_argument("--npoly")
    parser.add_argument("--thres")
    parser.add_argument("--outputs", action="store_true")
    parser.add_argument("--maps", action="store_true")
    parser.add_argument("--polyest")
    parser.add_argument("--offmap")
    a = parser.parse_args()
    installed_bin = os.path.join(TOOLS, "..", "..", "..", "bin")  # <prefix>/share/polyest/stack
    polyest = a.polyest or find_program("polyest", [installed_bin])
    offmap = a.offmap or find_program("offmap", [installed_bin])
    if not polyest or (a.maps and not offmap):
        print("ERROR: polyest or offmap not found (set POLYEST / OFFMAP)", file=sys.stderr)
        sys.exit(255)
    try:
        if a.prepare:
            prepare(a.pair, options_key(a.npoly, a.thres, a.outputs, a.maps),
                    expected_outputs(a.outputs, a.maps))
        result = run(a.pair, a.npoly, a.thres, a.outputs, a.maps, polyest, offmap)
    except (OSError, RuntimeError) as e:
        print(f"ERROR: {e}", file=sys.stderr)
        sys.exit(255)
    print(f"{a.pair}: {result['status']}" + (f": {result['message']}" if result["message"] else ""))


if __name__ == "__main__":
    main()
