#!/usr/bin/env bash
# Installs the Debian packages that the named steps need (tools/packages) and this machine
# lacks. As root it runs apt-get; otherwise it stops at once with the one command to run when a
# needed package is missing, and only says so when the missing ones are optional ("?"), as an
# ordinary user installing into a prefix of their own can go on without them.
# Usage: bash tools/setup.sh STEP...
set -euo pipefail
list="$(dirname "$0")/packages"
missing="" optional=""
for step in "$@"; do
  packages=$(sed -n "s/^$step: *//p" "$list")
  if [ -z "$packages" ]; then
    echo "setup: no step '$step' in $list" >&2
    exit 2
  fi
  for p in $packages; do
    name=${p#\?}
    case " $missing $optional " in *" $name "*) continue ;; esac
    dpkg-query -W -f='${Status}' "$name" 2>/dev/null | grep -q 'ok installed' && continue
    if [ "$name" = "$p" ]; then missing="$missing $name"; else optional="$optional $name"; fi
  done
done
[ -z "$missing$optional" ] && exit 0
if [ "$(id -u)" != 0 ]; then
  if [ -n "$missing" ]; then
    echo "setup: missing Debian packages; as root, run:" >&2
    echo "  apt-get install -y$missing$optional" >&2
    exit 1
  fi
  echo "setup: optional Debian packages missing (what needs them is left out); as root, run:" >&2
  echo "  apt-get install -y$optional" >&2
  exit 0
fi
echo "setup: installing$missing$optional"
export DEBIAN_FRONTEND=noninteractive
apt-get update -qq >/dev/null
apt-get install -y -qq $missing$optional >/dev/null
