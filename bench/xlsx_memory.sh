#!/usr/bin/env bash
# Prints the peak memory (maximum resident set) of the spreadsheet engine's big sheet, 65,535 rows
# of 10 cells: written and saved, saved by libxlsxwriter, and read back. Each runs alone in a
# process of its own under /usr/bin/time -v.
#   bench/xlsx_memory.sh [path/to/bench_xlsx]     default: build-bench/bench/bench_xlsx
set -euo pipefail
bench="${1:-build-bench/bench/bench_xlsx}"
for filter in BM_WriteAndSave BM_SaveLibxlsxwriter BM_LoadBigSheet; do
  peak=$(/usr/bin/time -v "$bench" --benchmark_filter="^${filter}\$" --benchmark_min_time=0.01 2>&1 >/dev/null |
         sed -n 's/.*Maximum resident set size (kbytes): //p')
  printf '%-24s peak %6.1f MB\n' "$filter" "$(echo "$peak / 1024" | bc -l)"
done
