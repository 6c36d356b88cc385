#!/usr/bin/python3
"""A one-page report of a run, or of an ensemble: report/index.html, read
from the disk with no server and no network (every file it shows is beside
it).

    /usr/bin/python3 tools/vornreport.py RUNDIR [--nc FILE] [--gis DIR] [-o DIR]
                                        [--site FILE] [--no-animation]
    /usr/bin/python3 tools/vornreport.py ENSEMBLE_DIR [-o DIR] [--site FILE]

An ensemble folder (summarised by vornens: summary.nc) gets the ensemble's
page: its members, the summary's figure, the probability of each zone
over the habitats, the habitat-area table as the mean and the 5-95 % range
over the members, and links to its files.

RUNDIR is the folder of the run, converted by vorn2nc (RUNDIR/run.nc, with
its site's assessment) and laid out by vorngis (RUNDIR/gis). The report
holds the run in one table (site, period, release, packets, friction
model, settling velocities), the quick-look figures of plot_run.py, the
animation of the map frames, the percentile and zone maps over the
habitats, the receptor and habitat-area tables (the numbers of the NetCDF
file's group assessment), and links to the NetCDF, GeoTIFF, GeoPackage,
KML and CSV files.

The animation (animation.mp4, animation.webm and animation.gif, made by
ffmpeg) draws each map frame's layer concentration on one logarithmic
colour scale four decades deep for the whole run, over the site's layers,
with a sample of packets (the latest packet frame at or before the map
frame), the points, the release point, and the day and time of the frame.

Needs matplotlib, netCDF4 and GDAL's bindings for the system Python
(python3-matplotlib, python3-netcdf4, python3-gdal) and ffmpeg.
"""
import argparse
import datetime
import html
import math
import os
import shutil
import subprocess
import sys
import tempfile

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)
import plot_run  # noqa: E402  (figures, the site and its layers)

DAY = 86400.0


class ReportError(Exception):
    pass


# ---------------------------------------------------------------------------
# The run, from its NetCDF file

def origin_of(var):
    """The datetime of time 0 of a time variable (units 'seconds since ...')."""
    units = var.units
    return datetime.datetime.fromisoformat(units.split("since", 1)[1].strip())


def when(origin, seconds):
    t = origin + datetime.timedelta(seconds=float(seconds))
    return t.strftime("%Y-%m-%d %H:%M UTC")


def read_run(nc_path):
    import netCDF4
    import numpy as np
    r = {"path": nc_path}
    with netCDF4.Dataset(nc_path) as d:
        r["attrs"] = {k: d.getncattr(k) for k in d.ncattrs()}
        if "map" not in d.groups:
            raise ReportError("%s has no map group: the report needs the run's map" % nc_path)
        m = d["map"]
        r["origin"] = origin_of(m["time"])
        r["map_times"] = np.asarray(m["time"][:], dtype=float)
        r["x"] = np.asarray(m["x"][:], dtype=float)
        r["y"] = np.asarray(m["y"][:], dtype=float)
        r["layer"] = [float(v) for v in m["z_bounds"][:]]
        if "concentration" in d.groups:
            c = d["concentration"]
            r["points"] = list(zip(np.asarray(c["x"][:], float), np.asarray(c["y"][:], float)))
        else:
            r["points"] = []
        a = d.groups.get("assessment")
        r["assessment"] = None
        if a is not None:
            r["assessment"] = {k: np.ma.filled(a[k][:], np.nan) if a[k].dtype != str else list(a[k][:])
                               for k in a.variables}
    return r


# ---------------------------------------------------------------------------
# Figures of the assessment

def zone_colours(n):
    base = ["#b2182b", "#ef8a62", "#fddbc7", "#d1e5f0", "#67a9cf"]
    return base[:n] if n <= len(base) else base + ["#999999"] * (n - len(base))


def assessment_figures(plt, run, site, out):
    """The 95th (or highest) percentile map, the zone map and the hours
    above the lowest threshold, over the site's layers."""
    import numpy as np
    from matplotlib.colors import BoundaryNorm, ListedColormap
    from matplotlib.patches import Patch
    a = run["assessment"]
    if a is None or "concentration_percentile" not in a:
        return []
    xg, yg = list(run["x"] / 1000.0), list(run["y"] / 1000.0)
    extent = plot_run.cell_extent(xg, yg)
    written = []
    pct = list(a["percentile"])
    k = pct.index(95.0) if 95.0 in pct else len(pct) - 1
    figures = [("percentile.png", a["concentration_percentile"][k],
                "%gth percentile of the layer concentration over the run" % pct[k],
                "concentration (g/m$^3$)")]
    if len(a.get("threshold", [])):
        figures.append(("hours.png", a["concentration_hours_above"][0],
                        "Hours above %g g/m$^3$ (layer concentration)" % a["threshold"][0],
                        "hours"))
    for name, values, title, label in figures:
        fig, ax = plt.subplots(figsize=plot_run.map_size(extent))
        v = np.where(values > 0, values, np.nan)
        cmap = plt.get_cmap("viridis").with_extremes(bad=(0, 0, 0, 0))
        im = plot_run.draw_grid(ax, site, xg, yg, v, cmap=cmap)
        plot_run.frame_axes(ax, site, xg, yg)
        plot_run.colorbar(fig, ax, im, label, site=site)
        plot_run.mark(ax, site, [(x, y) for x, y in run["points"]], "k+")
        ax.legend(loc="upper left", fontsize="small", facecolor="0.85")
        ax.set_title(title + plot_run.site_title(site))
        plot_run.save(plt, fig, os.path.join(out, name))
        written.append(name)
    if "concentration_zone" in a and len(a.get("zone_name", [])):
        names = list(a["zone_name"])
        colours = zone_colours(len(names))
        zone = np.asarray(a["concentration_zone"], dtype=float)
        zone[zone <= 0] = np.nan
        cmap = ListedColormap(colours).with_extremes(bad=(0, 0, 0, 0))
        norm = BoundaryNorm([k + 0.5 for k in range(len(names) + 1)], len(names))
        fig, ax = plt.subplots(figsize=plot_run.map_size(extent))
        plot_run.draw_grid(ax, site, xg, yg, zone, cmap=cmap, norm=norm, alpha=0.8)
        plot_run.frame_axes(ax, site, xg, yg)
        plot_run.mark(ax, site, [(x, y) for x, y in run["points"]], "k+")
        handles, labels = ax.get_legend_handles_labels()
        handles += [Patch(fc=c, ec="0.3", label="zone: %s" % n) for n, c in zip(names, colours)]
        ax.legend(handles=handles, loc="upper left", fontsize="small", facecolor="0.85")
        ax.set_title("Zones of the assessment" + plot_run.site_title(site))
        plot_run.save(plt, fig, os.path.join(out, "zones.png"))
        written.append("zones.png")
    return written


# ---------------------------------------------------------------------------
# The animation

def animate(nc_path, site, out, seconds_per_frame=0.25, sample=3000):
    """The map frames as animation.mp4, animation.webm and animation.gif in
    `out`; returns (frames, width, height)."""
    import matplotlib
    matplotlib.use("Agg")
    import matplotlib.pyplot as plt
    import netCDF4
    import numpy as np
    from matplotlib.colors import LogNorm
    ffmpeg = shutil.which("ffmpeg")
    if ffmpeg is None:
        raise ReportError("ffmpeg is missing (apt-get install ffmpeg)")
    with netCDF4.Dataset(nc_path) as d:
        m = d["map"]
        times = np.asarray(m["time"][:], dtype=float)
        origin = origin_of(m["time"])
        xg, yg = list(np.asarray(m["x"][:], float) / 1000.0), list(np.asarray(m["y"][:], float) / 1000.0)
        conc = m["layer_concentration"]
        top = 0.0
        for k in range(len(times)):
            v = np.ma.filled(conc[k], np.nan)
            if np.isfinite(v).any():
                top = max(top, float(np.nanmax(v)))
        top = top if top > 0 else 1.0
        norm = LogNorm(vmin=top * 1e-4, vmax=top, clip=False)
        points = []
        if "concentration" in d.groups:
            c = d["concentration"]
            points = list(zip(np.asarray(c["x"][:], float), np.asarray(c["y"][:], float)))
        packets = d.groups.get("packets")
        ptimes = np.asarray(packets["time"][:], float) if packets is not None else np.array([])
        rng = np.random.default_rng(1)
        extent = plot_run.cell_extent(xg, yg)
        fig, ax = plt.subplots(figsize=plot_run.map_size(extent), dpi=80)
        cmap = plt.get_cmap("viridis").with_extremes(under=(0, 0, 0, 0), bad=(0, 0, 0, 0))
        first = np.ma.filled(conc[0], np.nan)
        im = plot_run.draw_grid(ax, site, xg, yg, first, cmap=cmap, norm=norm)
        plot_run.frame_axes(ax, site, xg, yg)
        plot_run.colorbar(fig, ax, im, "concentration (g/m$^3$), log scale", "min", site)
        plot_run.mark(ax, site, points, "k+")
        dots, = ax.plot([], [], ".", ms=1.5, color="0.15", alpha=0.5, label="packets (a sample)",
                        zorder=4)
        ax.legend(loc="upper left", fontsize="x-small", facecolor="0.85")
        title = ax.set_title("")
        fig.tight_layout()
        folder = tempfile.mkdtemp(prefix="vornreport-frames-")
        try:
            for k, t in enumerate(times):
                v = np.ma.masked_invalid(np.ma.filled(conc[k], np.nan))
                if site is None:
                    im.set_data(v)
                else:
                    im.set_array(v.ravel())
                shown = ""
                j = np.searchsorted(ptimes, t + 1e-6) - 1
                if j >= 0:
                    n = int(packets["ktotal"][j])
                    pick = np.sort(rng.choice(n, size=min(sample, n), replace=False)) if n else []
                    px = np.asarray(packets["x"][j, :n], float)[pick]
                    py = np.asarray(packets["y"][j, :n], float)[pick]
                    fx, fy = plot_run.to_figure(site, list(px), list(py))
                    dots.set_data(fx, fy)
                    shown = ", packets of day %.3f" % (ptimes[j] / DAY)
                else:
                    dots.set_data([], [])
                title.set_text("Layer concentration, day %.3f (%s)%s" % (t / DAY, when(origin, t), shown))
                fig.savefig(os.path.join(folder, "frame_%05d.png" % k), dpi=80)
            plt.close(fig)
            rate = "%g" % (1.0 / seconds_per_frame)
            pattern = os.path.join(folder, "frame_%05d.png")
            even = "pad=ceil(iw/2)*2:ceil(ih/2)*2"
            jobs = [
                [ffmpeg, "-y", "-loglevel", "error", "-framerate", rate, "-i", pattern, "-vf", even,
                 "-c:v", "libx264", "-pix_fmt", "yuv420p", "-movflags", "+faststart",
                 os.path.join(out, "animation.mp4")],
                [ffmpeg, "-y", "-loglevel", "error", "-framerate", rate, "-i", pattern, "-vf", even,
                 "-c:v", "libvpx-vp9", "-b:v", "0", "-crf", "40", "-row-mt", "1", "-deadline",
                 "realtime", "-cpu-used", "8", os.path.join(out, "animation.webm")],
                [ffmpeg, "-y", "-loglevel", "error", "-framerate", rate, "-i", pattern,
                 "-filter_complex", "[0:v]split[a][b];[a]palettegen[p];[b][p]paletteuse",
                 os.path.join(out, "animation.gif")],
            ]
            for job in jobs:
                r = subprocess.run(job, capture_output=True, text=True)
                if r.returncode != 0:
                    raise ReportError("ffmpeg failed: %s" % r.stderr.strip())
            from matplotlib.image import imread
            h, w = imread(os.path.join(folder, "frame_00000.png")).shape[:2]
        finally:
            shutil.rmtree(folder, ignore_errors=True)
    return len(times), w + w % 2, h + h % 2


# ---------------------------------------------------------------------------
# The page

CSS = """
body { font-family: sans-serif; max-width: 1100px; margin: 1.5em auto; padding: 0 1em;
       color: #222; }
h1 { margin-bottom: 0.2em; } h2 { margin-top: 1.6em; border-bottom: 1px solid #ccc; }
table { border-collapse: collapse; margin: 0.6em 0; font-size: 0.9em; }
td, th { border: 1px solid #bbb; padding: 0.25em 0.5em; text-align: right; }
th { background: #eee; } td.l, th.l { text-align: left; }
.figs { display: flex; flex-wrap: wrap; gap: 1em; }
.figs figure { margin: 0; flex: 1 1 480px; } .figs img, video, .anim img { max-width: 100%; }
figcaption { font-size: 0.85em; color: #555; } .small { font-size: 0.85em; color: #555; }
"""


FIGURE_CAPTIONS = {
    "concentration.png": "Concentration at the sampling points",
    "map.png": "The last map frame, on a logarithmic scale four decades deep",
    "cloud.png": "The centre of mass of the packet cloud and its 2-sigma ellipses",
    "biology_map.png": "Biology exposure on the map (equivalent days)",
    "sediment.png": "Friction, settling and the packets over the run",
}


def esc(s):
    return html.escape(str(s))


def fmt(v, digits=4):
    try:
        f = float(v)
    except (TypeError, ValueError):
        return esc(v)
    if math.isnan(f):
        return ""
    return "%.*g" % (digits, f)


def table(head, rows, left=1):
    out = ["<table>"]
    if head:
        out.append("<tr>")
        out += ["<th%s>%s</th>" % (' class="l"' if k < left else "", esc(h)) for k, h in enumerate(head)]
        out.append("</tr>")
    for r in rows:
        out.append("<tr>" + "".join("<td%s>%s</td>" % (' class="l"' if k < left else "", c)
                                    for k, c in enumerate(r)) + "</tr>")
    out.append("</table>")
    return "".join(out)


def run_table(run, site):
    a = run["attrs"]
    t = run["map_times"]
    start = a.get("start_day", t[0] / DAY if len(t) else 0)
    length = a.get("run_length_s", 0) / 3600.0
    o = run["origin"]
    rows = [
        ("site", esc(a.get("site_name", site.name if site else "")) +
         (" (%s)" % esc(a["site_crs"]) if "site_crs" in a else "")),
        ("period", "day %s to day %s: %s to %s (%s h)" % (
            fmt(start, 8), fmt(start + length / 24.0, 8), when(o, start * DAY),
            when(o, start * DAY + length * 3600), fmt(length))),
        ("release", "%s: %s packets of %s g, %s g in all%s" % (
            esc(a.get("release", "")), fmt(a.get("release_packets", ""), 8),
            fmt(a.get("packet_mass_g", "")), fmt(a.get("release_mass_g", ""), 6),
            (", over %s h" % fmt(a["release_duration_s"] / 3600.0)) if "release_duration_s" in a else "")),
        ("friction model", esc(a.get("friction_model_description", ""))),
        ("settling velocities", "initial %s m/s, large flocs %s m/s, small flocs %s m/s; flocs break "
         "up at u* %s m/s" % tuple(fmt(a.get(k, "")) for k in (
             "settling_velocity_initial_m_s", "settling_velocity_large_flocs_m_s",
             "settling_velocity_small_flocs_m_s", "floc_breakup_friction_velocity_m_s"))),
        ("time steps", "advection %s s, velocity updates every %s s, mixing time %s s" % tuple(
            fmt(a.get(k, "")) for k in ("advection_step_s", "velocity_update_interval_s",
                                        "mixing_time_scale_s"))),
        ("map", "%d frames, layer %s to %s m above the bed" % (len(t), fmt(run["layer"][0]),
                                                              fmt(run["layer"][1]))),
    ]
    return table([], [("<b>%s</b>" % esc(k), v) for k, v in rows], left=2)


def receptor_table(a):
    if a is None or "point_max" not in a:
        return "<p>No sampling points.</p>"
    pct, thr = list(a["percentile"]), list(a.get("threshold", []))
    zones = list(a.get("zone_name", []))
    head = ["point"] + ["p%g" % p for p in pct] + ["max", "mean"] + \
           ["h > %g" % t for t in thr] + ["%% > %g" % t for t in thr] + \
           ["spell h > %g" % t for t in thr] + (["zone"] if zones else [])
    rows = []
    for i in range(len(a["point_max"])):
        r = [str(i + 1)] + [fmt(a["point_percentile"][k][i]) for k in range(len(pct))]
        r += [fmt(a["point_max"][i]), fmt(a["point_mean"][i])]
        for var in ("point_hours_above", "point_percent_of_time_above", "point_longest_spell_hours"):
            r += [fmt(a[var][k][i]) for k in range(len(thr))]
        if zones:
            z = int(a["point_zone"][i])
            r.append(esc(zones[z - 1]) if z > 0 else "none")
        rows.append(r)
    return table(head, rows) + '<p class="small">Concentrations in g/m<sup>3</sup>; hours and ' \
        'spells in hours; &gt; means strictly above.</p>'


def habitat_table(a):
    if a is None or "habitat_area" not in a:
        return "<p>No habitat layer in the assessment.</p>"
    zones = list(a["zone_name"])
    head = ["habitat", "name", "area (ha)"] + sum([["%s (ha)" % z, "%s (%%)" % z] for z in zones], [])
    rows = []
    for h in range(len(a["habitat_area"])):
        r = [esc(a["habitat_type"][h]), esc(a["habitat_name"][h]), fmt(a["habitat_area"][h], 6)]
        for z in range(len(zones)):
            r += [fmt(a["habitat_zone_area"][h][z], 6), fmt(a["habitat_zone_percent"][h][z])]
        rows.append(r)
    return table(head, rows, left=2)


def write_page(path, run, site, figures, assessment_figs, animated, links):
    a = run["assessment"]
    name = run["attrs"].get("site_name", "") or "the run"
    parts = ["<!DOCTYPE html><html lang=\"en\"><head><meta charset=\"utf-8\">",
             "<title>Plume report: %s</title><style>%s</style></head><body>" % (esc(name), CSS),
             "<h1>Plume report: %s</h1>" % esc(name),
             '<p class="small">Written by vornreport from %s on %s.</p>' % (
                 esc(os.path.basename(run["path"])),
                 datetime.datetime.now(datetime.timezone.utc).strftime("%Y-%m-%d %H:%M UTC")),
             "<h2>The run</h2>", run_table(run, site)]
    if animated:
        parts += ["<h2>Animation</h2>",
                  '<video controls loop muted preload="auto" width="%d">' % animated[1],
                  '<source src="animation.webm" type="video/webm">',
                  '<source src="animation.mp4" type="video/mp4"></video>',
                  '<p class="small">%d map frames, layer concentration on one logarithmic scale '
                  'for the whole run; also as <a href="animation.mp4">MP4</a> and '
                  '<a href="animation.gif">GIF</a>.</p>' % animated[0]]
    if assessment_figs:
        parts += ["<h2>Assessment maps</h2>", '<div class="figs">']
        captions = {"percentile.png": "A percentile of the layer concentration over the run",
                    "zones.png": "Zones: the most severe whose condition holds in each cell",
                    "hours.png": "Hours above the lowest threshold"}
        for f in assessment_figs:
            parts.append('<figure><img src="figures/%s" alt="%s"><figcaption>%s</figcaption>'
                         '</figure>' % (f, esc(captions.get(f, f)), esc(captions.get(f, f))))
        parts.append("</div>")
    if a is not None:
        zones = list(a.get("zone_name", []))
        rule = []
        for k, z in enumerate(zones):
            share = a["zone_percent_of_time"][k]
            cond = ("more than %s %% of the time" % fmt(share)) if not math.isnan(share) else \
                ("for more than %s h" % fmt(a["zone_hours"][k]))
            rule.append("<li><b>%s</b>: above %s g/m<sup>3</sup> %s</li>" % (
                esc(z), fmt(a["zone_threshold"][k]), cond))
        if rule:
            parts += ["<h2>Zones</h2><ol>"] + rule + ["</ol>"]
        parts += ["<h2>Receptors</h2>", receptor_table(a),
                  "<h2>Habitats in each zone</h2>", habitat_table(a)]
    if figures:
        parts += ["<h2>Figures of the run</h2>", '<div class="figs">']
        for f in figures:
            caption = FIGURE_CAPTIONS.get(f, f)
            parts.append('<figure><img src="figures/%s" alt="%s"><figcaption>%s</figcaption>'
                         '</figure>' % (f, esc(caption), esc(caption)))
        parts.append("</div>")
    parts += ["<h2>Files</h2><ul>"]
    for label, href in links:
        parts.append('<li><a href="%s">%s</a></li>' % (esc(href), esc(label)))
    parts += ["</ul></body></html>"]
    with open(path + ".part", "w") as f:
        f.write("\n".join(parts) + "\n")
    os.replace(path + ".part", path)


def ensemble_page(folder, out, site, plt):
    """The report of an ensemble summarised by vornens."""
    import csv
    import netCDF4
    import numpy as np
    figs = os.path.join(out, "figures")
    summary = os.path.join(folder, "summary.nc")
    with open(os.path.join(folder, "members.csv")) as f:
        members = list(csv.reader(f))
    parts = ["<!DOCTYPE html><html lang=\"en\"><head><meta charset=\"utf-8\">",
             "<title>Ensemble report</title><style>%s</style></head><body>" % CSS,
             "<h1>Ensemble report: %s</h1>" % esc(os.path.basename(os.path.abspath(folder))),
             '<p class="small">Written by vornreport from summary.nc on %s.</p>' % (
                 datetime.datetime.now(datetime.timezone.utc).strftime("%Y-%m-%d %H:%M UTC")),
             "<h2>Members</h2>", table(members[0], [[esc(c) for c in r] for r in members[1:]])]
    images = []
    if os.path.isfile(os.path.join(folder, "summary.png")):
        shutil.copy(os.path.join(folder, "summary.png"), os.path.join(figs, "summary.png"))
        images.append(("summary.png", "Exceedance over the members and the points' bands"))
    with netCDF4.Dataset(summary) as d:
        a = d.groups.get("assessment")
        if a is not None:
            xg = list(np.asarray(a["x"][:], float) / 1000.0)
            yg = list(np.asarray(a["y"][:], float) / 1000.0)
            extent = plot_run.cell_extent(xg, yg)
            for k, z in enumerate(a["zone_name"][:]):
                p = np.ma.filled(a["zone_probability"][k], np.nan)
                fig, ax = plt.subplots(figsize=plot_run.map_size(extent))
                cmap = plt.get_cmap("magma_r").with_extremes(under=(0, 0, 0, 0), bad=(0, 0, 0, 0))
                im = plot_run.draw_grid(ax, site, xg, yg, np.where(p > 0, p, np.nan), cmap=cmap,
                                        vmin=0.0, vmax=1.0)
                plot_run.frame_axes(ax, site, xg, yg)
                plot_run.colorbar(fig, ax, im, "probability", site=site)
                plot_run.mark(ax, site, [], "k+")
                ax.legend(loc="upper left", fontsize="small", facecolor="0.85")
                ax.set_title("Probability of the zone %s or a more severe one" % z)
                name = "zone_probability_%d.png" % (k + 1)
                plot_run.save(plt, fig, os.path.join(figs, name))
                images.append((name, "Zone %s or a more severe one: the fraction of the members"
                               % z))
            if "habitat_zone_area_ensemble_mean" in a.variables:
                zones = list(a["zone_name"][:])
                mean = a["habitat_zone_area_ensemble_mean"][:]
                q = a["habitat_zone_area_ensemble_percentile"][:]
                head = ["habitat", "name", "area (ha)"] + ["%s (ha): mean [5-95 %%]" % z for z in zones]
                rows = []
                for h in range(mean.shape[0]):
                    rows.append([esc(a["habitat_type"][h]), esc(a["habitat_name"][h]),
                                 fmt(a["habitat_area"][h], 6)] +
                                ["%s [%s-%s]" % (fmt(mean[h, z], 5), fmt(q[0, h, z], 5), fmt(q[2, h, z], 5))
                                 for z in range(len(zones))])
                table_html = table(head, rows, left=2)
            else:
                table_html = "<p>No habitat layer in the assessment.</p>"
    parts += ["<h2>Maps</h2>", '<div class="figs">']
    for name, caption in images:
        parts.append('<figure><img src="figures/%s" alt="%s"><figcaption>%s</figcaption></figure>'
                     % (name, esc(caption), esc(caption)))
    parts.append("</div>")
    if a is not None:
        parts += ["<h2>Habitats in each zone over the members</h2>", table_html]
    parts += ["<h2>Files</h2><ul>"]
    for n in ["summary.nc", "habitats_summary.csv", "gis/zone_probability.tif",
              "gis/concentration_percentile_ensemble_mean.tif", "members.csv"]:
        if os.path.exists(os.path.join(folder, n)):
            parts.append('<li><a href="%s">%s</a></li>' % (esc(os.path.relpath(os.path.join(folder, n), out)), esc(n)))
    parts.append("</ul></body></html>")
    page = os.path.join(out, "index.html")
    with open(page + ".part", "w") as f:
        f.write("\n".join(parts) + "\n")
    os.replace(page + ".part", page)
    return page


def main(argv):
    ap = argparse.ArgumentParser(description="A one-page report of a run.")
    ap.add_argument("rundir")
    ap.add_argument("--nc", help="the run's NetCDF file (default RUNDIR/run.nc)")
    ap.add_argument("--gis", help="the folder of vorngis's layers (default RUNDIR/gis)")
    ap.add_argument("-o", "--out", help="the report's folder (default RUNDIR/report)")
    ap.add_argument("--site", help="the site file (default the one of the NetCDF file)")
    ap.add_argument("--no-animation", action="store_true")
    a = ap.parse_args(argv)
    try:
        import matplotlib
        matplotlib.use("Agg")
        import matplotlib.pyplot as plt
    except ImportError:
        sys.exit("vornreport: matplotlib is missing (apt-get install python3-matplotlib)")
    rundir = os.path.abspath(a.rundir)
    if os.path.isfile(os.path.join(rundir, "summary.nc")) and not a.nc:
        out = os.path.abspath(a.out or os.path.join(rundir, "report"))
        os.makedirs(os.path.join(out, "figures"), exist_ok=True)
        try:
            import json
            with open(os.path.join(rundir, "ensemble.json")) as f:
                base = json.load(f)["base"]
            site_file = a.site or os.path.join(os.path.dirname(base), "site.toml")
            site = plot_run.Site(site_file) if os.path.isfile(site_file) else None
            print(ensemble_page(rundir, out, site, plt))
        except (OSError, KeyError, ValueError, plot_run.LayoutError) as e:
            sys.exit("vornreport: %s" % e)
        return
    nc = os.path.abspath(a.nc or os.path.join(rundir, "run.nc"))
    gis = os.path.abspath(a.gis or os.path.join(rundir, "gis"))
    out = os.path.abspath(a.out or os.path.join(rundir, "report"))
    figs = os.path.join(out, "figures")
    os.makedirs(figs, exist_ok=True)
    try:
        run = read_run(nc)
        site_file = a.site or run["attrs"].get("site_file") or os.path.join(rundir, "site.toml")
        site = plot_run.Site(site_file) if os.path.isfile(site_file) else None
        # The quick-look figures of the run, where they lie.
        r = subprocess.run([sys.executable, os.path.join(HERE, "plot_run.py"), rundir, "--out", figs,
                            "--log"] + (["--site", site_file] if site else []),
                           capture_output=True, text=True)
        if r.returncode != 0:
            raise ReportError(r.stderr.strip() or r.stdout.strip())
        figures = [os.path.basename(l) for l in r.stdout.split() if l.endswith(".png")]
        assessment_figs = assessment_figures(plt, run, site, figs)
        animated = None if a.no_animation else animate(nc, site, out)
        rel = lambda p: os.path.relpath(p, out)
        links = [("the run as CF-NetCDF (%s)" % os.path.basename(nc), rel(nc))]
        if os.path.isdir(gis):
            for n in sorted(os.listdir(gis)):
                if n.endswith((".tif", ".gpkg", ".kml", ".csv")):
                    links.append(("%s (GIS layer or table)" % n, rel(os.path.join(gis, n))))
        page = os.path.join(out, "index.html")
        write_page(page, run, site, figures, assessment_figs, animated, links)
    except (ReportError, OSError, KeyError, ValueError, plot_run.LayoutError) as e:
        sys.exit("vornreport: %s" % e)
    print(page)


if __name__ == "__main__":
    main(sys.argv[1:])
