"""The pair folders of a stack: finding them, their bookkeeping, and the steps of one pair's run.

Every pair folder holds offs, ccp and KOLT_par; the bookkeeping lives in its folder
.polyest-stack/:
  KOLT_par.in   the pristine KOLT_par, the input of every run (polyest rewrites KOLT_par)
  KOLT_par.out  the SHA-256 of the KOLT_par file the last successful run put in place, then
                that of the one before it
  hashes.json   the SHA-256 of offs and ccp, kept while their size, mtime and inode stay
  stamp         one hash of the inputs' contents and the options
  result        the outcome of the last run: status, exit status, message, seconds, stamp
  published     the outputs the last successful run put in place, one name a line
  work/         where polyest runs, on a fresh copy of KOLT_par.in

A pair's run (pool.py starts its programs): begin() sets up the work folder, polyest_command()
and offmap_commands() are what runs there, finish() publishes the outputs of a successful run
(KOLT_par last) and records the outcome. Nothing in the pair folder changes before finish().
"""
import hashlib
import json
import os
import shutil

STATE = ".polyest-stack"
INPUTS = ("offs", "ccp", "KOLT_par")


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
            return os.path.abspath(path)
    path = shutil.which(name)
    return os.path.abspath(path) if path else None


def options_key(o):
    return (f"npoly={o['npoly'] or '-'} thres={o['thres'] or '-'} "
            f"outputs={int(o['outputs'])} maps={int(o['maps'])}")


def expected_outputs(o):
    return (["coffs", "coffsets"] if o["outputs"] else []) + (
        ["offs.png", "coffs.png"] if o["maps"] else [])


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


def remove(path):
    try:
        os.remove(path)
    except FileNotFoundError:
        pass


def read_result(pair):
    try:
        with open(os.path.join(pair, STATE, "result")) as f:
            return json.load(f)
    except (OSError, ValueError):
        return None


def prepare(pair, key, expected=()):
    """Brings the pristine KOLT_par copy and the stamp of PAIR up to date. Returns True when
    the pair's last result holds for its current inputs and options (nothing to do)."""
    state = os.path.join(pair, STATE)
    os.makedirs(state, exist_ok=True)
    par, par_in, par_out = (os.path.join(pair, "KOLT_par"), os.path.join(state, "KOLT_par.in"),
                            os.path.join(state, "KOLT_par.out"))
    current, pristine = file_hash(par), file_hash(par_in)
    ours = (read_text(par_out) or "").split()
    if current != pristine and current not in ours:
        # First run, or someone put another KOLT_par in place: that file is the input now.
        remove(par_in)
        remove(par_out)
        ours = []
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
    if read_text(os.path.join(state, "stamp")) != stamp:
        write_atomic(os.path.join(state, "stamp"), stamp)
    result = read_result(pair)
    if not result or result.get("stamp") != stamp:
        return False
    # A successful result holds while its KOLT_par and the outputs asked for are in place.
    return result.get("status") != "ok" or (ours[:1] == [current] and all(
        os.path.exists(os.path.join(pair, n)) for n in expected))


def forget_result(pair):
    """The pair is to be run: until its run finishes it is listed as not run."""
    remove(os.path.join(pair, STATE, "result"))


def begin(pair):
    """The pair's work folder, with links to offs and ccp (kept from run to run) and a fresh
    copy of the pristine KOLT_par; what an earlier run left there goes. Returns the folder."""
    state = os.path.join(pair, STATE)
    work = os.path.join(state, "work")
    try:
        os.mkdir(work)
        for name in ("offs", "ccp"):
            os.symlink(os.path.join("..", "..", name), os.path.join(work, name))
    except FileExistsError:
        for entry in os.scandir(work):
            if entry.name not in ("offs", "ccp"):
                os.remove(entry.path)
    if os.path.exists(os.path.join(state, "KOLT_par.in")):
        shutil.copyfile(os.path.join(state, "KOLT_par.in"), os.path.join(work, "KOLT_par"))
        shutil.copymode(os.path.join(state, "KOLT_par.in"), os.path.join(work, "KOLT_par"))
    else:  # missing or unreadable: polyest says so
        os.symlink(os.path.join("..", "..", "KOLT_par"), os.path.join(work, "KOLT_par"))
    return work


def polyest_command(o):
    return [o["polyest"], "offs", "ccp", "KOLT_par", "coffs" if o["outputs"] or o["maps"] else "-",
            "coffsets" if o["outputs"] else "-", o["thres"] or "-", o["npoly"] or "-"]


def offmap_commands(o):
    return [[o["offmap"], grid, "KOLT_par", grid + ".png"] for grid in ("offs", "coffs")] \
        if o["maps"] else []


def last_line(data):
    lines = [line.strip() for line in data.decode(errors="replace").splitlines() if line.strip()]
    return lines[-1] if lines else ""


def read_bytes(path):
    try:
        with open(path, "rb") as f:
            return f.read()
    except OSError:
        return b""


def publish_kolt_par(work, pair):
    """KOLT_par into place; through a symbolic link its target is updated, the link stays."""
    target = os.path.realpath(os.path.join(pair, "KOLT_par"))
    source = os.path.join(work, "KOLT_par")
    if os.path.dirname(target) != os.path.realpath(pair):
        temporary = os.path.join(os.path.dirname(target), f".KOLT_par.{os.getpid()}.tmp")
        shutil.copy(source, temporary)
        source = temporary
    os.replace(source, target)


def finish(pair, o, status, offmap_status, seconds):
    """Publishes a successful run's outputs and records the outcome. STATUS is polyest's exit
    status, OFFMAP_STATUS offmap's for each map drawn ([] when none)."""
    state = os.path.join(pair, STATE)
    work = os.path.join(state, "work")
    errors = read_bytes(os.path.join(work, "polyest.err"))
    message = last_line(errors)
    with open(os.path.join(work, "polyest.log"), "ab") as log:
        log.write(errors)  # an error ends the run at once: its message comes last
    if status == 0:
        published = (["coffs", "coffsets"] if o["outputs"] else []) + [
            grid + ".png" for grid, code in zip(("offs", "coffs"), offmap_status) if code == 0]
        failed_maps = [grid for grid, code in zip(("offs", "coffs"), offmap_status) if code]
        if failed_maps:
            message = "offmap: " + last_line(read_bytes(os.path.join(work, failed_maps[0] + ".err")))
        # Outputs of an earlier fit that this run does not write go first, KOLT_par last. The
        # KOLT_par file in place until then stays known as the stack's own (see prepare).
        listed = read_text(os.path.join(state, "published"))
        for name in (listed or "").split():
            if name not in published:
                remove(os.path.join(pair, name))
        par_out = os.path.join(state, "KOLT_par.out")
        earlier = (read_text(par_out) or "").split()[:1]
        write_atomic(par_out, "\n".join([file_hash(os.path.join(work, "KOLT_par"))] + earlier) + "\n")
        for name in published:
            os.replace(os.path.join(work, name), os.path.join(pair, name))
        publish_kolt_par(work, pair)
        if listed != "".join(n + "\n" for n in published):
            write_atomic(os.path.join(state, "published"), "".join(n + "\n" for n in published))
    os.replace(os.path.join(work, "polyest.log"), os.path.join(pair, "polyest.log"))
    result = {"status": "ok" if status == 0 else "failed", "exit": status, "message": message,
              "seconds": round(seconds, 4), "stamp": read_text(os.path.join(state, "stamp"))}
    write_atomic(os.path.join(state, "result"), json.dumps(result) + "\n")
    return result
