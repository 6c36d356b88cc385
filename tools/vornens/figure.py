"""The figure of an ensemble summary, drawn from the summary file alone:
the probability of exceeding the first threshold on the map at the worst
time (the time when the expected area above the threshold, the sum of the
probabilities over the cells, is largest), one panel per scenario when
there are a few, framed on the cells any member exceeds it in; and, at
each point, the band from the 5th to the 95th percentile with the median,
per scenario, with the thresholds dotted.
"""
import math

import matplotlib

matplotlib.use("Agg")
import matplotlib.pyplot as plt  # noqa: E402
import netCDF4  # noqa: E402
import numpy as np  # noqa: E402

MAX_PANELS = 6
DAY = 86400.0


def scenario_labels(g):
    """A label per scenario from its varied values (by field name, or by
    record.field where two records share a field name), or None for the
    ensemble as a whole."""
    if "scenario" not in g.dimensions or len(g.dimensions["scenario"]) > MAX_PANELS:
        return None
    names = [n for n in g.variables if n.startswith("scenario_") and n != "scenario_members"]
    fields = [g[n].parameter_value for n in names]
    short = [f if fields.count(f) == 1 else "%s.%s" % (g[n].parameter_record, f)
             for n, f in zip(names, fields)]
    return [", ".join("%s = %s" % (s, g[n][k]) for s, n in zip(short, names))
            for k in range(len(g.dimensions["scenario"]))]


def day_of(g):
    """Days of the time variable (seconds since the day before day 1)."""
    return np.asarray(g["time"][:], dtype=np.float64) / DAY


def draw(path, png):
    with netCDF4.Dataset(path) as nc:
        m = nc.groups.get("map")
        c = nc.groups.get("concentration")
        nmaps = 0
        if m is not None:
            mlabels = scenario_labels(m)
            nmaps = len(mlabels) if mlabels else 1
        npts = len(c.dimensions["station"]) if c is not None else 0
        # One column more than the maps for the colour bar and the legend.
        cols = max(nmaps + 1 if nmaps else 0, min(npts, 4), 1)
        prows = math.ceil(npts / cols) if npts else 0
        fig = plt.figure(figsize=(3.4 * cols, 3.2 * (1 if nmaps else 0) + 2.5 * prows + 0.3),
                         layout="constrained")
        grid = fig.add_gridspec((1 if nmaps else 0) + prows, cols,
                                height_ratios=([1.25] if nmaps else []) + [1] * prows)
        handles = []
        if npts:
            handles = draw_points(fig, grid, c, 1 if nmaps else 0, cols)
        if nmaps:
            mesh = draw_maps(fig, grid, m, mlabels, c, cols)
            # The colour bar and the legend share the column right of the
            # maps, so that every column of the figure keeps its width.
            key = fig.add_subplot(grid[0, nmaps:])
            key.axis("off")
            cax = key.inset_axes([0.05, 0.86, 0.9, 0.06])
            cb = fig.colorbar(mesh, cax=cax, orientation="horizontal")
            cb.set_label("P(concentration > %g g/m3)" % float(m["threshold"][0]), fontsize=8)
            cb.ax.tick_params(labelsize=7)
            if handles:
                key.legend(handles=handles, loc="lower center", fontsize=7,
                           title="points: 5-95 % band, median", title_fontsize=8)
        elif handles:
            fig.axes[0].legend(handles=handles, fontsize=7)
        fig.savefig(png, dpi=72)
        plt.close(fig)


def frame(p, xe, ye, marks):
    """The part of the grid to draw: the cells with a probability above 0
    and the marks (release, points) inside the grid, with a margin."""
    rows, cols = np.nonzero(np.nan_to_num(p) > 0)
    xs = [xe[cols].min(), xe[cols + 1].max()] if cols.size else []
    ys = [ye[rows].min(), ye[rows + 1].max()] if rows.size else []
    for x, y in marks:
        if xe[0] <= x <= xe[-1] and ye[0] <= y <= ye[-1]:
            xs.append(x)
            ys.append(y)
    if not xs:
        return (xe[0], xe[-1]), (ye[0], ye[-1])
    pad = 0.15 * max(max(xs) - min(xs), max(ys) - min(ys), 4 * abs(xe[1] - xe[0]))
    return ((max(xe[0], min(xs) - pad), min(xe[-1], max(xs) + pad)),
            (max(ye[0], min(ys) - pad), min(ye[-1], max(ys) + pad)))


def draw_maps(fig, grid, m, labels, c, cols):
    xb = np.asarray(m["x_bounds"][:], dtype=np.float64) / 1000.0
    yb = np.asarray(m["y_bounds"][:], dtype=np.float64) / 1000.0
    xe = np.append(xb[:, 0], xb[-1, 1])
    ye = np.append(yb[:, 0], yb[-1, 1])
    days = day_of(m)
    prob = m["exceedance_probability_by_scenario" if labels else "exceedance_probability"]
    points = []
    if c is not None:
        points = list(zip(np.asarray(c["x"][:]) / 1000.0, np.asarray(c["y"][:]) / 1000.0))
    shown = []
    for k in range(len(labels) if labels else 1):
        p = np.ma.filled(prob[k, 0] if labels else prob[0], np.nan)
        area = np.nansum(p, axis=(1, 2))
        worst = int(np.argmax(area))
        shown.append((p[worst], days[worst], area[worst] > 0))
    both = np.nanmax(np.stack([s[0] for s in shown]), axis=0)
    xlim, ylim = frame(both, xe, ye, [(0.0, 0.0)] + points)
    for k, (p, day, any_above) in enumerate(shown):
        ax = fig.add_subplot(grid[0, k])
        # Cells no member reaches stay white.
        mesh = ax.pcolormesh(xe, ye, np.ma.masked_less_equal(p, 0.0), vmin=0.0, vmax=1.0,
                             cmap="magma_r", shading="flat")
        if points:
            ax.plot(*zip(*points), "o", mfc="none", mec="tab:cyan", ms=7, mew=1.5,
                    label="points")
        ax.plot([0], [0], "+", color="tab:blue", ms=10, mew=2, label="release")
        ax.set_xlim(*xlim)
        ax.set_ylim(*ylim)
        ax.set_aspect("equal")
        ax.set_xlabel("x (km)")
        if k == 0:
            ax.set_ylabel("y (km)")
            ax.legend(loc="best", fontsize=7)
        title = "day %.2f" % day if any_above else "no member above it"
        ax.set_title(("%s\n" % labels[k] if labels else "") + title, fontsize=8)
    return mesh


def draw_points(fig, grid, c, row0, cols):
    """The points' percentile bands; returns the legend's handles."""
    days = day_of(c)
    labels = scenario_labels(c)
    pct = c["concentration_percentile_by_scenario" if labels else "concentration_percentile"]
    thresholds = np.asarray(c["threshold"][:])
    x, y = np.asarray(c["x"][:]), np.asarray(c["y"][:])
    zb = np.asarray(c["z_bounds"][:])
    colours = plt.rcParams["axes.prop_cycle"].by_key()["color"]
    handles = []
    for s in range(len(c.dimensions["station"])):
        ax = fig.add_subplot(grid[row0 + s // cols, s % cols])
        for k in range(len(labels) if labels else 1):
            p = np.ma.filled(pct[k] if labels else pct[...], np.nan)[:, :, s]
            colour = colours[k % len(colours)]
            ax.fill_between(days, p[0], p[2], color=colour, alpha=0.25, lw=0)
            line, = ax.plot(days, p[1], color=colour, lw=1.2,
                            label=labels[k] if labels else "ensemble")
            if s == 0:
                handles.append(line)
        for t in thresholds:
            ax.axhline(t, color="0.4", lw=0.8, ls=":")
        ax.set_title("point %d: x %.0f m, y %.0f m, %g-%g m" % (s + 1, x[s], y[s], zb[s, 0],
                                                               zb[s, 1]), fontsize=8)
        ax.set_xlabel("day")
        if s % cols == 0:
            ax.set_ylabel("g/m3")
    return handles
