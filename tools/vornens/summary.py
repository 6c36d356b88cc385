"""vornens summarise: the members' NetCDF files (run.nc, written by
vorn2nc) as one CF-NetCDF file of ensemble statistics.

For the concentrations at points (group concentration) and on the map
(group map), per time and per point or cell, over the members summarised:
  *_mean                    the mean
  *_percentile              the 5th, 50th and 95th percentiles: linear
                            interpolation between the ordered values (the
                            p-th percentile of n values is the value at rank
                            p/100 * (n - 1) from 0, between two ranks in
                            proportion)
  exceedance_probability    the fraction of members above each threshold
                            (strictly above)
and the same per scenario (each combination of the varied values other
than the seeds; *_by_scenario) when more than the seeds varies. The member
dimension carries each member's varied values (and, at the points, its
concentrations). A value a member's text file could not hold (a fill
value) makes the statistics of its point or cell a fill value.

The map is read a few frames at a time from every member, so memory stays
bounded for large grids and ensembles.
"""
import datetime
import os
import re
import resource
import tomllib

import numpy as np

from vornens.engines import member_status
from vornens.ensemble import EnsembleError

try:
    import netCDF4
except ImportError:  # the error is raised when a summary is asked for
    netCDF4 = None

PERCENTILES = (5.0, 50.0, 95.0)
MAP_BLOCK_BYTES = 256 * 2**20  # members' map frames held at once, as doubles
FILL = np.float32(9.96921e36)

# What is compared between members, and copied from the first, per group.
GROUPS = {
    "concentration": {"var": "concentration", "coords": ["time", "station", "x", "y", "z",
                                                         "z_bounds", "radius"]},
    "map": {"var": "layer_concentration", "coords": ["time", "x", "y", "z", "x_bounds",
                                                     "y_bounds", "z_bounds"]},
}


def thresholds_of(folder):
    path = os.path.join(folder, "ensemble.toml")
    try:
        with open(path, "rb") as f:
            doc = tomllib.load(f)
        t = doc["summary"]["thresholds"]
        t = sorted(float(x) for x in t)
    except (OSError, KeyError, TypeError, ValueError, tomllib.TOMLDecodeError) as e:
        raise EnsembleError("%s: no [summary] thresholds (%s)" % (path, e)) from None
    if not t or len(set(t)) != len(t):
        raise EnsembleError("%s: [summary] thresholds must be distinct concentrations" % path)
    return t


def statistics(a, thresholds):
    """Mean, percentiles and exceedance probabilities over the first axis
    (the members) of `a`; NaN (a fill value) in any member makes the
    point's statistics NaN, and no member at all makes them all NaN."""
    if a.shape[0] == 0:
        shape = a.shape[1:]
        nan = np.full(shape, np.nan)
        return nan, np.full((len(PERCENTILES),) + shape, np.nan), \
            np.full((len(thresholds),) + shape, np.nan)
    a = a.astype(np.float64)
    bad = np.isnan(a).any(axis=0)
    mean = a.mean(axis=0)
    pct = np.percentile(a, PERCENTILES, axis=0)
    exc = np.stack([(a > t).mean(axis=0) for t in thresholds])
    exc[:, bad] = np.nan
    return mean, pct, exc


def name_of(column):
    return re.sub(r"[^A-Za-z0-9_]", "_", column).strip("_")


def read_member_var(ds, group, var, sl=slice(None)):
    v = ds[group][var][sl]
    return np.ma.filled(np.ma.asarray(v).astype(np.float64), np.nan)


class Writer:
    """The output file: dimensions, coordinates and the statistics
    variables of each group."""

    def __init__(self, path, first, groups, planned, present, scenarios, thresholds):
        self.nc = netCDF4.Dataset(path, "w", format="NETCDF4")
        self.planned, self.scenarios, self.thresholds = planned, scenarios, thresholds
        self.present = present
        self.member_coords(self.nc)
        if scenarios:
            self.scenario_coords(self.nc)
        for g in groups:
            out = self.nc.createGroup(g)
            src = first[g]
            out.setncatts({"comment": "Ensemble statistics of the group %s of the members' "
                                      "NetCDF files" % g})
            for name, dim in src.dimensions.items():
                out.createDimension(name, None if dim.isunlimited() else len(dim))
            for name in GROUPS[g]["coords"]:
                if name in src.variables:
                    v = src[name]
                    fill = v.getncattr("_FillValue") if "_FillValue" in v.ncattrs() else None
                    w = out.createVariable(name, v.dtype, v.dimensions, fill_value=fill)
                    w.setncatts({a: v.getncattr(a) for a in v.ncattrs() if a != "_FillValue"})
                    w[...] = v[...]
            out.createDimension("percentile", len(PERCENTILES))
            p = out.createVariable("percentile", "f8", ("percentile",))
            p.setncatts({"units": "percent", "long_name": "percentile over the ensemble members"})
            p[:] = PERCENTILES
            out.createDimension("threshold", len(thresholds))
            t = out.createVariable("threshold", "f8", ("threshold",))
            t.setncatts({"units": "g m-3", "long_name": "concentration threshold",
                         "standard_name": "mass_concentration_of_suspended_matter_in_sea_water"})
            t[:] = thresholds
            if scenarios:
                self.scenario_coords(out)
            self.statistics_vars(out, g, src)
            if g == "concentration":
                self.member_coords(out)
                dims = ("member",) + src[GROUPS[g]["var"]].dimensions
                v = out.createVariable("concentration", "f4", dims, fill_value=FILL, zlib=True)
                v.setncatts({"units": "g m-3", "long_name": "concentration of each member",
                             "standard_name":
                                 "mass_concentration_of_suspended_matter_in_sea_water",
                             "coordinates": "time x y z",
                             "comment": "fill values for members not summarised"})

    def member_coords(self, out):
        p = self.planned
        out.createDimension("member", len(p.members))
        v = out.createVariable("member", "i4", ("member",))
        v.setncatts({"long_name": "ensemble member", "standard_name": "realization",
                     "comment": "the member's line in members.txt and its Slurm array task"})
        v[:] = [m.number for m in p.members]
        v = out.createVariable("member_folder", str, ("member",))
        v.long_name = "the member's folder in the ensemble folder"
        for k, m in enumerate(p.members):
            v[k] = m.folder
        v = out.createVariable("summarised", "i1", ("member",))
        v.setncatts({"long_name": "the member is part of the statistics",
                     "flag_values": np.array([0, 1], np.int8),
                     "flag_meanings": "missing summarised"})
        v[:] = [1 if m.folder in self.present else 0 for m in p.members]
        for k, col in enumerate(p.columns):
            self.values_var(out, name_of(col["name"]), "member", col,
                            [m.values[k] for m in p.members], "of each member")
        if self.scenarios:
            v = out.createVariable("member_scenario", "i4", ("member",))
            v.long_name = "the member's scenario (its varied values other than the seeds)"
            v[:] = [self.scenarios.of_member[m.folder] + 1 for m in p.members]

    def scenario_coords(self, out):
        s = self.scenarios
        out.createDimension("scenario", len(s.keys))
        v = out.createVariable("scenario", "i4", ("scenario",))
        v.long_name = "scenario: one combination of the varied values other than the seeds"
        v[:] = np.arange(1, len(s.keys) + 1)
        for j, k in enumerate(s.columns):
            col = self.planned.columns[k]
            self.values_var(out, "scenario_" + name_of(col["name"]), "scenario", col,
                            [key[j] for key in s.keys], "of each scenario")
        v = out.createVariable("scenario_members", "i4", ("scenario",))
        v.long_name = "members summarised in the scenario"
        v[:] = [len(m) for m in s.members]

    @staticmethod
    def values_var(out, name, dim, col, values, what):
        if all(isinstance(x, str) for x in values):
            v = out.createVariable(name, str, (dim,))
            for k, x in enumerate(values):
                v[k] = x
        else:
            whole = all(isinstance(x, int) for x in values)
            v = out.createVariable(name, "i8" if whole else "f8", (dim,))
            v[:] = values
        v.setncatts({"long_name": "%s %s" % (col["name"], what),
                     "parameter_record": col["record"], "parameter_value": col["field"]})

    def statistics_vars(self, out, g, src):
        base = src[GROUPS[g]["var"]]
        dims = base.dimensions
        stem = GROUPS[g]["var"]
        coords = base.getncattr("coordinates") if "coordinates" in base.ncattrs() else None
        chunks = {"concentration": None, "map": (1,) + tuple(len(src.dimensions[d])
                                                          for d in dims[1:])}[g]
        specs = [(stem + "_mean", ()), (stem + "_percentile", ("percentile",)),
                 ("exceedance_probability", ("threshold",))]
        for suffix, extra in (("", ()), ("_by_scenario", ("scenario",))):
            if extra and not self.scenarios:
                continue
            for name, lead in specs:
                d = extra + lead + dims
                ch = None if chunks is None else (1,) * (len(d) - len(dims)) + chunks
                v = out.createVariable(name + suffix, "f4", d, fill_value=FILL, zlib=True,
                                       chunksizes=ch)
                over = "the members of each scenario" if extra else "the members summarised"
                if name.startswith("exceedance"):
                    v.setncatts({"units": "1", "long_name": "probability of exceeding the "
                                 "threshold (fraction of %s above it)" % over})
                else:
                    v.setncatts({"units": "g m-3",
                                 "standard_name":
                                     "mass_concentration_of_suspended_matter_in_sea_water",
                                 "long_name": "%s of the %s over %s" % (
                                     "mean" if name.endswith("_mean") else "percentiles",
                                     base.long_name, over)})
                    if name.endswith("_mean"):
                        v.cell_methods = "realization: mean"
                if coords:
                    v.coordinates = coords

    def put(self, g, sl, stats, scen_stats):
        out = self.nc[g]
        stem = GROUPS[g]["var"]
        names = (stem + "_mean", stem + "_percentile", "exceedance_probability")
        for name, a in zip(names, stats):
            self._put(out[name], a, sl)
        if scen_stats is not None:
            for name, a in zip(names, scen_stats):
                self._put(out[name + "_by_scenario"], a, sl)

    @staticmethod
    def _put(var, a, sl):
        """Writes `a` into `var`, the time axis (the one after the leading
        scenario, percentile or threshold axes) limited to `sl`."""
        index = [slice(None)] * var.ndim
        if sl is not None:
            index[var.dimensions.index("time")] = sl
        var[tuple(index)] = np.where(np.isnan(a), FILL, a).astype(np.float32)


class Scenarios:
    """The members grouped by their varied values other than the seeds
    (those that differ between members: a value set alone for all is no
    scenario)."""

    def __init__(self, planned, present):
        self.columns = [k for k, c in enumerate(planned.columns) if c["record"] != "seeds"
                        and len({repr(m.values[k]) for m in planned.members}) > 1]
        self.keys, self.of_member, self.members = [], {}, []
        for m in planned.members:
            key = tuple(m.values[k] for k in self.columns)
            if key not in self.keys:
                self.keys.append(key)
                self.members.append([])
            s = self.keys.index(key)
            self.of_member[m.folder] = s
            if m.folder in present:
                self.members[s].append(present.index(m.folder))

    def __bool__(self):
        return bool(self.columns) and len(self.keys) > 1


def stats_by_scenario(a, scenarios, thresholds):
    parts = [statistics(a[idx], thresholds) for idx in scenarios.members]
    return tuple(np.stack([p[k] for p in parts]) for k in range(3))


def compare(first_name, first, name, ds, g):
    """The member `ds` has the same times, points and grid as the first."""
    for c in GROUPS[g]["coords"]:
        if c not in first[g].variables:
            continue
        a, b = first[g][c][...], ds[g][c][...] if c in ds[g].variables else None
        if b is None or np.shape(a) != np.shape(b) or not np.array_equal(
                np.ma.filled(a, np.nan), np.ma.filled(b, np.nan), equal_nan=True):
            what = "%d records" % len(ds[g]["time"]) if c == "time" else "other values"
            raise EnsembleError("%s: %s/%s differs from %s (%s; %d records in %s): the members "
                                "must share their output times, points and grid"
                                % (name, g, c, first_name, what, len(first[g]["time"]),
                                   first_name))


def summarise(planned, allow_missing=False, out=None, figure=None, say=print):
    if netCDF4 is None:
        raise EnsembleError("netCDF4 for the system Python is missing (Debian: apt-get install "
                            "python3-netcdf4)", 2)
    thresholds = thresholds_of(planned.folder)
    present, missing = [], []
    for m in planned.members:
        st = member_status(m.path)
        ok = st is not None and st[1] == "done" and os.path.isfile(os.path.join(m.path, "run.nc"))
        (present if ok else missing).append(m)
    if missing and not allow_missing:
        raise EnsembleError("%d of %d members have no results: %s. Run them again (vornens run "
                            "%s --resume), or summarise without them with --allow-missing"
                            % (len(missing), len(planned.members),
                               " ".join(m.folder for m in missing), planned.folder))
    if not present:
        raise EnsembleError("no member of %s has results to summarise" % planned.folder)
    soft, hard = resource.getrlimit(resource.RLIMIT_NOFILE)
    if soft < hard and soft < len(present) + 64:
        resource.setrlimit(resource.RLIMIT_NOFILE, (hard, hard))

    out = out or os.path.join(planned.folder, "summary.nc")
    figure = figure or os.path.splitext(out)[0] + ".png"
    tmp = out + ".part"
    datasets = []
    writer = None
    try:
        for m in present:
            try:
                datasets.append(netCDF4.Dataset(os.path.join(m.path, "run.nc")))
            except OSError as e:
                raise EnsembleError("%s: %s" % (os.path.join(m.path, "run.nc"), e)) from None
        first = datasets[0]
        groups = [g for g in GROUPS if g in first.groups]
        if not groups:
            raise EnsembleError("%s: the members wrote neither concentrations at points nor a "
                                "concentration map" % present[0].folder)
        for m, ds in zip(present[1:], datasets[1:]):
            for g in GROUPS:
                if (g in ds.groups) != (g in groups):
                    raise EnsembleError("%s: group %s %s, unlike %s" % (
                        m.folder, g, "present" if g in ds.groups else "missing",
                        present[0].folder))
            for g in groups:
                compare(present[0].folder, first, m.folder, ds, g)
        names = [m.folder for m in present]
        scenarios = Scenarios(planned, names)
        writer = Writer(tmp, first, groups, planned, names, scenarios, thresholds)
        nc = writer.nc
        now = datetime.datetime.now(datetime.timezone.utc).strftime("%Y-%m-%dT%H:%M:%SZ")
        nc.setncatts({
            "Conventions": "CF-1.8",
            "title": "Ensemble of vornv7 runs: statistics over the members",
            "source": "%s; summarised by vornens" % getattr(first, "source", "vornv7"),
            "history": "%s: vornens summarise %s" % (now, planned.folder),
            "ensemble_folder": planned.folder,
            "base_parameter_file": planned.base,
            "varied_values": " ".join(planned.column_names),
            "members_planned": np.int32(len(planned.members)),
            "members_summarised": np.int32(len(present)),
            "missing_members": " ".join(m.folder for m in missing) or "none",
            "comment": "Percentiles interpolate linearly between the ordered members' values; "
                       "an exceedance probability is the fraction of members strictly above "
                       "the threshold.",
        })
        if "concentration" in groups:
            a = np.stack([read_member_var(ds, "concentration", "concentration")
                          for ds in datasets])
            writer.put("concentration", None, statistics(a, thresholds),
                       stats_by_scenario(a, scenarios, thresholds) if scenarios else None)
            every = np.full((len(planned.members),) + a.shape[1:], np.nan)
            for k, m in enumerate(planned.members):
                if m.folder in names:
                    every[k] = a[names.index(m.folder)]
            nc["concentration"]["concentration"][...] = np.where(
                np.isnan(every), FILL, every).astype(np.float32)
        if "map" in groups:
            var = first["map"]["layer_concentration"]
            frames = var.shape[0]
            cell = int(np.prod(var.shape[1:]))
            block = max(1, MAP_BLOCK_BYTES // (8 * cell * len(datasets)))
            for t0 in range(0, frames, block):
                sl = slice(t0, min(frames, t0 + block))
                a = np.stack([read_member_var(ds, "map", "layer_concentration", sl)
                              for ds in datasets])
                writer.put("map", sl, statistics(a, thresholds),
                           stats_by_scenario(a, scenarios, thresholds) if scenarios else None)
        from vornens.assessment import summarise_assessment
        assessed = summarise_assessment(datasets, names, writer.nc, os.path.dirname(out), say)
        writer.nc.close()
        writer = None
        os.replace(tmp, out)
    finally:
        if writer is not None:
            writer.nc.close()
        for ds in datasets:
            ds.close()
        if os.path.exists(tmp):
            os.remove(tmp)
    say("vornens: %d of %d members summarised into %s%s" % (
        len(present), len(planned.members), out,
        "; missing: " + " ".join(m.folder for m in missing) if missing else ""))
    for path in assessed:
        say("vornens: assessment over the ensemble: %s" % path)
    try:
        from vornens import figure as fig
    except ImportError as e:
        say("vornens: no figure (%s; Debian: apt-get install python3-matplotlib)" % e)
        return out, None
    fig.draw(out, figure)
    say("vornens: figure %s" % figure)
    return out, figure
