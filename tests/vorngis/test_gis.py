#!/usr/bin/python3
"""The run on Earth: the bundled Aldmouth Bank example with its site,
converted by vorn2nc and laid out by vorngis, read back by GDAL, xarray
and PROJ (through GDAL's osr).

    /usr/bin/python3 tests/vorngis/test_gis.py VORNV7 VORN2NC VORNGIS SOURCE_DIR

Exits 77 (skipped) without GDAL's Python bindings, xarray and netCDF4.
"""
import math
import os
import shutil
import subprocess
import sys
import tempfile
import unittest

try:
    import numpy as np
    import xarray as xr
    import netCDF4  # noqa: F401
    from osgeo import gdal, ogr, osr
except ImportError as e:
    print("GIS tests skipped: %s (apt-get install python3-gdal python3-xarray python3-netcdf4)" % e)
    sys.exit(77)

VORNV7, VORN2NC, VORNGIS, SOURCE = (os.path.abspath(a) for a in sys.argv[1:5])
del sys.argv[1:5]
gdal.UseExceptions()
ogr.UseExceptions()
osr.UseExceptions()
sys.dont_write_bytecode = True
sys.path.insert(0, os.path.join(SOURCE, "tools"))
import plot_run  # noqa: E402  (the reference reader of the text files)

ORIGIN = (2.30, 54.85)


def run(args, cwd):
    return subprocess.run(args, cwd=cwd, capture_output=True, text=True)


def site_frame():
    """The run frame of the example's site by PROJ: the transverse Mercator
    centred on the origin, and its way to longitude and latitude."""
    frame = osr.SpatialReference()
    frame.ImportFromProj4("+proj=tmerc +lat_0=%r +lon_0=%r +k=1 +x_0=0 +y_0=0 +datum=WGS84 "
                          "+units=m +no_defs" % (ORIGIN[1], ORIGIN[0]))
    wgs84 = osr.SpatialReference()
    wgs84.ImportFromEPSG(4326)
    for s in (frame, wgs84):
        s.SetAxisMappingStrategy(osr.OAMS_TRADITIONAL_GIS_ORDER)
    return frame, osr.CoordinateTransformation(frame, wgs84)


class Example(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.dir = tempfile.mkdtemp(prefix="vorngis-test-")
        example = os.path.join(SOURCE, "examples", "aldmouth-bank")
        for name in os.listdir(example):
            if name.endswith((".dat", ".par", ".toml", ".geojson")):
                shutil.copy(os.path.join(example, name), cls.dir)
        r = run([VORNV7, "run.par", "screen.txt"], cls.dir)
        assert r.returncode == 0, r.stderr
        r = run([VORN2NC, ".", "--packet-lonlat"], cls.dir)
        assert r.returncode == 0, r.stderr
        assert "placed on Earth by" in r.stdout, r.stdout
        r = run([VORNGIS, "run.nc", "--outline", "0.01"], cls.dir)
        assert r.returncode == 0, r.stdout + r.stderr
        cls.gis = os.path.join(cls.dir, "gis")
        cls.nc = os.path.join(cls.dir, "run.nc")
        cls.frame, cls.to_lonlat = site_frame()

    @classmethod
    def tearDownClass(cls):
        shutil.rmtree(cls.dir)

    def test_the_netcdf_map_opens_in_gdal_with_its_crs_and_a_cell_reads_back_at_its_lon_lat(self):
        sub = 'NETCDF:"%s":/map/layer_concentration' % self.nc
        ds = gdal.Open(sub)
        srs = ds.GetSpatialRef()
        self.assertTrue(srs.IsSame(self.frame), srs.ExportToWkt())
        _, xg, yg, frames = plot_run.read_map(os.path.join(self.dir, "map.out"))
        t, conc, _ = frames[-1]
        m = xr.open_dataset(self.nc, group="map")
        j, i = np.unravel_index(np.nanargmax(m.layer_concentration.values[-1]), m.lon.shape)
        lon, lat = float(m.lon[j, i]), float(m.lat[j, i])
        self.assertGreater(conc[j][i], 0)
        for source, band in [(sub, len(frames)),
                             (os.path.join(self.gis, "layer_concentration.tif"), len(frames))]:
            r = run(["gdallocationinfo", "-wgs84", "-valonly", "-b", str(band), source,
                     repr(lon), repr(lat)], self.dir)
            self.assertEqual(r.returncode, 0, r.stderr)
            self.assertAlmostEqual(float(r.stdout), conc[j][i], delta=abs(conc[j][i]) * 1e-6,
                                   msg=source)
        # The cell centres' lon, lat are PROJ's transform of x, y.
        x, y = float(m.x[i]), float(m.y[j])
        plon, plat, _ = self.to_lonlat.TransformPoint(x, y)
        self.assertAlmostEqual(lon, plon, places=9)
        self.assertAlmostEqual(lat, plat, places=9)
        self.assertEqual(m.layer_concentration.attrs["grid_mapping"], "crs")
        self.assertEqual(m.lon_bounds.shape, m.lon.shape + (4,))
        root = netCDF4.Dataset(self.nc)
        self.assertLess(root.geospatial_lat_min, 54.85)
        self.assertGreater(root.geospatial_lon_max, float(m.lon.max()) - 1e-9)
        self.assertAlmostEqual(float(root["release_lon"][...]), ORIGIN[0], places=12)
        root.close()
        m.close()

    def test_points_centre_of_mass_and_packets_carry_their_lon_lat(self):
        for group, xs, ys, lons, lats in [("concentration", "x", "y", "lon", "lat"),
                                          ("statistics", "x_mean", "y_mean", "lon_mean",
                                           "lat_mean"),
                                          ("packets", "x", "y", "lon", "lat")]:
            g = xr.open_dataset(self.nc, group=group, decode_times=False)
            x = np.ravel(g[xs].values)[:5000]
            y = np.ravel(g[ys].values)[:5000]
            lon = np.ravel(g[lons].values)[:5000]
            lat = np.ravel(g[lats].values)[:5000]
            ok = ~np.isnan(x)
            self.assertGreater(ok.sum(), 0, group)
            got = np.array(self.to_lonlat.TransformPoints(
                list(zip(x[ok].astype(float), y[ok].astype(float)))))
            tol = 1e-5 if group == "packets" else 1e-9  # packets' lon, lat are single precision
            self.assertLess(np.max(np.abs(got[:, 0] - lon[ok])), tol, group)
            self.assertLess(np.max(np.abs(got[:, 1] - lat[ok])), tol, group)
            g.close()

    def test_every_raster_and_layer_opens_with_the_sites_crs_and_extent(self):
        map_edges = (-5250.0, 30250.0, -5250.0, 20250.0)  # the example's grid of 500 m cells
        for name in ("layer_concentration.tif", "column_load.tif", "biology_exposure.tif",
                     "assessment_concentration.tif", "assessment_load.tif",
                     "assessment_exceedance.tif", "assessment_zones.tif"):
            ds = gdal.Open(os.path.join(self.gis, name))
            self.assertTrue(ds.GetSpatialRef().IsSame(self.frame), name)
            gt = ds.GetGeoTransform()
            self.assertAlmostEqual(gt[0], map_edges[0], places=6)
            self.assertAlmostEqual(gt[3], map_edges[3], places=6)
            self.assertAlmostEqual(gt[0] + gt[1] * ds.RasterXSize, map_edges[1], places=6)
            self.assertEqual(ds.GetMetadataItem("LAYOUT", "IMAGE_STRUCTURE"), "COG")
            self.assertEqual(ds.GetRasterBand(1).GetNoDataValue(), -9999.0)
        tif = gdal.Open(os.path.join(self.gis, "layer_concentration.tif"))
        self.assertEqual(tif.RasterCount, 20)
        self.assertIn("2026-06-11T00:00:00Z", tif.GetRasterBand(20).GetDescription())
        gpkg = ogr.Open(os.path.join(self.gis, "run.gpkg"))
        layers = {gpkg.GetLayer(k).GetName(): gpkg.GetLayer(k) for k in range(gpkg.GetLayerCount())}
        self.assertEqual(sorted(layers), ["ellipses", "outline", "packets", "points", "release",
                                          "track", "track_points", "zones"])
        for name, l in layers.items():
            self.assertTrue(l.GetSpatialRef().IsSame(self.frame), name)
        self.assertEqual(layers["packets"].GetFeatureCount(), 100100)
        self.assertEqual(layers["points"].GetFeatureCount(), 4)
        self.assertEqual(layers["track_points"].GetFeatureCount(), 120)
        minx, maxx, miny, maxy = layers["outline"].GetExtent()
        self.assertTrue(map_edges[0] <= minx < maxx <= map_edges[1], (minx, maxx))
        # Every outline encloses cells at or above its concentration.
        self.assertGreater(layers["outline"].GetFeatureCount(), 0)
        p = layers["points"].GetNextFeature()
        self.assertEqual(p.GetField("number"), 1)
        self.assertGreater(p.GetField("peak_g_m3"), p.GetField("mean_g_m3"))
        kml = ogr.Open(os.path.join(self.gis, "run.kml"))
        names = sorted(kml.GetLayer(k).GetName() for k in range(kml.GetLayerCount()))
        self.assertEqual(names, ["ellipses", "outline", "points", "release", "track",
                                 "track_points", "zones"])
        with open(os.path.join(self.gis, "run.kml")) as f:
            text = f.read()
        self.assertIn("<begin>2026-06-06T", text)

    def test_no_site_keeps_the_converted_file_as_it_was(self):
        r = run([VORN2NC, ".", "-o", "plain.nc", "--site", "/dev/null/none"], self.dir)
        self.assertEqual(r.returncode, 1)
        os.rename(os.path.join(self.dir, "site.toml"), os.path.join(self.dir, "site.off"))
        try:
            r = run([VORN2NC, ".", "-o", "plain.nc"], self.dir)
            self.assertEqual(r.returncode, 0, r.stderr)
            self.assertNotIn("placed on Earth", r.stdout)
            with netCDF4.Dataset(os.path.join(self.dir, "plain.nc")) as d:
                self.assertNotIn("release_lon", d.variables)
                self.assertNotIn("crs", d.groups["map"].variables)
                self.assertNotIn("geospatial_lat_min", d.ncattrs())
            r = run([VORNGIS, "plain.nc"], self.dir)
            self.assertEqual(r.returncode, 1)
            self.assertIn("no site file", r.stderr)
        finally:
            os.rename(os.path.join(self.dir, "site.off"), os.path.join(self.dir, "site.toml"))


if __name__ == "__main__":
    unittest.main(verbosity=2)
