"""The figure of an ensemble summary, drawn from the summary file alone:
the probability of exceeding the first threshold on the map at the worst
time (the time when the expected area above the threshold, the sum of the
probabilities over the cells, is largest), one panel per scenario when
there are a few; and, at each point, the band from the 5th to the 95th
percentile with the median, per scenario, with the thresholds.
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
    """A label per scenario from its varied values, or None for the
    ensemble as a whole."""
    if "scenario" not in g.dimensions or len(g.dimensions["scenario"]) > MAX_PANELS:
        return None
    names = [n for n in g.variables if n.startswith("scenario_") and n != "scenario_members"]
    labels = []
    for k in range(len(g.dimensions["scenario"])):
        labels.append(", ".join("%s.%s = %s" % (g[n].parameter_record, g[n].parameter_value,
                                                 g[n][k]) for n in names))
    return labels


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
        cols = max(nmaps, min(npts, 4), 1)
        prows = math.ceil(npts / cols) if npts else 0
        fig = plt.figure(figsize=(3.6 * cols, 3.4 * (1 if nmaps else 0) + 2.6 * prows + 0.4),
                         layout="constrained")
        rows = (1 if nmaps else 0) + prows
        grid = fig.add_gridspec(rows, cols, height_ratios=([1.3] if nmaps else []) + [1] * prows)
        if nmaps:
            draw_maps(fig, grid, m, mlabels, c)
        if npts:
            draw_points(fig, grid, c, 1 if nmaps else 0, cols)
        fig.savefig(png, dpi=72)
        plt.close(fig)


def draw_maps(fig, grid, m, labels, c):
    threshold = float(m["threshold"][0])
    xb = np.asarray(m["x_bounds"][:], dtype=np.float64) / 1000.0
    yb = np.asarray(m["y_bounds"][:], dtype=np.float64) / 1000.0
    xe = np.append(xb[:, 0], xb[-1, 1])
    ye = np.append(yb[:, 0], yb[-1, 1])
    days = day_of(m)
    if labels:
        prob = m["exceedance_probability_by_scenario"]
    else:
        prob = m["exceedance_probability"]
    for k in range(len(labels) if labels else 1):
        p = np.ma.filled(prob[k, 0] if labels else prob[0], np.nan)
        area = np.nansum(p, axis=(1, 2))
        worst = int(np.argmax(area))
        ax = fig.add_subplot(grid[0, k])
        # Cells no member reaches stay white.
        mesh = ax.pcolormesh(xe, ye, np.ma.masked_less_equal(p[worst], 0.0), vmin=0.0,
                             vmax=1.0, cmap="magma_r", shading="flat")
        if c is not None:
            ax.plot(np.asarray(c["x"][:]) / 1000.0, np.asarray(c["y"][:]) / 1000.0, "o",
                    mfc="none", mec="tab:cyan", ms=6, label="points")
        ax.plot([0], [0], "+", color="tab:blue", ms=9, mew=2, label="release")
        ax.set_xlim(xe[0], xe[-1])
        ax.set_ylim(ye[0], ye[-1])
        ax.set_aspect("equal")
        ax.set_xlabel("x (km)")
        if k == 0:
            ax.set_ylabel("y (km)")
        title = "day %.2f" % days[worst] if area[worst] > 0 else "no member above it"
        ax.set_title(("%s\n" % labels[k] if labels else "") + title, fontsize=9)
    cb = fig.colorbar(mesh, ax=fig.axes[-1], shrink=0.9)
    cb.set_label("P(concentration > %g g/m3)" % threshold)
    fig.axes[0].legend(loc="upper left", fontsize=7)


def draw_points(fig, grid, c, row0, cols):
    days = day_of(c)
    labels = scenario_labels(c)
    if labels:
        pct = c["concentration_percentile_by_scenario"]
    else:
        pct = c["concentration_percentile"]
    thresholds = np.asarray(c["threshold"][:])
    x, y = np.asarray(c["x"][:]), np.asarray(c["y"][:])
    zb = np.asarray(c["z_bounds"][:])
    colours = plt.rcParams["axes.prop_cycle"].by_key()["color"]
    for s in range(len(c.dimensions["station"])):
        ax = fig.add_subplot(grid[row0 + s // cols, s % cols])
        for k in range(len(labels) if labels else 1):
            p = np.ma.filled(pct[k] if labels else pct[...], np.nan)[:, :, s]
            colour = colours[k % len(colours)]
            ax.fill_between(days, p[0], p[2], color=colour, alpha=0.25, lw=0)
            ax.plot(days, p[1], color=colour, lw=1.2,
                    label=(labels[k] if labels else "median") + "")
        for t in thresholds:
            ax.axhline(t, color="0.4", lw=0.8, ls=":")
        ax.set_title("point %d: x %.0f m, y %.0f m, %g-%g m" % (s + 1, x[s], y[s], zb[s, 0],
                                                               zb[s, 1]), fontsize=8)
        ax.set_xlabel("day")
        if s % cols == 0:
            ax.set_ylabel("g/m3")
        if s == 0:
            ax.legend(fontsize=7, title="5-95 % band and median", title_fontsize=7)
