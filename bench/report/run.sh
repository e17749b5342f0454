#!/usr/bin/env bash
# End-to-end report benchmark: the brelix command running sales_report.form against the raw-writer
# limit (report_limit), which writes the same cells straight from the same SQLite rows.
#
# usage: bench/report/run.sh
# environment:
#   BUILD_DIR   Release build directory (default: build-bench-report at the repository root)
#   RUNS        timed runs of each program per size (default 5)
#   SIZES       database sizes in rows (default "6000 60000"; the last is the one of "ratio:")
#   JOBS        parallel build jobs (default 2)
#   BRELIX      the brelix command to time (default: the one built in BUILD_DIR)
#   LIMIT_FLAGS flags for report_limit (e.g. --shared-strings; default: streamed rows)
#
# Per size it generates the database, checks the limit's output against the database and, once
# brelix runs, that both programs write the same cells (compare.py), then runs brelix and the limit alternately RUNS times and prints the median wall
# time and peak memory of each and the median of the pairwise ratios brelix / limit. It ends with
# the linearity of brelix (largest size / smallest size) and the line "ratio: X.XX" for the
# largest size. When brelix cannot run reports yet it says so and still measures the limit.
set -euo pipefail

here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
root=$(cd "$here/../.." && pwd)
build=${BUILD_DIR:-$root/build-bench-report}
runs=${RUNS:-5}
read -r -a sizes <<<"${SIZES:-6000 60000}"
jobs=${JOBS:-2}
read -r -a limit_flags <<<"${LIMIT_FLAGS:-}"
work=$build/bench/report/work
export LC_ALL=C

say() { printf '%s\n' "$*"; }

if [ ! -x /usr/bin/time ] || ! command -v sqlite3 >/dev/null || ! pkg-config --exists xlsxwriter; then
  "$root/scripts/install-deps.sh"
fi

# Build: configure again each time so that targets added since (the brelix command) are seen.
# While the shared tree does not configure (others' work in progress), the two C programs are
# compiled directly with the same flags, and brelix cannot be built.
mkdir -p "$work"
log=$work/build.log
configured=1
limit=$build/bench/report/report_limit
make_template=$build/bench/report/report_make_template
if ! cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Release >"$log" 2>&1 ||
   ! cmake --build "$build" --target report_limit report_make_template -j "$jobs" >>"$log" 2>&1; then
  configured=""
  say "run.sh: the project does not configure or build right now (see $log); compiling the limit directly"
  direct=$build/bench/report-direct
  mkdir -p "$direct"
  cflags=(-O3 -DNDEBUG -std=c11 -Wall -Wextra -Wpedantic -Wshadow -Wimplicit-fallthrough)
  read -r -a xlsx_flags <<<"$(pkg-config --cflags --libs xlsxwriter)"
  limit=$direct/report_limit
  make_template=$direct/report_make_template
  cc "${cflags[@]}" -o "$limit" "$here/limit.c" "$here/layout.c" "${xlsx_flags[@]}" -lsqlite3
  cc "${cflags[@]}" -o "$make_template" "$here/make_template.c" "$here/layout.c" "${xlsx_flags[@]}"
fi

brelix=${BRELIX:-}
brelix_note=""
if [ -z "$brelix" ] && [ -z "$configured" ]; then
  brelix_note="the project does not configure right now, so brelix cannot be built"
elif [ -z "$brelix" ]; then
  # The command's targets: the executables cli/CMakeLists.txt declares, else one named brelix.
  cli_targets=()
  if [ -f "$root/cli/CMakeLists.txt" ]; then
    mapfile -t cli_targets < <(sed -n 's/^[[:space:]]*add_executable([[:space:]]*\([A-Za-z0-9_.+-]*\).*/\1/p' \
      "$root/cli/CMakeLists.txt")
  fi
  [ ${#cli_targets[@]} -gt 0 ] || cli_targets=(brelix)
  known=$(cmake --build "$build" --target help 2>/dev/null || true)
  available=()
  for t in "${cli_targets[@]}"; do
    if grep -qE "(^|[ .:])$t(\$|[ :])" <<<"$known"; then available+=("$t"); fi
  done
  if [ ${#available[@]} -gt 0 ]; then
    if cmake --build "$build" --target "${available[@]}" -j "$jobs" >"$work/brelix-build.log" 2>&1; then
      brelix=$(find "$build" -path "$work" -prune -o -type f -name brelix -perm -u+x -print | head -n 1)
      [ -n "$brelix" ] || brelix_note="the brelix target built no executable named brelix"
    else
      brelix_note="the brelix command does not build (see $work/brelix-build.log)"
    fi
  else
    brelix_note="the build has no brelix target yet"
  fi
elif [ ! -x "$brelix" ]; then
  brelix_note="$brelix is not an executable"
  brelix=""
fi

# Runs one command; appends "wall_seconds peak_kb cpu_seconds" to the named file; returns its
# exit status. Wall time is the measure; CPU time (user + system) is shown beside it because it
# varies less when other work shares the machine.
timed() {
  local out=$1
  shift
  local t0 t1 rc=0
  t0=$(date +%s%N)
  /usr/bin/time -f '%M %U %S' -o "$out.mem" "$@" >"$out.stdout" 2>"$out.stderr" || rc=$?
  t1=$(date +%s%N)
  if [ "$rc" -eq 0 ]; then
    awk -v a="$t0" -v b="$t1" 'END { printf "%.4f %s %.2f\n", (b - a) / 1e9, $1, $2 + $3 }' "$out.mem" >>"$out"
  fi
  return "$rc"
}

results=$work/results.txt
: >"$results"
say "report benchmark: $runs runs per program and size, alternating; limit flags: ${limit_flags[*]:-(none)}"
if [ -n "$brelix_note" ]; then
  say "brelix: cannot run reports yet: $brelix_note; measuring the limit only"
fi

for n in "${sizes[@]}"; do
  dir=$work/n$n
  mkdir -p "$dir"
  rm -f "$dir/sales.db"
  sed "s/@ROWS@/$n/" "$here/gen_sales.sql" | sqlite3 "$dir/sales.db" >/dev/null
  "$make_template" "$dir/sales_template.xlsx"
  cp "$here/sales_report.form" "$dir/sales_report.form"
  rm -f "$dir"/*.times

  # One untimed run of each: warms the caches and gives the outputs to compare.
  "$limit" "${limit_flags[@]}" "$dir/sales.db" "$dir/limit.xlsx"
  say "N=$n: checking the limit's output against the database"
  python3 "$here/compare.py" --sheet Report --check-db "$dir/sales.db" "$dir/limit.xlsx" ||
    { say "run.sh: the limit's output does not match the database"; exit 1; }
  use_brelix=""
  if [ -n "$brelix" ]; then
    rm -f "$dir/brelix.xlsx"
    if "$brelix" run "$dir/sales_report.form" -o "$dir/brelix.xlsx" >"$dir/brelix.out" 2>&1 &&
       [ -s "$dir/brelix.xlsx" ]; then
      use_brelix=1
      say "N=$n: checking that brelix and the limit write the same cells"
      python3 "$here/compare.py" --sheet Report --check-db "$dir/sales.db" "$dir/brelix.xlsx" &&
        python3 "$here/compare.py" --styles --sheet Report "$dir/brelix.xlsx" "$dir/limit.xlsx" ||
        say "N=$n: WARNING: the outputs differ (see above)"
    else
      say "brelix: cannot run reports yet: 'brelix run' failed for N=$n:"
      head -n 5 "$dir/brelix.out" | sed 's/^/  /'
    fi
  fi

  for ((i = 1; i <= runs; i++)); do
    if [ -n "$use_brelix" ]; then
      timed "$dir/brelix.times" "$brelix" run "$dir/sales_report.form" -o "$dir/brelix.xlsx" ||
        { say "brelix failed in run $i (N=$n):"; head -n 5 "$dir/brelix.times.stderr"; use_brelix=""; }
    fi
    timed "$dir/limit.times" "$limit" "${limit_flags[@]}" "$dir/sales.db" "$dir/limit.xlsx"
  done
  for prog in brelix limit; do
    [ -f "$dir/$prog.times" ] || continue
    awk -v n="$n" -v p="$prog" '{ print n, p, NR, $1, $2, $3 }' "$dir/$prog.times" >>"$results"
  done
done

python3 - "$results" "${sizes[@]}" <<'EOF'
import statistics, sys
rows = [line.split() for line in open(sys.argv[1]) if line.strip()]
sizes = [int(s) for s in sys.argv[2:]]
data = {}  # (n, prog) -> [(wall, kb, cpu)] in run order
for n, prog, _, wall, kb, cpu in rows:
    data.setdefault((int(n), prog), []).append((float(wall), int(kb), float(cpu)))

def median_wall(n, prog):
    return statistics.median(w for w, _, _ in data[(n, prog)])

ratios = {}
for n in sizes:
    print("N=%d:" % n)
    for prog in ("brelix", "limit"):
        if (n, prog) not in data:
            print("  %-7s  not measured" % prog)
            continue
        runs = data[(n, prog)]
        print("  %-7s  median %8.3f s   peak memory %9s KB   cpu %6.2f s   (%d runs: %s)" % (
            prog, median_wall(n, prog), format(statistics.median(kb for _, kb, _ in runs), ",.0f"),
            statistics.median(c for _, _, c in runs), len(runs), " ".join("%.3f" % w for w, _, _ in runs)))
    if (n, "brelix") in data and (n, "limit") in data:
        both = list(zip(data[(n, "brelix")], data[(n, "limit")]))
        pairs = [b[0] / l[0] for b, l in both if l[0] > 0]
        ratios[n] = statistics.median(pairs)
        print("  brelix / limit, pair by pair: %s; median %.2f" % (
            " ".join("%.2f" % r for r in pairs), ratios[n]))
        cpu = [b[2] / l[2] for b, l in both if l[2] > 0]
        if cpu:
            print("  the same in cpu time: %s; median %.2f" % (" ".join("%.2f" % r for r in cpu), statistics.median(cpu)))

small, large = sizes[0], sizes[-1]
for prog in ("brelix", "limit"):
    if len(sizes) > 1 and (small, prog) in data and (large, prog) in data:
        print("linearity %s: N=%d / N=%d = %.2f (%.2f would be linear)" % (
            prog, large, small, median_wall(large, prog) / median_wall(small, prog), large / small))
    elif prog == "brelix":
        print("linearity brelix: n/a (%s)" % ("one size only" if len(sizes) < 2 else "brelix not measured"))
if large in ratios:
    print("ratio: %.2f" % ratios[large])
else:
    print("ratio: n/a (brelix cannot run reports yet; limit measured alone)")
EOF
