"""Writing the run folder: one velocity series per meter on the run's
clock, the node files, the bottom stress series, the dumps, run.par with
its annotated form, and site.toml.

Days are counted as the program counts them: day 1.0 is 1 January 00:00
UTC of the year of the run's start, and a run that crosses a year end goes
on counting (day 366.5 of 2026 is 1 January 2027, 12:00).
"""
import datetime
import math
import os

KAPPA = 0.4
Z0 = 0.003495           # the roughness length of the program's log layer, m
MAPMAX = 301


def day_number(t, year):
    """The program's day of `t` (UTC) in the day count of `year`."""
    origin = datetime.datetime(year, 1, 1, tzinfo=datetime.timezone.utc)
    return (t - origin) / datetime.timedelta(days=1) + 1.0


def hours_text(seconds):
    """Hours as text that gives back exactly `seconds` when the program
    multiplies it by 3600: the shortest such decimal."""
    for digits in range(1, 18):
        text = "%.*g" % (digits, seconds / 3600.0)
        if float(text) * 3600.0 == seconds:
            return text
    return repr(seconds / 3600.0)


def run_length_text(updates, dtvu_text):
    """The run's length in hours as text that makes the program count
    exactly `updates` velocity updates: it truncates ttotal / dtvu (both in
    seconds), so the shortest decimal at or just above updates x dtvu
    whose quotient truncates to `updates`."""
    dtvu = float(dtvu_text) * 3600.0
    hours = updates * dtvu / 3600.0
    for digits in range(1, 18):
        for text in ("%.*g" % (digits, hours),
                     "%.*g" % (digits, hours * (1 + 10.0 ** (1 - digits)))):
            if int(float(text) * 3600.0 / dtvu) == updates and float(text) * 3600.0 / dtvu < updates + 0.5:
                return text
    raise ValueError("no run length gives %d updates of %s h" % (updates, dtvu_text))


def drag_coefficient(height):
    """The drag coefficient at `height` (m) that the program's log layer
    implies: (kappa / ln(z / z0))**2 with z0 = 0.003495 m."""
    return (KAPPA / math.log(height / Z0)) ** 2


def write(folder, name, lines):
    path = os.path.join(folder, name)
    with open(path, "w", newline="\n") as f:
        f.write("\n".join(lines) + "\n")
    return path


def meter_file(height):
    return "vel_%06.2fm.dat" % height


def log_nodes(href, lowest, n):
    """n heights from href to the lowest meter, evenly spaced in ln z (the
    log layer's own spacing); the top one is the lowest meter itself."""
    return [href * (lowest / href) ** (k / (n - 1)) for k in range(n - 1)] + [lowest]


def drift_extent(east, north, dtvu):
    """The box (m) the release point's water covers, drifting with the mean
    current of the meters from the first clock time."""
    x = y = 0.0
    xs, ys = [0.0], [0.0]
    for u, v in zip(east, north):
        x += u * dtvu
        y += v * dtvu
        xs.append(x)
        ys.append(y)
    return min(xs), max(xs), min(ys), max(ys)


def map_grid(extent, margin=3000.0):
    """A map grid over the drift with a margin: square cells of a whole
    number of 50 m, at most MAPMAX a side."""
    x0, x1, y0, y1 = extent[0] - margin, extent[1] + margin, extent[2] - margin, extent[3] + margin
    side = max(x1 - x0, y1 - y0)
    cell = 50.0 * math.ceil(side / 150.0 / 50.0)
    nx = min(MAPMAX, int(math.ceil((x1 - x0) / cell)) + 1)
    ny = min(MAPMAX, int(math.ceil((y1 - y0) / cell)) + 1)
    return nx, x0, x0 + cell * (nx - 1), ny, y0, y0 + cell * (ny - 1)


class Record:
    """One record of run.par: its text, its stable name and what it holds."""

    def __init__(self, text, name, comment):
        self.text, self.name, self.comment = text, name, comment


def run_par(records):
    return [r.text for r in records] + [""]


def annotated(records, title):
    lines = [title, "=" * len(title), "",
             "Each record of run.par, its number, its stable name in brackets (the name",
             "vorncheck --records and vornens use) and what it holds. Written by vornimport:",
             "the values marked CHOOSE are defaults to set to the case.", ""]
    for k, r in enumerate(records, 1):
        left = "%-3d %-30s " % (k, r.text if len(r.text) <= 30 else r.text[:27] + "...")
        comment = r.comment.split("\n")
        lines.append(left + "[%s] %s" % (r.name, comment[0]))
        for c in comment[1:]:
            lines.append(" " * len(left) + c)
    return lines + [""]
