#!/usr/bin/env bash
# Copies a 1 GiB file with --copy and with cp, page cache warm, and prints
# the best time of each and their ratio.  Then reads a generated 50 MB
# configuration with --readcfg and prints its time and peak memory.
#
#   bench/copy_bench.sh [path/to/xhistory_fsutil] [runs]
#
# Everything happens in a fresh directory under ${TMPDIR:-/tmp}; with
# TMPDIR=/dev/shm no disk write-back takes part.
set -eu
here=$(cd "$(dirname "$0")/.." && pwd)
prog=${1:-$here/build/native/xhistory_fsutil}
runs=${2:-5}
[ -x "$prog" ] || { echo "no program at $prog" >&2; exit 2; }

dir=$(mktemp -d "${TMPDIR:-/tmp}/xh_bench.XXXXXX")
trap 'rm -rf "$dir"' EXIT

smaller() { awk -v a="$1" -v b="$2" 'BEGIN { print (b < a ? b : a) }'; }

# Random bytes, so that no layer can shortcut zeros.
head -c 1073741824 /dev/urandom >"$dir/src"
cat "$dir/src" >/dev/null

best_ours=1e9
best_cp=1e9
# Wall time, and CPU time (user + system), which a busy machine disturbs
# less.
# timed OUT COMMAND...: standard output to OUT; prints "wall cpu".
timed() {
  local out=$1
  shift
  /usr/bin/time -f "%e %U %S" -o "$dir/usage" "$@" >"$out"
  awk '{ printf "%s %.2f\n", $1, $2 + $3 }' "$dir/usage"
}
best_ours_cpu=1e9
best_cp_cpu=1e9
for ((i = 0; i < runs; ++i)); do
  rm -f "$dir/a" "$dir/b"
  sync
  # Alternate the order, so that neither copy always pays for the other's
  # write-back.
  if ((i % 2 == 0)); then
    read -r ours ours_cpu < <(timed "$dir/lines" "$prog" --copy "$dir/src" "$dir/a")
    read -r theirs theirs_cpu < <(timed /dev/null cp "$dir/src" "$dir/b")
  else
    read -r theirs theirs_cpu < <(timed /dev/null cp "$dir/src" "$dir/b")
    read -r ours ours_cpu < <(timed "$dir/lines" "$prog" --copy "$dir/src" "$dir/a")
  fi
  echo "run $i: --copy ${ours}s (cpu ${ours_cpu}s)  cp ${theirs}s (cpu ${theirs_cpu}s)"
  best_ours=$(smaller "$best_ours" "$ours")
  best_cp=$(smaller "$best_cp" "$theirs")
  best_ours_cpu=$(smaller "$best_ours_cpu" "$ours_cpu")
  best_cp_cpu=$(smaller "$best_cp_cpu" "$theirs_cpu")
done
cmp "$dir/src" "$dir/a"
[ "$(grep -c '^copy_pct ' "$dir/lines")" = 100 ] && tail -1 "$dir/lines" | grep -qx 'copy_done '
awk -v o="$best_ours" -v c="$best_cp" -v oc="$best_ours_cpu" -v cc="$best_cp_cpu" 'BEGIN {
  printf "copy 1 GiB, best of runs: --copy %.2fs, cp %.2fs, ratio --copy/cp %.2f\n", o, c, o / c
  printf "cpu time, best of runs: --copy %.2fs, cp %.2fs, ratio %.2f\n", oc, cc, oc / cc }'
rm -f "$dir/src" "$dir/a" "$dir/b"

# About 50 MB of configuration: sections of items with bare and quoted
# values, comments and nesting.
awk 'BEGIN {
  for (s = 0; bytes < 50000000; ++s) {
    line = sprintf("section%d = \"group %d\" {\n", s, s); printf "%s", line; bytes += length(line)
    for (i = 0; i < 40; ++i) {
      if (i % 10 == 0) line = sprintf("  # note %d\n", i)
      else if (i % 3 == 0) line = sprintf("  key%d = \"C:\\\\some dir\\\\file %d.txt\"\n", i, i)
      else line = sprintf("  key%d = value_%d_%d\n", i, s, i)
      printf "%s", line; bytes += length(line)
    }
    printf "  inner {\n    flag\n  }\n}\n"; bytes += 24
  }
}' >"$dir/big.cfg"
size=$(stat -c %s "$dir/big.cfg")
cat "$dir/big.cfg" >/dev/null
best=1e9
for ((i = 0; i < runs; ++i)); do
  /usr/bin/time -f "%e %M" -o "$dir/usage" "$prog" --readcfg "$dir/big.cfg" >"$dir/cfg_lines"
  read -r t kib <"$dir/usage"
  echo "readcfg run $i: ${t}s, peak ${kib} KiB"
  best=$(smaller "$best" "$t")
done
lines=$(wc -l <"$dir/cfg_lines")
echo "readcfg of $size bytes: best ${best}s, $lines lines, peak resident ${kib} KiB"
