"""The files an estimation reads, so that none of its outputs overwrites one of them: the files
of the arrays of read_grids and of the dict of read_par, and the check of the output paths.

A file is the same as another when both exist and have one device and inode (a link to an
input is the input), or, for a file not yet there, when the resolved paths are equal.
"""

from __future__ import annotations

import os
import weakref
from typing import Any, Dict, Iterable, NamedTuple, Optional, Tuple, Union

import numpy as np
import numpy.typing as npt

Path = Union[str, bytes, "os.PathLike[str]", "os.PathLike[bytes]"]


class File(NamedTuple):
    """A file of the run: its resolved path and, when it exists, its device and inode."""
    resolved: bytes
    device_inode: Optional[Tuple[int, int]]


def file_identity(path: Path) -> File:
    """The identity of the file at path (device and inode None when it is not there)."""
    try:
        st = os.stat(path)
        device_inode: Optional[Tuple[int, int]] = (st.st_dev, st.st_ino)
    except OSError:
        device_inode = None
    return File(os.path.realpath(os.fsencode(path)), device_inode)


def same_file(a: File, b: File) -> bool:
    """One existing file (device and inode), or one path where a file is not there yet."""
    if a.device_inode is not None and b.device_inode is not None:
        return a.device_inode == b.device_inode
    return a.resolved == b.resolved


def refuse_overwriting(inputs: Iterable[File], outputs: Iterable[Optional[Path]]) -> None:
    """ValueError with the program's message for the first output that is an input or an
    earlier output; checked before any output is opened."""
    files = list(inputs)
    for path in outputs:
        if path is None:
            continue
        output = file_identity(path)
        if any(same_file(output, f) for f in files):
            raise ValueError("output file is also an input or output file of this run: "
                             + os.fsdecode(path))
        files.append(output)


class Inputs(NamedTuple):
    """The files an estimation's grids and par were read from, those known."""
    grids: Tuple[File, ...] = ()
    par: Optional[File] = None

    def files(self) -> Tuple[File, ...]:
        return self.grids + ((self.par,) if self.par else ())


class Par(Dict[str, Any]):
    """The dict of read_par, which knows its file."""
    file: Optional[File] = None


# The grid files of the arrays of read_grids, by the array's id while it lives.
grid_files: Dict[int, Tuple["weakref.ref[np.ndarray[Any, Any]]", File]] = {}


def remember_file(array: npt.NDArray[Any], file: File) -> None:
    key = id(array)
    grid_files[key] = (weakref.ref(array), file)
    weakref.finalize(array, forget_file, key)


def forget_file(key: int) -> None:
    grid_files.pop(key, None)


def files_of(array: Any) -> Tuple[File, ...]:
    """The files that array (or the array it is a view of) was read from by read_grids."""
    found: Tuple[File, ...] = ()
    while array is not None:
        entry = grid_files.get(id(array))
        if entry is not None and entry[0]() is array:
            found += (entry[1],)
        array = getattr(array, "base", None)
    return found
