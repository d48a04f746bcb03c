#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Runs a program beside the simulated radio: starts qv7m-radio in a working
# directory (a fresh scratch one unless --dir is given) so that its COM1 link
# sits next to the program's own files, runs the program there, and stops the
# radio when the program ends. The radio's log is DIR/radio.log.
#
#   sim/run-with-radio.sh [--dir DIR] [--radio 'OPTIONS'] PROGRAM [ARGS...]
#
# QV7M_SIM names the simulator (default: build/sim/qv7m-radio of this tree).
set -euo pipefail

here=$(cd "$(dirname "$0")/.." && pwd)
sim=${QV7M_SIM:-$here/build/sim/qv7m-radio}
dir=""
radio_opts=""
while [ $# -gt 0 ]; do
  case "$1" in
    --dir) dir=$2; shift 2 ;;
    --radio) radio_opts=$2; shift 2 ;;
    --) shift; break ;;
    *) break ;;
  esac
done
if [ $# -eq 0 ]; then
  echo "usage: $0 [--dir DIR] [--radio 'OPTIONS'] PROGRAM [ARGS...]" >&2
  exit 2
fi
if [ ! -x "$sim" ]; then
  echo "$0: no simulator at $sim (build the qv7m-radio target first)" >&2
  exit 2
fi
program=$(command -v "$1" || true)
case "$1" in */*) program=$(cd "$(dirname "$1")" && pwd)/$(basename "$1") ;; esac
if [ -z "$program" ]; then
  echo "$0: no program $1" >&2
  exit 2
fi
shift
if [ -z "$dir" ]; then dir=$(mktemp -d "${TMPDIR:-/tmp}/qv7m-run-XXXXXX"); fi
mkdir -p "$dir"
cd "$dir"

# shellcheck disable=SC2086 # the radio's options are words on purpose
"$sim" --log radio.log $radio_opts COM1 > radio.out 2>&1 &
radio=$!
trap 'kill "$radio" 2>/dev/null; wait "$radio" 2>/dev/null || true' EXIT
for _ in $(seq 100); do
  grep -q '^qv7m-radio: ready' radio.out 2>/dev/null && break
  if ! kill -0 "$radio" 2>/dev/null; then cat radio.out >&2; exit 1; fi
  sleep 0.05
done
grep -q '^qv7m-radio: ready' radio.out || { echo "$0: the radio did not start" >&2; exit 1; }
echo "radio on $dir/COM1 (log: $dir/radio.log)" >&2
status=0
"$program" "$@" || status=$?
exit $status
