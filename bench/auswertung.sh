# The numbers of the benchmarks, summed up the same way in every table. Sourced, not run.
# SPDX-License-Identifier: MIT

# statistik: numbers on stdin; "min / median / max". median: the median alone.
statistik() {
  sort -g | awk '{ w[NR] = $1 } END { if (NR == 0) { print "n/a"; exit }
    printf "%.1f / %.1f / %.1f", w[1], (NR % 2 ? w[(NR + 1) / 2] : (w[NR / 2] + w[NR / 2 + 1]) / 2), w[NR] }'
}
median() { statistik | awk -F' / ' '{ print $2 }'; }
# schlimmst: numbers on stdin; the largest |number|, or "n/a" when there is none.
schlimmst() { awk '{ a = $1 < 0 ? -$1 : $1; if (a > m) m = a } END { if (NR) printf "%.1f", m; else print "n/a" }'; }

# verhaeltnis A B: A / B to two places, or "n/a" when either is missing.
verhaeltnis() { awk -v a="$1" -v b="$2" 'BEGIN { if (a + 0 > 0 && b + 0 > 0) printf "%.2f", a / b; else print "n/a" }'; }
