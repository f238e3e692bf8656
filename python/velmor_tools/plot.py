"""Figures of recorded runs: joint positions, velocities and accelerations over
the driver's simulated clock with the robot's limits, the command boundaries and
marks, motion, waits and dwells shaded (so that dwells and waits have their
width), and a timeline of the I/O signals underneath; and two runs compared.
Needs NumPy and Matplotlib (Debian's python3-numpy and python3-matplotlib)."""

import math
import os

from velmor_tools.intervals import end_of, intervals, spans

__all__ = ["plot", "plot_comparison", "image_format"]

SOURCE_COLORS = {"Script": "#202020", "Viewer": "#1f77b4", "Toggle": "#ff7f0e", "ConfigFile": "#2ca02c"}
# Shades of the parts of the run, lightest for motion, which takes most of the time.
SPAN_COLORS = {"motion": "#e5f5e0", "waiting": "#fdd0a2", "dwell": "#cbc9e2"}
JOINT_COLORS = ["#1f77b4", "#ff7f0e", "#2ca02c", "#d62728", "#9467bd", "#8c564b", "#e377c2", "#7f7f7f", "#bcbd22",
                "#17becf"]
# Command names are written over the figure only while they still fit.
MOST_LABELLED_COMMANDS = 40


def _require(module, package):
    try:
        return __import__(module)
    except ImportError:
        raise ImportError(f"Recording.plot needs {module}, which is not installed: on Debian install {package} "
                          f"(apt-get install {package}).") from None


def image_format(path):
    """The image format that `path` names by its extension (PNG without one);
    ValueError for a format Matplotlib cannot write."""
    _require("matplotlib", "python3-matplotlib")
    from matplotlib.backend_bases import FigureCanvasBase

    extension = os.path.splitext(os.fsdecode(path))[1][1:].lower() or "png"
    formats = FigureCanvasBase.get_supported_filetypes()
    if extension not in formats:
        raise ValueError(f"cannot draw a figure as '.{extension}': the formats are {', '.join(sorted(formats))}")
    return extension


def _placeable_times(commands, io):
    """Refuses command and I/O times that no axis can place (NaN, infinite)."""
    for command in commands:
        for name in ("start_time", "end_time"):
            value = getattr(command, name)
            if value is not None and not math.isfinite(value):
                raise ValueError(f"command {command.index} has the {name.replace('_', ' ')} {value}, "
                                 f"which the figure cannot place")
    for change in io:
        if not math.isfinite(change.time):
            raise ValueError(f"the I/O change of {change.name} at {change.time} s cannot be placed in the figure")


def _shade(panels, recording, end_time):
    """Shades motion, waits and dwells on every panel, and draws the marks."""
    for kind, found in spans(recording, end_time).items():
        for low, high in found:
            if high > low:
                for panel in panels:
                    panel.axvspan(low, high, color=SPAN_COLORS[kind], linewidth=0, zorder=0)
    for mark in recording.marks:
        for panel in panels:
            panel.axvline(mark.time, color="#6a51a3", linewidth=0.9)
        panels[0].text(mark.time, 0.98, mark.label, rotation=90, fontsize=7, color="#6a51a3", va="top",
                       ha="right", transform=panels[0].get_xaxis_transform())


def _panel(axes, times, values, limits, low_key, high_key, label, colors):
    for joint in range(values.shape[1]):
        axes.plot(times, values[:, joint], color=colors[joint % len(colors)], linewidth=1.1, label=f"J{joint + 1}")
    for joint, limit in enumerate(limits):
        color = colors[joint % len(colors)]
        high = limit[high_key]
        low = limit[low_key] if low_key else -high
        for bound in (low, high):
            if abs(bound) != float("inf") and bound == bound:
                axes.axhline(bound, color=color, linewidth=0.8, linestyle="--", alpha=0.45)
    axes.set_ylabel(label)
    axes.grid(True, alpha=0.3)


def _io_timeline(axes, io, end_time):
    names = sorted({change.name for change in io})
    for row, name in enumerate(names):
        changes = [change for change in io if change.name == name]
        value = changes[0].old_value
        since = 0.0
        # Digital signals are drawn as bars while they are not 0; analog ones are written out.
        for change in changes + [None]:
            until = end_time if change is None else change.time
            if isinstance(value, int) and value != 0 and until > since:
                axes.broken_barh([(since, until - since)], (row - 0.3, 0.6), color="#9ecae1")
            if change is None:
                break
            if isinstance(change.new_value, float):
                axes.text(change.time, row + 0.32, f"{change.new_value:g}", fontsize=7, va="bottom")
            axes.plot([change.time], [row], marker="|", markersize=12,
                      color=SOURCE_COLORS.get(change.source.name, "black"))
            value = change.new_value
            since = change.time
    axes.set_yticks(range(len(names)))
    axes.set_yticklabels(names)
    axes.set_ylim(-0.7, len(names) - 0.3)
    axes.set_ylabel("I/O")
    axes.grid(True, axis="x", alpha=0.3)
    sources = sorted({change.source.name for change in io})
    for source in sources:
        axes.plot([], [], marker="|", linestyle="none", markersize=10, color=SOURCE_COLORS.get(source, "black"),
                  label=source)
    axes.legend(loc="upper left", bbox_to_anchor=(1.0, 1.0), fontsize=8, title="changed by", title_fontsize=8)


def plot(recording, path):
    """Draws the recording to `path` (PNG, or any format Matplotlib knows by the extension)."""
    _require("numpy", "python3-numpy")
    image = image_format(path)
    from matplotlib.backends.backend_agg import FigureCanvasAgg
    from matplotlib.figure import Figure

    header = recording.header
    times = recording.times
    joints = header["degrees_of_freedom"]
    positions = recording.positions.reshape(-1, joints)
    velocities = recording.velocities.reshape(-1, joints)
    accelerations = recording.accelerations.reshape(-1, joints)
    commands = recording.commands
    io = recording.io
    _placeable_times(commands, io)
    end_time = max([float(t) for t in times[-1:] if math.isfinite(t)] + [end_of(recording)[0]])

    names = {change.name for change in io}
    heights = [3, 3, 3] + ([max(1.2, 0.45 * len(names))] if names else [])
    figure = Figure(figsize=(12, 2.6 * 3 + (0.6 + 0.35 * len(names) if names else 0)), dpi=100,
                    layout="constrained")
    FigureCanvasAgg(figure)
    axes = figure.subplots(len(heights), 1, sharex=True, gridspec_kw={"height_ratios": heights})
    colors = JOINT_COLORS
    limits = header["limits"]
    _panel(axes[0], times, positions, limits, "min_position", "max_position", "position [rad]", colors)
    _panel(axes[1], times, velocities, limits, None, "max_velocity", "velocity [rad/s]", colors)
    _panel(axes[2], times, accelerations, limits, None, "max_acceleration", "acceleration [rad/s²]", colors)
    axes[0].plot([], [], color="gray", linestyle="--", linewidth=0.8, label="limit")
    axes[0].legend(loc="upper left", bbox_to_anchor=(1.0, 1.0), fontsize=8)
    _shade(axes, recording, end_time)
    from matplotlib.patches import Patch
    axes[2].legend(handles=[Patch(color=color, label=kind) for kind, color in SPAN_COLORS.items()],
                   loc="upper left", bbox_to_anchor=(1.0, 1.0), fontsize=8, title="time spent", title_fontsize=8)
    if names:
        _io_timeline(axes[3], io, end_time)

    for command in commands:
        for panel in axes:
            panel.axvline(command.start_time, color="0.35", linewidth=0.7, linestyle=":")
        if len(commands) <= MOST_LABELLED_COMMANDS:
            axes[0].text(command.start_time, 1.01, f"{command.index} {command.kind}", rotation=45, fontsize=7,
                         transform=axes[0].get_xaxis_transform(), va="bottom", ha="left")
    axes[-1].set_xlabel("simulated clock [s]")
    axes[-1].set_xlim(0.0, end_time if end_time > 0 else 1.0)
    figure.suptitle(f"{header['robot']}: {len(times)} cycles, {len(commands)} commands, "
                    f"{len(recording.events)} events, {len(io)} I/O changes", fontsize=11)
    figure.savefig(path, format=image)


def plot_comparison(first, second, path, names=("first", "second")):
    """Draws two runs to `path`: their joint positions over the simulated clock, one
    over the other (the second dashed), and each interval's cycle time as bars."""
    _require("numpy", "python3-numpy")
    image = image_format(path)
    import numpy
    from matplotlib.backends.backend_agg import FigureCanvasAgg
    from matplotlib.figure import Figure

    figure = Figure(figsize=(12, 8), dpi=100, layout="constrained")
    FigureCanvasAgg(figure)
    positions, bars = figure.subplots(2, 1, gridspec_kw={"height_ratios": [3, 2]})
    rows = [intervals(first), intervals(second)]
    for run, (recording, style) in enumerate(((first, "-"), (second, "--"))):
        joints = recording.header["degrees_of_freedom"]
        values = recording.positions.reshape(-1, joints)
        for joint in range(joints):
            positions.plot(recording.times, values[:, joint], linestyle=style, linewidth=1.1,
                           color=JOINT_COLORS[joint % len(JOINT_COLORS)],
                           label=f"J{joint + 1}" if run == 0 else None)
        positions.plot([], [], color="gray", linestyle=style, label=names[run])
        offsets = numpy.arange(len(rows[run])) + (run - 0.5) * 0.4
        bars.bar(offsets, [row["cycle_time"] for row in rows[run]], width=0.4, label=names[run],
                 color="#4292c6" if run == 0 else "#fd8d3c")
    positions.set_xlabel("simulated clock [s]")
    positions.set_ylabel("position [rad]")
    positions.grid(True, alpha=0.3)
    positions.legend(loc="upper left", bbox_to_anchor=(1.0, 1.0), fontsize=8)
    longest = max(rows, key=len)
    bars.set_xticks(range(len(longest)))
    bars.set_xticklabels([row["label"] for row in longest], rotation=30, ha="right", fontsize=8)
    bars.set_ylabel("cycle time [s]")
    bars.grid(True, axis="y", alpha=0.3)
    bars.legend(loc="upper left", bbox_to_anchor=(1.0, 1.0), fontsize=8)
    figure.suptitle(f"{names[0]} and {names[1]}", fontsize=11)
    figure.savefig(path, format=image)
