#!/usr/bin/env bash
# Benchmark: sonvex against `cat IN > OUT` on the same 256 MiB files, in
# alternating runs, per layout; what a user would use instead (sox's
# `reverse` and ffmpeg's `areverse`, which reverse the whole file) on the
# same files; the peak resident memory of each; and the block reversal
# against memcpy (Google Benchmark, skipped with a note where it is missing).
#
#   bench/run.sh                 the whole benchmark
#   bench/run.sh --near-limit    also convert a 3.9 GiB data chunk (needs ~12 GiB of disk)
#
# PAIRS (default 9) sets the number of alternating pairs, OTHER_RUNS
# (default 3) the runs of sox and ffmpeg; BENCH_DIR (default
# build/bench-data) where the inputs and outputs go.
set -euo pipefail
cd "$(dirname "$0")/.."

near_limit=0
[ "${1:-}" = "--near-limit" ] && near_limit=1
pairs=${PAIRS:-9}
other_runs=${OTHER_RUNS:-3}
data_dir=${BENCH_DIR:-build/bench-data}

cmake --preset default >/dev/null
cmake --build --preset default -j"$(nproc)" --target sonvex sonvex_make_input >/dev/null
reverse_bench=build/default/bench/sonvex_reverse_bench
if cmake --build --preset default --target help | grep sonvex_reverse_bench >/dev/null; then
  cmake --build --preset default -j"$(nproc)" --target sonvex_reverse_bench >/dev/null
else
  reverse_bench=""
fi
sonvex=build/default/sonvex
make_input=build/default/bench/sonvex_make_input
mkdir -p "$data_dir"

now_ns() { date +%s%N; }

median() { sort -g | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }

# Peak resident set size in KiB of one run of a command.
peak_kib() { /usr/bin/time -f '%M' "$@" 2>&1 >/dev/null | tail -n 1; }

mib() { awk -v k="$1" 'BEGIN { printf "%.1f", k / 1024 }'; }

# The other tools on the same input, timed against the cat median (ms);
# each writes the same sample format as its input.
others() {  # name in cat_ms bits
  local in=$2 out="$data_dir/$1-other.wav" cat_ms=$3 codec
  [ "$4" = 8 ] && codec=pcm_u8 || codec=pcm_s16le
  local -A commands=(
    [sox]="sox $in $out reverse"
    [ffmpeg]="ffmpeg -nostdin -v error -y -i $in -af areverse -c:a $codec $out"
  )
  local tool
  for tool in sox ffmpeg; do
    if ! command -v "$tool" >/dev/null; then
      printf '  %-8s not installed: skipped\n' "$tool"
      continue
    fi
    local times=() t0 t1 ms peak
    for _ in $(seq "$other_runs"); do
      t0=$(now_ns); ${commands[$tool]} >/dev/null 2>&1; t1=$(now_ns); times+=($(( t1 - t0 )))
    done
    ms=$(printf '%s\n' "${times[@]}" | median | awk '{ printf "%.1f", $1 / 1e6 }')
    peak=$(peak_kib ${commands[$tool]})
    printf '  %-8s %8s ms  ratio to cat %6.2f  peak RSS %7s MiB\n' "$tool" "$ms" \
      "$(awk -v a="$ms" -v b="$cat_ms" 'BEGIN { print a / b }')" "$(mib "$peak")"
    rm -f "$out"
  done
}

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
  peak=$(peak_kib "$sonvex" "$in" "$out")
  data_mib=$(( $4 / 1048576 ))
  printf '%s (data %d MiB)\n' "$name" "$data_mib"
  printf '  %-8s %8s ms\n' cat "$cat_ms"
  printf '  %-8s %8s ms  ratio to cat %6.2f  peak RSS %7s MiB (bound %d MiB)\n' \
    sonvex "$sonvex_ms" "$ratio" "$(mib "$peak")" $(( data_mib + 8 ))
  rm -f "$out" "$copy"
  others "$name" "$in" "$cat_ms" "$2"
}

echo "== conversion against cat, $pairs alternating pairs, 256 MiB of data each"
size=$(( 256 * 1048576 ))
compare 16bit-stereo 16 2 "$size"
compare 8bit-mono 8 1 "$size"
compare 16bit-mono 16 1 "$size"

echo
echo "== block reversal against memcpy of the same bytes"
if [ -n "$reverse_bench" ]; then
  "$reverse_bench" --benchmark_min_time=0.5
else
  echo "Google Benchmark is not installed (libbenchmark-dev): skipped"
fi

if [ "$near_limit" = 1 ]; then
  echo
  echo "== near the format's limit: a 3.9 GiB data chunk"
  big=$(( 3900 * 1048576 ))
  in="$data_dir/near-limit.wav"
  [ -f "$in" ] || "$make_input" "$in" 16 2 "$big"
  peak=$(peak_kib "$sonvex" "$in" "$data_dir/near-limit-once.wav")
  "$sonvex" "$data_dir/near-limit-once.wav" "$data_dir/near-limit-twice.wav" >/dev/null 2>&1
  if cmp -s "$in" "$data_dir/near-limit-twice.wav" && ! cmp -s "$in" "$data_dir/near-limit-once.wav"; then
    echo "converted and restored: correct"
  else
    echo "near-limit conversion FAILED"; exit 1
  fi
  printf 'peak RSS %.1f MiB for %d MiB of data (bound %d MiB)\n' "$(awk -v k="$peak" 'BEGIN { print k / 1024 }')" 3900 3908
  rm -f "$in" "$data_dir/near-limit-once.wav" "$data_dir/near-limit-twice.wav"
fi
