#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Installs the Debian 12 packages the build, the run and the tests need.
# Safe to run again: it only calls apt-get when something is missing.
set -euo pipefail

pkgs=(
  build-essential cmake pkg-config
  qt6-base-dev qt6-serialport-dev libgl-dev
  libgtest-dev libgmock-dev googletest
  fonts-liberation2
  xvfb xauth xdotool  # the run script and the desktop benchmark
  libhamlib-utils
  clang libclang-rt-14-dev llvm  # the fuzzers: compiler, libFuzzer and sanitizer runtimes, symbolizer
  dpkg-dev lintian appstream desktop-file-utils man-db  # the Debian package and its checks
)

missing=()
for p in "${pkgs[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "ok installed"; then
    missing+=("$p")
  fi
done

if [ "${#missing[@]}" -eq 0 ]; then
  exit 0
fi

echo "setup: installing ${missing[*]}"
SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -qq
$SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
