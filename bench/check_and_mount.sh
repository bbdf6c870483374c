#!/usr/bin/env bash
# Times `check` and the FUSE mount on generated encrypted current-layout backups:
#   check of 200,000 files (target < 10 s) and check --deep against extract-all into tmpfs (<= 1.2 x);
#   through the mount: cat of a 256 MiB file against `extract` of it into tmpfs (>= 70 % of its
#   throughput), `find MOUNTPOINT | wc -l` over 200,000 files (< 5 s), a random 4 KiB read of a
#   1 GiB file (< 5 ms, median of 200), and the mount process's peak memory at 200,000 files (< 150 MiB).
# Needs root or /dev/fuse with fusermount3.  Usage: bench/check_and_mount.sh [FILES [BYTES]]
# (default 200000 files, 2 GB; BIN=build dir, default build/release).
set -euo pipefail
cd "$(dirname "$0")/.."
bin="${BIN:-build/release}"
[[ -n "${BIN:-}" ]] || scripts/build release >/dev/null
cli="$PWD/$bin/src/cli/kestrow-cli"
mkbench="$PWD/$bin/bench/kestrow-mkbench"
[[ -x "$mkbench" ]] || mkbench="$PWD/$bin/tests/support/kestrow-mkbench"
files="${1:-200000}"
bytes="${2:-2000000000}"
work="${BENCH_DIR:-$PWD/build/bench-work}/check-mount"
shm=/dev/shm/kestrow-check-bench
export KESTROW_PASSWORD=bench
rm -rf "$work" "$shm"
mkdir -p "$work/many" "$work/big" "$work/huge" "$work/mnt" "$shm"

seconds() { local s e; s=$(date +%s.%N); "$@" >/dev/null 2>&1 || true; e=$(date +%s.%N); echo "$e - $s" | bc; }

echo "writing backups ..."
"$mkbench" "$work/many" current "$files" "$bytes" >/dev/null
"$mkbench" "$work/big" current 1 $((5 * 268435456)) >/dev/null   # one file of 256 MiB
"$mkbench" "$work/huge" current 1 $((5 * 1073741824)) >/dev/null  # one file of 1 GiB

echo "check ($files files): $(seconds "$cli" --root "$work/many" check 0) s"
deep=$(seconds "$cli" --root "$work/many" check 0 --deep)
extract=$(seconds "$cli" --root "$work/many" extract-all 0 "$shm/out")
rm -rf "$shm/out"
echo "check --deep: $deep s; extract-all into tmpfs: $extract s; ratio $(echo "scale=2; $deep / $extract" | bc)"

mounted() { # ROOT: mounts backup 0 of ROOT on $work/mnt in the background
  "$cli" --root "$1" mount 0 "$work/mnt" 2>/dev/null &
  pid=$!
  for _ in $(seq 500); do mountpoint -q "$work/mnt" && return; sleep 0.02; done
  echo "mount failed" >&2; exit 1
}
unmounted() { kill -TERM "$pid"; wait "$pid" || true; }

key=$("$cli" --root "$work/big" files 0 | cut -f1)
extract=$(seconds "$cli" --root "$work/big" extract 0 "$key" "$shm/big")
rm -f "$shm/big"
mounted "$work/big"
cat_s=$(seconds cat "$work/mnt/$key")
unmounted
echo "256 MiB: extract $extract s, cat through the mount $cat_s s: $(echo "scale=0; 100 * $extract / $cat_s" | bc) % of extract's throughput"

key=$("$cli" --root "$work/huge" files 0 | cut -f1)
mounted "$work/huge"
python3 - "$work/mnt/$key" <<'PY'
import os, random, statistics, sys, time
fd = os.open(sys.argv[1], os.O_RDONLY)
size = os.fstat(fd).st_size
random.seed(7)
times = []
for _ in range(200):
    offset = random.randrange(0, size - 4096)
    start = time.perf_counter()
    os.pread(fd, 4096, offset)
    times.append((time.perf_counter() - start) * 1000)
print(f"random 4 KiB read of a {size >> 20} MiB file: median {statistics.median(times):.2f} ms, max {max(times):.2f} ms")
PY
unmounted

mounted "$work/many"
start=$(date +%s.%N)
count=$(find "$work/mnt" | wc -l)
echo "find over the mount: $count names in $(echo "$(date +%s.%N) - $start" | bc) s"
ls -lR "$work/mnt" >/dev/null
echo "mount process peak memory after find and ls -lR: $(($(grep VmHWM /proc/$pid/status | awk '{print $2}') / 1024)) MiB"
unmounted
rm -rf "$work" "$shm"
