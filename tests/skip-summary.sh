#!/usr/bin/env bash
# Lists every test that skipped in the last CTest run of a build folder,
# with the reason it gave, so that a skip shows in the CI log and not only
# inside its own program's output. Lanes that run whole test programs (Wine,
# qemu) are covered too, since CTest logs their output.
#
#   tests/skip-summary.sh BUILD_DIR
set -euo pipefail
log="$1/Testing/Temporary/LastTest.log"
[ -f "$log" ] || { echo "no test log in $1"; exit 0; }
awk -v build="$1" '
  /^[0-9]+\/[0-9]+ Test: / { lane = $0; sub(/^[0-9]+\/[0-9]+ Test: /, "", lane) }
  /: Skipped$/ { getline reason; pending = reason; next }
  /^\[  SKIPPED \] [^ ]+ \(/ {
    name = $4
    printf "  %-70s %s%s\n", name, pending, (lane ~ /Under(Wine|Qemu)$/ ? " [" lane "]" : "")
    pending = ""; count++
  }
  /^skipped: / { printf "  %-70s %s\n", lane, substr($0, 10); count++ }
  END { printf "%d skipped in %s\n", count, build }
' "$log"
