#!/usr/bin/env bash
# Times `kestrow-cli extract-all` against `tar -C BACKUP -cf - . | tar -C OUT -xf -` of the same
# backup folder: 20,000 files / 200 MB in each manifest layout and 200,000 files / 2 GB in the
# current one, all encrypted, on the disk (BENCH_DIR, default build/bench-work) and on /dev/shm.
# Five runs of each, alternating; prints the median ratio and Kestrow's peak memory.
# Targets: at most 1.0 x tar on tmpfs and 1.3 x on disk; peak memory under 64 MiB at 20,000 files
# and under 150 MiB at 200,000.   Usage: bench/extract_vs_tar.sh [small]  (small: 20,000 files only)
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/build release >/dev/null
bin=build/release
cli="$PWD/$bin/src/cli/kestrow-cli"
mkbench="$PWD/$bin/bench/kestrow-mkbench"
disk="${BENCH_DIR:-$PWD/build/bench-work}"
runs=5
export KESTROW_PASSWORD=bench

cases=("mbdb 20000 200000000" "current 20000 200000000")
if [[ "${1:-}" != "small" ]]; then
  cases+=("current 200000 2000000000")
fi

median() { sort -g | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }

# Seconds and peak KiB of one command (GNU time when installed).
timed() {
  if [[ -x /usr/bin/time ]]; then
    /usr/bin/time -f "%e %M" -o "$work/time" "$@" >/dev/null 2>&1
    cat "$work/time"
  else
    local start end
    start=$(date +%s.%N)
    "$@" >/dev/null 2>&1
    end=$(date +%s.%N)
    echo "$(echo "$end - $start" | bc) 0"
  fi
}

for place in "$disk" /dev/shm/kestrow-bench; do
  for entry in "${cases[@]}"; do
    read -r layout files bytes <<<"$entry"
    work="$place/$layout-$files"
    rm -rf "$work"
    mkdir -p "$work/root"
    "$mkbench" "$work/root" "$layout" "$files" "$bytes" >/dev/null
    backup=$(ls -d "$work"/root/*/)
    ratios=()
    peaks=()
    for ((run = 1; run <= runs; run++)); do
      rm -rf "$work/out-k" "$work/out-t"
      read -r k peak < <(timed "$cli" --root "$work/root" extract-all 0 "$work/out-k")
      mkdir -p "$work/out-t"
      read -r t _ < <(timed sh -c "tar -C '$backup' -cf - . | tar -C '$work/out-t' -xf -")
      ratios+=("$(echo "scale=3; $k / $t" | bc)")
      peaks+=("$peak")
      echo "  run $run: kestrow ${k}s, tar ${t}s"
    done
    ratio=$(printf '%s\n' "${ratios[@]}" | median)
    peak=$(printf '%s\n' "${peaks[@]}" | sort -n | tail -1)
    printf '%-28s %-8s %7s files: median kestrow/tar = %s, peak %s MiB\n' "$place" "$layout" "$files" "$ratio" \
      "$((peak / 1024))"
    rm -rf "$work"
  done
done
rm -rf /dev/shm/kestrow-bench
