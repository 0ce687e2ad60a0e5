#!/bin/sh
# The package as cmake --install puts it: under the user base of a home folder (~/.local) it
# imports from any folder with no setting and the install prints no line to add; under a prefix
# the interpreter does not search, it imports once the line the install prints is run, and its
# command line works.
# Usage: install.sh <build> <python>
set -eu
build=$1 python=$2
home=$(mktemp -d)
trap 'rm -rf "$home"' EXIT
imported() { (cd /tmp && "$python" -c 'import polyest; print(polyest.__file__)'); }

said=$(HOME=$home cmake --install "$build" --prefix "$home/.local" 2>&1)
if printf '%s\n' "$said" | grep -q PYTHONPATH; then echo "a line to add for ~/.local"; exit 1; fi
file=$(HOME=$home imported)
case $file in
  "$home"/.local/lib/python3*/site-packages/polyest/__init__.py) ;;
  *) echo "with HOME=$home the package imported is $file"; exit 1 ;;
esac

line=$(cmake --install "$build" --prefix "$home/other" 2>&1 | grep '^  export PYTHONPATH=')
eval "$line"
file=$(imported)
case $file in
  "$home"/other/*) ;;
  *) echo "after '$line' the package imported is $file"; exit 1 ;;
esac
(cd /tmp && "$python" -m polyest -h >/dev/null)
