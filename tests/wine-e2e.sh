#!/usr/bin/env bash
# Runs the end-to-end tests against the Windows build under Wine, in a fresh
# Wine prefix that is initialised first (Wine's first start prints lines of
# its own on standard error, which would spoil the comparisons).
#
#   tests/wine-e2e.sh SONVEX_EXE TEST_BINARY...
set -euo pipefail
exe=$(realpath "$1"); shift
prefix=$(mktemp -d)
trap 'wineserver -k >/dev/null 2>&1 || true; rm -rf "$prefix"' EXIT
export WINEPREFIX="$prefix" WINEDEBUG=-all
wineboot -i >/dev/null 2>&1
wineserver -w
export SONVEX_CMD="wine $exe" SONVEX_EOL=crlf
for test in "$@"; do
  "$test"
done
