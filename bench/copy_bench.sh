#!/usr/bin/env bash
# Copies a 1 GiB file with --copy and with cp, page cache warm, and prints
# the best time of each and their ratio.  Then reads a generated 50 MB
# configuration with --readcfg and prints its time and peak memory.
#
#   bench/copy_bench.sh [path/to/xhistory_fsutil] [runs]
#
# Everything happens in a fresh directory under ${TMPDIR:-/tmp}.
set -eu
here=$(cd "$(dirname "$0")/.." && pwd)
prog=${1:-$here/build/native/xhistory_fsutil}
runs=${2:-5}
[ -x "$prog" ] || { echo "no program at $prog" >&2; exit 2; }

dir=$(mktemp -d "${TMPDIR:-/tmp}/xh_bench.XXXXXX")
trap 'rm -rf "$dir"' EXIT

now() { date +%s.%N; }
seconds() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.3f", b - a }'; }
smaller() { awk -v a="$1" -v b="$2" 'BEGIN { print (b < a ? b : a) }'; }

# Random bytes, so that no layer can shortcut zeros.
head -c 1073741824 /dev/urandom >"$dir/src"
cat "$dir/src" >/dev/null

best_ours=1e9
best_cp=1e9
for ((i = 0; i < runs; ++i)); do
  rm -f "$dir/a" "$dir/b"
  sync
  t0=$(now)
  "$prog" --copy "$dir/src" "$dir/a" >"$dir/lines"
  t1=$(now)
  cp "$dir/src" "$dir/b"
  t2=$(now)
  ours=$(seconds "$t0" "$t1")
  theirs=$(seconds "$t1" "$t2")
  echo "run $i: --copy ${ours}s  cp ${theirs}s"
  best_ours=$(smaller "$best_ours" "$ours")
  best_cp=$(smaller "$best_cp" "$theirs")
done
cmp "$dir/src" "$dir/a"
[ "$(grep -c '^copy_pct ' "$dir/lines")" = 100 ] && tail -1 "$dir/lines" | grep -qx 'copy_done '
awk -v o="$best_ours" -v c="$best_cp" 'BEGIN {
  printf "copy 1 GiB, best of runs: --copy %.3fs, cp %.3fs, ratio --copy/cp %.2f\n", o, c, o / c }'
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
