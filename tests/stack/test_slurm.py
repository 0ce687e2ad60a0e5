#!/usr/bin/python3
"""polyest-stack --slurm on 300 generated pairs, one of them too small to fit (SLURM_CONF set,
a one-node Slurm running): one sbatch submission a run (an sbatch on PATH that counts them),
every pair's files those of polyest run on it alone (the failing pair's batch goes on), the
tasks' logs under the stack; a second run with one task cancelled
half way lists that task's unfinished pairs as not run, leaves their files as they were, and the
next run redoes exactly them. Then the job-array script alone on a batch list.

  test_slurm.py BUILD POLYEST_STACK
"""
import os, re, shutil, subprocess, sys, tempfile, time

build, driver = sys.argv[1], os.path.abspath(sys.argv[2])
tools = os.path.dirname(os.path.realpath(driver))
root = tempfile.mkdtemp(prefix="polyest_slurm_stack_")
stack, alone, submit = (os.path.join(root, n) for n in ("stack", "alone", "submit"))
names = [f"p{i:03}" for i in range(300)]
os.makedirs(os.path.join(root, "bin"))
os.makedirs(submit)
with open(os.path.join(root, "bin", "sbatch"), "w") as f:
    f.write(f'#!/bin/sh\necho "$*" >>{root}/submissions\nexec /usr/bin/sbatch "$@"\n')
with open(os.path.join(root, "slow-polyest"), "w") as f:
    f.write(f'#!/bin/sh\ncase $PWD in */p00?/*|*/p01?/*|*/p02[0-4]/*) sleep 0.3 ;; esac\n'
            f'exec {build}/polyest/polyest "$@"\n')  # the first batch's pairs slower
for p in ("bin/sbatch", "slow-polyest"):
    os.chmod(os.path.join(root, p), 0o755)
env = dict(os.environ, PATH=f"{root}/bin:{os.environ['PATH']}")


def run(args, code=0, **kw):
    p = subprocess.run(args, cwd=submit, capture_output=True, text=True, stdin=subprocess.DEVNULL,
                       timeout=600, env=kw.get("env", env))
    assert p.returncode == code, f"{args}: exit {p.returncode}\n{p.stdout}\n{p.stderr}"
    return p


def slurp(path):
    with open(path, "rb") as f:
        return f.read()


def submissions():
    return len(slurp(f"{root}/submissions").splitlines()) if os.path.exists(f"{root}/submissions") else 0


for i, name in enumerate(names):
    os.makedirs(os.path.join(stack, name))
    size = "2" if name == "p030" else "32"
    subprocess.run([f"{build}/tools/mkscene", "offs", "ccp", "KOLT_par", "--seed", str(i + 1),
                    "--nr", size, "--naz", size], cwd=os.path.join(stack, name), check=True,
                   capture_output=True)
    shutil.copytree(os.path.join(stack, name), os.path.join(alone, name))
    subprocess.run([f"{build}/polyest/polyest", "offs", "ccp", "KOLT_par", "coffs", "coffsets",
                    "-", "6"], cwd=os.path.join(alone, name), check=name != "p030",
                   capture_output=True)

options = [stack, "--npoly", "6", "--outputs", "--batch", "25"]
start = time.monotonic()
first = run([driver] + options + ["--slurm", "--time=10"], code=1)
assert re.search(r"^300 pairs: 299 ok, 1 failed.*\n  p030: failed, exit status 255", first.stdout, re.M)
print(f"300 pairs in one job array: {time.monotonic() - start:.1f} s")
assert submissions() == 1 and os.listdir(submit) == []
assert len([n for n in os.listdir(f"{stack}/.polyest-stack/slurm") if n.endswith(".out")]) == 12
for name in names:
    for f in ("KOLT_par", "coffs", "coffsets")[:1 if name == "p030" else 3]:
        assert slurp(f"{stack}/{name}/{f}") == slurp(f"{alone}/{name}/{f}"), f"{name}/{f}"

# A second run (slower pairs) whose first task is cancelled once it has done a few pairs.
mtimes = lambda: {n: os.stat(f"{stack}/{n}/.polyest-stack/result").st_mtime_ns
                  for n in names if os.path.exists(f"{stack}/{n}/.polyest-stack/result")}
kolt_par = lambda: {n: os.stat(f"{stack}/{n}/KOLT_par").st_mtime_ns for n in names}
before, par_before = mtimes(), kolt_par()
second = subprocess.Popen([driver] + options + ["--force", "--jobs", "2", "--slurm", "--time=10"],
                          cwd=submit, env=dict(env, POLYEST=f"{root}/slow-polyest"),
                          stdin=subprocess.DEVNULL, stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                          text=True)
for _ in range(600):
    time.sleep(0.1)
    job = (open(f"{stack}/.polyest-stack/slurm/job").read().strip()
           if os.path.exists(f"{stack}/.polyest-stack/slurm/job") else None)
    log = f"{stack}/.polyest-stack/slurm/{job}_0.out"
    if job and os.path.exists(log) and slurp(log).count(b": ok") >= 5:
        break
run(["scancel", f"{job}_0"])
out, err = second.communicate(timeout=600)
assert second.returncode == 1, (second.returncode, out, err)
not_run = sorted(re.findall(r"^  (p\d+): not run", out, re.M))
batch = [os.path.basename(l.rstrip("/")) for l in
         open(f"{stack}/.polyest-stack/slurm/pairs").read().split()][:25]
assert not_run and set(not_run) < set(batch), (not_run, batch)
assert sorted(set(names) - set(mtimes())) == not_run, not_run
assert all(kolt_par()[n] == par_before[n] for n in not_run)
assert submissions() == 2
after = mtimes()
third = run([driver] + options + ["--slurm", "--time=10"], code=1)
assert f"{len(not_run)} of 300 pairs to run" in third.stdout, third.stdout
assert sorted(n for n, t in mtimes().items() if after.get(n) != t) == not_run
assert submissions() == 3
for name in not_run:
    assert slurp(f"{stack}/{name}/KOLT_par") == slurp(f"{alone}/{name}/KOLT_par"), name

# The job-array script alone: two batches of three pairs, its logs beside the pairs.
with open(f"{root}/list", "w") as f:
    f.write("".join(f"{stack}/{n}\n" for n in names[:6]))
job = run(["sbatch", "--wait", "--parsable", "--array=0-1", os.path.join(tools, "slurm-array.sh"),
           f"{root}/list", "--batch", "3", "--npoly", "6", "--outputs"]).stdout.split(";")[0].strip()
assert os.listdir(submit) == []
for task in (0, 1):
    assert slurp(f"{stack}/.polyest-stack/slurm/{job}_{task}.out").count(b": ok") == 3, task
assert "0 of 300 pairs to run" in run([driver] + options, code=1).stdout

# A run killed by SIGKILL: its guard cancels its job.
killed = subprocess.Popen([driver] + options + ["--force", "--slurm"], cwd=submit,
                          env=dict(env, POLYEST=f"{root}/slow-polyest"), stdin=subprocess.DEVNULL,
                          stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
while not os.path.exists(f"{stack}/.polyest-stack/slurm/job"):
    time.sleep(0.1)
job = open(f"{stack}/.polyest-stack/slurm/job").read().strip()
killed.kill()
killed.wait()
states = lambda: set(subprocess.run(["squeue", "-h", "-j", job, "-t", "all", "-o", "%T"],
                                    capture_output=True, text=True).stdout.split())
for _ in range(50):
    if not states() & {"PENDING", "CONFIGURING", "RUNNING", "COMPLETING"}:
        break
    time.sleep(0.1)
assert not states() & {"PENDING", "CONFIGURING", "RUNNING", "COMPLETING"}, states()
shutil.rmtree(root)
print(f"stack test --slurm: 300 pairs checked; {len(not_run)} pairs of a cancelled task redone")
