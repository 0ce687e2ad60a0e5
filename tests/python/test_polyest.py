"""The Python module against the program: the golden cases and generated scenes give the
program's files, report and warnings; the interactive mode, failures, threads, the command line."""
import json, os, re, shutil, subprocess, sys, warnings
from concurrent.futures import ThreadPoolExecutor
from pathlib import Path

import numpy as np
import pytest

import polyest

ROOT = Path(__file__).resolve().parents[2]
GOLDEN = ROOT / "tests/golden/cases"
POLYEST = os.environ.get("POLYEST_BIN", str(ROOT / "build/polyest/polyest"))
MKSCENE = os.environ.get("MKSCENE_BIN", str(ROOT / "build/tools/mkscene"))
AUTOMATIC = [c.name for c in sorted(GOLDEN.iterdir()) if (c / "status").read_text() == "0\n"
             and not (c / "program").exists() and not (c / "stdin").exists()]


def report_part(stdout):
    end = stdout.index("\n", stdout.index("final model fit std. dev.")) + 1
    return stdout[stdout.index("fit parameters:"):end]


def files_of(folder):
    return {p.name: p.read_bytes() for p in sorted(folder.iterdir()) if p.is_file()}


def arguments(args):
    """offs ccp par [coffs] [coffsets] [thres] [npoly] as the program reads them ("-": none)."""
    a = [None if v == "-" else v for v in args[:7]] + [None] * 7
    thres = re.match(r"[-+]?(\d+\.?\d*|\.\d+)([eE][-+]?\d+)?", a[5] or "")
    npoly = re.match(r"[-+]?\d+", a[6] or "")
    npoly = int(npoly.group()) if npoly and abs(int(npoly.group())) < 2**31 else 4
    return a[:5], float(thres.group()) if thres else None, npoly


def big_endian_strided(a):
    wide = np.zeros((a.shape[0], 2 * a.shape[1]), a.dtype.newbyteorder(">"))
    wide[:, ::2] = a
    return wide[:, ::2]


def scene(folder, seed, size, npoly):
    folder.mkdir()
    subprocess.run([MKSCENE, "offs", "ccp", "par", "--nr", str(size[0]), "--naz", str(size[1]),
                    "--seed", str(seed)], cwd=folder, check=True, capture_output=True)
    return ["offs", "ccp", "par", "c.bin", "l.txt", "-", str(npoly)]


def read_scene(folder, names):
    with warnings.catch_warnings(record=True) as caught:
        warnings.simplefilter("always")
        par = polyest.read_par(folder / names[2])
        grids = polyest.read_grids(folder / names[0], folder / names[1], par)
    return par, *grids, [w for w in caught if w.category is not polyest.ShortFileWarning]


def program_and_copy(tmp_path, args, stdin=None, source=None):
    """The program run on a copy of source (else on the scene in tmp_path/program), and a second
    copy for the module; returns both folders, the program's output and its arguments."""
    ran, mine = tmp_path / "program", tmp_path / "module"
    if source:
        shutil.copytree(source, ran)
    shutil.copytree(ran, mine)
    run = subprocess.run([POLYEST, *args], cwd=ran, input=stdin, capture_output=True, text=True)
    assert run.returncode == 0, run.stderr
    return ran, mine, run.stdout, *arguments(args)


def write_all(result, folder, names):
    polyest.write_outputs(result, *(n and folder / n for n in names[3:5]))
    polyest.update_par(folder / names[2], result)


@pytest.mark.parametrize("case", AUTOMATIC + [f"scene_npoly_{n}" for n in (1, 3, 4, 6)])
def test_files_report_and_warnings_are_the_programs(case, tmp_path):
    if case in AUTOMATIC:
        args, source = (GOLDEN / case / "args").read_text().split("\n")[:-1], GOLDEN / case / "in"
    else:
        npoly, source = int(case[-1]), None
        size = (37, 51) if npoly < 6 else (700, 400)  # the culled grid in several blocks
        args = scene(tmp_path / "program", npoly + 10, size, npoly)
    ran, mine, stdout, names, thres, npoly = program_and_copy(tmp_path, args, source=source)
    par, offs, cc, caught = read_scene(mine, names)
    assert [str(w.message) for w in caught] == re.findall(r"^WARNING.*", stdout, re.M)
    assert all(w.category is polyest.ParWarning for w in caught)
    references = sys.getrefcount(offs)
    result = polyest.fit(offs, cc, par, npoly=npoly, thres=thres)
    assert sys.getrefcount(offs) == references + 1  # the array itself is used, not a copy
    with warnings.catch_warnings(record=True) as again:
        warnings.simplefilter("always")
        write_all(result, mine, names)
    assert [str(w.message) for w in again] == [str(w.message) for w in caught]
    assert files_of(mine) == files_of(ran)
    assert result.report == report_part(stdout)
    assert f"iterations: {result.passes}\n" in stdout and f"{result.samples} offset" in stdout
    for layout in (big_endian_strided, np.asfortranarray,  # and negative strides:
                   lambda a: a[::-1, ::-1].copy()[::-1, ::-1]):
        view = polyest.fit(layout(offs), layout(cc), par, npoly, thres)
        assert json.dumps(view.to_dict()) == json.dumps(result.to_dict())
    if names[3] and names[4]:
        coffs = np.fromfile(ran / names[3], ">c8").reshape(offs.shape)
        assert np.array_equal(result.accepted, coffs.real != 0)
        listed = np.loadtxt(ran / names[4], ndmin=2)
        models = result.model(listed[:, 0], listed[:, 1])
        text = [line.split()[4:6] for line in (ran / names[4]).read_text().splitlines()]
        assert [[f"{m:.3f}" for m in pair] for pair in zip(*models)] == text


def test_estimator_replays_the_interactive_mode(tmp_path):
    case = GOLDEN / "interactive_answers_1_then_0"
    args, answers = (case / "args").read_text().split(), (case / "stdin").read_text()
    ran, mine, stdout, names, thres, npoly = program_and_copy(tmp_path, args, answers, case / "in")
    par, offs, cc, _ = read_scene(mine, names)
    estimator = polyest.Estimator(offs, cc, par, npoly=npoly)
    first, tokens, passes = estimator.solution, answers.split(), []
    while True:
        passes.append(estimator.cull(*map(float, tokens[:3])))
        if tokens[3] != "1":
            break
        tokens = tokens[4:]
    result = estimator.result()
    write_all(result, mine, names)
    assert files_of(mine) == files_of(ran) and result.report == report_part(stdout)
    assert result.solutions == [first] + passes and len(passes) == result.passes == 2
    assert first.cc_threshold is None and passes[1].cc_threshold == 0.55
    assert estimator.result() is result
    with pytest.raises(RuntimeError, match="finished"):
        estimator.cull(0.1, 1.0, 1.0)


def test_failures_raise_and_leave_the_interpreter_alive(tmp_path):
    folder = GOLDEN / "npoly_4_both_outputs" / "in"
    par, offs, cc, _ = read_scene(folder, ["offs", "ccp", "scene.KOLT_par"])
    few = GOLDEN / "insufficient_after_culling" / "in"
    few_par, few_offs, few_cc, _ = read_scene(few, ["offs", "ccp", "scene.KOLT_par"])
    os.mkfifo(tmp_path / "fifo")
    cases = [
        (ValueError, "npoly", lambda: polyest.fit(offs, cc, par, npoly=2)),
        (ValueError, "npoly", lambda: polyest.Estimator(offs, cc, par, npoly=5)),
        (TypeError, "npoly", lambda: polyest.Estimator(offs, cc, par, npoly=6.0)),
        (TypeError, "npoly", lambda: polyest.fit(offs, cc, par, npoly=True)),
        (TypeError, "thres", lambda: polyest.fit(offs, cc, par, thres="0.2")),
        (ValueError, "thres", lambda: polyest.fit(offs, cc, par, thres=float("nan"))),
        (ValueError, "thres", lambda: polyest.Estimator(offs, cc, par, thres=float("inf"))),
        (ValueError, "range_limit", lambda: polyest.Estimator(offs, cc, par).cull(0.1, np.nan, 1)),
        (TypeError, "azimuth_limit", lambda: polyest.Estimator(offs, cc, par).cull(None, 1, "1")),
        (TypeError, "starting_range", lambda: polyest.fit(offs, cc, None, 4, 0.1, (0.5, 1, 0, 1))),
        (ValueError, "differ in shape", lambda: polyest.fit(offs, cc[:2], par)),
        (ValueError, "complex64", lambda: polyest.fit(offs.astype(np.complex128), cc, par)),
        (ValueError, "par's grid", lambda: polyest.fit(offs.T.copy(), cc.T.copy(), par)),
        (ValueError, "thres is needed", lambda: polyest.fit(offs, cc, geometry=(0, 1, 0, 1))),
        (ValueError, "32-bit", lambda: polyest.fit(offs, cc, None, 4, 0.1, (2**31, 1, 0, 1))),
        (ValueError, "no cells", lambda: polyest.read_grids(
            folder / "offs", folder / "ccp", dict(par, offset_estimation_range_samples=0))),
        (polyest.Error, "^insufficient offset points to determine",
         lambda: polyest.fit(np.zeros_like(offs), cc, par)),
        (polyest.Error, "^insufficient offset points left after culling",
         lambda: polyest.fit(few_offs, few_cc, few_par, npoly=1)),
        (FileNotFoundError, "missing", lambda: polyest.read_par(tmp_path / "missing")),
        (IsADirectoryError, "", lambda: polyest.read_par(tmp_path)),
        (OSError, "not a regular file", lambda: polyest.read_par(tmp_path / "fifo")),
        (FileNotFoundError, "", lambda: polyest.update_par(tmp_path / "x", result)),
        (FileNotFoundError, "", lambda: polyest.write_outputs(result, tmp_path / "no/c.bin")),
    ]
    result = polyest.fit(offs, cc, par)
    for error, message, call in cases:
        with pytest.raises(error, match=message) as raised:
            call()
        if error is polyest.Error:
            assert raised.value.report.startswith("fit parameters: ")
    geometry = [par["offset_estimation_" + k] for k in
                ("starting_range", "range_spacing", "starting_azimuth", "azimuth_spacing")]
    thres = np.float32(par["offset_estimation_threshold"])
    alive = polyest.fit(offs, cc, geometry=np.array(geometry), thres=thres, npoly=np.int8(4))
    assert json.dumps(alive.to_dict()) == json.dumps(result.to_dict())


def test_memory_exhaustion_raises_memory_error(tmp_path):
    code = """if 1:
        import resource, sys, numpy as np, polyest
        par = polyest.read_par(sys.argv[1] + "/scene.KOLT_par")
        offs, cc = polyest.read_grids(sys.argv[1] + "/offs", sys.argv[1] + "/ccp", par)
        big = np.ones((2048, 2048), np.complex64), np.ones((2048, 2048), np.float32)
        size = int(open("/proc/self/status").read().split("VmSize:")[1].split()[0]) * 1024
        resource.setrlimit(resource.RLIMIT_AS, (size + 2**26, resource.RLIM_INFINITY))
        try:
            polyest.fit(*big, geometry=(0, 1, 0, 1), thres=0.1)
        except MemoryError:
            print("MemoryError")
        print(polyest.fit(offs, cc, par).samples)"""
    run = subprocess.run([sys.executable, "-c", code, str(GOLDEN / "npoly_6/in")],
                         capture_output=True, text=True)
    assert (run.returncode, run.stdout) == (0, "MemoryError\n16\n"), run.stderr


def test_two_threads_give_the_results_of_each_alone(tmp_path):
    scenes = []
    for seed, npoly in ((1, 6), (2, 3)):
        names = scene(tmp_path / str(seed), seed, (300, 300), npoly)
        scenes.append((*read_scene(tmp_path / str(seed), names)[:3], npoly))
    run = [lambda s=s: json.dumps(polyest.fit(s[1], s[2], s[0], npoly=s[3]).to_dict())
           for s in scenes]
    alone = [f() for f in run]
    with ThreadPoolExecutor(2) as pool:
        assert list(pool.map(lambda f: f(), run)) == alone


def test_command_line_prints_json_and_changes_no_file(tmp_path):
    shutil.copytree(GOLDEN / "npoly_6" / "in", tmp_path, dirs_exist_ok=True)
    before = files_of(tmp_path)
    par, offs, cc, _ = read_scene(tmp_path, ["offs", "ccp", "scene.KOLT_par"])
    expected = json.loads(json.dumps(polyest.fit(offs, cc, par, npoly=6, thres=0.3).to_dict()))
    command = [sys.executable, "-m", "polyest", "offs", "ccp", "scene.KOLT_par"]
    for extra, status, out in [(["--npoly", "6", "--thres", "0.3"], 0, expected),
                               (["--npoly", "2"], 255, "ERROR: npoly must be 1, 3, 4 or 6"),
                               (["--json", "ccp"], 255, "ERROR: output file is also an input"),
                               (["--thres", "0.3", "--json", "no/f"], 255, "ERROR: [Errno 2]")]:
        run = subprocess.run(command + extra, cwd=tmp_path, capture_output=True, text=True)
        assert run.returncode == status, run.stderr
        assert json.loads(run.stdout) == out if status == 0 else run.stderr.startswith(out)
    assert files_of(tmp_path) == before


def test_a_failed_pass_leaves_the_estimator_as_it_was():
    par, offs, cc, _ = read_scene(GOLDEN / "npoly_4_both_outputs" / "in",
                                  ["offs", "ccp", "scene.KOLT_par"])
    for more in ([], [(None, 0.5, 0.5)]):
        tried = polyest.Estimator(offs, cc, par, thres=0.1)
        fresh = polyest.Estimator(offs, cc, par, thres=0.2)
        assert tried.cull(0.2, 1.0, 1.0) == fresh.cull(None, 1.0, 1.0)
        with pytest.raises(polyest.Error, match="left after culling.*as it was before this pass"):
            tried.cull(0.6, 0.0, 0.0)
        assert [tried.cull(*b) for b in more] == [fresh.cull(*b) for b in more]
        assert json.dumps(tried.result().to_dict()) == json.dumps(fresh.result().to_dict())


def test_outputs_that_are_inputs_are_refused_before_anything_is_written(tmp_path):
    shutil.copytree(GOLDEN / "npoly_4_both_outputs" / "in", tmp_path, dirs_exist_ok=True)
    par, offs, cc, _ = read_scene(tmp_path, ["offs", "ccp", "scene.KOLT_par"])
    os.link(tmp_path / "ccp", tmp_path / "link")
    (tmp_path / "sub").mkdir()
    before = files_of(tmp_path)
    results = polyest.fit(offs, cc, par), polyest.Estimator(offs[:, :], cc, par).result()
    for result in results:
        for coffs, coffsets, refused in [
                ("offs", None, "offs"), ("c.bin", "link", "link"),
                ("sub/../scene.KOLT_par", "l.txt", "sub/../scene.KOLT_par"),
                ("new", "sub/../new", "sub/../new")]:
            message = f"^output file is also an input or output file of this run: .*{refused}$"
            with pytest.raises(ValueError, match=message):
                polyest.write_outputs(result, tmp_path / coffs, coffsets and tmp_path / coffsets)
        with pytest.raises(ValueError, match="also an input.*/offs$"):
            polyest.update_par(tmp_path / "sub/../offs", result)
    assert files_of(tmp_path) == before
    # The files written for a result are its files too, also when its arrays came from no file.
    result = polyest.fit(offs.copy(), cc.copy(), dict(par))
    shutil.copy(tmp_path / "scene.KOLT_par", tmp_path / "p2")
    polyest.write_outputs(result, tmp_path / "c.bin")
    polyest.update_par(tmp_path / "p2", result)
    written = files_of(tmp_path)
    for refused in (lambda: polyest.update_par(tmp_path / "c.bin", result),
                    lambda: polyest.write_outputs(result, None, tmp_path / "p2")):
        with pytest.raises(ValueError, match="also an input or output file of this run"):
            refused()
    assert files_of(tmp_path) == written


def test_short_grid_files_warn_and_leave_zeros(tmp_path):
    folder = GOLDEN / "truncated_offs_and_ccp_mid_value" / "in"
    par = polyest.read_par(folder / "scene.KOLT_par")
    cells = par["offset_estimation_range_samples"] * par["offset_estimation_azimuth_samples"]
    with warnings.catch_warnings(record=True) as caught:
        warnings.simplefilter("always")
        offs, cc = polyest.read_grids(folder / "offs", folder / "ccp", par)
    sizes = [(folder / name).stat().st_size for name in ("offs", "ccp")]
    assert [(w.category, str(w.message)) for w in caught] == [
        (polyest.ShortFileWarning, f"{folder / name}: {size} bytes, shorter than the {need} bytes "
         f"of the grid; the cells beyond its end are 0") for name, size, need in
        zip(("offs", "ccp"), sizes, (8 * cells, 4 * cells)) if size < need] != []
    assert issubclass(polyest.ShortFileWarning, UserWarning)
    assert not offs.ravel()[sizes[0] // 8 + 1:].any() and not cc.ravel()[sizes[1] // 4 + 1:].any()


def test_public_names_and_the_programs_version():
    run = subprocess.run([POLYEST], capture_output=True, text=True)
    assert f"*** polyest version {polyest.__version__} ***\n" in run.stdout
    assert dir(polyest) == sorted(polyest.__all__ + ["__version__"])
