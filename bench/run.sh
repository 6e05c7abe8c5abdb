#!/usr/bin/env bash
# Benchmark: sonvex against `cat IN > OUT` on the same 256 MiB files, in
# alternating runs, per layout; the peak resident memory of each conversion;
# and the block reversal against memcpy (Google Benchmark).
#
#   bench/run.sh                 the whole benchmark
#   bench/run.sh --near-limit    also convert a 3.9 GiB data chunk (needs ~12 GiB of disk)
#
# PAIRS (default 9) sets the number of alternating pairs; BENCH_DIR (default
# build/bench-data) where the inputs and outputs go.
set -euo pipefail
cd "$(dirname "$0")/.."

near_limit=0
[ "${1:-}" = "--near-limit" ] && near_limit=1
pairs=${PAIRS:-9}
data_dir=${BENCH_DIR:-build/bench-data}

cmake --preset default >/dev/null
cmake --build --preset default -j2 --target sonvex sonvex_make_input sonvex_reverse_bench >/dev/null
sonvex=build/default/sonvex
make_input=build/default/bench/sonvex_make_input
mkdir -p "$data_dir"

now_ns() { date +%s%N; }

median() { sort -g | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }

# Peak resident set size in KiB of one conversion.
peak_kib() { /usr/bin/time -f '%M' "$sonvex" "$1" "$2" 2>&1 >/dev/null | tail -n 1; }

compare() {  # name bits channels data_bytes
  local name=$1 in="$data_dir/$1.wav" out="$data_dir/$1-out.wav" copy="$data_dir/$1-cat.wav"
  [ -f "$in" ] || "$make_input" "$in" "$2" "$3" "$4"
  cat "$in" >/dev/null  # into the page cache
  "$sonvex" "$in" "$out" >/dev/null 2>&1; cat "$in" >"$copy"  # warm up both outputs
  local cat_times=() sonvex_times=() t0 t1
  for _ in $(seq "$pairs"); do
    t0=$(now_ns); cat "$in" >"$copy"; t1=$(now_ns); cat_times+=($(( t1 - t0 )))
    t0=$(now_ns); "$sonvex" "$in" "$out" >/dev/null 2>&1; t1=$(now_ns); sonvex_times+=($(( t1 - t0 )))
  done
  local cat_ms sonvex_ms ratios=() i
  cat_ms=$(printf '%s\n' "${cat_times[@]}" | median | awk '{ printf "%.1f", $1 / 1e6 }')
  sonvex_ms=$(printf '%s\n' "${sonvex_times[@]}" | median | awk '{ printf "%.1f", $1 / 1e6 }')
  for i in "${!cat_times[@]}"; do
    ratios+=("$(awk -v s="${sonvex_times[$i]}" -v c="${cat_times[$i]}" 'BEGIN { print s / c }')")
  done
  local ratio peak data_mib
  ratio=$(printf '%s\n' "${ratios[@]}" | median)
  peak=$(peak_kib "$in" "$out")
  data_mib=$(( $4 / 1048576 ))
  printf '%-14s cat %7s ms  sonvex %7s ms  median ratio %.3f  peak RSS %6.1f MiB (data %d MiB, bound %d MiB)\n' \
    "$name" "$cat_ms" "$sonvex_ms" "$ratio" "$(awk -v k="$peak" 'BEGIN { print k / 1024 }')" "$data_mib" $(( data_mib + 8 ))
  rm -f "$out" "$copy"
}

echo "== conversion against cat, $pairs alternating pairs, 256 MiB of data each"
size=$(( 256 * 1048576 ))
compare 16bit-stereo 16 2 "$size"
compare 8bit-mono 8 1 "$size"
compare 16bit-mono 16 1 "$size"

echo
echo "== block reversal against memcpy of the same bytes"
build/default/bench/sonvex_reverse_bench --benchmark_min_time=0.5

if [ "$near_limit" = 1 ]; then
  echo
  echo "== near the format's limit: a 3.9 GiB data chunk"
  big=$(( 3900 * 1048576 ))
  in="$data_dir/near-limit.wav"
  [ -f "$in" ] || "$make_input" "$in" 16 2 "$big"
  peak=$(peak_kib "$in" "$data_dir/near-limit-once.wav")
  "$sonvex" "$data_dir/near-limit-once.wav" "$data_dir/near-limit-twice.wav" >/dev/null 2>&1
  if cmp -s "$in" "$data_dir/near-limit-twice.wav" && ! cmp -s "$in" "$data_dir/near-limit-once.wav"; then
    echo "converted and restored: correct"
  else
    echo "near-limit conversion FAILED"; exit 1
  fi
  printf 'peak RSS %.1f MiB for %d MiB of data (bound %d MiB)\n' "$(awk -v k="$peak" 'BEGIN { print k / 1024 }')" 3900 3908
  rm -f "$in" "$data_dir/near-limit-once.wav" "$data_dir/near-limit-twice.wav"
fi
