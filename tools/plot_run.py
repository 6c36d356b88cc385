#!/usr/bin/python3
"""Quick-look figures of a vornv7 run.

    /usr/bin/python3 tools/plot_run.py RUNDIR [--par run.par] [--out DIR] [--frame N] [--log]

RUNDIR is the folder the run was made in. The parameter file (run.par in
RUNDIR unless --par says otherwise) tells which output files the run wrote;
each file is parsed by its documented layout, and a file that does not
match stops the script with a message naming the file and the line.

Figures written into --out (default RUNDIR/plots), one per output found:
  concentration.png  concentration time series at each sampling point
  map.png            concentration map of one frame (--frame, default the
                     last; 1 is the first) in its layer, with the sampling
                     points and the release point; --log for a logarithmic
                     colour scale that shows the faint fringe of the plume
  cloud.png          path of the cloud's centre of mass with the
                     principal-axis ellipses of the packet cloud, coloured
                     and labelled by day, start and end marked
  biology_map.png    biology exposure on the map (equivalent days), with
                     its thresholds and layer
  sediment.png       friction velocities, zw, the settling velocity in
                     force, Rouse numbers, packets live and broken up, and
                     the broken-up fraction kbreak/ktotal, in time
With a site file (site.toml beside the parameter file, or --site FILE) the
map, the cloud and the exposure are drawn where they lie on Earth: in
longitude and latitude for a site whose origin is given as lon, lat, in the
CRS's kilometres for one given in a projected CRS, over the site's layers
(coast, habitats by their type, other sites); --no-site draws the run's own
frame. Needs matplotlib (Debian: apt-get install python3-matplotlib), and
for a site GDAL's Python bindings (python3-gdal).
"""
import argparse
import math
import os
import re
import sys


class LayoutError(Exception):
    pass


# ---------------------------------------------------------------------------
# Reading the files

_EXP_NO_E = re.compile(r"^([+-]?\d*\.\d*)([+-]\d{3})$")


def number(text, where):
    """A number as the program writes it: F, I or E fields (with the dropped
    leading zero and the three-digit exponent written without E); a field of
    asterisks (a value too wide for its field) reads as NaN."""
    s = text.strip()
    if not s:
        raise LayoutError("%s: empty field" % where)
    if set(s) == {"*"}:
        return float("nan")
    m = _EXP_NO_E.match(s)
    if m:
        s = m.group(1) + "E" + m.group(2)
    s = s.replace("D", "E").replace("d", "e")
    try:
        return float(s)
    except ValueError:
        raise LayoutError("%s: %r is not a number" % (where, text)) from None


def lines_of(path):
    with open(path, "r", newline="") as f:
        text = f.read()
    return [ln.rstrip("\r") for ln in text.split("\n")][: -1 if text.endswith("\n") else None]


def fields(line, widths, where):
    """Cuts a record into fixed-width fields; a record may end early only
    at a field boundary (empty trailing slots of a layout)."""
    out, pos = [], 0
    for w in widths:
        if pos >= len(line):
            break
        out.append(number(line[pos:pos + w], where))
        pos += w
    if pos < len(line.rstrip()):
        raise LayoutError("%s: more characters than the layout holds" % where)
    return out


def free_numbers(line, where):
    return [number(t, where) for t in line.replace(",", " ").split()]


def read_rows(path, widths, count):
    """Every line of a file of fixed-width rows, each of `count` numbers."""
    rows = []
    for n, ln in enumerate(lines_of(path), 1):
        r = fields(ln, widths, "%s, line %d" % (path, n))
        if len(r) != count:
            raise LayoutError("%s, line %d: %d fields expected, found %d"
                              % (path, n, count, len(r)))
        rows.append(r)
    return rows


def read_sediment(path):
    # (1X,E12.5),3(1X,E9.4),4(1X,E8.3),2(1X,I7),(1X,E7.2)
    return read_rows(path, [13] + [10] * 3 + [9] * 4 + [8] * 2 + [8], 11)


def read_stats(path):
    # 1X,E14.8,9(1X,E10.4) with eight values after the time
    return read_rows(path, [15] + [11] * 9, 9)


def read_conc(path):
    lines = lines_of(path)
    if len(lines) < 3 or lines[0].strip() != "Concentration":
        raise LayoutError("%s, line 1: \"Concentration\" expected" % path)
    head = lines[1]
    if "x y z number_of_positions:" not in head:
        raise LayoutError("%s, line 2: \"x y z number_of_positions:\" expected" % path)
    npts = int(number(head.split(":")[1], "%s, line 2" % path))
    points = []
    for i in range(npts):
        v = free_numbers(lines[2 + i], "%s, line %d" % (path, 3 + i))
        if len(v) != 3:
            raise LayoutError("%s, line %d: x, y, z expected" % (path, 3 + i))
        points.append(v)
    if lines[2 + npts].strip():
        raise LayoutError("%s, line %d: an empty line expected" % (path, 3 + npts))
    widths = [15] + [12] * npts  # 1X,E14.6,99E12.4
    times, conc = [], []
    for n in range(3 + npts, len(lines)):
        r = fields(lines[n], widths, "%s, line %d" % (path, n + 1))
        if len(r) != npts + 1:
            raise LayoutError("%s, line %d: %d values expected" % (path, n + 1, npts + 1))
        times.append(r[0])
        conc.append(r[1:])
    return points, times, conc


def read_map(path):
    lines = lines_of(path)
    where = lambda k: "%s, line %d" % (path, k + 1)
    try:
        k = 0
        nframes = int(number(lines[k], where(k))); k += 1
        nx = int(number(lines[k], where(k))); k += 1
        xg = [number(lines[k + i], where(k + i)) for i in range(nx)]; k += nx
        ny = int(number(lines[k], where(k))); k += 1
        yg = [number(lines[k + j], where(k + j)) for j in range(ny)]; k += ny
    except IndexError:
        raise LayoutError("%s: the header ends early" % path) from None
    frame_len = 1 + 2 * nx * ny
    body = len(lines) - k
    if body % frame_len:
        raise LayoutError("%s: %d lines after the header are not whole frames of %d lines"
                          % (path, body, frame_len))
    frames = []
    for f in range(body // frame_len):
        base = k + f * frame_len
        t = number(lines[base], where(base))
        cmap = [[0.0] * nx for _ in range(ny)]
        col = [[0.0] * nx for _ in range(ny)]
        for j in range(ny):
            for i in range(nx):
                at = base + 1 + 2 * (j * nx + i)
                cmap[j][i] = number(lines[at], where(at))
                col[j][i] = number(lines[at + 1], where(at + 1))
        frames.append((t, cmap, col))
    return nframes, xg, yg, frames


def read_biomap(path, nx, ny):
    per_row = (nx + 99) // 100
    lines = lines_of(path)
    if len(lines) != per_row * ny:
        raise LayoutError("%s: %d lines, expected %d rows of %d cells (%d lines)"
                          % (path, len(lines), ny, nx, per_row * ny))
    grid = []
    for j in range(ny):
        row = []
        for p in range(per_row):
            n = j * per_row + p
            cells = min(100, nx - 100 * p)
            v = fields(lines[n], [10] * cells, "%s, line %d" % (path, n + 1))
            if len(v) != cells:
                raise LayoutError("%s, line %d: %d values expected" % (path, n + 1, cells))
            row += v
        grid.append(row)
    return grid


def read_packets(path):
    """Frames of (time in days, [(x, y, z), ...])."""
    lines = lines_of(path)
    if not lines or lines[0].strip() != "Packet positions":
        raise LayoutError("%s, line 1: \"Packet positions\" expected" % path)
    frames, k = [], 1
    while k < len(lines):
        head = lines[k]
        if "ktotal, time" not in head:
            raise LayoutError("%s, line %d: \"ktotal, time\" expected" % (path, k + 1))
        v = free_numbers(head.replace("ktotal, time", ""), "%s, line %d" % (path, k + 1))
        n, t = int(v[0]), v[1]
        pts = []
        for i in range(n):
            at = k + 1 + i
            if at >= len(lines):
                raise LayoutError("%s: the frame at line %d ends early" % (path, k + 1))
            pts.append(fields(lines[at], [16, 16, 11], "%s, line %d" % (path, at + 1)))
        frames.append((t, pts))
        k += 1 + n
    return frames


# ---------------------------------------------------------------------------
# The parameter file: which outputs the run wrote, and their set-up records

KINDS = ["sediment", "velocity", "statistics", "packets", "concentration", "map",
         "biology", "biology_map"]


def records(path):
    with open(path) as f:
        return [ln.rstrip("\r\n") for ln in f]


def outputs_of(par, rundir):
    """Maps each output kind that has a file to (file name, extra records)."""
    rec = records(par)
    at = [0]

    def take():
        if at[0] >= len(rec):
            raise LayoutError("%s: ends before the output records" % par)
        at[0] += 1
        return rec[at[0] - 1]

    for _ in range(6):
        take()  # log, seeds, ttotal/time0, dtvu, dta/dtms, vmethod
    take()  # nfricp
    take()  # friction parameters or file
    for _ in range(4):
        take()  # settling, kappa/href, hmax, btype
    take()  # release
    take()  # log-layer node file
    intnodes = take().strip()
    ninterior = None
    with open(os.path.join(rundir, intnodes)) as f:
        after = False
        for ln in f:
            if after:
                ninterior = int(free_numbers(ln, intnodes)[0])
                break
            after = ln.startswith("XXXX")
    if ninterior is None:
        raise LayoutError("%s: no node count after the XXXX line" % intnodes)
    for _ in range(ninterior):
        take()
    extra_counts = {"statistics": 1, "map": 1, "biology": 1, "biology_map": 1}
    found = {}
    for kind in KINDS:
        hours = free_numbers(take(), par)[0]
        if abs(hours * 3600.0) <= 0.015:
            continue  # off: no file name, no set-up records
        name = take().strip() if hours > 0 else None
        if hours < 0 and kind not in ("concentration", "map"):
            continue  # off as well, once its interval has been read
        if kind == "concentration":
            n = int(free_numbers(take(), par)[0])
            extra = [take() for _ in range(n)]
        else:
            extra = [take() for _ in range(extra_counts.get(kind, 0))]
        if name is not None:
            found[kind] = (os.path.join(rundir, name), extra, hours)
    return found


# ---------------------------------------------------------------------------
# Figures

# ---------------------------------------------------------------------------
# The site: where the run's frame lies on Earth

class Site:
    """The run's frame placed by a site file: run metres to the figure's
    coordinates (longitude and latitude, or the site CRS's km), and the
    site's layers in them. PROJ does the geodesy, through GDAL's osr."""

    KIND_STYLE = {"coastline": dict(fc="#e6d8ad", ec="#8c7a4b", lw=0.8, zorder=0.5),
                  "site": dict(fc="none", ec="0.3", lw=1.0, ls="--", zorder=0.7)}

    def __init__(self, path):
        import tomllib
        from osgeo import ogr, osr
        osr.UseExceptions()
        ogr.UseExceptions()
        self.ogr, self.osr = ogr, osr
        self.path = path
        with open(path, "rb") as f:
            s = tomllib.load(f)
        self.name = s.get("name", "")
        rot = math.radians(float(s.get("rotation", 0.0)))
        self.cos, self.sin = math.cos(rot), math.sin(rot)
        o = s["origin"]
        self.frame = osr.SpatialReference()
        if "crs" in o:
            self.frame.SetFromUserInput(o["crs"])
            self.x0, self.y0 = float(o["x"]), float(o["y"])
            self.geographic = False
            self.target = self.frame.Clone()
            self.scale = 0.001  # the CRS's metres as km
            self.xlabel = "easting (km, %s)" % self.frame.GetName()
            self.ylabel = "northing (km)"
        else:
            self.frame.ImportFromProj4("+proj=tmerc +lat_0=%r +lon_0=%r +k=1 +x_0=0 +y_0=0 "
                                       "+datum=WGS84 +units=m +no_defs" % (o["lat"], o["lon"]))
            self.x0 = self.y0 = 0.0
            self.geographic = True
            self.target = osr.SpatialReference()
            self.target.ImportFromEPSG(4326)
            self.scale = 1.0
            self.lat0 = float(o["lat"])
            self.xlabel, self.ylabel = "longitude (\u00b0E)", "latitude (\u00b0N)"
        for r in (self.frame, self.target):
            r.SetAxisMappingStrategy(osr.OAMS_TRADITIONAL_GIS_ORDER)
        self.to_target = osr.CoordinateTransformation(self.frame, self.target)
        folder = os.path.dirname(os.path.abspath(path))
        self.layers = [dict(l, path=os.path.join(folder, l["file"])) for l in s.get("layers", [])]

    def xy(self, xs, ys):
        """Run coordinates (m) to the figure's: lists of the same length."""
        pts = [(self.x0 + x * self.cos + y * self.sin, self.y0 - x * self.sin + y * self.cos)
               for x, y in zip(xs, ys)]
        if not pts:
            return [], []
        if self.geographic:
            pts = [p[:2] for p in self.to_target.TransformPoints(pts)]
        return [p[0] * self.scale for p in pts], [p[1] * self.scale for p in pts]

    def grid(self, xe, ye):
        """The figure coordinates of a grid of cell edges (m): 2-D lists."""
        X, Y = [], []
        for y in ye:
            gx, gy = self.xy(xe, [y] * len(xe))
            X.append(gx)
            Y.append(gy)
        return X, Y

    def frame_axes(self, ax, xe=None, ye=None):
        """Labels, equal distances along both axes (a degree of longitude is
        cos(latitude) of one of latitude) and, given a grid's edges (m), its
        extent as the limits."""
        ax.set_xlabel(self.xlabel)
        ax.set_ylabel(self.ylabel)
        if xe is not None:
            X, Y = self.grid([xe[0], xe[-1]], [ye[0], ye[-1]])
            xs, ys = [v for r in X for v in r], [v for r in Y for v in r]
            ax.set_xlim(min(xs), max(xs))
            ax.set_ylim(min(ys), max(ys))
        ax.set_aspect(1.0 / math.cos(math.radians(self.lat0)) if self.geographic else "equal",
                      adjustable="box" if xe is not None else "datalim")
        ax.grid(alpha=0.35, lw=0.5)

    def draw_layers(self, ax):
        """The site's layers under the data: coastlines filled as land,
        habitats coloured by their type, other sites outlined; the first
        shape of each kind and habitat type carries its legend label."""
        from matplotlib.patches import Polygon
        ogr = self.ogr
        kinds = {}
        labelled = set()
        palette = ["#9ecae1", "#a1d99b", "#fdae6b", "#bcbddc", "#fa9fb5", "#c7e9b4"]
        for l in self.layers:
            ds = ogr.Open(l["path"])
            if ds is None:
                continue
            layer = ds.GetLayer(0)
            to = self.osr.CoordinateTransformation(layer.GetSpatialRef(), self.target) \
                if layer.GetSpatialRef() is not None else None
            for feat in layer:
                g = feat.GetGeometryRef()
                if g is None:
                    continue
                g = g.Clone()
                if to is not None:
                    g.Transform(to)
                label = l["name"]
                style = dict(self.KIND_STYLE.get(l["kind"], {}))
                if l["kind"] == "habitat":
                    label = feat.GetField(l["attribute"]) if l.get("attribute") else l["name"]
                    if label not in kinds:
                        kinds[label] = palette[len(kinds) % len(palette)]
                    style = dict(fc=kinds[label], ec="0.35", lw=0.6, alpha=0.75, zorder=0.6)
                elif l["kind"] not in self.KIND_STYLE:
                    style = dict(fc="none", ec="0.5", lw=0.8, zorder=0.7)
                for ring in self.rings(g):
                    pts = [(x * self.scale, y * self.scale) for x, y in ring]
                    if len(pts) < 2:
                        continue
                    if label not in labelled:
                        labelled.add(label)
                        style["label"] = label
                    ax.add_patch(Polygon(pts, closed=g.GetDimension() == 2, **style))
                    style.pop("label", None)

    def rings(self, g):
        """Every ring or line of a geometry as (x, y) lists."""
        if g.GetGeometryCount() == 0:
            return [[(g.GetX(k), g.GetY(k)) for k in range(g.GetPointCount())]]
        out = []
        for k in range(g.GetGeometryCount()):
            out += self.rings(g.GetGeometryRef(k))
        return out


def site_of(rundir, par, given, off):
    """The run's site, or None: --site, else site.toml beside the parameter file."""
    if off:
        return None
    path = given or os.path.join(os.path.dirname(os.path.abspath(par)), "site.toml")
    if not os.path.isfile(path):
        if given:
            raise LayoutError("%s: no such site file" % given)
        return None
    try:
        return Site(path)
    except ImportError:
        print("plot_run: the site is not drawn: GDAL's Python bindings are missing "
              "(apt-get install python3-gdal)", file=sys.stderr)
        return None


def cell_edges(xg, yg):
    """The edges (m) of a grid of cell centres (km)."""
    dx = (xg[1] - xg[0]) if len(xg) > 1 else 1.0
    dy = (yg[1] - yg[0]) if len(yg) > 1 else 1.0
    xe = [(x - dx / 2) * 1000.0 for x in xg] + [(xg[-1] + dx / 2) * 1000.0]
    ye = [(y - dy / 2) * 1000.0 for y in yg] + [(yg[-1] + dy / 2) * 1000.0]
    return xe, ye


def draw_grid(ax, site, xg, yg, values, **kw):
    """A map of cell values: in the run's frame (km), or placed by the site."""
    if site is None:
        return ax.imshow(values, origin="lower", extent=cell_extent(xg, yg), aspect="equal", **kw)
    X, Y = site.grid(*cell_edges(xg, yg))
    import numpy as np
    v = np.ma.masked_invalid(np.asarray(values, dtype=float))
    return ax.pcolormesh(X, Y, v, shading="flat", zorder=1, **kw)


def cell_extent(xg, yg):
    """The outer edges of a grid of cell centres, for imshow."""
    dx = (xg[1] - xg[0]) if len(xg) > 1 else 1.0
    dy = (yg[1] - yg[0]) if len(yg) > 1 else 1.0
    return [xg[0] - dx / 2, xg[-1] + dx / 2, yg[0] - dy / 2, yg[-1] + dy / 2]


def map_size(extent):
    """Figure size (inches) that fits a map of these edges and its colour bar."""
    aspect = abs((extent[3] - extent[2]) / (extent[1] - extent[0]))
    return (7.5, min(10.0, max(3.0, 1.4 + 6.0 * aspect)))


def colorbar(fig, ax, im, label, extend="neither", site=None):
    """A colour bar beside a map, as tall as the map itself (beside a map
    placed by a site, whose box its aspect sets, one that follows the box)."""
    if site is not None:
        fig.colorbar(im, ax=ax, label=label, extend=extend, fraction=0.04, pad=0.02)
        return
    from mpl_toolkits.axes_grid1 import make_axes_locatable
    cax = make_axes_locatable(ax).append_axes("right", size="4%", pad=0.1)
    fig.colorbar(im, cax=cax, label=label, extend=extend)


def save(plt, fig, out):
    """Writes the figure as a PNG file and frees it."""
    fig.tight_layout()
    fig.savefig(out, dpi=110)
    plt.close(fig)


def plot_concentration(plt, path, out, layers):
    """layers: (radius, zlow, ztop) of each point, from its set-up record."""
    points, times, conc = read_conc(path)
    fig, ax = plt.subplots(figsize=(9, 4.5))
    for i, (x, y, _) in enumerate(points):
        r, lo, hi = layers[i]
        ax.plot(times, [c[i] for c in conc],
                label="point %d: x %.0f m, y %.0f m, radius %g m, z %g\u2013%g m"
                % (i + 1, x, y, r, lo, hi))
    ax.set_xlabel("time (days)")
    ax.set_ylabel("concentration (g/m$^3$)")
    ax.set_title("Concentration at the sampling points")
    ax.legend(fontsize="small")
    ax.grid(alpha=0.3)
    save(plt, fig, out)


def layer_of(record, where):
    """zlow, ztop (m) of a map set-up record: nx x0 x1 ny y0 y1 zlow ztop."""
    v = free_numbers(record, where)
    if len(v) < 8:
        raise LayoutError("%s: the map record %r holds no layer" % (where, record))
    return v[6], v[7]


def plot_map(plt, path, out, frame, points, layer, log, site=None):
    from matplotlib.colors import LogNorm
    nframes, xg, yg, frames = read_map(path)
    if not frames:
        raise LayoutError("%s: no map frame" % path)
    if frame is None:
        frame = len(frames)
    if not 1 <= frame <= len(frames):
        raise LayoutError("%s: frame %d asked for, the file holds %d" % (path, frame, len(frames)))
    t, cmap, _ = frames[frame - 1]
    extent = cell_extent(xg, yg)
    fig, ax = plt.subplots(figsize=map_size(extent))
    colours = plt.get_cmap("viridis")
    norm = None
    if log:
        # The faint fringe of the plume, down to four decades below the
        # peak; cells below that, or empty, take the lowest colour.
        positive = [v for row in cmap for v in row if v > 0 and not math.isnan(v)]
        top = max(positive) if positive else 1.0
        norm = LogNorm(vmin=top * 1e-4, vmax=top, clip=False)
        # Below the scale: the lowest colour, or, over a site's layers, nothing.
        floor = colours(0.0) if site is None else (0, 0, 0, 0)
        colours = colours.with_extremes(under=floor, bad=floor)
    if site is not None and not log:
        # Cells the plume never reached leave the site's layers visible.
        colours = colours.with_extremes(under=(0, 0, 0, 0))
        positive = [v for row in cmap for v in row if v > 0 and not math.isnan(v)]
        norm = None
        kw = dict(vmin=min(positive) * 0.999 if positive else 1e-12)
    else:
        kw = {}
    im = draw_grid(ax, site, xg, yg, cmap, cmap=colours, norm=norm, **kw)
    frame_axes(ax, site, xg, yg)
    colorbar(fig, ax, im, "concentration (g/m$^3$)" + (", log scale" if log else ""),
             "min" if log else "neither", site)
    mark(ax, site, points, "w+" if site is None else "k+")
    ax.legend(loc="upper left", fontsize="small", facecolor="0.85")
    ax.set_title("Concentration in the layer z %g\u2013%g m, day %.3f\n(map frame %d of %d)%s"
                 % (layer[0], layer[1], t, frame, len(frames), site_title(site)))
    save(plt, fig, out)
    return xg, yg


def mark(ax, site, points, release_style):
    """The sampling points and the release point, and under them the site's layers."""
    if site is not None:
        site.draw_layers(ax)
    if points:
        px, py = to_figure(site, [p[0] for p in points], [p[1] for p in points])
        ax.plot(px, py, "r^", label="sampling points", zorder=5)
    rx, ry = to_figure(site, [0.0], [0.0])
    ax.plot(rx, ry, release_style, markersize=12, markeredgewidth=2, label="release point",
            zorder=5)


def to_figure(site, xs, ys):
    """Run coordinates (m) as the figure draws them: km, or placed by the site."""
    if site is None:
        return [x * 0.001 for x in xs], [y * 0.001 for y in ys]
    return site.xy(xs, ys)


def frame_axes(ax, site, xg=None, yg=None):
    if site is None:
        ax.set_xlabel("x (km)")
        ax.set_ylabel("y (km)")
    else:
        site.frame_axes(ax, *(cell_edges(xg, yg) if xg is not None else (None, None)))


def site_title(site):
    return "" if site is None or not site.name else ", " + site.name


def ellipse(xm, ym, l1, l2, theta_deg):
    """The 2-sigma principal-axis ellipse of the cloud, in km."""
    a, b = 2 * math.sqrt(max(l1, 0.0)), 2 * math.sqrt(max(l2, 0.0))
    th = math.radians(theta_deg)
    pts = [(xm + a * math.cos(s) * math.cos(th) - b * math.sin(s) * math.sin(th),
            ym + a * math.cos(s) * math.sin(th) + b * math.sin(s) * math.cos(th))
           for s in [2 * math.pi * k / 60 for k in range(61)]]
    return [p[0] * 0.001 for p in pts], [p[1] * 0.001 for p in pts]


def spread_labels(ax, places, width, height):
    """Writes each (x, y, text, colour) label unless its box (width by
    height, data units, to the upper right of the point) would overlap one
    already written: the first ones win."""
    kept = []
    for x, y, text, colour in places:
        if all(abs(x - kx) >= width or abs(y - ky) >= height for kx, ky in kept):
            kept.append((x, y))
            ax.annotate(text, (x, y), textcoords="offset points", xytext=(4, 3), fontsize=7,
                        color=colour, zorder=6,
                        bbox=dict(boxstyle="round,pad=0.1", fc="white", ec="none", alpha=0.7))


def plot_cloud(plt, path, out, site=None):
    from matplotlib import cm
    from matplotlib.collections import LineCollection
    from matplotlib.colors import Normalize
    rows = [r for r in read_stats(path) if not any(math.isnan(v) for v in r[:7])]
    if not rows:
        raise LayoutError("%s: no statistics record with a finite centre and spread" % path)
    t0, t1 = rows[0][0], rows[-1][0]
    norm = Normalize(vmin=t0, vmax=t1 if t1 > t0 else t0 + 1)
    colours = cm.get_cmap("viridis")
    fig, ax = plt.subplots(figsize=(8, 6.5))
    xs, ys = to_figure(site, [r[1] for r in rows], [r[2] for r in rows])
    if site is not None:
        site.draw_layers(ax)
    # The track, coloured by time like the ellipses.
    track = LineCollection([[(xs[k], ys[k]), (xs[k + 1], ys[k + 1])] for k in range(len(xs) - 1)],
                           cmap=colours, norm=norm, linewidths=1.2, zorder=2)
    track.set_array([rows[k][0] for k in range(len(xs) - 1)])
    ax.add_collection(track)
    picks = sorted(set(range(0, len(rows), max(1, len(rows) // 10))) | {len(rows) - 1})
    outline = []
    for k in picks:
        day, xm, ym, _, l1, l2, theta = rows[k][:7]
        ex, ey = ellipse(xm, ym, l1, l2, theta)
        ex, ey = to_figure(site, [x * 1000.0 for x in ex], [y * 1000.0 for y in ey])
        ax.plot(ex, ey, "-", color=colours(norm(day)), lw=1.0, zorder=1)
        outline += list(zip(ex, ey))
    rx, ry = to_figure(site, [0.0], [0.0])
    ax.plot(rx, ry, "k+", markersize=12, markeredgewidth=2, label="release point", zorder=5)
    ax.plot(xs[0], ys[0], "o", mfc="none", mec="green", mew=2, ms=11, zorder=5,
            label="start, day %.2f" % t0)
    ax.plot(xs[-1], ys[-1], "s", mfc="none", mec="red", mew=2, ms=10, zorder=5,
            label="end, day %.2f" % t1)
    ax.plot([], [], "-", color=colours(0.5), lw=1.2, label="centre of mass (labels: day)")
    ax.plot([], [], "-", color=colours(0.8), lw=1.0,
            label="2-sigma principal-axis ellipses (labels: day)")
    if site is None:
        ax.set_aspect("equal", adjustable="datalim")
    else:
        site.frame_axes(ax)
    ax.update_datalim(outline + list(zip(xs, ys)))
    ax.autoscale_view()
    span = max(max(x for x, _ in outline) - min(x for x, _ in outline),
               max(y for _, y in outline) - min(y for _, y in outline), 1e-6)
    # Days on the track at the ellipses' times, and on each ellipse at the
    # tip of its major axis.
    tips = []
    for k in picks:
        day, xm, ym, _, l1, _, theta = rows[k][:7]
        a = 2 * math.sqrt(max(l1, 0.0))
        th = math.radians(theta)
        (tx,), (ty,) = to_figure(site, [xm + a * math.cos(th)], [ym + a * math.sin(th)])
        ax.plot([tx], [ty], "o", color=colours(norm(day)), ms=3.5, zorder=3)
        tips.append((tx, ty, "%.2f" % day, "0.1"))
    for k in picks:
        ax.plot([xs[k]], [ys[k]], "o", color=colours(norm(rows[k][0])), mec="0.1", mew=0.5,
                ms=4, zorder=4)
    spread_labels(ax, [(xs[k], ys[k], "%.2f" % rows[k][0], "0.1") for k in picks] + tips,
                  0.11 * span, 0.045 * span)
    fig.colorbar(cm.ScalarMappable(norm=norm, cmap=colours), ax=ax, label="time (day)")
    if site is None:
        ax.set_xlabel("x (km)")
        ax.set_ylabel("y (km)")
        ax.grid(alpha=0.3)
    ax.set_title("Packet cloud: centre of mass and spread, days %.2f to %.2f%s"
                 % (t0, t1, site_title(site)))
    ax.legend(fontsize="small", loc="best")
    save(plt, fig, out)


def plot_biomap(plt, path, out, xg, yg, thresholds, layer, site=None):
    grid = read_biomap(path, len(xg), len(yg))
    extent = cell_extent(xg, yg)
    fig, ax = plt.subplots(figsize=map_size(extent))
    colours = plt.get_cmap("magma_r")
    kw = {}
    if site is not None:
        positive = [v for row in grid for v in row if v > 0 and not math.isnan(v)]
        colours = colours.with_extremes(under=(0, 0, 0, 0))
        kw = dict(vmin=min(positive) * 0.999 if positive else 1e-12)
    im = draw_grid(ax, site, xg, yg, grid, cmap=colours if site is not None else "magma", **kw)
    frame_axes(ax, site, xg, yg)
    colorbar(fig, ax, im, "exposure (equivalent days)", site=site)
    mark(ax, site, [], "c+" if site is None else "k+")
    ax.legend(loc="upper left", fontsize="small", facecolor="0.85")
    ax.set_title("Biology exposure on the map, layer z %g\u2013%g m\n"
                 "weight 0 at or below %g g/m$^3$, 1 at or above %g g/m$^3$"
                 % (layer[0], layer[1], thresholds[0], thresholds[1]))
    save(plt, fig, out)


def plot_sediment(plt, path, out):
    rows = read_sediment(path)
    t = [r[0] for r in rows]
    col = lambda k: [r[k] for r in rows]
    fig, axes = plt.subplots(6, 1, figsize=(9, 13), sharex=True)
    ax = axes[0]
    ax.plot(t, col(1), label="u* in force (u*cw, or from the drag law)")
    if any(v != 0 for v in col(2)):
        ax.plot(t, col(2), label="u*c")
    ax.set_ylabel("friction velocity\n(m/s)")
    ax.legend(fontsize="small")
    ax = axes[1]
    ax.plot(t, col(3), color="tab:brown")
    ax.set_ylabel("zw (m)")
    if all(v == 0 for v in col(3)):
        ax.text(0.01, 0.8, "zw = 0: one-layer model", transform=ax.transAxes, fontsize="small")
    ax = axes[2]
    ax.plot(t, [v * 1000 for v in col(10)], color="tab:green", drawstyle="steps-mid")
    ax.set_ylabel("settling velocity\nin force (mm/s)")
    ax = axes[3]
    for k, label in ((4, "Rouse, settling in force"), (5, "Rouse, initial settling"),
                     (6, "Rouse with u*c, settling in force"), (7, "Rouse with u*c, initial")):
        if k < 6 or any(v != 0 for v in col(k)):
            ax.plot(t, col(k), label=label)
    ax.set_ylabel("Rouse number")
    ax.legend(fontsize="small", ncol=2)
    ax = axes[4]
    ax.plot(t, col(8), label="packets live (ktotal)")
    ax.plot(t, col(9), label="packets broken up (kbreak)")
    ax.set_ylabel("packets")
    ax.legend(fontsize="small")
    ax = axes[5]
    ax.plot(t, [100.0 * b / n if n > 0 else float("nan") for n, b in zip(col(8), col(9))],
            color="tab:red")
    ax.set_ylim(-5, 105)
    ax.set_ylabel("broken up (%)")
    ax.set_title("packets 1..kbreak broken up at least once, as kbreak / ktotal: it keeps its "
                 "value when the settling\nvelocity falls back, and falls only as new packets "
                 "are released", fontsize="small")
    ax.set_xlabel("time (days)")
    for ax in axes:
        ax.grid(alpha=0.3)
    fig.suptitle("Sediment parameters")
    save(plt, fig, out)


def main(argv):
    ap = argparse.ArgumentParser(description="Quick-look figures of a vornv7 run.")
    ap.add_argument("rundir")
    ap.add_argument("--par", help="parameter file (default RUNDIR/run.par)")
    ap.add_argument("--out", help="folder for the figures (default RUNDIR/plots)")
    ap.add_argument("--frame", type=int, help="map frame to draw, from 1 (default the last)")
    ap.add_argument("--log", action="store_true",
                    help="logarithmic colour scale for the concentration map")
    ap.add_argument("--site", help="the run's site file (default site.toml beside the "
                    "parameter file, when there is one)")
    ap.add_argument("--no-site", action="store_true", help="draw the run's own frame only")
    a = ap.parse_args(argv)
    try:
        import matplotlib
        matplotlib.use("Agg")
        import matplotlib.pyplot as plt
    except ImportError:
        sys.exit("plot_run: matplotlib is missing; install it with: "
                 "apt-get install python3-matplotlib")
    par = a.par or os.path.join(a.rundir, "run.par")
    out = a.out or os.path.join(a.rundir, "plots")
    os.makedirs(out, exist_ok=True)
    written = []
    try:
        found = outputs_of(par, a.rundir)
        site = site_of(a.rundir, par, a.site, a.no_site)
        points = []
        if "concentration" in found:
            records = [free_numbers(r, par) for r in found["concentration"][1]]
            if any(len(v) < 5 for v in records):
                raise LayoutError("%s: a concentration point record holds fewer than 5 values"
                                  % par)
            points = [v[:2] for v in records]
            plot_concentration(plt, found["concentration"][0],
                               os.path.join(out, "concentration.png"), [v[2:5] for v in records])
            written.append("concentration.png")
        grid = None
        layer = None
        if "map" in found:
            layer = layer_of(found["map"][1][0], par)
            grid = plot_map(plt, found["map"][0], os.path.join(out, "map.png"), a.frame, points,
                            layer, a.log, site)
            written.append("map.png")
        if "statistics" in found:
            plot_cloud(plt, found["statistics"][0], os.path.join(out, "cloud.png"), site)
            written.append("cloud.png")
        if "biology_map" in found and grid is not None:
            thresholds = free_numbers(found["biology_map"][1][0], par)[:2]
            plot_biomap(plt, found["biology_map"][0], os.path.join(out, "biology_map.png"),
                        grid[0], grid[1], thresholds, layer, site)
            written.append("biology_map.png")
        if "sediment" in found:
            plot_sediment(plt, found["sediment"][0], os.path.join(out, "sediment.png"))
            written.append("sediment.png")
    except (LayoutError, OSError, ValueError, IndexError, KeyError, RuntimeError) as e:
        sys.exit("plot_run: %s" % e)
    for w in written:
        print(os.path.join(out, w))
    if not written:
        print("plot_run: the run wrote no output that can be drawn")


if __name__ == "__main__":
    main(sys.argv[1:])
