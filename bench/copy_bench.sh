#!/usr/bin/env bash
# Copies a 1 GiB file with --copy and with cp, page cache warm, alternately,
# and prints the median time of each and their ratio.  Then reads a
# generated 50 MB configuration with --readcfg and prints its time and peak
# memory.
#
#   bench/copy_bench.sh [path/to/xhistory_fsutil] [runs] [other builds...]
#
# Other builds of the program (say, one from before a change) take part in
# the same rounds, so that their medians compare directly.  With
# XH_BENCH_READCFG=0 only the copy is timed.  Everything
# happens in a fresh directory under ${TMPDIR:-/tmp}; with TMPDIR=/dev/shm
# no disk write-back takes part.
set -eu
here=$(cd "$(dirname "$0")/.." && pwd)
prog=${1:-$here/build/native/xhistory_fsutil}
runs=${2:-5}
progs=("$prog")
if [ $# -gt 2 ]; then progs+=("${@:3}"); fi
for p in "${progs[@]}"; do
  [ -x "$p" ] || { echo "no program at $p" >&2; exit 2; }
done

dir=$(mktemp -d "${TMPDIR:-/tmp}/xh_bench.XXXXXX")
trap 'rm -rf "$dir"' EXIT

smaller() { awk -v a="$1" -v b="$2" 'BEGIN { print (b < a ? b : a) }'; }
median() { sort -g | awk '{ v[NR] = $1 } END { print (NR % 2 ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2) }'; }

# Random bytes, so that no layer can shortcut zeros.
head -c 1073741824 /dev/urandom >"$dir/src"
cat "$dir/src" >/dev/null

# Wall time, and CPU time (user + system), which a busy machine disturbs
# less.
# timed OUT COMMAND...: standard output to OUT; prints "wall cpu".
timed() {
  local out=$1
  shift
  /usr/bin/time -f "%e %U %S" -o "$dir/usage" "$@" >"$out"
  awk '{ printf "%s %.2f\n", $1, $2 + $3 }' "$dir/usage"
}

# Contender 0 is cp, then each program.  Every round runs all of them, in
# an order that rotates from round to round, so that neither always pays
# for another's write-back; each copy goes to a fresh name.
n=$((${#progs[@]} + 1))
label() { if [ "$1" = 0 ]; then echo cp; else echo "--copy (${progs[$1 - 1]})"; fi; }
: >"$dir/times"
for ((i = 0; i < runs; ++i)); do
  line="run $i:"
  for ((k = 0; k < n; ++k)); do
    c=$(((i + k) % n))
    rm -f "$dir/dst"
    sync
    if [ "$c" = 0 ]; then
      read -r wall cpu < <(timed /dev/null cp "$dir/src" "$dir/dst")
    else
      read -r wall cpu < <(timed "$dir/lines" "${progs[$c - 1]}" --copy "$dir/src" "$dir/dst")
      cmp "$dir/src" "$dir/dst"
      [ "$(grep -c '^copy_pct ' "$dir/lines")" = 100 ] && tail -1 "$dir/lines" | grep -qx 'copy_done '
    fi
    echo "$c $wall $cpu" >>"$dir/times"
    line="$line  $(label $c) ${wall}s (cpu ${cpu}s)"
  done
  echo "$line"
done
rm -f "$dir/dst"
cp_wall=$(awk '$1 == 0 { print $2 }' "$dir/times" | median)
cp_cpu=$(awk '$1 == 0 { print $3 }' "$dir/times" | median)
echo "copy of 1 GiB in ${TMPDIR:-/tmp}, medians of $runs alternated runs:"
printf '  %-60s wall %6.2fs  cpu %6.2fs\n' cp "$cp_wall" "$cp_cpu"
for ((c = 1; c < n; ++c)); do
  w=$(awk -v c=$c '$1 == c { print $2 }' "$dir/times" | median)
  u=$(awk -v c=$c '$1 == c { print $3 }' "$dir/times" | median)
  awk -v l="$(label $c)" -v w="$w" -v u="$u" -v cw="$cp_wall" -v cu="$cp_cpu" 'BEGIN {
    printf "  %-60s wall %6.2fs  cpu %6.2fs  ratio to cp: wall %.2f, cpu %.2f\n", l, w, u, w / cw, u / cu }'
done
echo "goal: ratio of wall times at most 1.0"
rm -f "$dir/src"
[ "${XH_BENCH_READCFG:-1}" = 0 ] && exit 0

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
