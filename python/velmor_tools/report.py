"""Cycle-time reports of recorded runs.

A recording (``velmor_driver_simulated.Recording``) holds the driver's
simulated clock for every cycle, command, dwell, wait and mark. The report cuts
the run into intervals (between the program's marks, or one per command without
marks; see velmor_tools.intervals) and shows for each its cycle time on the
simulated clock, split into motion, waiting for a condition, dwell and idle
time, with the wall-clock time apart; then the conditions waited for, one row
per command, and the totals.

As a program::

    velmor-report run.jsonl                      # print the report
    velmor-report run.jsonl --format json        # ... as JSON, for dashboards
    velmor-report run.jsonl -o run.png           # ... and draw the figure
    velmor-report run.jsonl --compare other.jsonl [-o both.png]

or, from a build tree, ``python3 -m velmor_tools.report run.jsonl``.
"""

import argparse
import json
import sys

from velmor_tools.intervals import interval_totals, intervals

__all__ = ["command_times", "totals", "report", "report_data", "compare", "main"]

ARGUMENTS_WIDTH = 40


def _seconds(value):
    return "-" if value is None else f"{value:.3f} s"


def _difference(a, b):
    if a is None or b is None:
        return "-"
    # Rounded first, so that a difference in the last bits reads +0.000, not -0.000.
    return f"{round(b - a, 3) + 0.0:+.3f} s"


def _result_names(commands):
    """Maps the value of every named Result constant to its name. The constants
    are read off the class of the results at hand, so that the report needs
    nothing but the recording it is given."""
    result_type = next((type(command.result) for command in commands if command.result is not None), None)
    names = {}
    for name in dir(result_type) if result_type is not None else ():
        value = getattr(result_type, name, None)
        if isinstance(value, result_type):
            names.setdefault(value.value, name)
    return names


def command_times(recording):
    """One dict per command: index, kind, arguments, planned, executed, wall,
    waiting [s] (None where unknown), result (its name, or None) and plan_failure
    (why its trajectory could not be planned, or None)."""
    names = _result_names(recording.commands)
    rows = []
    previous_end = None
    for command in recording.commands:
        ended = command.end_time is not None
        waiting = None
        if previous_end is not None:
            waiting = max(0.0, command.start_wall_time - previous_end)
        if command.end_wall_time is not None:
            previous_end = command.end_wall_time
        result = None
        if command.result is not None:
            result = names.get(command.result.value, command.result.description)
        rows.append({
            "index": command.index,
            "kind": command.kind,
            "arguments": command.arguments,
            "planned": command.planned_duration,
            "executed": command.end_time - command.start_time if ended else None,
            "wall": command.end_wall_time - command.start_wall_time if ended else None,
            "waiting": waiting,
            "result": result,
            "plan_failure": command.plan_failure,
        })
    return rows


def totals(recording, rows=None):
    """The run's totals [s]: planned and motion (simulated, of the commands), and over
    the intervals waiting, dwell, idle and cycle_time (simulated) and wall (wall clock)."""
    rows = command_times(recording) if rows is None else rows
    sums = interval_totals(intervals(recording))
    return {
        "planned": sum(row["planned"] for row in rows if row["planned"] is not None),
        "motion": sum(row["executed"] for row in rows if row["executed"] is not None),
        "waiting": sums["waiting"],
        "dwell": sums["dwell"],
        "idle": sums["idle"],
        "cycle_time": sums["cycle_time"],
        "wall": sums["wall"],
    }


def _table(header, rows):
    widths = [max(len(str(line[i])) for line in [header] + rows) for i in range(len(header))]
    lines = []
    for line in [header] + rows:
        cells = []
        for i, cell in enumerate(line):
            text = str(cell)
            # Numbers line up on the right, words on the left.
            cells.append(text.rjust(widths[i]) if text[:1] in "0123456789+-" else text.ljust(widths[i]))
        lines.append("  ".join(cells).rstrip())
    lines.insert(1, "  ".join("-" * width for width in widths))
    return "\n".join(lines)


def _short(text):
    return text if len(text) <= ARGUMENTS_WIDTH else text[:ARGUMENTS_WIDTH - 3] + "..."


def _interval_cells(row):
    return [row["index"], _short(row["label"]), _seconds(row["cycle_time"]), _seconds(row["motion"]),
            _seconds(row["waiting"]), _seconds(row["dwell"]), _seconds(row["idle"]), _seconds(row["wall"])]


def _wait_lines(rows):
    lines = []
    for row in rows:
        for wait in row["waits"]:
            outcome = {True: "held", False: "timed out", None: "did not end"}[wait["held"]]
            lines.append(f"  {row['index']} {_short(row['label'])}: {wait['condition']}  "
                         f"{_seconds(wait['seconds'])}, {outcome}")
    return lines


def report_data(recording):
    """The report as a dict of plain values (what ``--format json`` prints)."""
    rows = intervals(recording)
    # The joint limits are left out: they are not about time, and infinite ones are not JSON.
    header = {key: value for key, value in recording.header.items() if key != "limits"}
    return {"header": header, "cycles": recording.cycle_count(),
            "intervals": rows, "totals": interval_totals(rows), "commands": command_times(recording)}


def report(recording):
    """The cycle-time report of a recording, as text."""
    header = recording.header
    rows = command_times(recording)
    sums = totals(recording, rows)
    cycles = intervals(recording)
    title = (f"Recording of {header['robot']} ({header['degrees_of_freedom']} joints, "
             f"delta_time {header['delta_time'] * 1000:g} ms): {recording.cycle_count()} cycles, "
             f"{len(rows)} commands, {len(recording.events)} events, {len(recording.io)} I/O changes, "
             f"{len(recording.marks)} marks")
    per = "mark" if recording.marks else "command"
    interval_table = [_interval_cells(row) for row in cycles]
    interval_table.append(["", "total"] + [_seconds(sums[key]) for key in
                                           ("cycle_time", "motion", "waiting", "dwell", "idle", "wall")])
    table = [[row["index"], row["kind"], _short(row["arguments"]), _seconds(row["planned"]),
              _seconds(row["executed"]), _seconds(row["wall"]), _seconds(row["waiting"]), row["result"] or "-"]
             for row in rows]
    table.append(["", "total", "", _seconds(sums["planned"]), _seconds(sums["motion"]), "", "", ""])
    lines = [
        title,
        "",
        f"Cycle times per {per} (simulated clock; wall clock apart):",
        _table(["#", "interval", "cycle time", "motion", "waiting", "dwell", "idle", "wall clock"],
               interval_table),
    ]
    waits = _wait_lines(cycles)
    if waits:
        lines += ["", "Waits for a condition:"] + waits
    lines += [
        "",
        _table(["#", "command", "arguments", "planned", "executed", "wall clock", "wall since previous", "result"],
               table),
        "",
        f"Cycle time: {_seconds(sums['cycle_time'])} on the simulated clock ({_seconds(sums['motion'])} motion, "
        f"{_seconds(sums['waiting'])} waiting, {_seconds(sums['dwell'])} dwell, {_seconds(sums['idle'])} idle)",
        f"Wall clock: {_seconds(sums['wall'])}",
    ]
    failed = [row for row in rows if row["plan_failure"]]
    if failed:
        lines += ["", "Commands whose plan failed:"]
        lines += [f"  #{row['index']} {row['kind']}({_short(row['arguments'])}): {row['plan_failure']}"
                  for row in failed]
    return "\n".join(lines) + "\n"


def compare(first, second, first_name="first", second_name="second"):
    """Both runs' cycle times per interval side by side, with second - first."""
    first_rows = intervals(first)
    second_rows = intervals(second)
    table = []
    for k in range(max(len(first_rows), len(second_rows))):
        a = first_rows[k] if k < len(first_rows) else None
        b = second_rows[k] if k < len(second_rows) else None
        label = (a or b)["label"] if a is None or b is None or a["label"] == b["label"] \
            else f"{a['label']}/{b['label']}"
        a_time = a["cycle_time"] if a else None
        b_time = b["cycle_time"] if b else None
        table.append([k, _short(label), _seconds(a_time), _seconds(b_time), _difference(a_time, b_time)])
    first_sums = interval_totals(first_rows)
    second_sums = interval_totals(second_rows)
    for key, label in (("motion", "motion"), ("waiting", "waiting"), ("dwell", "dwell"), ("idle", "idle"),
                       ("cycle_time", "cycle time"), ("wall", "wall clock (apart)")):
        table.append(["", label, _seconds(first_sums[key]), _seconds(second_sums[key]),
                      _difference(first_sums[key], second_sums[key])])
    return _table(["#", "interval", first_name, second_name, "difference"], table) + "\n"


def _load(path):
    # Only the program reads files; the functions above take what they are handed.
    from velmor_driver_simulated import Recording
    return Recording.load(path)


def _shown(text):
    """A command-line argument as it can be printed: bytes that are not UTF-8 written as \\xNN."""
    return text.encode(errors="surrogateescape").decode(errors="backslashreplace")


class _Parser(argparse.ArgumentParser):
    """Reports a bad option in one line, like every other bad input."""

    def error(self, message):
        raise ValueError(message)


def _run(arguments):
    if arguments.output:
        # A figure it cannot draw is known before anything is read.
        from velmor_tools.plot import image_format
        image_format(arguments.output)
    recording = _load(arguments.recording)
    other = _load(arguments.compare) if arguments.compare else None
    names = (_shown(arguments.recording), _shown(arguments.compare or ""))
    if arguments.format == "json":
        data = report_data(recording)
        if other is not None:
            data = {"first": data, "second": report_data(other), "names": list(names)}
        sys.stdout.write(json.dumps(data, indent=2, allow_nan=False) + "\n")
    elif other is not None:
        sys.stdout.write(compare(recording, other, *names))
    else:
        sys.stdout.write(report(recording))
    if arguments.output:
        if other is not None:
            from velmor_tools.plot import plot_comparison
            plot_comparison(recording, other, arguments.output, names)
        else:
            recording.plot(arguments.output)
        if arguments.format != "json":
            print(f"Figure written to {_shown(arguments.output)}")


def main(argv=None):
    """The program: 0 when the report is printed, 2 with one line on standard error for any bad input or option."""
    parser = _Parser(prog="velmor-report", description="Print the cycle-time report of a recorded run.")
    parser.add_argument("recording", help="a recording saved or streamed as JSON Lines")
    parser.add_argument("-o", "--output", metavar="PNG", help="also draw the figure of the run to this file")
    parser.add_argument("--compare", metavar="OTHER",
                        help="a second recording: both runs' cycle times per interval side by side (with -o: "
                             "both runs in one figure)")
    parser.add_argument("--format", choices=("text", "json"), default="text",
                        help="text (the default) or JSON of the intervals, commands and totals")
    try:
        _run(parser.parse_args(argv))
    except (RuntimeError, OSError, ImportError, ValueError, MemoryError) as error:
        # The driver's messages span lines ("[velmor.exception.recording]", then the reason).
        print(f"velmor-report: {' '.join(str(error).split()) or type(error).__name__}", file=sys.stderr)
        return 2
    return 0


if __name__ == "__main__":
    sys.exit(main())
