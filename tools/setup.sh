#!/usr/bin/env bash
# Installs the Debian packages that the named steps need (tools/packages) and this machine
# lacks. As root it runs apt-get; otherwise it stops at once with the one command to run.
# Usage: bash tools/setup.sh STEP...
set -euo pipefail
list="$(dirname "$0")/packages"
missing=""
for step in "$@"; do
  packages=$(sed -n "s/^$step: *//p" "$list")
  if [ -z "$packages" ]; then
    echo "setup: no step '$step' in $list" >&2
    exit 2
  fi
  for p in $packages; do
    case " $missing " in *" $p "*) continue ;; esac
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'ok installed' || missing="$missing $p"
  done
done
[ -z "$missing" ] && exit 0
if [ "$(id -u)" != 0 ]; then
  echo "setup: missing Debian packages; as root, run:" >&2
  echo "  apt-get install -y$missing" >&2
  exit 1
fi
echo "setup: installing$missing"
export DEBIAN_FRONTEND=noninteractive
apt-get update -qq >/dev/null
apt-get install -y -qq $missing >/dev/null
