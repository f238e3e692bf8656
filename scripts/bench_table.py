"""Writes the Markdown table of the benchmark figures against their targets.

Reads what scripts/bench.sh left in one folder: Google Benchmark JSON files
(<program>.json) and the text output of the other benchmarks (<program>.txt,
lines of "label  value unit"). Each row of TARGETS names where its figure comes
from; a row whose benchmark or counter is absent shows "not measured".

Usage: bench_table.py FOLDER [--commit ID] [--readme README.md]
"""

import argparse
import datetime
import json
import pathlib
import re
import subprocess
import sys

MICROSECONDS = {"ns": 1e-3, "us": 1.0, "ms": 1e3, "s": 1e6}
# "label  value unit", and what may follow the unit (a ratio the program prints itself).
LINE = re.compile(r"^(?P<label>.*?)\s+(?P<value>-?\d+(?:\.\d+)?)\s*(?P<unit>ns|us|µs|ms|s)(?:\s.*)?$")
BEGIN = "<!-- bench table begin -->"
END = "<!-- bench table end -->"


class Results:
    """The figures of one run, by program."""

    def __init__(self, folder):
        self.runs = {}
        self.lines = {}
        # A program run in several passes left <program>.json, <program>.2.json, ...
        for path in sorted(folder.glob("*.json")):
            with open(path, encoding="utf-8") as file:
                self.runs.setdefault(path.stem.split(".")[0], []).extend(json.load(file).get("benchmarks", []))
        for path in sorted(folder.glob("*.txt")):
            if path.with_suffix(".json").exists():
                continue
            for line in path.read_text(encoding="utf-8").splitlines():
                match = LINE.match(line)
                if match:
                    scale = MICROSECONDS[match["unit"].replace("µs", "us")] * 1e3
                    self.lines.setdefault(path.stem, {})[match["label"].strip()] = float(match["value"]) * scale

    def value(self, program, name, field="real_time"):
        """A benchmark's field (times in µs): the median when it was repeated; None when absent or failed."""
        entries = [entry for entry in self.runs.get(program, [])
                   if entry.get("run_name", entry["name"]) == name
                   or entry.get("run_name", entry["name"]).startswith(name + "/")]
        medians = [entry for entry in entries if entry.get("aggregate_name") == "median"]
        chosen = medians or [entry for entry in entries if entry.get("run_type", "iteration") == "iteration"]
        if not chosen or chosen[0].get("error_occurred"):
            return None
        entry = chosen[0]
        if field in ("real_time", "cpu_time"):
            return entry[field] * MICROSECONDS[entry["time_unit"]]
        return entry.get(field)

    def line(self, program, label_part):
        """A text benchmark's figure in ns whose label contains `label_part`."""
        for label, value in self.lines.get(program, {}).items():
            if label_part in label:
                return value
        return None


def figure(number, unit):
    if unit == "×":
        return f"{number:.2f}×"
    if unit == "µs" and abs(number) >= 1e3:
        return figure(number / 1e3, "ms")
    if abs(number) >= 1e6:
        return f"{number / 1e6:.2f} M{unit}"
    if abs(number) >= 1e4:
        return f"{number / 1e3:.1f} k{unit}"
    if abs(number) >= 100:
        return f"{number:.0f} {unit}".rstrip()
    return f"{number:.3g} {unit}".rstrip()


def ratio(numerator, denominator, units, unit_name):
    """A figure that is one measurement over another of the same run."""
    def measure(results):
        top = results.value(*numerator)
        bottom = results.value(*denominator)
        if top is None or bottom is None or bottom == 0:
            return None
        return top / bottom, f"{figure(top / bottom, '×')} ({figure(top * units, unit_name)} ÷ {figure(bottom * units, unit_name)})"
    return measure


def single(source, units, unit_name):
    """A figure measured on its own."""
    def measure(results):
        number = results.value(*source)
        if number is None:
            return None
        return number, figure(number * units, unit_name)
    return measure


def text_ratio(program, numerator, denominator):
    """A ratio of two figures of a text benchmark."""
    def measure(results):
        top = results.line(program, numerator)
        bottom = results.line(program, denominator)
        if top is None or bottom is None or bottom == 0:
            return None
        return top / bottom, f"{figure(top / bottom, '×')} ({top:.0f} ns ÷ {bottom:.0f} ns)"
    return measure


P, C, D, R, F = "planner_bench", "collision_bench", "simulated_driver_bench", "recording_bench", "viewer_fanout_bench"
PY, PD = "python_calls_bench", "profile_distribution_bench"
PUBLISHED_PROFILES = "published best: 19.8 µs mean, 123 µs worst (7 joints, one core); next best 38 µs, 155 µs"

# (item, figure, target as text, comparison, limit, measure, reference)
TARGETS = [
    ("1", "six-joint rest-to-rest plan with samples ÷ its profiles", "≤ 5×", "<=", 5.0,
     ratio((P, "RestToRest", "cpu_time"), (P, "RestToRestProfiles", "cpu_time"), 1, "µs"), "24× on 2ad7307 (69.5 µs ÷ 2.9 µs)"),
    ("1", "blend plan ÷ rest-to-rest plan of the same duration (median of 10)", "≤ 1.1×", "<=", 1.1,
     ratio((P, "BlendBetweenMovingStates", "cpu_time"), (P, "RestToRestAsLongAsTheBlend", "cpu_time"), 1, "µs"),
     "0.9–1.4× on 2ad7307 (81.5 µs ÷ 59.7 µs)"),
    ("1", "allocations of a whole rest-to-rest plan (~290 samples)", "≤ 100: none per sample", "<=", 100.0,
     single((P, "RestToRest", "allocations"), 1, ""), "933 on bec6fc9: three per sample"),
    ("3", "control loop at time_speed 0 ÷ bare time scaler, alternating rounds, hooks unused (wall clock)", "≤ 1.1×",
     "<=", 1.1,
     ratio((D, "loop_against_time_scaler/0", "loop_ns"),
           (D, "loop_against_time_scaler/0", "bare_ns"), 1, "ns a cycle"),
     "1.56× on 2ad7307 (17.9 M ÷ 11.5 M cycles/s)"),
    ("3", "control loop with safety limits on ÷ bare time scaler, alternating rounds (wall clock)", "≤ 1.3×", "<=", 1.3,
     ratio((D, "loop_against_time_scaler/1", "loop_ns"),
           (D, "loop_against_time_scaler/1", "bare_ns"), 1, "ns a cycle"), "—"),
    ("3", "Python get_digital_input ÷ a bound getter (degrees_of_freedom)", "≤ 2×", "<=", 2.0,
     text_ratio(PY, "get_digital_input", "(reference)"), "470 ns on 2ad7307"),
    ("3", "Python current_joint_position ÷ a bound getter (degrees_of_freedom)", "≤ 2×", "<=", 2.0,
     text_ratio(PY, "current_joint_position", "(reference)"), "487 ns on 2ad7307"),
    ("4", "direct motion's continuous check ÷ one-configuration check", "≤ 10×", "<=", 10.0,
     ratio((C, "PlannerCheckTrajectory", "cpu_time"), (C, "CheckOnePosition", "cpu_time"), 1, "µs"),
     "125× on 2ad7307 (249 µs ÷ 2.0 µs); published: ~8 µs a self-collision check, 100–380 µs a configuration"),
    ("4", "searches, 3 scenes × 20 blocked pairs: median", "≤ 10 ms", "<=", 10.0,
     single((C, "SearchSet", "median_ms"), 1, "ms"), "published: 39–130 ms means (six axes, bidirectional sampling)"),
    ("4", "searches, 3 scenes × 20 blocked pairs: 95th percentile", "≤ 50 ms", "<=", 50.0,
     single((C, "SearchSet", "p95_ms"), 1, "ms"), "7.8–20 ms around one fixture on 2ad7307"),
    ("4", "searches with a solution that missed it within the budget", "0", "<=", 0.0,
     single((C, "SearchSet", "unsolved"), 1, ""), "—"),
    ("5", "control loop with a recording in memory ÷ without (wall clock)", "≤ 1.2×", "<=", 1.2,
     single((R, "loop_throughput_recorded", "memory_ratio"), 1, "×"),
     "1.73× on 2ad7307; published: ~400,000 small messages/s for the usual log writer on two cores"),
    ("5", "control loop with a streamed recording ÷ without (wall clock)", "≤ 1.2×", "<=", 1.2,
     single((R, "loop_throughput_recorded", "stream_ratio"), 1, "×"), "1.79× on 2ad7307"),
]
for joints in (6, 7):
    profiles = f"Profiles/{joints}"
    TARGETS += [
        ("2", f"profiles, 10^6 random cases, {joints} joints: mean", "≤ 5 µs", "<=", 5.0,
         single((PD, profiles, "mean_us"), 1, "µs"), PUBLISHED_PROFILES),
        ("2", f"profiles, 10^6 random cases, {joints} joints: 99.9th percentile", "≤ 25 µs", "<=", 25.0,
         single((PD, profiles, "p999_us"), 1, "µs"), PUBLISHED_PROFILES),
        ("2", f"profiles, 10^6 random cases, {joints} joints: maximum", "≤ 100 µs", "<=", 100.0,
         single((PD, profiles, "max_us"), 1, "µs"), PUBLISHED_PROFILES),
        ("2", f"profiles, {joints} joints: worst relative excess over a limit", "≤ 1e-9", "<=", 1e-9,
         single((PD, profiles, "limit_excess"), 1, ""), "—"),
        ("2", f"profiles, {joints} joints: duration ÷ time-optimal bound from above (worst sampled case)", "≤ 1.01×",
         "<=", 1.01, single((PD, profiles, "max_over_program"), 1, "×"), "—"),
    ]
for size, before_rate, before_p99 in (("1024", "1.53×", "0.44×"), ("280", "1.19×", "0.52×")):
    label = "~1 KB" if size == "1024" else "280 B"
    TARGETS += [
        ("6", f"viewer ÷ Node ws, 50 pages, {label}: delivered updates/s", "≥ 2×", ">=", 2.0,
         ratio((F, f"BM_ViewerMessageFanout/{size}", "updates_per_s"), (F, f"BM_NodeWsMessageFanout/{size}", "updates_per_s"),
               1, "updates/s"), f"{before_rate} on 2ad7307, counted in frames"),
        ("6", f"viewer ÷ Node ws, 50 pages, {label}: 99th-percentile latency", "≤ 0.5×", "<=", 0.5,
         ratio((F, f"BM_ViewerMessageFanout/{size}", "p99_us"), (F, f"BM_NodeWsMessageFanout/{size}", "p99_us"), 1, "µs"),
         f"{before_p99} on 2ad7307, counted in frames"),
    ]


def machine():
    try:
        text = subprocess.run(["lscpu"], capture_output=True, text=True, check=True).stdout
    except (OSError, subprocess.CalledProcessError):
        return "unknown machine"
    fields = dict(line.split(":", 1) for line in text.splitlines() if ":" in line)
    model = fields.get("Model name", "unknown model").strip()
    return f"{model}, {fields.get('CPU(s)', '?').strip()} cores"


def load(folder, name):
    path = folder / name
    if not path.exists():
        return "?"
    match = re.search(r"load average:\s*([\d.]+)", path.read_text(encoding="utf-8"))
    return match[1] if match else "?"


def table(folder, commit):
    results = Results(folder)
    rows = ["| Item | Figure | Target | Measured | Reference | Met? |", "|---|---|---|---|---|---|"]
    met = missed = unmeasured = 0
    for item, name, target, comparison, limit, measure, reference in sorted(TARGETS, key=lambda row: row[0]):
        outcome = measure(results)
        if outcome is None:
            measured, verdict = "—", "not measured"
            unmeasured += 1
        else:
            number, measured = outcome
            ok = number <= limit if comparison == "<=" else number >= limit
            verdict = "yes" if ok else "**no**"
            met += ok
            missed += not ok
        rows.append(f"| {item} | {name} | {target} | {measured} | {reference} | {verdict} |")
    now = datetime.datetime.now(datetime.timezone.utc).strftime("%Y-%m-%d %H:%M UTC")
    head = (f"Measured {now} on {machine()}, commit {commit}, by `scripts/bench.sh`; "
            f"1-minute load average {load(folder, 'load_before.txt')} before, {load(folder, 'load_after.txt')} after. "
            f"{met} targets met, {missed} missed, {unmeasured} not measured.")
    return head + "\n\n" + "\n".join(rows) + "\n"


def into_readme(path, text):
    content = path.read_text(encoding="utf-8")
    begin, end = content.find(BEGIN), content.find(END)
    if begin < 0 or end < begin:
        raise SystemExit(f"{path} has no '{BEGIN}' ... '{END}' block")
    path.write_text(content[:begin + len(BEGIN)] + "\n" + text + content[end:], encoding="utf-8")


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("folder", type=pathlib.Path)
    parser.add_argument("--commit", default="unknown")
    parser.add_argument("--readme", type=pathlib.Path)
    arguments = parser.parse_args()
    text = table(arguments.folder, arguments.commit)
    if arguments.readme:
        into_readme(arguments.readme, text)
    sys.stdout.write(text)


if __name__ == "__main__":
    main()
