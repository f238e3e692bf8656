"""Cycle-time reports of recorded runs.

A recording (``velmor_driver_simulated.Recording``) lists every command the
driver was given. For each one the report shows the duration of the planned
trajectory, the simulated time the motion took, the wall-clock time from the
command to its result, the wall-clock time spent waiting since the previous
command ended, and the result; then the totals of the run.

As a program::

    velmor-report run.jsonl                      # print the report
    velmor-report run.jsonl -o run.png           # ... and draw the figure
    velmor-report run.jsonl --compare other.jsonl

or, from a build tree, ``python3 -m velmor_tools.report run.jsonl``.
"""

import argparse
import sys

__all__ = ["command_times", "totals", "report", "compare", "main"]

ARGUMENTS_WIDTH = 40


def _seconds(value):
    return "-" if value is None else f"{value:.3f} s"


def _difference(a, b):
    if a is None or b is None:
        return "-"
    return f"{b - a:+.3f} s"


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
    """The run's totals [s]: planned, motion (simulated), waiting (wall clock),
    cycle_time (motion + waiting) and wall (first command to the last result)."""
    rows = command_times(recording) if rows is None else rows

    def total(key):
        return sum(row[key] for row in rows if row[key] is not None)

    commands = recording.commands
    ends = [c.end_wall_time for c in commands if c.end_wall_time is not None]
    motion = total("executed")
    waiting = total("waiting")
    return {
        "planned": total("planned"),
        "motion": motion,
        "waiting": waiting,
        "cycle_time": motion + waiting,
        "wall": max(ends) - commands[0].start_wall_time if ends else 0.0,
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


def report(recording):
    """The cycle-time report of a recording, as text."""
    header = recording.header
    rows = command_times(recording)
    sums = totals(recording, rows)
    title = (f"Recording of {header['robot']} ({header['degrees_of_freedom']} joints, "
             f"delta_time {header['delta_time'] * 1000:g} ms): {recording.cycle_count()} cycles, "
             f"{len(rows)} commands, {len(recording.events)} events, {len(recording.io)} I/O changes")
    table = [[row["index"], row["kind"], _short(row["arguments"]), _seconds(row["planned"]),
              _seconds(row["executed"]), _seconds(row["wall"]), _seconds(row["waiting"]), row["result"] or "-"]
             for row in rows]
    table.append(["", "total", "", _seconds(sums["planned"]), _seconds(sums["motion"]), "",
                  _seconds(sums["waiting"]), ""])
    lines = [
        title,
        "",
        _table(["#", "command", "arguments", "planned", "executed", "wall clock", "waiting", "result"], table),
        "",
        f"Cycle time: {_seconds(sums['cycle_time'])} "
        f"({_seconds(sums['motion'])} simulated motion + {_seconds(sums['waiting'])} waiting between commands)",
        f"Wall clock from the first command to the last result: {_seconds(sums['wall'])}",
    ]
    failed = [row for row in rows if row["plan_failure"]]
    if failed:
        lines += ["", "Commands whose plan failed:"]
        lines += [f"  #{row['index']} {row['kind']}({_short(row['arguments'])}): {row['plan_failure']}"
                  for row in failed]
    return "\n".join(lines) + "\n"


def compare(first, second, first_name="first", second_name="second"):
    """Both runs' cycle times side by side, with second - first."""
    first_rows = command_times(first)
    second_rows = command_times(second)
    table = []
    for k in range(max(len(first_rows), len(second_rows))):
        a = first_rows[k] if k < len(first_rows) else None
        b = second_rows[k] if k < len(second_rows) else None
        kind = (a or b)["kind"] if a is None or b is None or a["kind"] == b["kind"] else f"{a['kind']}/{b['kind']}"
        a_time = a["executed"] if a else None
        b_time = b["executed"] if b else None
        table.append([k, kind, _seconds(a_time), _seconds(b_time), _difference(a_time, b_time)])
    first_sums = totals(first, first_rows)
    second_sums = totals(second, second_rows)
    for key, label in (("motion", "motion (simulated)"), ("waiting", "waiting (wall clock)"),
                       ("cycle_time", "cycle time"), ("wall", "wall clock")):
        table.append(["", label, _seconds(first_sums[key]), _seconds(second_sums[key]),
                      _difference(first_sums[key], second_sums[key])])
    return _table(["#", "command", first_name, second_name, "difference"], table) + "\n"


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
    if arguments.compare:
        other = _load(arguments.compare)
        sys.stdout.write(compare(recording, other, _shown(arguments.recording), _shown(arguments.compare)))
    else:
        sys.stdout.write(report(recording))
    if arguments.output:
        recording.plot(arguments.output)
        print(f"Figure written to {_shown(arguments.output)}")


def main(argv=None):
    """The program: 0 when the report is printed, 2 with one line on standard error for any bad input or option."""
    parser = _Parser(prog="velmor-report", description="Print the cycle-time report of a recorded run.")
    parser.add_argument("recording", help="a recording saved or streamed as JSON Lines")
    parser.add_argument("-o", "--output", metavar="PNG", help="also draw the figure of the run to this file")
    parser.add_argument("--compare", metavar="OTHER", help="a second recording: both runs' cycle times side by side")
    try:
        _run(parser.parse_args(argv))
    except (RuntimeError, OSError, ImportError, ValueError, MemoryError) as error:
        # The driver's messages span lines ("[velmor.exception.recording]", then the reason).
        print(f"velmor-report: {' '.join(str(error).split()) or type(error).__name__}", file=sys.stderr)
        return 2
    return 0


if __name__ == "__main__":
    sys.exit(main())
