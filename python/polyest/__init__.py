"""Range and azimuth offset polynomial estimation on numpy arrays.

The polyest program as a library: read a scene (read_par, read_grids), fit both offset models
with the automatic culling of outliers (fit) or cull pass by pass (Estimator), and write the
program's output files (write_outputs, update_par). Every number is the program's, bit for bit;
every file is the program's, byte for byte.

Failures raise exceptions: ValueError for bad arguments or shapes, Error with the program's
message when the estimation cannot be completed, OSError for files, MemoryError when memory runs
out. The readers' warnings about the KOLT_par file are ParWarning warnings.
"""

import operator
import os
import warnings
from typing import NamedTuple, Optional, Tuple

import numpy as np

from . import _core

__all__ = ["read_par", "read_grids", "fit", "Estimator", "Result", "Solution", "write_outputs",
           "update_par", "Error", "ParWarning"]

Error = _core.Error
_INT32 = (-2**31, 2**31 - 1)


class ParWarning(UserWarning):
    """A warning line of the KOLT_par reader: a missing or unreadable key, left 0."""


def _warn_lines(text):
    """Issues one ParWarning per line of the readers' warning text, at the caller's caller."""
    for line in text.splitlines():
        warnings.warn(line, ParWarning, stacklevel=3)


def read_par(path):
    """The KOLT_par file at path as the program reads it: a dict of every key.

    The title is a str, the integer keys ints, the real keys floats, range_offset_polynomial,
    azimuth_offset_polynomial and diff_phase_fit lists of 6 floats. A missing or unreadable key
    is 0 (an empty title) and issues one ParWarning per warning line of the reader.
    """
    par, text = _core.read_par(os.fsencode(path))
    _warn_lines(text)
    return par


def _int32(value, name):
    """value as an int of the 32-bit range (the KOLT_par integers'), else ValueError."""
    try:
        value = operator.index(value)
    except TypeError:
        raise ValueError(f"{name} must be an integer, not {value!r}") from None
    if not _INT32[0] <= value <= _INT32[1]:
        raise ValueError(f"{name} {value} is beyond the 32-bit integer range")
    return value


def _grid_size(nr, naz):
    """ValueError for a grid the program cannot index: no cells, or 2**31 - 1 or more."""
    if nr <= 0 or naz <= 0:
        raise ValueError(f"offset grid of no cells: {nr} x {naz} samples")
    if nr * naz >= 2**31 - 1:
        raise ValueError(f"offset grid too large: {nr} x {naz} samples")


def _par_key(par, key):
    """par[key], or ValueError when par has no such key."""
    try:
        return par[key]
    except (KeyError, TypeError):
        raise ValueError(f"par has no {key}") from None


def read_grids(offs_path, ccp_path, par):
    """The offsets and cross-correlation grids of a scene, as the program reads them.

    Returns (offs, cc): complex64 (range offset + 1j * azimuth offset) and float32 arrays in
    host byte order, of shape (offset_estimation_azimuth_samples,
    offset_estimation_range_samples) of the dict par. The big-endian files are read row by row;
    cells beyond a short file's end are 0, bytes beyond the grid are ignored.
    """
    nr = _int32(_par_key(par, "offset_estimation_range_samples"), "range samples")
    naz = _int32(_par_key(par, "offset_estimation_azimuth_samples"), "azimuth samples")
    _grid_size(nr, naz)
    return _core.read_grids(os.fsencode(offs_path), os.fsencode(ccp_path), nr, naz)


def _grid_array(a, kind, itemsize, dtype, name):
    """a as a native C-contiguous 2-D array of dtype (either byte order accepted)."""
    a = np.asarray(a)
    if a.dtype.kind != kind or a.dtype.itemsize != itemsize:
        raise ValueError(f"{name} must be {np.dtype(dtype).name} (either byte order), "
                         f"not {a.dtype}")
    if a.ndim != 2:
        raise ValueError(f"{name} must be a grid of 2 dimensions, not {a.ndim}")
    # The same array when it is native, aligned and C-contiguous already: no copy.
    return np.require(a, dtype, ("C_CONTIGUOUS", "ALIGNED"))


def _start(offs, cc, par, npoly, thres, geometry, interactive):
    """The checked arguments of fit and Estimator, as an _core.Estimation and the threshold."""
    try:
        npoly = operator.index(npoly)
    except TypeError:
        npoly = None
    if npoly not in (1, 3, 4, 6):
        raise ValueError("npoly must be 1, 3, 4 or 6")
    offs = _grid_array(offs, "c", 8, np.complex64, "offs")
    cc = _grid_array(cc, "f", 4, np.float32, "cc")
    if offs.shape != cc.shape:
        raise ValueError(f"offs and cc differ in shape: {offs.shape} and {cc.shape}")
    naz, nr = offs.shape
    _grid_size(nr, naz)
    if geometry is None:
        if par is None:
            raise ValueError("either par or geometry is needed")
        size = (_par_key(par, "offset_estimation_azimuth_samples"),
                _par_key(par, "offset_estimation_range_samples"))
        if size != offs.shape:
            raise ValueError(f"the grids' shape {offs.shape} is not the par's grid {size}")
        geometry = tuple(_par_key(par, "offset_estimation_" + key) for key in (
            "starting_range", "range_spacing", "starting_azimuth", "azimuth_spacing"))
        if thres is None:
            thres = _par_key(par, "offset_estimation_threshold")
    else:
        if par is not None:
            raise ValueError("give either par or geometry, not both")
        if thres is None:
            raise ValueError("thres is needed with geometry")
        if not isinstance(geometry, (tuple, list)) or len(geometry) != 4:
            raise ValueError("geometry is (starting_range, range_spacing, starting_azimuth, "
                             "azimuth_spacing)")
    names = ("starting range", "range spacing", "starting azimuth", "azimuth spacing")
    r0, dr, a0, da = (_int32(v, n) for v, n in zip(geometry, names))
    try:
        thres = float(thres)
    except (TypeError, ValueError):
        raise ValueError(f"thres must be a number, not {thres!r}") from None
    state = _core.Estimation(offs, cc, (nr, naz, r0, dr, a0, da), npoly, interactive)
    return state, thres


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
    def _of(cls, d, first=False):
        """The record of a solution dict of _core (first: the first fit, which has no bounds)."""
        bounds = (None, None, None) if first else d["bounds"]
        return cls(*bounds, d["accepted"], tuple(d["range_poly"]), tuple(d["azimuth_poly"]),
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

    def __init__(self, state):
        """Made by fit and Estimator.result from a finished estimation."""
        fields = state.finish()
        self._state = state
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

    def __repr__(self):
        """Model size, samples, accepted samples and passes."""
        return (f"<polyest.Result npoly={self.npoly} samples={self.samples} "
                f"accepted={self.solutions[-1].accepted} passes={self.passes}>")

    def model(self, x, y):
        """Both models at the range samples x and azimuth lines y (broadcast together).

        Returns (range offsets, azimuth offsets) as float64 arrays of the broadcast shape,
        each value evaluated exactly as the program evaluates it.
        """
        x, y = np.broadcast_arrays(np.asarray(x, dtype=np.float64),
                                   np.asarray(y, dtype=np.float64))
        x, y = np.ascontiguousarray(x), np.ascontiguousarray(y)
        return (_core.poly_values(self.range_poly, x, y, False)[()],
                _core.poly_values(self.azimuth_poly, x, y, True)[()])

    def to_dict(self):
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


def fit(offs, cc, par=None, npoly=4, thres=None, geometry=None):
    """The program's automatic run on two grids: the first fit, then culling until it settles.

    offs: complex64 grid (range offset + 1j * azimuth offset), cc: float32 grid of one shape,
    native or big-endian, any strides (a native C-contiguous array is used without a copy).
    par: the dict of read_par, whose grid size must be the arrays' shape; or, instead of par,
    geometry=(starting_range, range_spacing, starting_azimuth, azimuth_spacing), and then thres
    is needed. npoly: 1, 3, 4 or 6 model terms. thres: the cross-correlation threshold (None:
    the par's offset_estimation_threshold). Returns a Result. The arrays must not change until
    the Result's files are written. Runs without the GIL.
    """
    state, thres = _start(offs, cc, par, npoly, thres, geometry, False)
    state.cull_automatically(thres)
    return Result(state)


class Estimator:
    """The program's interactive mode as calls: culling passes with the caller's bounds.

    Takes the arguments of fit. solution is the first fit; cull runs one pass and returns its
    Solution; result() ends the culling and returns the Result of the last solution.
    """

    def __init__(self, offs, cc, par=None, npoly=4, thres=None, geometry=None):
        """Selects the samples and fits the first solution (arguments as for fit)."""
        self._state, self._thres = _start(offs, cc, par, npoly, thres, geometry, True)
        self._result = None

    @property
    def solution(self):
        """The first fit, over every sample."""
        return Solution._of(self._state.solutions()[0], True)

    def cull(self, cc_threshold, range_limit, azimuth_limit):
        """One culling pass: culls every sample whose cross-correlation is at or below
        cc_threshold (None: the last one given, at first thres) or whose residual of the last
        solution reaches range_limit or azimuth_limit (samples), then refits both models.
        Culled samples stay culled. Returns the new Solution; raises Error (and the estimation
        ends) when too few samples are left.
        """
        if cc_threshold is None:
            cc_threshold = self._thres
        bounds = []
        for value, name in ((cc_threshold, "cc_threshold"), (range_limit, "range_limit"),
                            (azimuth_limit, "azimuth_limit")):
            try:
                bounds.append(float(value))
            except (TypeError, ValueError):
                raise ValueError(f"{name} must be a number, not {value!r}") from None
        solution = Solution._of(self._state.cull(*bounds))
        self._thres = bounds[0]
        return solution

    def result(self):
        """Ends the culling: the Result of the last solution (the same object on every call)."""
        if self._result is None:
            self._result = Result(self._state)
        return self._result


def write_outputs(result, coffs=None, coffsets=None):
    """Writes the program's culled offsets files of a Result, byte for byte.

    coffs: path of the grid (big-endian complex64; surviving samples hold their offsets, other
    cells 0); coffsets: path of the text list (one line per surviving sample). None: not written.
    """
    if coffs is not None:
        result._state.write_grid(os.fsencode(coffs))
    if coffsets is not None:
        result._state.write_list(os.fsencode(coffsets))


def update_par(path, result):
    """Rewrites the KOLT_par file at path as the program does at the end of a run.

    The file is read as the program reads it (its warnings are ParWarning warnings), its two
    polynomials are set to the result's and it is rewritten in place in the program's layout.
    """
    _warn_lines(_core.update_par(os.fsencode(path), result.range_poly, result.azimuth_poly))
