#!/usr/bin/env bash
# Runs every benchmark in bench/ (the programs built from bench/*_bench.cpp and
# the scripts bench/*_bench.py) and writes the table of figures against their
# targets to <build>/artifacts/bench.md and standard output. Each program's raw
# output stays beside it in <build>/artifacts/bench/. Takes a few minutes on two
# cores; run it on an otherwise idle machine, as other load moves the figures.
# Usage: scripts/bench.sh [build-folder] [--readme]
#   --readme  also puts the table into the README's "Performance" section
set -euo pipefail
cd "$(dirname "$0")/.."
build_dir="build"
readme=()
for argument in "$@"; do
  case "$argument" in
    --readme) readme=(--readme README.md) ;;
    *) build_dir="$argument" ;;
  esac
done
out="$build_dir/artifacts/bench"
rm -rf "$out"
mkdir -p "$out"

# The fan-out comparison runs a Node.js server on the ws package, installed
# from the lock file beside it.
if [[ ! -d bench/ws_fanout/node_modules/ws ]]; then
  if command -v npm >/dev/null; then
    (cd bench/ws_fanout && npm ci --no-audit --no-fund --loglevel=error)
  else
    echo "bench: npm not found; the fan-out comparison will be missing" >&2
  fi
fi

# Passes per program, "program|options", chosen so that the whole run takes a
# few minutes; a program not named here runs once with Google Benchmark's
# defaults. Pass n of a program writes <program>.json, then <program>.<n>.json.
passes=(
  "planner_bench|--benchmark_filter=-Bound --benchmark_repetitions=10 --benchmark_min_time=0.05 --benchmark_report_aggregates_only=true"
  "planner_bench|--benchmark_filter=Bound"
  "collision_bench|--benchmark_repetitions=5 --benchmark_min_time=0.05 --benchmark_report_aggregates_only=true"
  "simulated_driver_bench|--benchmark_filter=-cycle_period --benchmark_repetitions=5 --benchmark_report_aggregates_only=true"
  "simulated_driver_bench|--benchmark_filter=cycle_period"
  "time_scaler_bench|--benchmark_min_time=0.1"
  "viewer_load_bench|--benchmark_min_time=0.1"
  "viewer_fanout_bench|--benchmark_repetitions=3 --benchmark_report_aggregates_only=true"
)

uptime >"$out/load_before.txt"
failed=()
run_pass() {  # program, output name, options
  local name=$1 output=$2 started=$SECONDS
  echo "bench: $output" >&2
  # shellcheck disable=SC2086  # the options are words
  if ! "$build_dir/bench/$name" --benchmark_out="$out/$output.json" --benchmark_out_format=json $3 \
      >"$out/$output.txt" 2>&1; then
    echo "bench: $output failed, see $out/$output.txt" >&2
    failed+=("$output")
  fi
  echo "bench: $output took $((SECONDS - started)) s" >&2
}
for source in bench/*_bench.cpp; do
  name=$(basename "$source" .cpp)
  if [[ ! -x "$build_dir/bench/$name" ]]; then
    echo "bench: $build_dir/bench/$name is missing; build the benchmarks first" >&2
    failed+=("$name")
    continue
  fi
  count=0
  for pass in "${passes[@]}"; do
    if [[ "${pass%%|*}" == "$name" ]]; then
      count=$((count + 1))
      suffix=""
      ((count > 1)) && suffix=".$count"
      run_pass "$name" "$name$suffix" "${pass#*|}"
    fi
  done
  if ((count == 0)); then
    run_pass "$name" "$name" ""
  fi
done
for script in bench/*_bench.py; do
  name=$(basename "$script" .py)
  echo "bench: $name" >&2
  if ! PYTHONPATH="$build_dir/python" /usr/bin/python3 "$script" >"$out/$name.txt" 2>&1; then
    echo "bench: $name failed, see $out/$name.txt" >&2
    failed+=("$name")
  fi
done
uptime >"$out/load_after.txt"

/usr/bin/python3 scripts/bench_table.py "$out" --commit "$(git rev-parse --short HEAD 2>/dev/null || echo unknown)" \
  "${readme[@]}" >"$build_dir/artifacts/bench.md"
cat "$build_dir/artifacts/bench.md"
if ((${#failed[@]} > 0)); then
  echo "bench: failed: ${failed[*]}" >&2
  exit 1
fi
