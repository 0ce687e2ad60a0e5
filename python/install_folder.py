"""Where the polyest package is installed for an install prefix, as the interpreter running
this script sees it (run with -E, so that no PYTHON* setting of the installing user counts).

Usage: python3 -E install_folder.py PREFIX [FOLDER]
Prints two lines: the package folder (PREFIX/FOLDER when FOLDER is given; else the user's
site-packages when PREFIX is the user base, e.g. ~/.local, else the site or dist-packages
folder under PREFIX on the interpreter's path, else PREFIX's site-packages of the standard
layout), then "searched" when the interpreter imports from that folder with no setting, or
"not searched".
"""
import os
import site
import sys
import sysconfig


def package_folder(prefix, folder):
    """The folder and whether the interpreter searches it."""
    real = os.path.realpath(prefix)
    searched = [os.path.realpath(p) for p in sys.path if p]
    if folder:
        path = os.path.join(prefix, folder)
        return path, os.path.realpath(path) in searched
    if site.ENABLE_USER_SITE and os.path.realpath(site.getuserbase()) == real:
        return site.getusersitepackages(), True
    for path in searched:  # PREFIX/lib/.../site-packages (not /usr/local/lib/... for /usr)
        inside = os.path.relpath(path, real).split(os.sep)
        if inside[0] == "lib" and inside[-1] in ("site-packages", "dist-packages"):
            return path, True
    scheme_vars = {"base": prefix, "platbase": prefix}
    return sysconfig.get_path("purelib", "posix_prefix", vars=scheme_vars), False


if __name__ == "__main__":
    path, searched = package_folder(sys.argv[1], sys.argv[2] if len(sys.argv) > 2 else "")
    print(path)
    print("searched" if searched else "not searched")
