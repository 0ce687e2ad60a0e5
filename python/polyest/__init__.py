"""Range and azimuth offset polynomial estimation on numpy arrays.

The polyest program as a library: read a scene (read_par, read_grids), fit both offset models
with the automatic culling of outliers (fit) or cull pass by pass (Estimator), and write the
program's output files (write_outputs, update_par). Every number is the program's, bit for bit;
every file is the program's, byte for byte.

Failures raise exceptions: TypeError for an argument of the wrong type, ValueError for a bad
value or shape and for an output file that is one of the run's input or output files, Error
with the program's message when the estimation cannot be completed, OSError for files,
MemoryError when memory runs out. The readers' warnings about the KOLT_par file are ParWarning
warnings; a grid file shorter than its grid gives a ShortFileWarning.
"""

from __future__ import annotations

import math
import numbers
import operator
import os
import stat
import warnings
from typing import Any, Dict, List, Mapping, NamedTuple, Optional, Sequence, Tuple
from typing import SupportsFloat, SupportsIndex

import numpy as np
import numpy.typing as npt

from . import _core, _files

__all__ = ["read_par", "read_grids", "fit", "Estimator", "Result", "Solution", "write_outputs",
           "update_par", "Error", "ParWarning", "ShortFileWarning"]
__version__: str = _core.__version__

Error = _core.Error
_INT32 = (-2**31, 2**31 - 1)


def __dir__() -> List[str]:
    """The public names only."""
    return sorted(__all__ + ["__version__"])


class ParWarning(UserWarning):
    """A warning line of the KOLT_par reader: a missing or unreadable key, left 0."""


class ShortFileWarning(UserWarning):
    """A grid file shorter than the par's grid: the cells beyond its end are 0."""


# ---- Arguments, checked as numpy's own functions check theirs ----

def _index(value: Any, name: str) -> int:
    """value as an int (operator.index), else TypeError naming it; bools are refused."""
    if isinstance(value, (bool, np.bool_)):
        raise TypeError(f"{name} must be an integer, not bool")
    try:
        return operator.index(value)
    except TypeError:
        raise TypeError(f"{name} must be an integer, not {type(value).__name__}") from None


def _integer(value: Any, name: str) -> int:
    """value as an int of the 32-bit range (the KOLT_par integers'): TypeError when it is no
    integer, ValueError beyond the range."""
    number = _index(value, name)
    if not _INT32[0] <= number <= _INT32[1]:
        raise ValueError(f"{name} {number} is beyond the 32-bit integer range")
    return number


def _finite(value: Any, name: str) -> float:
    """value as a finite float: TypeError when it is no real number (bools refused),
    ValueError when it is not finite."""
    if isinstance(value, (bool, np.bool_)) or not isinstance(value, numbers.Real):
        raise TypeError(f"{name} must be a real number, not {type(value).__name__}")
    number = float(value)
    if not math.isfinite(number):
        raise ValueError(f"{name} must be a finite number, not {number}")
    return number


def _grid_size(nr: int, naz: int) -> None:
    """ValueError for a grid the program cannot index: no cells, or 2**31 - 1 or more."""
    if nr <= 0 or naz <= 0:
        raise ValueError(f"offset grid of no cells: {nr} x {naz} samples")
    if nr * naz >= 2**31 - 1:
        raise ValueError(f"offset grid too large: {nr} x {naz} samples")


def _par_key(par: Mapping[str, Any], key: str) -> Any:
    """par[key], or ValueError when par has no such key."""
    try:
        return par[key]
    except (KeyError, TypeError):
        raise ValueError(f"par has no {key}") from None


def _warn_lines(text: str) -> None:
    """Issues one ParWarning per line of the readers' warning text, at the caller's caller."""
    for line in text.splitlines():
        warnings.warn(line, ParWarning, stacklevel=3)


# ---- Reading ----

def read_par(path: _files.Path) -> Dict[str, Any]:
    """The KOLT_par file at path as the program reads it: a dict of every key.

    The title is a str, the integer keys ints, the real keys floats, range_offset_polynomial,
    azimuth_offset_polynomial and diff_phase_fit lists of 6 floats. A missing or unreadable key
    is 0 (an empty title) and issues one ParWarning per warning line of the reader. The dict
    remembers its file: write_outputs refuses to write over it.
    """
    values, text = _core.read_par(os.fsencode(path))
    par = _files.Par(values)
    par.file = _files.file_identity(path)
    _warn_lines(text)
    return par


def read_grids(offs_path: _files.Path, ccp_path: _files.Path, par: Mapping[str, Any]
               ) -> Tuple[npt.NDArray[np.complex64], npt.NDArray[np.float32]]:
    """The offsets and cross-correlation grids of a scene, as the program reads them.

    Returns (offs, cc): complex64 (range offset + 1j * azimuth offset) and float32 arrays in
    host byte order, of shape (offset_estimation_azimuth_samples,
    offset_estimation_range_samples) of the dict par. The big-endian files are read row by row;
    cells beyond a short file's end are 0 (with a ShortFileWarning naming the file, its size and
    the size the grid needs), bytes beyond the grid are ignored. Each array remembers its file:
    write_outputs and update_par refuse to write over it.
    """
    nr = _integer(_par_key(par, "offset_estimation_range_samples"), "range samples")
    naz = _integer(_par_key(par, "offset_estimation_azimuth_samples"), "azimuth samples")
    _grid_size(nr, naz)
    offs, cc = _core.read_grids(os.fsencode(offs_path), os.fsencode(ccp_path), nr, naz)
    for array, path, cell_bytes in ((offs, offs_path, 8), (cc, ccp_path, 4)):
        _files.remember_file(array, _files.file_identity(path))
        st, need = os.stat(path), nr * naz * cell_bytes
        if stat.S_ISREG(st.st_mode) and st.st_size < need:
            warnings.warn(f"{os.fsdecode(path)}: {st.st_size} bytes, shorter than the {need} "
                          f"bytes of the grid; the cells beyond its end are 0",
                          ShortFileWarning, stacklevel=2)
    return offs, cc


# ---- Fitting ----

def _grid_array(a: npt.ArrayLike, kind: str, itemsize: int, dtype: type, name: str
                ) -> npt.NDArray[Any]:
    """a as a native C-contiguous 2-D array of dtype (either byte order accepted)."""
    a = np.asarray(a)
    if a.dtype.kind != kind or a.dtype.itemsize != itemsize:
        raise ValueError(f"{name} must be {np.dtype(dtype).name} (either byte order), "
                         f"not {a.dtype}")
    if a.ndim != 2:
        raise ValueError(f"{name} must be a grid of 2 dimensions, not {a.ndim}")
    # The same array when it is native, aligned and C-contiguous already: no copy.
    return np.require(a, dtype, ("C_CONTIGUOUS", "ALIGNED"))


def _start(offs: npt.ArrayLike, cc: npt.ArrayLike, par: Optional[Mapping[str, Any]],
           npoly: SupportsIndex, thres: Optional[SupportsFloat],
           geometry: Optional[Sequence[SupportsIndex]], interactive: bool
           ) -> Tuple[_core.Estimation, float, _files.Inputs]:
    """The checked arguments of fit and Estimator: the _core.Estimation, the threshold and the
    files the grids and par were read from."""
    npoly = _index(npoly, "npoly")
    if npoly not in (1, 3, 4, 6):
        raise ValueError("npoly must be 1, 3, 4 or 6")
    grid_files, par_file = _files.files_of(offs) + _files.files_of(cc), None
    offs_grid = _grid_array(offs, "c", 8, np.complex64, "offs")
    cc_grid = _grid_array(cc, "f", 4, np.float32, "cc")
    if offs_grid.shape != cc_grid.shape:
        raise ValueError(f"offs and cc differ in shape: {offs_grid.shape} and {cc_grid.shape}")
    naz, nr = offs_grid.shape
    _grid_size(nr, naz)
    names = ("starting_range", "range_spacing", "starting_azimuth", "azimuth_spacing")
    if geometry is None:
        if par is None:
            raise ValueError("either par or geometry is needed")
        size = (_par_key(par, "offset_estimation_azimuth_samples"),
                _par_key(par, "offset_estimation_range_samples"))
        if size != offs_grid.shape:
            raise ValueError(f"the grids' shape {offs_grid.shape} is not the par's grid {size}")
        geometry = [_par_key(par, "offset_estimation_" + key) for key in names]
        if thres is None:
            thres = _par_key(par, "offset_estimation_threshold")
        par_file = par.file if isinstance(par, _files.Par) else None
    else:
        if par is not None:
            raise ValueError("give either par or geometry, not both")
        if thres is None:
            raise ValueError("thres is needed with geometry")
        try:
            geometry = list(geometry)
        except TypeError:
            raise TypeError("geometry must be a sequence of 4 integers") from None
        if len(geometry) != 4:
            raise ValueError("geometry is (starting_range, range_spacing, starting_azimuth, "
                             "azimuth_spacing)")
    r0, dr, a0, da = (_integer(v, n) for v, n in zip(geometry, names))
    threshold = _finite(thres, "thres")
    state = _core.Estimation(offs_grid, cc_grid, (nr, naz, r0, dr, a0, da), npoly, interactive)
    return state, threshold, _files.Inputs(grid_files, par_file)


class Solution(NamedTuple):
    """One solution: the fit of both models over the samples a culling pass left.

    cc_threshold, range_limit and azimuth_limit are the pass's bounds (None for the first fit,
    over every sample); accepted the number of samples fitted; range_poly and azimuth_poly the
    six coefficients a0 .. a5 (0 beyond npoly); sd_range and sd_azimuth the model fit standard
    deviations (samples); singular_values the fit's npoly singular values.
    """
    cc_threshold: Optional[float]
    range_limit: Optional[float]
    azimuth_limit: Optional[float]
    accepted: int
    range_poly: Tuple[float, ...]
    azimuth_poly: Tuple[float, ...]
    sd_range: float
    sd_azimuth: float
    singular_values: Tuple[float, ...]

    @classmethod
    def _of(cls, d: Dict[str, Any], first: bool = False) -> Solution:
        """The record of a solution dict of _core (first: the first fit, which has no bounds)."""
        cc, rng, az = (None, None, None) if first else d["bounds"]
        return cls(cc, rng, az, d["accepted"], tuple(d["range_poly"]), tuple(d["azimuth_poly"]),
                   d["sd_range"], d["sd_azimuth"], tuple(d["singular_values"]))


class Result:
    """The final result of an estimation, as the program reports and writes it.

    range_poly, azimuth_poly: the six coefficients a0 .. a5 of 1, x, y, x*y, x*x, y*y (0
    beyond npoly); range_errors, azimuth_errors: their errors (0 beyond npoly);
    range_covariance, azimuth_covariance: npoly x npoly, V diag(1/w^2) V^T of the last fit
    (errors = sqrt(diagonal) * standard deviation); sd_range, sd_azimuth: the model fit
    standard deviations (samples); singular_values: the last fit's; accepted: boolean grid of
    the samples that survived; samples: samples selected; passes: culling passes; solutions:
    every Solution, the first fit first; report: the program's console text from the
    "fit parameters:" line through the "final model fit std. dev." line; npoly: model terms.
    """
    npoly: int
    range_poly: npt.NDArray[np.float64]
    azimuth_poly: npt.NDArray[np.float64]
    range_errors: npt.NDArray[np.float64]
    azimuth_errors: npt.NDArray[np.float64]
    range_covariance: npt.NDArray[np.float64]
    azimuth_covariance: npt.NDArray[np.float64]
    sd_range: float
    sd_azimuth: float
    singular_values: npt.NDArray[np.float64]
    accepted: npt.NDArray[np.bool_]
    samples: int
    passes: int
    solutions: List[Solution]
    report: str

    def __init__(self, state: _core.Estimation, inputs: _files.Inputs = _files.Inputs()) -> None:
        """Made by fit and Estimator.result from a finished estimation (inputs: the files its
        grids and par were read from, those known)."""
        fields = state.finish()
        self._state = state
        self._inputs = inputs
        # The files written for this result so far: the outputs, and the KOLT_par files updated.
        self._outputs: List[_files.File] = []
        self._updated: List[_files.File] = []
        records = state.solutions()
        last = records[-1]
        self.npoly = state.npoly
        self.range_poly = np.array(last["range_poly"])
        self.azimuth_poly = np.array(last["azimuth_poly"])
        self.range_errors = fields["range_errors"]
        self.azimuth_errors = fields["azimuth_errors"]
        self.range_covariance = fields["range_covariance"]
        self.azimuth_covariance = fields["azimuth_covariance"]
        self.sd_range = last["sd_range"]
        self.sd_azimuth = last["sd_azimuth"]
        self.singular_values = np.array(last["singular_values"])
        self.accepted = fields["accepted"]
        self.samples = state.samples
        self.passes = state.passes
        self.solutions = [Solution._of(d, k == 0) for k, d in enumerate(records)]
        self.report = state.report

    def __repr__(self) -> str:
        """Model size, samples, accepted samples and passes."""
        return (f"<polyest.Result npoly={self.npoly} samples={self.samples} "
                f"accepted={self.solutions[-1].accepted} passes={self.passes}>")

    def model(self, x: npt.ArrayLike, y: npt.ArrayLike
              ) -> Tuple[npt.NDArray[np.float64], npt.NDArray[np.float64]]:
        """Both models at the range samples x and azimuth lines y (broadcast together).

        Returns (range offsets, azimuth offsets) as float64 arrays of the broadcast shape
        (numpy float64 scalars for scalar x and y), each value evaluated exactly as the program
        evaluates it.
        """
        xs, ys = np.broadcast_arrays(np.asarray(x, dtype=np.float64),
                                     np.asarray(y, dtype=np.float64))
        xs, ys = np.ascontiguousarray(xs), np.ascontiguousarray(ys)
        return (_core.poly_values(self.range_poly, xs, ys, False)[()],
                _core.poly_values(self.azimuth_poly, xs, ys, True)[()])

    def to_dict(self) -> Dict[str, Any]:
        """Every field as plain Python values, ready for json.

        accepted becomes a list of rows, each a string of '1' (accepted) and '0' characters;
        each solution a dict of its fields.
        """
        rows = np.where(self.accepted, np.uint8(ord("1")), np.uint8(ord("0")))
        return {
            "npoly": self.npoly,
            "samples": self.samples,
            "passes": self.passes,
            "range_poly": self.range_poly.tolist(),
            "azimuth_poly": self.azimuth_poly.tolist(),
            "range_errors": self.range_errors.tolist(),
            "azimuth_errors": self.azimuth_errors.tolist(),
            "range_covariance": self.range_covariance.tolist(),
            "azimuth_covariance": self.azimuth_covariance.tolist(),
            "sd_range": self.sd_range,
            "sd_azimuth": self.sd_azimuth,
            "singular_values": self.singular_values.tolist(),
            "accepted": [row.tobytes().decode("ascii") for row in rows],
            "solutions": [s._asdict() for s in self.solutions],
            "report": self.report,
        }


def fit(offs: npt.ArrayLike, cc: npt.ArrayLike, par: Optional[Mapping[str, Any]] = None,
        npoly: SupportsIndex = 4, thres: Optional[SupportsFloat] = None,
        geometry: Optional[Sequence[SupportsIndex]] = None) -> Result:
    """The program's automatic run on two grids: the first fit, then culling until it settles.

    offs: complex64 grid (range offset + 1j * azimuth offset), cc: float32 grid of one shape,
    native or big-endian, any strides (a native C-contiguous array is used without a copy).
    par: the dict of read_par, whose grid size must be the arrays' shape; or, instead of par,
    geometry=(starting_range, range_spacing, starting_azimuth, azimuth_spacing), integers, and
    then thres is needed. npoly: 1, 3, 4 or 6 model terms (an integer). thres: the finite
    cross-correlation threshold, a real number (None: the par's offset_estimation_threshold).
    Returns a Result. The arrays must not change until the Result's files are written. Runs
    without the GIL.
    """
    state, threshold, files = _start(offs, cc, par, npoly, thres, geometry, False)
    state.cull_automatically(threshold)
    return Result(state, files)


class Estimator:
    """The program's interactive mode as calls: culling passes with the caller's bounds.

    Takes the arguments of fit. solution is the first fit; cull runs one pass and returns its
    Solution; result() ends the culling and returns the Result of the last solution.
    """

    def __init__(self, offs: npt.ArrayLike, cc: npt.ArrayLike,
                 par: Optional[Mapping[str, Any]] = None, npoly: SupportsIndex = 4,
                 thres: Optional[SupportsFloat] = None,
                 geometry: Optional[Sequence[SupportsIndex]] = None) -> None:
        """Selects the samples and fits the first solution (arguments as for fit)."""
        self._state, self._thres, self._files = _start(offs, cc, par, npoly, thres, geometry,
                                                       True)
        self._result: Optional[Result] = None

    @property
    def solution(self) -> Solution:
        """The first fit, over every sample."""
        return Solution._of(self._state.solutions()[0], True)

    def cull(self, cc_threshold: Optional[SupportsFloat], range_limit: SupportsFloat,
             azimuth_limit: SupportsFloat) -> Solution:
        """One culling pass: culls every sample whose cross-correlation is at or below
        cc_threshold (None: the last one given, at first thres) or whose residual of the last
        solution reaches range_limit or azimuth_limit (samples), then refits both models.
        Culled samples stay culled. Returns the new Solution. The bounds are finite real
        numbers. When too few samples are left, raises Error and the pass is undone: the
        estimator is as it was before it, and other bounds can be tried.
        """
        bounds = (_finite(self._thres if cc_threshold is None else cc_threshold, "cc_threshold"),
                  _finite(range_limit, "range_limit"), _finite(azimuth_limit, "azimuth_limit"))
        solution = Solution._of(self._state.cull(*bounds))
        self._thres = bounds[0]
        return solution

    def result(self) -> Result:
        """Ends the culling: the Result of the last solution (the same object on every call)."""
        if self._result is None:
            self._result = Result(self._state, self._files)
        return self._result


# ---- Writing ----

def write_outputs(result: Result, coffs: Optional[_files.Path] = None,
                  coffsets: Optional[_files.Path] = None) -> None:
    """Writes the program's culled offsets files of a Result, byte for byte.

    coffs: path of the grid (big-endian complex64; surviving samples hold their offsets, other
    cells 0); coffsets: path of the text list (one line per surviving sample). None: not written.
    Before anything is opened, ValueError with the program's message ("output file is also an
    input or output file of this run: <path>") when an output is a file the result's grids or
    par were read from (read_grids, read_par), a KOLT_par file update_par rewrote for it, or
    both outputs are one file.
    """
    _files.refuse_overwriting(result._inputs.files() + tuple(result._updated), (coffs, coffsets))
    for path, write in ((coffs, result._state.write_grid), (coffsets, result._state.write_list)):
        if path is not None:
            write(os.fsencode(path))
            result._outputs.append(_files.file_identity(path))


def update_par(path: _files.Path, result: Result) -> None:
    """Rewrites the KOLT_par file at path as the program does at the end of a run.

    The file is read as the program reads it (its warnings are ParWarning warnings), its two
    polynomials are set to the result's and it is rewritten in place in the program's layout.
    ValueError (the program's message) when path is one of the result's grid files or an
    output write_outputs wrote for it.
    """
    _files.refuse_overwriting(result._inputs.grids + tuple(result._outputs), (path,))
    _warn_lines(_core.update_par(os.fsencode(path), result.range_poly, result.azimuth_poly))
    result._updated.append(_files.file_identity(path))
