"""vornens summarise: the members' plume assessments (the group assessment
of each member's run.nc, written by vorn2nc from the site's [assessment])
over the ensemble.

Into the summary's group assessment:
  zone_probability(zone, y, x)   the fraction of members whose cell is in the
                                 zone or in a more severe one
  <statistic>_ensemble_mean, <statistic>_ensemble_percentile
                                 the mean and the 5th, 50th and 95th
                                 percentiles over the members of each map
                                 statistic (the concentration's percentiles,
                                 maximum, mean, hours, share of time and
                                 longest spell above each threshold)
  habitat_zone_area_ensemble_mean, _ensemble_percentile
                                 each habitat polygon's area in each zone
and, beside the summary, habitats_summary.csv (the habitat-area table as
the mean and the 5-95 % range over the members) and, for a site whose
x, y are a CRS's own, gis/zone_probability.tif and
gis/concentration_percentile_ensemble_mean.tif (cloud-optimised GeoTIFF).
Statistics are read one variable (and one percentile or threshold) at a
time from every member, so memory stays bounded.
"""
import csv
import os

import numpy as np

from vornens.ensemble import EnsembleError

PERCENTILES = [5.0, 50.0, 95.0]
MAP_STATISTICS = ["concentration_percentile", "concentration_max", "concentration_mean",
                  "concentration_hours_above", "concentration_percent_of_time_above",
                  "concentration_longest_spell_hours"]
FILL = np.float32(9.969209968386869e36)


def filled(v):
    return np.ma.filled(np.ma.asarray(v).astype(np.float64), np.nan)


def summarise_assessment(datasets, names, nc, folder, say):
    """Adds the group assessment to the open summary `nc` when every member
    has an assessment with a map; writes the table and the GeoTIFFs beside
    it. Returns the files written."""
    if not datasets or any("assessment" not in ds.groups or
                           "concentration_zone" not in ds["assessment"].variables
                           for ds in datasets):
        return []
    first = datasets[0]["assessment"]
    for name, ds in zip(names[1:], datasets[1:]):
        a = ds["assessment"]
        for c in ("x", "y", "zone_name"):
            if c in first.variables and not np.array_equal(np.asarray(first[c][:]),
                                                           np.asarray(a[c][:])):
                raise EnsembleError("%s: assessment/%s differs from %s: the members must share "
                                    "their map and zones" % (name, c, names[0]))
    out = nc.createGroup("assessment")
    out.comment = ("The members' plume assessments over the ensemble: zone probabilities, and "
                   "the mean and percentiles over the members of each statistic.")
    for name, dim in first.dimensions.items():
        out.createDimension(name, len(dim))
    out.createDimension("ensemble_percentile", len(PERCENTILES))
    p = out.createVariable("ensemble_percentile", "f8", ("ensemble_percentile",))
    p.setncatts({"units": "percent", "long_name": "percentile over the ensemble members"})
    p[:] = PERCENTILES
    for c in ("x", "y", "x_bounds", "y_bounds", "lon", "lat", "crs", "percentile", "threshold",
              "zone_name", "zone_threshold", "zone_percent_of_time", "zone_hours"):
        if c not in first.variables:
            continue
        v = first[c]
        fill = v.getncattr("_FillValue") if "_FillValue" in v.ncattrs() else None
        w = out.createVariable(c, v.dtype, v.dimensions, fill_value=fill)
        w.setncatts({k: v.getncattr(k) for k in v.ncattrs() if k != "_FillValue"})
        w[...] = v[...]
    grid = "crs" in first.variables
    extra = {"grid_mapping": "crs"} if grid else {}
    # Zone probabilities: in the zone or in a more severe one.
    zones = [str(z) for z in first["zone_name"][:]]
    zone = np.stack([np.asarray(ds["assessment"]["concentration_zone"][:], np.int16)
                     for ds in datasets])
    prob = np.stack([((zone >= 1) & (zone <= k + 1)).mean(axis=0) for k in range(len(zones))])
    v = out.createVariable("zone_probability", "f4", ("zone", "y", "x"), fill_value=FILL, zlib=True)
    v.setncatts(dict({"units": "1", "long_name": "probability that the cell is in the zone or "
                      "in a more severe one (fraction of the members)"}, **extra))
    v[...] = prob.astype(np.float32)
    written = []
    for name in MAP_STATISTICS:
        src = first[name]
        lead = src.dimensions[:-2]
        mean = out.createVariable(name + "_ensemble_mean", "f4", src.dimensions, fill_value=FILL,
                                  zlib=True)
        pct = out.createVariable(name + "_ensemble_percentile", "f4",
                                 ("ensemble_percentile",) + src.dimensions, fill_value=FILL,
                                 zlib=True)
        for w, what in ((mean, "mean"), (pct, "percentiles")):
            w.setncatts(dict({"units": src.units, "long_name": "%s over the members of the %s"
                              % (what, src.long_name)}, **extra))
        for k in np.ndindex(*[len(first.dimensions[d]) for d in lead]):
            a = np.stack([filled(ds["assessment"][name][k]) for ds in datasets])
            mean[k] = np.where(np.isnan(a).any(axis=0), FILL, a.mean(axis=0)).astype(np.float32)
            q = np.percentile(a, PERCENTILES, axis=0)
            pct[(slice(None),) + k] = np.where(np.isnan(q), FILL, q).astype(np.float32)
    if "habitat_zone_area" in first.variables:
        a = np.stack([filled(ds["assessment"]["habitat_zone_area"][:]) for ds in datasets])
        for c in ("habitat_type", "habitat_name", "habitat_area"):
            v = first[c]
            w = out.createVariable(c, v.dtype, v.dimensions)
            w.setncatts({k: v.getncattr(k) for k in v.ncattrs()})
            w[...] = v[...]
        mean = out.createVariable("habitat_zone_area_ensemble_mean", "f8", ("habitat", "zone"))
        mean.setncatts({"units": "ha", "long_name": "mean over the members of the habitat "
                        "polygon's area in each zone"})
        mean[...] = a.mean(axis=0)
        pct = out.createVariable("habitat_zone_area_ensemble_percentile", "f8",
                                 ("ensemble_percentile", "habitat", "zone"))
        pct.setncatts({"units": "ha", "long_name": "percentiles over the members of the habitat "
                       "polygon's area in each zone"})
        q = np.percentile(a, PERCENTILES, axis=0)
        pct[...] = q
        path = os.path.join(folder, "habitats_summary.csv")
        with open(path + ".part", "w", newline="") as f:
            w = csv.writer(f, lineterminator="\n")
            head = ["habitat", "name", "area_ha"]
            for z in zones:
                head += ["%s_mean_ha" % z, "%s_p5_ha" % z, "%s_p95_ha" % z]
            w.writerow(head)
            types, hn = list(first["habitat_type"][:]), list(first["habitat_name"][:])
            areas = first["habitat_area"][:]
            for h in range(a.shape[1]):
                row = [types[h], hn[h], "%.6g" % areas[h]]
                for z in range(len(zones)):
                    row += ["%.6g" % a[:, h, z].mean(), "%.6g" % q[0, h, z], "%.6g" % q[2, h, z]]
                w.writerow(row)
        os.replace(path + ".part", path)
        written.append(path)
    written += geotiffs(first, prob, out, folder, zones, say)
    return written


def geotiffs(first, prob, out, folder, zones, say):
    """Zone probabilities and the ensemble mean of the concentration's
    percentiles as GeoTIFFs, when the run's x, y are its CRS's own."""
    try:
        from osgeo import gdal, osr
    except ImportError:
        say("vornens: no GeoTIFF of the assessment (GDAL's Python bindings are missing: "
            "apt-get install python3-gdal)")
        return []
    crs = first["crs"] if "crs" in first.variables else None
    if crs is None or getattr(crs, "grid_mapping_name", "") == "latitude_longitude":
        say("vornens: no GeoTIFF of the assessment: the run's x, y are not a CRS's own")
        return []
    gdal.UseExceptions()
    xb = np.asarray(first["x_bounds"][:], float)
    yb = np.asarray(first["y_bounds"][:], float)
    nx, ny = len(xb), len(yb)
    gt = (xb[0, 0], (xb[-1, 1] - xb[0, 0]) / nx, 0.0, yb[-1, 1], 0.0, -(yb[-1, 1] - yb[0, 0]) / ny)
    srs = osr.SpatialReference()
    srs.ImportFromWkt(crs.crs_wkt)
    gis = os.path.join(folder, "gis")
    os.makedirs(gis, exist_ok=True)
    written = []
    pct = out["concentration_percentile_ensemble_mean"]
    layers = [("zone_probability.tif", [(prob[k], "probability of the zone %s or a more severe "
                                                  "one" % z) for k, z in enumerate(zones)]),
              ("concentration_percentile_ensemble_mean.tif",
               [(np.ma.filled(pct[k], np.nan), "ensemble mean of the %gth percentile of the "
                 "layer concentration (g/m3)" % p) for k, p in enumerate(first["percentile"][:])])]
    for name, bands in layers:
        mem = gdal.GetDriverByName("MEM").Create("", nx, ny, len(bands), gdal.GDT_Float32)
        mem.SetGeoTransform(gt)
        mem.SetSpatialRef(srs)
        for k, (a, what) in enumerate(bands, 1):
            b = mem.GetRasterBand(k)
            b.SetNoDataValue(-9999.0)
            b.SetDescription(what)
            b.WriteArray(np.where(np.isnan(a), -9999.0, a)[::-1].astype(np.float32))
        path = os.path.join(gis, name)
        gdal.GetDriverByName("COG").CreateCopy(path + ".part.tif", mem,
                                               options=["COMPRESS=DEFLATE", "OVERVIEWS=NONE"])
        os.replace(path + ".part.tif", path)
        written.append(path)
    return written
