"""The command line of vornimport: field data in, a ready run folder out."""
import argparse
import math
import os
import sys
import tomllib

from vornimport import clock as clk
from vornimport import writing as w
from vornimport.reading import ImportError_, read_csv, read_dumps, read_netcdf

SEEDS = (20260601, 31415926)


def load_config(path):
    if path is None:
        return {}
    try:
        with open(path, "rb") as f:
            return tomllib.load(f)
    except OSError as e:
        raise ImportError_(path, str(e)) from None
    except tomllib.TOMLDecodeError as e:
        raise ImportError_(path, "not a TOML file: %s" % e) from None


def same_file(a, b):
    try:
        return os.path.samefile(a, b)
    except OSError:
        return False


def main(argv):
    ap = argparse.ArgumentParser(prog="vornimport",
                                 description="A run folder of vornv7 from current-meter records "
                                             "(CSV or CF-NetCDF) and a dredger's log.")
    ap.add_argument("currents", help="the current-meter records: a CSV file or a CF-NetCDF file")
    ap.add_argument("--config", help="the import file (TOML): columns, units, gaps, the run")
    ap.add_argument("-o", "--out", help="the run folder to write (default: run beside the data)")
    ap.add_argument("--dumps", help="a dredger's log (CSV): one row per dump")
    ap.add_argument("--dtvu", type=float, help="the records' interval on the run's clock, s "
                    "(default: the data's median spacing)")
    ap.add_argument("--lon", type=float, help="the mooring's longitude (WGS 84): writes site.toml")
    ap.add_argument("--lat", type=float, help="the mooring's latitude")
    ap.add_argument("--force", action="store_true", help="write into a folder that has a run.par")
    a = ap.parse_args(argv)
    try:
        return run(a)
    except ImportError_ as e:
        print("vornimport: %s" % e, file=sys.stderr)
        return 1


def run(a):
    cfg = load_config(a.config)
    cur = dict(cfg.get("currents", {}))
    runcfg = cfg.get("run", {})
    say = print
    path = a.currents
    if path.endswith((".nc", ".nc4", ".cdf")):
        records, dropped = read_netcdf(path, cur)
    else:
        records, dropped = read_csv(path, cur)
    meters = clk.meters_of(records, path)
    if len(meters) > 85:
        raise ImportError_(path, "%d meters: the program takes 85 at most" % len(meters))
    dtvu = a.dtvu or cur.get("dtvu") or clk.spacing_of(meters, path)
    if dtvu != round(dtvu) or dtvu <= 0:
        raise ImportError_(path, "dtvu must be a whole number of seconds above 0, not %r" % dtvu)
    dtvu = float(dtvu)
    clock = clk.make_clock(meters, dtvu)
    max_gap = float(cur.get("max_gap", max(4 * dtvu, 7200.0)))
    fill_gaps = bool(cur.get("fill_gaps", False))

    out = os.path.abspath(a.out or os.path.join(os.path.dirname(os.path.abspath(path)), "run"))
    os.makedirs(out, exist_ok=True)
    if os.path.exists(os.path.join(out, "run.par")) and not a.force:
        raise ImportError_(out, "the folder has a run.par already; give --force to write over it")
    inputs = [p for p in (path, a.config, a.dumps) if p]

    year = clock.t0.year
    days = [w.day_number(clock.time(k), year) for k in range(clock.n)]
    placed = []
    shifts, bridged = [], []
    for m in meters:
        east, north, ustar, shift, gaps = clk.place(m, clock, max_gap, fill_gaps, path)
        placed.append((m, east, north, ustar))
        shifts.append(shift)
        for g in gaps:
            bridged.append((m.height, g))
            say("vornimport: %s:%d: warning: the meter at %.2f m has no record for %.2f h after %s "
                "(rows %d to %d): interpolated across it"
                % (path, g[3], m.height, g[2] / 3600.0, g[0].isoformat(), g[3], g[4]))
    lowest = placed[0][0].height
    href = float(runcfg.get("href", 0.05))
    if not 0 < href < lowest:
        raise ImportError_(a.config or path, "href (%g m) must lie between 0 and the lowest meter "
                           "(%.3f m)" % (href, lowest))
    written = []

    def write(name, lines):
        target = os.path.join(out, name)
        for i in inputs:
            if same_file(target, i):
                raise ImportError_(target, "refusing to write over %s, an input of the import" % i)
        written.append(w.write(out, name, lines))

    # Velocity series, one per meter, every row on the clock.
    files = []
    for m, east, north, _ in placed:
        name = w.meter_file(m.height)
        files.append(name)
        write(name, ["Current meter at %.2f m above the bed, imported by vornimport"
                     % m.height,
                     "u towards east, v towards north (m/s), on the run's clock: every %s s "
                     "from %s" % ("%g" % dtvu,
                                  clock.t0.isoformat()),
                     "Days count from 1 January %d 00:00 UTC (day 1.0)." % year, "XXXX",
                     "vornimport: current meter at %.2f m" % m.height,
                     "columns: day  u (m/s)  v (m/s)", str(year), "3"] +
              ["%.10f %.6f %.6f" % (d, u, v) for d, u, v in zip(days, east, north)])
    nodes = w.log_nodes(href, lowest, int(runcfg.get("log_nodes", 5)))
    write("lognodes.dat", ["Log-layer nodes below the lowest current meter (m above the bed),",
                           "from href to the lowest meter, evenly spaced in ln z (vornimport).",
                           "XXXX", str(len(nodes)), " ".join("%.6f" % z for z in nodes)])
    write("intnodes.dat", ["Current-meter heights above the bed (m), lowest first (vornimport).",
                           "XXXX", str(len(meters))] + ["%.4f" % m.height for m in meters])

    # Bottom stress: the data's u* at the lowest meter, or the drag law.
    ustar = placed[0][3]
    if ustar is not None:
        stress_how = "u* from the data's friction velocity column (lowest meter)"
        us = ustar
    else:
        cd = float(runcfg.get("drag_coefficient", w.drag_coefficient(lowest)))
        stress_how = ("u* = sqrt(Cd) U at the lowest meter (%.2f m), Cd = %.5f%s"
                      % (lowest, cd, "" if "drag_coefficient" in runcfg else
                         ", the drag coefficient of the log layer's roughness (kappa / ln(z / z0))^2"))
        us = [math.sqrt(cd) * math.hypot(u, v) for u, v in zip(placed[0][1], placed[0][2])]
    write("stress.dat", ["Bottom friction velocity, imported by vornimport: %s." % stress_how,
                         "XXXX", "vornimport: bottom stress", "columns: day  u*cw (m/s)",
                         str(year), "2"] + ["%.10f %.6f" % (d, u) for d, u in zip(days, us)])

    # The dumps.
    dumps = None
    if a.dumps:
        dcfg = dict(cfg.get("dumps", {}))
        dumps = read_dumps(a.dumps, dcfg)
        packet_mass = float(dcfg.get("packet_mass", 1.0e5))
        rows = []
        for d in dumps:
            packets = d.packets if d.packets is not None else int(round(d.mass / packet_mass))
            day = w.day_number(d.time, year)
            if not days[0] <= day <= days[-1]:
                say("vornimport: %s:%d: warning: the dump of %s lies outside the currents' span "
                    "(day %.4f to %.4f)" % (a.dumps, d.line, d.time.isoformat(), days[0], days[-1]))
            rows.append("%.10f %d" % (day, packets))
        write("dumps.dat", ["Dumps imported by vornimport from %s: one row per dump, the day and "
                            "the packets it releases" % os.path.basename(a.dumps), "XXXX",
                            "%.6e" % packet_mass, "vornimport: dumps", str(year), "2"] + rows)

    # run.par and its annotated form.
    # The run starts at the clock time at or before the first dump (the
    # currents before it carry nothing), else at the first clock time.
    first = 0
    if dumps:
        due = w.day_number(dumps[0].time, year)
        while first + 2 < clock.n and days[first + 1] <= due:
            first += 1
    nvu = clock.n - 1 - first
    ttotal = w.run_length_text(nvu, w.hours_text(dtvu))
    nadv = max(1, math.ceil(dtvu / 900.0))
    dta = w.hours_text(dtvu / nadv)
    mean_u = [sum(c) / len(c) for c in zip(*[p[1][first:] for p in placed])]
    mean_v = [sum(c) / len(c) for c in zip(*[p[2][first:] for p in placed])]
    grid = w.map_grid(w.drift_extent(mean_u, mean_v, dtvu))
    seeds = runcfg.get("seeds", SEEDS)
    settling = runcfg.get("settling", [0.001, 0.001, 0.001, 0.0])
    R = w.Record
    recs = [
        R("run.log", "log_file", "the log file"),
        R("%d %d" % tuple(seeds), "seeds", "the two random seeds (CHOOSE: change for another draw)"),
        R("%s %.10f" % (ttotal, days[first]), "run_time",
          "ttotal (h), the run's length, to the currents' last clock time; time0 (day),\n"
          "%s, %s" % ("the clock time at or before the first dump" if first else
                      "the first clock time", clock.time(first).isoformat())),
        R(w.hours_text(dtvu), "velocity_update",
          "dtvu (h): the clock's interval, %g s, written so that it is exact" % dtvu),
        R("%s %s" % (dta, runcfg.get("dtms_hours", 2)), "time_steps",
          "dta (h), the advection step (%d a velocity update); dtms (h), the mixing time\n"
          "scale (CHOOSE)" % nadv),
        R("3", "vmethod", "vertical shuffling: 3 a sweep of exchanges"),
        R("0", "nfricp", "friction model: 0, the bottom stress file's u*cw"),
        R("stress.dat", "friction", "the bottom stress file: " + stress_how),
        R(" ".join("%g" % v for v in settling), "settling",
          "settling velocities (m/s): initial, large and small flocs; break-up u* (0: none)\n"
          "(CHOOSE: your sediment's)"),
        R("%g %g" % (w.KAPPA, href), "kappa_href", "kappa; href (m), the bottom log node"),
        R("0", "hmax", "hmax (m): 0 takes the highest meter (%.2f m)" % meters[-1].height),
    ]
    if dumps is not None:
        recs += [R("0", "btype", "release from a discharge series"),
                 R("dumps.dat", "release", "the discharge file: the dumps")]
    else:
        rel = runcfg.get("release", {})
        recs += [R("1", "btype", "a steady release"),
                 R("%g %d %s %s" % (rel.get("mass", 1.0e6), rel.get("packets", 10000),
                                    w.hours_text(dtvu / nadv), rel.get("duration_hours", 1)),
                   "release", "relmass (g), npack, addint (h), reldur (h) (CHOOSE: your release)")]
    recs += [R("lognodes.dat", "log_nodes_file", "log-layer nodes, from href to the lowest meter"),
             R("intnodes.dat", "interior_nodes_file", "the meters' heights")]
    recs += [R(f, "velocity_file.%d" % (k + 1), "velocity series of the meter at %.2f m"
               % meters[k].height) for k, f in enumerate(files)]
    hours = w.hours_text(dtvu)
    recs += [
        R(hours, "sediment.interval", "sediment parameters, every velocity update"),
        R("sediment.out", "sediment.file", ""),
        R(hours, "velocity.interval", "velocity profiles at every node, every velocity update"),
        R("velprof.out", "velocity.file", ""),
        R("1", "statistics.interval", "statistics of the cloud, hourly"),
        R("stats.out", "statistics.file", ""),
        R("%g %g 3000" % (href, meters[-1].height), "statistics.cylinder",
          "zlow, ztop (m), radius (m) of its sampling cylinder"),
        R("24", "packets.interval", "packet positions, daily"),
        R("packets.out", "packets.file", ""),
        R("1", "concentration.interval", "concentrations at points, hourly"),
        R("conc.out", "concentration.file", ""),
        R("1", "concentration.points", "one point (CHOOSE: your receptors)"),
        R("0 0 500 %g 2" % href, "concentration.point.1", "x, y (m), radius (m), zlow, ztop (m)"),
        R("1", "map.interval", "concentration maps, hourly"),
        R("map.out", "map.file", ""),
        R("%d %.0f %.0f %d %.0f %.0f %g 2" % (grid[0], grid[1], grid[2], grid[3], grid[4], grid[5],
                                                href),
          "map.grid", "nx, x0, x1, ny, y0, y1 (m): over the drift of the mean current with 3 km\n"
          "to spare; zlow, ztop (m): the layer"),
        R("0", "biology.interval", "no biology at the points"),
        R("0", "biology_map.interval", "no biology map"),
    ]
    write("run.par", w.run_par(recs))
    write("run.par.annotated", w.annotated(recs, "run.par, as vornimport wrote it"))
    lon = a.lon if a.lon is not None else cfg.get("site", {}).get("lon")
    lat = a.lat if a.lat is not None else cfg.get("site", {}).get("lat")
    if lon is not None and lat is not None:
        name = cfg.get("site", {}).get("name", "imported mooring")
        write("site.toml", ["# The mooring on Earth: the run's x = 0, y = 0 (vornimport).",
                            "name = \"%s\"" % name.replace("\\", "\\\\").replace("\"", "\\\""),
                            "rotation = 0.0", "[origin]", "lon = %r" % float(lon),
                            "lat = %r" % float(lat)])

    # The summary.
    lines = ["vornimport: %s: %d meters, %d records (%d dropped: fill values or quality flags)"
             % (os.path.basename(path), len(meters), len(records), dropped),
             "  period: %s to %s (days %.6f to %.6f of %d), %d records of %g s each"
             % (clock.t0.isoformat(), clock.time(clock.n - 1).isoformat(), days[0], days[-1], year,
                clock.n, dtvu)]
    for (m, east, north, _), shift in zip(placed, shifts):
        speeds = [math.hypot(u, v) for u, v in zip(east, north)]
        lines.append("  meter at %6.2f m: speed mean %.3f m/s, max %.3f m/s; largest clock shift "
                     "%.0f s" % (m.height, sum(speeds) / len(speeds), max(speeds), shift))
    lines.append("  gaps interpolated: %d%s" % (len(bridged), "".join(
        "\n    %.2f m: %.2f h after %s" % (h, g[2] / 3600.0, g[0].isoformat()) for h, g in bridged)))
    lines.append("  log layer: %d nodes from %g m to %.2f m; %s" % (len(nodes), href, lowest,
                                                                    stress_how))
    if dumps is not None:
        lines.append("  dumps: %d" % len(dumps))
    write("import_summary.txt", lines)
    for l in lines:
        say(l)
    say("vornimport: wrote %s; check it with: cd %s && vorncheck run.par" % (out, out))
    return 0
