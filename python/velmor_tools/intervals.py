"""A recorded run cut into intervals of its simulated clock, and where each
interval's time went.

The intervals lie between the marks the program set with ``driver.mark(label)``
(the first from the start of the recording); without marks there is one per
command, from its start to the next command's start. Each interval's simulated
time is split into motion (a command under way), waiting for a condition
(``wait_for``), dwelling (``sleep``) and idle time, in that order of precedence
where they overlap, so that the four add up to the interval's cycle time.
Wall-clock time is kept apart: it depends on the machine and on time_speed.
"""

__all__ = ["spans", "end_of", "intervals", "interval_totals"]

# The precedence of the parts of an interval, highest first.
KINDS = ("motion", "waiting", "dwell")


def end_of(recording):
    """The last simulated [s] and wall-clock [s] time the recording's records know of."""
    times = [0.0]
    walls = [0.0]
    for command in recording.commands:
        times += [command.start_time, command.end_time or command.start_time]
        walls += [command.start_wall_time, command.end_wall_time or command.start_wall_time]
    for wait in recording.waits:
        times += [wait.start_time, wait.end_time or wait.start_time]
        walls += [wait.start_wall_time, wait.end_wall_time or wait.start_wall_time]
    for record in list(recording.events) + list(recording.io) + list(recording.marks):
        times.append(record.time)
        walls.append(record.wall_time)
    return max(times), max(walls)


def spans(recording, end=None):
    """The simulated spans [start, end] of each kind: {"motion": [...], "waiting": [...],
    "dwell": [...]}; a command or wait without an end lasts until `end`."""
    end = end_of(recording)[0] if end is None else end
    found = {kind: [] for kind in KINDS}
    for command in recording.commands:
        found["motion"].append((command.start_time, end if command.end_time is None else command.end_time))
    for wait in recording.waits:
        kind = "dwell" if wait.kind == "dwell" else "waiting"
        found[kind].append((wait.start_time, end if wait.end_time is None else wait.end_time))
    return found


def _split(start, end, found):
    """Seconds of motion, waiting, dwell and idle within [start, end]."""
    cuts = {start, end}
    for kind in KINDS:
        for low, high in found[kind]:
            cuts.update(t for t in (low, high) if start < t < end)
    cuts = sorted(cuts)
    parts = dict.fromkeys(KINDS + ("idle",), 0.0)
    for low, high in zip(cuts, cuts[1:]):
        middle = (low + high) / 2
        kind = next((kind for kind in KINDS if any(a <= middle <= b for a, b in found[kind])), "idle")
        parts[kind] += high - low
    return parts


def _boundaries(recording, end, wall_end):
    """(label, start, start wall-clock time) of every interval, and the end of the last."""
    if recording.marks:
        points = [("(start)", 0.0, 0.0)] + [(m.label, m.time, m.wall_time) for m in recording.marks]
        # Each interval is named after the mark that ends it; the rest after the last mark.
        bounds = [(points[k + 1][0], points[k][1], points[k][2]) for k in range(len(points) - 1)]
        if end > points[-1][1]:
            bounds.append(("(after the last mark)", points[-1][1], points[-1][2]))
            return bounds, (end, wall_end)
        return bounds, (points[-1][1], points[-1][2])
    bounds = [(c.kind, c.start_time, c.start_wall_time) for c in recording.commands]
    if not bounds or bounds[0][1] > 0.0:
        bounds.insert(0, ("(before the first command)" if bounds else "(whole run)", 0.0, 0.0))
    return bounds, (end, wall_end)


def intervals(recording):
    """One dict per interval: index, label, start and end [s simulated], cycle_time,
    motion, waiting, dwell, idle [s simulated], wall [s wall clock] and waits (the
    waits for a condition that began in it: condition, seconds, held)."""
    end, wall_end = end_of(recording)
    found = spans(recording, end)
    bounds, last = _boundaries(recording, end, wall_end)
    rows = []
    for k, (label, start, wall_start) in enumerate(bounds):
        stop, wall_stop = (bounds[k + 1][1], bounds[k + 1][2]) if k + 1 < len(bounds) else last
        row = {"index": k, "label": label, "start": start, "end": stop, "cycle_time": stop - start}
        row.update(_split(start, stop, found))
        row["wall"] = wall_stop - wall_start
        row["waits"] = [{"condition": w.condition, "held": w.held,
                         "seconds": None if w.end_time is None else w.end_time - w.start_time}
                        for w in recording.waits if w.kind == "wait" and start <= w.start_time < stop]
        rows.append(row)
    return rows


def interval_totals(rows):
    """The sums of the intervals' cycle time, motion, waiting, dwell, idle and wall-clock time [s]."""
    return {key: sum(row[key] for row in rows)
            for key in ("cycle_time", "motion", "waiting", "dwell", "idle", "wall")}
