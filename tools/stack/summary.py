#!/usr/bin/python3
"""Writes STACK/stack_summary.csv, .json and .png: one row per pair folder of STACK, its status
and the final figures of its console report (polyest.log); the files are rewritten only when
their contents change. Then lists the pairs that failed or did not run, as polyest-stack does.

  summary.py STACK       exit status 0 when every pair succeeded, 1 when some did not, 255 on an error

The CSV keeps the numbers as the report prints them; the JSON holds them as numbers (null
where there is none). Coefficients beyond the model's terms are 0, as in the KOLT_par file,
and have no error. The picture shows per pair the standard deviations, the accepted share and
both constant terms with their errors; failed pairs are marked red, and so are standard
deviations and accepted shares more than five robust standard deviations off the stack's median.
Up to LABELLED pairs each has a labelled column; beyond, pairs are placed by their position in
the stack and only the failed and the outlying ones are named. The picture is at most
1600 x 900 pixels.
"""
import csv
import io
import json
import os
import re
import sys

import pairs

COEFFS = [f"{d}_a{i}{e}" for d in ("range", "azimuth") for e in ("", "_err") for i in range(6)]
FIELDS = ["pair", "status", "exit_status", "message", "npoly", "samples", "iterations",
          "accepted", "range_std", "azimuth_std"] + COEFFS + ["seconds"]
INTEGERS = {"exit_status", "npoly", "samples", "iterations", "accepted"}
TEXTS = {"pair", "status", "message"}
LABELLED = 40
NAMED = 25  # names written into the picture at most, of failed and of outlying pairs each


def parse_report(text):
    """The final figures of a successful run's report, as printed."""
    row = {}

    def find(pattern, *names):
        m = re.search(pattern, text, re.M)
        if m:
            row.update(zip(names, m.groups()))

    find(r"^fit parameters:\s*(\d+)", "npoly")
    find(r"^total number of culling iterations:\s*(\d+)", "iterations")
    find(r"^final solution: (\d+) offset estimates accepted out of (\d+) samples",
         "accepted", "samples")
    find(r"^final model fit std\. dev\. \(samples\) range:\s*(\S+)\s+azimuth:\s*(\S+)",
         "range_std", "azimuth_std")
    for d in ("range", "azimuth"):
        for label, suffix in (("", ""), (" errors", "_err")):
            m = re.search(rf"^final {d} offset poly\. coeff\.{label}:(.*)$", text, re.M)
            values = m.group(1).split() if m else []
            for i in range(6):
                if i < len(values):
                    row[f"{d}_a{i}{suffix}"] = values[i]
                elif m and not suffix:
                    row[f"{d}_a{i}"] = "0"
    return row


def pair_row(stack, name):
    pair = os.path.join(stack, name)
    result = pairs.read_result(pair)
    stamp = pairs.read_text(os.path.join(pair, pairs.STATE, "stamp"))
    if result is None or result.get("stamp") != stamp:
        return {"pair": name, "status": "not run",
                "message": "no result for the current inputs and options (the run did not finish)"}
    row = {"pair": name, "status": result["status"], "exit_status": str(result["exit"]),
           "message": result["message"], "seconds": str(result["seconds"])}
    if result["status"] == "ok":
        row.update(parse_report(pairs.read_text(os.path.join(pair, "polyest.log")) or ""))
    return row


def as_json(row):
    out = {}
    for f in FIELDS:
        v = row.get(f, "")
        out[f] = v if f in TEXTS else (None if v == "" else int(v) if f in INTEGERS else float(v))
    return out


def outlying(values):
    """Flags of the values more than five robust standard deviations off their median."""
    known = sorted(v for v in values if v is not None)
    if len(known) < 3:
        return [False] * len(values)
    median = known[len(known) // 2]
    mad = sorted(abs(v - median) for v in known)[len(known) // 2]
    limit = 5 * 1.4826 * mad if mad > 0 else 1e-12 + 1e-9 * abs(median)
    return [v is not None and abs(v - median) > limit for v in values]


def name_pairs(ax, rows, indices, y, colour):
    """Writes the names of the pairs at INDICES (NAMED at most) above their places."""
    for i in indices[:NAMED]:
        ax.annotate(rows[i]["pair"], (i, y), xycoords=("data", "axes fraction"), ha="center",
                    va="top", color=colour, fontsize="x-small", rotation=90,
                    bbox={"fc": "white", "ec": "none", "alpha": 0.7, "pad": 1})
    if len(indices) > NAMED:
        ax.annotate(f"and {len(indices) - NAMED} more", (1, 1.01), xycoords="axes fraction",
                    ha="right", va="bottom", color=colour, fontsize="small")


def plot(rows, path):
    import matplotlib
    matplotlib.use("Agg")
    import matplotlib.pyplot as plt

    n = len(rows)
    x = list(range(n))
    labelled = n <= LABELLED
    get = lambda f: [r[f] for r in rows]
    nan = lambda v: [float("nan") if a is None else a for a in v]
    width = max(7, 1.5 + 0.28 * n) if labelled else 16
    fig, axes = plt.subplots(4, 1, sharex=True, figsize=(width, 9))
    bad = [i for i, r in enumerate(rows) if r["status"] != "ok"]
    odd = set()
    mark_size = 6 if labelled else 3

    ax = axes[0]
    for f, colour, mark in (("range_std", "C0", "o"), ("azimuth_std", "C1", "s")):
        v = get(f)
        ax.plot(x, nan(v), mark, color=colour, label=f.split("_")[0], ms=mark_size)
        flagged = [(i, v[i]) for i, o in enumerate(outlying(v)) if o]
        odd.update(i for i, _ in flagged)
        if flagged:
            ax.plot(*zip(*flagged), mark, mfc="none", mec="red", ms=2 * mark_size, mew=2)
    known = [a for f in ("range_std", "azimuth_std") for a in get(f) if a]
    if known and max(known) > 20 * min(known):
        ax.set_yscale("log")
    elif known:
        ax.set_ylim(0, 1.15 * max(known))
    ax.set_ylabel("model fit std. dev.\n(samples)")
    ax.legend(loc="best", fontsize="small")

    ax = axes[1]
    share = [r["accepted"] / r["samples"] if r["accepted"] is not None and r["samples"] else None
             for r in rows]
    flags = outlying(share)
    odd.update(i for i, f in enumerate(flags) if f)
    colours = ["red" if f else "C2" for f in flags]
    if labelled:
        ax.bar(x, [s or 0 for s in share], color=colours)
    else:
        ax.scatter(x, nan(share), c=colours, s=mark_size ** 2)
    ax.set_ylim(0, 1)
    ax.set_ylabel("accepted share")

    for ax, d in ((axes[2], "range"), (axes[3], "azimuth")):
        v, e = get(d + "_a0"), get(d + "_a0_err")
        ok = [i for i in x if v[i] is not None]
        ax.errorbar(ok, [v[i] for i in ok], yerr=[e[i] or 0 for i in ok], fmt="o",
                    capsize=3 if labelled else 0, ms=mark_size,
                    color="C0" if d == "range" else "C1")
        ax.set_ylabel(f"{d} a0\n(samples, ±1 error)")

    for ax in axes:
        ax.grid(alpha=0.3)
        for i in bad:
            ax.axvspan(i - 0.45, i + 0.45, color="red", alpha=0.15 if labelled else 0.4, lw=0)
    if labelled:
        for i in bad:
            axes[0].annotate(rows[i]["status"], (i, 0.5), xycoords=("data", "axes fraction"),
                             ha="center", va="center", color="red", fontsize="small", rotation=90)
        axes[-1].set_xticks(x)
        axes[-1].set_xticklabels(get("pair"), rotation=90, fontsize="small")
        for i in bad:
            axes[-1].get_xticklabels()[i].set_color("red")
    else:
        name_pairs(axes[0], rows, bad, 0.98, "red")
        name_pairs(axes[1], rows, sorted(odd - set(bad)), 0.98, "darkred")
        axes[-1].set_xlabel("pair (position in the stack, by name)")
    axes[-1].set_xlim(-0.6, n - 0.4)
    failed = len(bad)
    fig.suptitle(f"stack of {n} pairs: {n - failed} ok, {failed} failed or not run")
    fig.tight_layout()
    fig.savefig(path + ".tmp.png", dpi=100)
    os.replace(path + ".tmp.png", path)


def write(stack):
    """Brings the summary of STACK up to date; returns its rows (JSON values)."""
    rows = [pair_row(stack, name) for name in pairs.find_pairs(stack)]
    out = os.path.join(stack, "stack_summary")
    text = io.StringIO()
    w = csv.DictWriter(text, FIELDS, lineterminator="\n")
    w.writeheader()
    w.writerows(rows)
    data = [as_json(r) for r in rows]
    numbers = json.dumps(data, indent=1) + "\n"
    changed = (pairs.read_text(out + ".csv") != text.getvalue()
               or pairs.read_text(out + ".json") != numbers)
    if changed:
        pairs.write_atomic(out + ".json", numbers)
        pairs.write_atomic(out + ".csv", text.getvalue())
    if changed or not os.path.exists(out + ".png"):
        try:
            import matplotlib  # noqa: F401
        except ImportError:
            pairs.remove(out + ".png")  # the picture of other rows
            print("polyest-stack: no summary picture: matplotlib is not installed "
                  "(Debian package python3-matplotlib)", file=sys.stderr)
        else:
            plot(data, out + ".png")
    return data


def report(rows, stack):
    """Prints the count of pairs and lists those that failed or did not run; returns those."""
    bad = [r for r in rows if r["status"] != "ok"]
    print(f"{len(rows)} pairs: {len(rows) - len(bad)} ok, {len(bad)} failed or not run; "
          f"summary: {os.path.join(stack, 'stack_summary.csv')}")
    for r in bad:
        status = r["status"] + (f", exit status {r['exit_status']}" if r["exit_status"] else "")
        print(f"  {r['pair']}: {status}: {r['message']}")
    return bad


def main():
    if len(sys.argv) != 2 or sys.argv[1].startswith("-"):
        print("usage: summary.py STACK", file=sys.stderr)
        sys.exit(255)
    try:
        rows = write(sys.argv[1])
    except OSError as e:
        print(f"ERROR: {e}", file=sys.stderr)
        sys.exit(255)
    sys.exit(1 if report(rows, sys.argv[1]) else 0)


if __name__ == "__main__":
    main()
