#!/usr/bin/env bash
# Runs the end-to-end tests against another build of the program: the
# Windows build under Wine, or a Linux build for another processor under
# qemu-user. Exits 77, which CTest reports as skipped, when the program has
# not been built or its runner is not installed.
#
#   tests/other-build-e2e.sh RUNNER PROGRAM TEST_PROGRAM...
#
# RUNNER is wine, qemu-aarch64 or qemu-s390x.
set -euo pipefail
runner=$1 program=$2
shift 2
if [ ! -e "$program" ]; then
  echo "skipped: $program has not been built (see README.md, Platforms)"
  exit 77
fi
if ! command -v "$runner" >/dev/null; then
  echo "skipped: $runner is not installed"
  exit 77
fi
program=$(realpath "$program")
case "$runner" in
  wine)
    # A fresh prefix, initialised first: Wine's first start prints lines of
    # its own on standard error, which would spoil the comparisons.
    prefix=$(mktemp -d)
    trap 'wineserver -k >/dev/null 2>&1 || true; rm -rf "$prefix"' EXIT
    export WINEPREFIX="$prefix" WINEDEBUG=-all
    wineboot -i >/dev/null 2>&1
    wineserver -w
    export SONVEX_CMD="wine $program" SONVEX_EOL=crlf
    ;;
  qemu-*)
    # qemu-user runs the program as a Linux process of this machine, so the
    # POSIX tests apply; those that need the host's own limits skip.
    export SONVEX_CMD="$runner $program" SONVEX_CMD_POSIX=1 SONVEX_CMD_EMULATED=1
    ;;
esac
for test in "$@"; do
  "$test"
done
