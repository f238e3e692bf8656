"""The benchmark table read from Google Benchmark JSON and text outputs: medians
over single runs, failed and absent benchmarks as not measured, the verdicts
and the README block."""

import json
import pathlib
import runpy
import types

import pytest

SCRIPT = pathlib.Path(__file__).resolve().parents[2] / "scripts" / "bench_table.py"
bench_table = types.SimpleNamespace(**runpy.run_path(str(SCRIPT)))


def entry(name, real_time, unit="us", **fields):
    return {"name": name, "run_name": name, "run_type": "iteration", "real_time": real_time,
            "cpu_time": real_time, "time_unit": unit, **fields}


def write(folder, output, entries):
    (folder / f"{output}.json").write_text(json.dumps({"context": {}, "benchmarks": entries}))


def row(text, figure):
    return next(line for line in text.splitlines() if f"| {figure} |" in line)


@pytest.mark.parametrize("fields, expected", [
    ({}, 2.5),
    ({"median": 4.0}, 4.0),
    ({"failed": True}, None),
])
def test_value_takes_the_median_of_repetitions_and_skips_failures(tmp_path, fields, expected):
    entries = [entry("RestToRest", 2.5, error_occurred=fields.get("failed", False))]
    if "median" in fields:
        entries = [entry("RestToRest", 9.0), entry("RestToRest", 1.0),
                   dict(entry("RestToRest_median", fields["median"], unit="ms"), run_name="RestToRest",
                        run_type="aggregate", aggregate_name="median")]
        expected = fields["median"] * 1e3
    write(tmp_path, "planner_bench", entries)
    assert bench_table.Results(tmp_path).value("planner_bench", "RestToRest") == expected


@pytest.mark.parametrize("viewer, node, verdict", [(3000.0, 1000.0, "yes"), (1500.0, 1000.0, "**no**")])
def test_fan_out_ratio_is_judged_against_the_node_server_of_the_same_run(tmp_path, viewer, node, verdict):
    # Two passes of one program count as one.
    write(tmp_path, "viewer_fanout_bench", [
        entry("BM_ViewerMessageFanout/1024/iterations:1/real_time", 1.0, "ms", updates_per_s=viewer, p99_us=100.0)])
    write(tmp_path, "viewer_fanout_bench.2", [
        entry("BM_NodeWsMessageFanout/1024/iterations:1/real_time", 1.0, "ms", updates_per_s=node, p99_us=400.0)])
    text = bench_table.table(tmp_path, "abc1234")
    throughput = row(text, "viewer ÷ Node ws, 50 pages, ~1 KB: delivered updates/s")
    assert f"{viewer / node:.2f}×" in throughput and throughput.endswith(f"| {verdict} |")
    assert row(text, "viewer ÷ Node ws, 50 pages, ~1 KB: 99th-percentile latency").endswith("| yes |")
    assert row(text, "viewer ÷ Node ws, 50 pages, 280 B: delivered updates/s").endswith("| not measured |")


def test_text_benchmarks_and_the_readme_block(tmp_path):
    (tmp_path / "python_calls_bench.txt").write_text(
        'driver.degrees_of_freedom (reference)   100.0 ns\n'
        'driver.get_digital_input("x")   150.0 ns   1.50x the reference\n')
    text = bench_table.table(tmp_path, "abc1234")
    assert "1.50× (150 ns ÷ 100 ns)" in row(text, "Python get_digital_input ÷ a bound getter (degrees_of_freedom)")
    assert text.count("| not measured |") == len(bench_table.TARGETS) - 1
    readme = tmp_path / "README.md"
    readme.write_text(f"## Performance\n{bench_table.BEGIN}\nold\n{bench_table.END}\n## Next\n")
    bench_table.into_readme(readme, text)
    content = readme.read_text()
    assert "old" not in content and text in content and content.endswith(f"{bench_table.END}\n## Next\n")
