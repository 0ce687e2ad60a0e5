"""python3 -m polyest OFFS CCP PAR [--npoly N] [--thres T] [--json FILE]

The automatic fit of a scene with every result as JSON (Result.to_dict) on standard output or
in FILE. No report is printed and no file of the scene is changed (FILE naming one of them is
refused with the program's message). The KOLT_par reader's
warnings and every error go to standard error; an error ("ERROR: <message>") ends with exit
status 255, as the program's errors do. Argument errors of the command line exit with 2.
"""

import argparse
import json
import sys
import warnings
from typing import Optional, Sequence

from . import Error, fit, read_grids, read_par
from ._files import refuse_overwriting


def main(argv: Optional[Sequence[str]] = None) -> int:
    """Runs the command line; returns the exit status."""
    parser = argparse.ArgumentParser(
        prog="python3 -m polyest",
        description="Fits the range and azimuth offset polynomials of a scene and prints every "
                    "result as JSON.")
    parser.add_argument("offs", help="offsets grid (big-endian fcomplex)")
    parser.add_argument("ccp", help="cross-correlation grid (big-endian float)")
    parser.add_argument("par", help="KOLT_par file (read only)")
    parser.add_argument("--npoly", type=int, default=4, help="model terms: 1, 3, 4 or 6 (4)")
    parser.add_argument("--thres", type=float, default=None,
                        help="cross-correlation threshold (the KOLT_par file's)")
    parser.add_argument("--json", metavar="FILE", help="write the JSON here, not to stdout")
    args = parser.parse_args(argv)
    try:
        with warnings.catch_warnings(record=True) as caught:
            warnings.simplefilter("always")
            par = read_par(args.par)
        for w in caught:
            print(w.message, file=sys.stderr)
        offs, cc = read_grids(args.offs, args.ccp, par)
        result = fit(offs, cc, par, npoly=args.npoly, thres=args.thres)
        text = json.dumps(result.to_dict(), indent=1) + "\n"
        refuse_overwriting(result._inputs.files(), [args.json])
        if args.json is None:
            sys.stdout.write(text)
            sys.stdout.flush()
        else:
            with open(args.json, "w", encoding="ascii") as out:
                out.write(text)
    except (Error, OSError, ValueError, MemoryError) as e:
        print(f"ERROR: {e}", file=sys.stderr)
        return 255
    return 0


if __name__ == "__main__":
    sys.exit(main())
