"""Reading field data: current-meter records from a CSV file (columns named
in the import file or recognised by their header) or a CF-NetCDF file
(featureType timeSeries or timeSeriesProfile, by standard names), and a
dredger's log. Every problem names the file and the row (the line of the
CSV file, the record of the NetCDF file).

The records come out as Record(time, height, east, north, ustar, line):
time a timezone-aware UTC datetime, height above the bed (m), velocity
towards east and north (m/s), the friction velocity when the data have it.
"""
import collections
import csv
import datetime
import math
import re

Record = collections.namedtuple("Record", "time height east north ustar line")
Dump = collections.namedtuple("Dump", "time mass packets line")

UNITS = {"m/s": 1.0, "cm/s": 0.01, "mm/s": 0.001, "m s-1": 1.0, "cm s-1": 0.01, "mm s-1": 0.001}
MASS_UNITS = {"g": 1.0, "kg": 1000.0, "t": 1.0e6, "tonne": 1.0e6, "tonnes": 1.0e6}

# Headers recognised when the import file does not name the columns.
KNOWN = {
    "time": ["time", "time_utc", "datetime", "date_time", "timestamp", "utc"],
    "height": ["height", "height_m", "hab", "height_above_bed", "z"],
    "depth": ["depth", "depth_m", "depth_below_surface"],
    "east": ["u", "east", "u_east", "eastward", "ve", "east_velocity"],
    "north": ["v", "north", "v_north", "northward", "vn", "north_velocity"],
    "speed": ["speed", "spd", "current_speed"],
    "direction": ["direction", "dir", "current_direction"],
    "quality": ["qc", "quality", "flag", "quality_flag"],
    "ustar": ["ustar", "u_star", "friction_velocity"],
}


class ImportError_(Exception):
    """A problem of the field data: `where` is FILE:ROW."""

    def __init__(self, where, message):
        super().__init__("%s: error: %s" % (where, message))


def parse_time(text, where):
    """A UTC time in ISO 8601, with or without its zone (without: UTC)."""
    s = text.strip()
    if s.endswith("Z") or s.endswith("z"):
        s = s[:-1] + "+00:00"
    try:
        t = datetime.datetime.fromisoformat(s)
    except ValueError:
        raise ImportError_(where, "cannot read the time %r (ISO 8601, e.g. 2026-06-01T00:20:00Z)"
                           % text) from None
    if t.tzinfo is None:
        t = t.replace(tzinfo=datetime.timezone.utc)
    return t.astimezone(datetime.timezone.utc)


def header_key(name):
    """A header as its key: lower case, units in brackets dropped."""
    return re.sub(r"\s*[\(\[].*?[\)\]]\s*", "", name).strip().lower()


def header_units(name):
    m = re.search(r"[\(\[]\s*([^\)\]]+?)\s*[\)\]]", name)
    return m.group(1) if m else None


def velocity_factor(units, where):
    if units is None:
        return None
    key = units.strip().lower().replace(" ", "")
    key = {"m/s": "m/s", "cm/s": "cm/s", "mm/s": "mm/s", "ms-1": "m/s", "cms-1": "cm/s",
           "mms-1": "mm/s"}.get(key, key)
    if key not in UNITS:
        raise ImportError_(where, "unknown units of velocity %r: m/s, cm/s or mm/s" % units)
    return UNITS[key]


def number(text, where, what):
    try:
        v = float(text)
    except ValueError:
        raise ImportError_(where, "cannot read the %s %r as a number" % (what, text)) from None
    return v


def to_east_north(speed, direction, convention):
    """Speed and direction (degrees clockwise from north) as east, north;
    `convention` "towards" (where the water goes: oceanographic) or "from"
    (where it comes from)."""
    d = math.radians(direction + (180.0 if convention == "from" else 0.0))
    return speed * math.sin(d), speed * math.cos(d)


def read_csv(path, cfg):
    """The current-meter records of a CSV file in the long form: one row per
    time and meter. `cfg` is the [currents] table of the import file."""
    with open(path, newline="") as f:
        rows = list(csv.reader(f))
    if not rows:
        raise ImportError_("%s:1" % path, "the file is empty")
    header = rows[0]
    keys = [header_key(h) for h in header]

    def column(kind, required):
        name = cfg.get(kind)
        if name is not None:
            for k, h in enumerate(header):
                if h == name or header_key(h) == header_key(name):
                    return k
            raise ImportError_("%s:1" % path, "no column %r (the import file's %s)" % (name, kind))
        for k, key in enumerate(keys):
            if key in KNOWN[kind]:
                return k
        if required:
            raise ImportError_("%s:1" % path, "no %s column: name it in the import file "
                               "([currents] %s = \"...\") or use a header among %s"
                               % (kind, kind, ", ".join(KNOWN[kind])))
        return None

    tcol = column("time", True)
    hcol = column("height", False)
    dcol = column("depth", False) if hcol is None else None
    if hcol is None and dcol is None:
        raise ImportError_("%s:1" % path, "no height or depth column: name one in the import file "
                           "([currents] height = \"...\" or depth = \"...\" with water_depth)")
    water = cfg.get("water_depth")
    if dcol is not None and water is None:
        raise ImportError_("%s:1" % path, "a depth column needs the water depth ([currents] "
                           "water_depth = metres)")
    ecol, ncol = column("east", False), column("north", False)
    scol = dcol2 = None
    if ecol is None or ncol is None:
        scol, dcol2 = column("speed", False), column("direction", False)
        if scol is None or dcol2 is None:
            raise ImportError_("%s:1" % path, "no east and north columns, nor speed and direction")
        convention = cfg.get("direction_convention")
        if convention not in ("towards", "from"):
            raise ImportError_("%s:1" % path, "speed and direction need the direction's convention: "
                               "[currents] direction_convention = \"towards\" or \"from\"")
    vcol = ecol if ecol is not None else scol
    factor = velocity_factor(cfg.get("units") or header_units(header[vcol]) or "m/s",
                             "%s:1" % path)
    qcol = column("quality", False) if cfg.get("quality") or "good" in cfg else None
    good = set(str(g) for g in cfg.get("good", []))
    ucol = column("ustar", False)
    fill = cfg.get("fill")
    out, dropped = [], 0
    for n, row in enumerate(rows[1:], 2):
        where = "%s:%d" % (path, n)
        if not row or all(not c.strip() for c in row):
            continue
        if len(row) < len(header):
            raise ImportError_(where, "the row has %d fields, the header %d" % (len(row), len(header)))
        t = parse_time(row[tcol], where)
        if qcol is not None and good and row[qcol].strip() not in good:
            dropped += 1
            continue
        height = number(row[hcol], where, "height") if hcol is not None else \
            float(water) - number(row[dcol], where, "depth")
        if ecol is not None:
            a, b = number(row[ecol], where, "east velocity"), number(row[ncol], where, "north velocity")
            if fill is not None and (a == fill or b == fill):
                dropped += 1
                continue
            east, north = a * factor, b * factor
        else:
            s, d = number(row[scol], where, "speed"), number(row[dcol2], where, "direction")
            if fill is not None and (s == fill or d == fill):
                dropped += 1
                continue
            east, north = to_east_north(s * factor, d, convention)
        us = number(row[ucol], where, "friction velocity") if ucol is not None else None
        out.append(Record(t, height, east, north, us, n))
    return out, dropped


def read_netcdf(path, cfg):
    """The current-meter records of a CF-NetCDF file (featureType timeSeries
    or timeSeriesProfile): velocity by its standard names, the vertical
    coordinate by its `positive` attribute."""
    try:
        import netCDF4
        import numpy as np
    except ImportError:
        raise ImportError_(path, "netCDF4 for the system Python is missing (apt-get install "
                           "python3-netcdf4)") from None
    with netCDF4.Dataset(path) as d:
        ft = getattr(d, "featureType", "")
        if ft not in ("timeSeries", "timeSeriesProfile"):
            raise ImportError_(path, "featureType %r: timeSeries or timeSeriesProfile expected" % ft)
        by_name = {getattr(v, "standard_name", ""): v for v in d.variables.values()}

        def std(name):
            return by_name.get(name)
        east, north = std("eastward_sea_water_velocity"), std("northward_sea_water_velocity")
        speed, direction = std("sea_water_speed"), std("direction_of_sea_water_velocity")
        if (east is None or north is None) and (speed is None or direction is None):
            raise ImportError_(path, "no eastward_sea_water_velocity and northward_sea_water_velocity, "
                               "nor sea_water_speed and direction_of_sea_water_velocity")
        base = east if east is not None else speed
        time = d.variables.get("time")
        if time is None:
            raise ImportError_(path, "no variable time")
        times = netCDF4.num2date(time[:], time.units, getattr(time, "calendar", "standard"),
                                 only_use_cftime_datetimes=False, only_use_python_datetimes=True)
        vert = None
        for v in d.variables.values():
            if getattr(v, "positive", None) in ("up", "down") and v.ndim <= 2 and v.name != "time":
                vert = v
        if vert is None:
            raise ImportError_(path, "no vertical coordinate (a variable with positive = up or down)")
        z = np.asarray(vert[:], float)
        if vert.positive == "down":
            water = cfg.get("water_depth")
            if water is None:
                raise ImportError_(path, "a depth coordinate (positive = down) needs the water depth "
                                   "([currents] water_depth = metres)")
            z = float(water) - z
        factor = velocity_factor(getattr(base, "units", "m/s"), path)
        fill = cfg.get("fill")

        def values(v):
            a = np.ma.filled(np.ma.asarray(v[:]).astype(float), np.nan)
            if fill is not None:
                a[a == fill] = np.nan
            return a
        if east is not None:
            ue, vn = values(east) * factor, values(north) * factor
        else:
            s, dd = values(speed) * factor, values(direction)
            ue = s * np.sin(np.radians(dd))   # CF: the direction the water goes to
            vn = s * np.cos(np.radians(dd))
        # Arrange as (time, level) whatever the order of the dimensions.
        tdim = time.dimensions[0]
        if ue.ndim == 1:
            ue, vn = ue[:, None], vn[:, None]
            heights = np.atleast_1d(z)[:1]
        else:
            if base.dimensions[0] != tdim:
                ue, vn = ue.T, vn.T
            heights = z
        out = []
        for k, t in enumerate(times):
            t = t.replace(tzinfo=datetime.timezone.utc)
            for j, h in enumerate(heights):
                if not (np.isfinite(ue[k, j]) and np.isfinite(vn[k, j])):
                    continue
                out.append(Record(t, float(h), float(ue[k, j]), float(vn[k, j]), None, k + 1))
    return out, 0


def read_dumps(path, cfg):
    """A dredger's log: one row per dump, its UTC time and its mass (with
    its units) or its number of packets."""
    with open(path, newline="") as f:
        rows = list(csv.reader(f))
    if not rows:
        raise ImportError_("%s:1" % path, "the file is empty")
    header = [header_key(h) for h in rows[0]]

    def col(name, default):
        name = cfg.get(name, default)
        for n in ([name] if isinstance(name, str) else name):
            if header_key(n) in header:
                return header.index(header_key(n))
        return None
    tcol = col("time", KNOWN["time"])
    mcol = col("mass", ["mass", "mass_t", "mass_kg", "load", "load_t", "tonnes"])
    pcol = col("packets", ["packets", "npack"])
    if tcol is None or (mcol is None and pcol is None):
        raise ImportError_("%s:1" % path, "the log needs a time column and a mass or packets column")
    units = cfg.get("mass_units") or header_units(rows[0][mcol]) if mcol is not None else None
    if mcol is not None and (units or "").lower() not in MASS_UNITS:
        raise ImportError_("%s:1" % path, "unknown mass units %r: g, kg or t" % units)
    out = []
    for n, row in enumerate(rows[1:], 2):
        if not row or all(not c.strip() for c in row):
            continue
        where = "%s:%d" % (path, n)
        t = parse_time(row[tcol], where)
        mass = number(row[mcol], where, "mass") * MASS_UNITS[units.lower()] if mcol is not None else None
        packets = int(number(row[pcol], where, "packets")) if pcol is not None else None
        out.append(Dump(t, mass, packets, n))
    for a, b in zip(out, out[1:]):
        if b.time <= a.time:
            raise ImportError_("%s:%d" % (path, b.line), "the dumps go back in time or repeat one "
                               "(%s after %s)" % (b.time.isoformat(), a.time.isoformat()))
    return out
