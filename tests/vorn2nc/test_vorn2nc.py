#!/usr/bin/python3
"""vorn2nc on runs of the program, read back with xarray.

    /usr/bin/python3 tests/vorn2nc/test_vorn2nc.py VORN2NC VORNV7 SOURCE_DIR

A small run with every output (a release still under way at the first
packet frame, a start time moved onto the velocity records, a map wider than
100 cells) is converted and every value of every group is compared with the
text files, read by the independent reader of tools/plot_run.py; then the
CF structure, the fill value of an overflowed field, the failures (a
truncated packet file, a missing map file, a parameter file of another run)
and the bundled example. Exits 77 (skipped) without xarray and netCDF4.
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
    import netCDF4  # noqa: F401  (the engine xarray opens groups with)
except ImportError as e:
    print("vorn2nc tests skipped: %s (apt-get install python3-xarray python3-netcdf4)" % e)
    sys.exit(77)

VORN2NC, VORNV7, SOURCE = (os.path.abspath(a) for a in sys.argv[1:4])
del sys.argv[1:4]
sys.dont_write_bytecode = True
sys.path.insert(0, os.path.join(SOURCE, "tools"))
import plot_run  # noqa: E402  (the reference reader of the text files)

GROUPS = ["sediment", "velocity_profile", "statistics", "packets", "concentration", "map",
          "biology_points", "biology_map"]
DAY = 86400.0


def tide(hours):
    return 0.1 + 0.3 * math.cos(2 * math.pi * hours / 12.42)


def write_small_run(folder):
    """A log layer of three nodes below two current meters, hourly records
    from day 152; a 12 h run from day 152.3 (moved to 7:00), 3000 packets
    released over 3 h, every output on."""
    def put(name, text):
        with open(os.path.join(folder, name), "w") as f:
            f.write(text)
    put("lognodes.dat", "log layer\nXXXX\n3\n0.05 0.2 1.0\n")
    put("intnodes.dat", "current meters\nXXXX\n2\n0.0\n5.0\n")
    for name in ("vel1.dat", "vel2.dat"):
        rows = "".join("%.17g %.9g %.9g\n" % (152 + k / 24.0, tide(k), 0.5 * tide(k))
                       for k in range(40))
        put(name, "tripod\nXXXX\ncurrent meter\nsynthetic tide\n2026\n3\n" + rows)
    put("run.par", "\n".join([
        "small.log", "1234567 7654321", "12 152.3", "1", "0.25 1", "3", "1", "0.0001",
        "0.0001 0.0001 0.0001 0", "0.4 0.05", "0", "1", "1000 3000 0.5 3",
        "lognodes.dat", "intnodes.dat", "vel1.dat", "vel2.dat",
        "0.5", "sediment.out", "1", "velprof.out", "1", "stats.out", "0.05 6.0 4000",
        "1", "packets.out", "0.5", "conc.out", "3", "0 0 3000 0.05 2.0",
        "2000 1000 2000 0.05 2.0", "-50000 -50000 100 1.0 3.0",
        "3", "map.out", "120 -6000 6000 5 -4000 4000 0.05 2.0",
        "1", "bio.out", "0 1.0e-6", "3", "biomap.out", "0 1.0e-5", ""]))


def run(args, cwd):
    return subprocess.run(args, cwd=cwd, capture_output=True, text=True)


def lines(path):
    return plot_run.lines_of(path)


def close_to_text(test, nc, text, what, rel=0.0):
    """Every value read back equals the text's value to the text's precision
    (within one unit of the float's last place, or `rel` of it where the
    text has fewer digits than a float); fill values where the text has
    asterisks."""
    nc = np.asarray(nc, dtype=np.float64)
    text = np.asarray(text, dtype=np.float64)
    test.assertEqual(nc.shape, text.shape, what)
    test.assertTrue(np.array_equal(np.isnan(nc), np.isnan(text)), what + ": fill values")
    ok = ~np.isnan(text)
    ulp = np.maximum(np.spacing(np.abs(text[ok]).astype(np.float32)).astype(np.float64),
                     rel * np.abs(text[ok]))
    bad = np.abs(nc[ok] - text[ok]) > ulp
    test.assertFalse(bad.any(), "%s: %s" % (what, list(zip(nc[ok][bad][:3], text[ok][bad][:3]))))


class SmallRun(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.dir = tempfile.mkdtemp(prefix="vorn2nc-test-")
        write_small_run(cls.dir)
        r = run([VORNV7, "run.par", "screen.txt"], cls.dir)
        assert r.returncode == 0, r.stderr
        r = run([VORN2NC, cls.dir], os.getcwd())
        assert r.returncode == 0, r.stderr
        cls.nc = os.path.join(cls.dir, "run.nc")
        cls.ds = {g: xr.open_dataset(cls.nc, group=g, decode_times=False) for g in GROUPS}

    @classmethod
    def tearDownClass(cls):
        for d in cls.ds.values():
            d.close()
        shutil.rmtree(cls.dir)

    def path(self, name):
        return os.path.join(self.dir, name)

    def check_times(self, ds, file_days, sig):
        """time is exact: on the grid of the run's half steps, and the file's
        value is it rounded to the file's digits (16 or 17 significant digits
        for free format)."""
        t = ds.time.values
        self.assertTrue(ds.time.attrs["units"].startswith("seconds since 2025-12-31"))
        steps = (t - 152.0 * DAY - 7 * 3600.0) / 450.0
        self.assertTrue(np.array_equal(steps, np.round(steps)), "half steps of 900 s")
        self.assertTrue(np.array_equal(ds.time_in_file.values, np.asarray(file_days)))
        days = t * (1.0 / 86400.0)
        unit = 10.0 ** (np.floor(np.log10(np.abs(days))) + 1 - sig)
        self.assertTrue((np.abs(days - np.asarray(file_days)) <= 0.5 * unit + np.spacing(days)).all())

    def test_every_group_holds_the_values_of_its_text_file(self):
        sed = np.array(plot_run.read_sediment(self.path("sediment.out")))
        d = self.ds["sediment"]
        self.check_times(d, sed[:, 0], 5)
        names = ["ustar", "ustarc", "zw", "rouse_w", "rouse_i", "rouse_wc", "rouse_ic",
                 "ktotal", "kbreak", "wstar"]
        for k, name in enumerate(names):
            close_to_text(self, d[name].values, sed[:, k + 1], "sediment " + name)
        self.assertEqual(d.ktotal.dtype, np.int32)

        ls = lines(self.path("velprof.out"))
        self.assertEqual(ls[0], " Velocity profile ")
        rows = np.array([plot_run.fields(l, [13, 9, 11, 11], "velprof") for l in ls[1:]])
        d = self.ds["velocity_profile"]
        nnv = d.sizes["node"]
        self.check_times(d, rows[::nnv, 0], 5)
        close_to_text(self, d.height.values, rows[:nnv, 1], "heights")
        close_to_text(self, d.u.values.ravel(), rows[:, 2], "u")
        close_to_text(self, d.v.values.ravel(), rows[:, 3], "v")

        st = np.array(plot_run.read_stats(self.path("stats.out")))
        d = self.ds["statistics"]
        self.check_times(d, st[:, 0], 8)
        for k, name in enumerate(["x_mean", "y_mean", "z_mean", "variance_major",
                                  "variance_minor", "direction_major", "column_load",
                                  "layer_concentration"]):
            close_to_text(self, d[name].values, st[:, k + 1], "statistics " + name)

        frames = plot_run.read_packets(self.path("packets.out"))
        d = self.ds["packets"]
        self.check_times(d, [f[0] for f in frames], 16)
        for n, (_, pts) in enumerate(frames):
            p = np.array(pts)
            k = len(pts)
            self.assertEqual(int(d.ktotal[n]), k)
            for c, name in enumerate("xyz"):
                v = d[name].isel(time=n).values
                close_to_text(self, v[:k], p[:, c], "packets %s frame %d" % (name, n))
                self.assertTrue(np.isnan(v[k:]).all(), "slots not yet released")

        points, times, conc = plot_run.read_conc(self.path("conc.out"))
        d = self.ds["concentration"]
        self.check_times(d, times, 6)
        close_to_text(self, d.concentration.values, conc, "concentration")
        close_to_text(self, d.x.values, [p[0] for p in points], "point x")
        close_to_text(self, d.y.values, [p[1] for p in points], "point y")
        close_to_text(self, d.z.values, [p[2] for p in points], "point z")
        close_to_text(self, d.z_bounds.values, [[0.05, 2.0], [0.05, 2.0], [1.0, 3.0]], "layers")

        nframes, xg, yg, mframes = plot_run.read_map(self.path("map.out"))
        d = self.ds["map"]
        self.assertEqual(d.attrs["frames_of_a_complete_run"], nframes)
        # The header's kilometres have 7 significant digits.
        close_to_text(self, d.x.values * np.float32(0.001), xg, "map x (km)", 5e-7)
        close_to_text(self, d.y.values * np.float32(0.001), yg, "map y (km)", 5e-7)
        self.check_times(d, [f[0] for f in mframes], 16)
        close_to_text(self, d.layer_concentration.values, [f[1] for f in mframes], "map conc")
        close_to_text(self, d.column_load.values, [f[2] for f in mframes], "map load")
        dx = float(d.x[1] - d.x[0])
        self.assertTrue(np.allclose(d.x_bounds.values[:, 1] - d.x_bounds.values[:, 0], dx))

        bio = np.array([plot_run.fields(l, [10, 12, 12, 10, 10, 10], "bio")
                        for l in lines(self.path("bio.out"))])
        d = self.ds["biology_points"]
        close_to_text(self, d.exposure_percent.values, bio[:, 4], "exposure %")
        close_to_text(self, d.exposure_days.values, bio[:, 5], "exposure days")
        self.assertEqual(d.exposure_days.attrs["threshold_high"], np.float32(1.0e-6))

        grid = plot_run.read_biomap(self.path("biomap.out"), len(xg), len(yg))
        d = self.ds["biology_map"]
        close_to_text(self, d.exposure_days.values, grid, "biology map")
        self.assertIn("time: sum", d.exposure_days.attrs["cell_methods"])

    def test_cf_structure(self):
        with xr.open_dataset(self.nc) as root:
            self.assertEqual(root.attrs["Conventions"], "CF-1.8")
            version = subprocess.run([VORNV7, "--version"], capture_output=True,
                                     text=True).stdout.splitlines()[0]  # "vornv7 X.Y.Z"
            self.assertIn(version, root.attrs["source"])
            self.assertIn("vorn2nc", root.attrs["history"])
            self.assertEqual(root.attrs["random_seeds"].tolist(), [1234567, 7654321])
            self.assertEqual(root.attrs["start_day"], 152.0 + 7 / 24.0)  # moved onto 7:00
            self.assertEqual(root.attrs["advection_step_s"], 900.0)
            self.assertNotIn("featureType", root.attrs)
        p = self.ds["packets"]
        self.assertEqual(p.attrs["featureType"], "trajectory")
        self.assertEqual(p.trajectory.attrs["cf_role"], "trajectory_id")
        self.assertEqual(p.x.dims, ("time", "trajectory"))
        self.assertEqual(p.sizes["trajectory"], 3000)
        for name, axis in (("x", "X"), ("y", "Y"), ("z", "Z")):
            self.assertEqual(p[name].attrs["units"], "m")
            self.assertEqual(p[name].attrs["axis"], axis)
            self.assertTrue(p[name].attrs["long_name"])
            self.assertEqual(p[name].encoding["_FillValue"], np.float32(9.96921e36))
            self.assertEqual(p[name].encoding["chunksizes"], (1, 3000))
            self.assertTrue(p[name].encoding["zlib"])
        first = p.x.isel(time=0)
        self.assertLess(int(p.ktotal[0]), 3000, "the first frame comes during the release")
        self.assertTrue(np.isnan(first[int(p.ktotal[0]):]).all())
        c = self.ds["concentration"]
        self.assertEqual(c.attrs["featureType"], "timeSeries")
        self.assertEqual(c.station.attrs["cf_role"], "timeseries_id")
        self.assertEqual(c.concentration.attrs["units"], "g m-3")
        self.assertEqual(c.z.attrs["bounds"], "z_bounds")
        m = self.ds["map"]
        self.assertEqual(m.layer_concentration.dims, ("time", "y", "x"))
        self.assertEqual(m.column_load.attrs["units"], "g m-2")
        self.assertEqual(m.x.attrs["bounds"], "x_bounds")
        for g in ("sediment", "velocity_profile", "statistics", "concentration", "map"):
            self.assertTrue(self.ds[g].time.attrs["units"].startswith("seconds since"))

    def test_asterisks_become_the_fill_value(self):
        work = tempfile.mkdtemp(prefix="vorn2nc-fill-")
        try:
            for name in os.listdir(self.dir):
                if not name.endswith(".nc"):
                    shutil.copy(os.path.join(self.dir, name), work)
            with open(os.path.join(work, "stats.out"), newline="") as f:
                text = f.read().split("\r\n")
            # The second value of record 2 overflowed; the third has an
            # exponent of three digits written without E.
            text[1] = text[1][:15] + " **********" + " 0.1234-100" + text[1][37:]
            with open(os.path.join(work, "stats.out"), "w", newline="") as f:
                f.write("\r\n".join(text))
            r = run([VORN2NC, work, "-o", os.path.join(work, "out.nc")], work)
            self.assertEqual(r.returncode, 0, r.stderr)
            with xr.open_dataset(os.path.join(work, "out.nc"), group="statistics") as d:
                self.assertTrue(np.isnan(d.x_mean.values[1]))
                self.assertEqual(d.y_mean.values[1], 0.0)  # 0.1234E-100 in single precision
                self.assertFalse(np.isnan(d.x_mean.values[[0, 2]]).any())
        finally:
            shutil.rmtree(work)

    def failing(self, change):
        """Converts a copy of the run changed by `change`: exit 1, a message
        naming the file, and no NetCDF file left behind."""
        work = tempfile.mkdtemp(prefix="vorn2nc-bad-")
        try:
            for name in os.listdir(self.dir):
                if not name.endswith(".nc"):
                    shutil.copy(os.path.join(self.dir, name), work)
            change(work)
            r = run([VORN2NC, work], work)
            self.assertEqual(r.returncode, 1, r.stdout + r.stderr)
            self.assertEqual([n for n in os.listdir(work) if ".nc" in n or "vorn2nc" in n], [])
            return r.stderr
        finally:
            shutil.rmtree(work)

    def test_bad_runs_give_exit_1_and_no_file(self):
        def truncate(work):
            path = os.path.join(work, "packets.out")
            size = os.path.getsize(path)
            with open(path, "r+b") as f:
                f.truncate(size - 1000)
        err = self.failing(truncate)
        self.assertIn("packets.out", err)
        self.assertIn("record", err)

        err = self.failing(lambda work: os.remove(os.path.join(work, "map.out")))
        self.assertIn("map.out", err)

        def other_run(work):  # a parameter file that is not the run's
            par = os.path.join(work, "run.par")
            with open(par) as f:
                text = f.read()
            with open(par, "w") as f:
                f.write(text.replace("\n0.5\nsediment.out\n", "\n1\nsediment.out\n"))
        err = self.failing(other_run)
        self.assertIn("sediment.out, record", err)
        self.assertIn("output schedule", err)


    def copy(self):
        work = tempfile.mkdtemp(prefix="vorn2nc-copy-")
        self.addCleanup(shutil.rmtree, work)
        for name in os.listdir(self.dir):
            if not name.endswith(".nc"):
                shutil.copy(os.path.join(self.dir, name), work)
        return work

    def test_no_file_of_the_run_is_ever_the_output(self):
        work = self.copy()
        os.symlink("run.par", os.path.join(work, "link.nc"))
        for name, says in [("run.par", "parameter file"), ("small.log", "log"),
                           ("stats.out", "output file"), ("vel1.dat", "velocity file"),
                           ("lognodes.dat", "node file"), ("link.nc", "parameter file")]:
            path = os.path.join(work, name)
            with open(path, "rb") as f:
                before = f.read()
            r = run([VORN2NC, work, "-o", path], work)
            self.assertEqual(r.returncode, 1, name + ": " + r.stdout + r.stderr)
            self.assertIn("refusing to write %s: it is the run's %s" % (path, says), r.stderr)
            with open(path, "rb") as f:
                self.assertEqual(f.read(), before, name + " was changed")
        self.assertEqual([n for n in os.listdir(work) if "vorn2nc" in n], [])

    def test_a_run_that_ended_early_converts_without_biology_or_a_cut_frame(self):
        """A run killed part way: no clean exit in the log, the biology
        files (written at the end) empty, the last packet frame cut."""
        work = self.copy()
        log = os.path.join(work, "small.log")
        with open(log) as f:
            text = f.read()
        with open(log, "w") as f:
            f.write(text.replace("  Clean exit ", " Run interrupted by signal 15"))
        for name in ("bio.out", "biomap.out"):
            open(os.path.join(work, name), "w").close()
        packets = os.path.join(work, "packets.out")
        with open(packets, "r+b") as f:
            f.truncate(os.path.getsize(packets) - 1000)
            f.seek(0, os.SEEK_END)
            f.seek(f.tell() - 200)
            tail = f.read()
        with open(packets, "r+b") as f:  # the cut falls on a whole record
            f.truncate(os.path.getsize(packets) - 200 + tail.rindex(b"\n") + 1)
        r = run([VORN2NC, work], work)
        self.assertEqual(r.returncode, 0, r.stderr)
        self.assertIn("bio.out is empty", r.stderr)
        self.assertIn("biomap.out is empty", r.stderr)
        self.assertIn("was cut short when the run ended; it is left out", r.stderr)
        nc = os.path.join(work, "run.nc")
        with netCDF4.Dataset(nc) as d:
            self.assertNotIn("biology_points", d.groups)
            self.assertNotIn("biology_map", d.groups)
        with xr.open_dataset(nc, group="packets", decode_times=False) as p, \
                xr.open_dataset(self.nc, group="packets", decode_times=False) as whole:
            self.assertEqual(p.sizes["time"], whole.sizes["time"] - 1)
            self.assertTrue(np.array_equal(p.x.values, whole.x.values[:-1], equal_nan=True))


class DischargeRelease(unittest.TestCase):
    def test_steps_before_the_first_packets_write_nothing_and_the_schedule_follows(self):
        """Packets from a discharge series only from 9:00, two hours into the
        run: the records of every file still sit on the schedule."""
        work = tempfile.mkdtemp(prefix="vorn2nc-discharge-")
        try:
            write_small_run(work)
            par = os.path.join(work, "run.par")
            with open(par) as f:
                text = f.read()
            with open(par, "w") as f:
                f.write(text.replace("\n1\n1000 3000 0.5 3\n", "\n0\ndis.dat\n")
                        .replace("\n0.5\nsediment.out\n", "\n0.25\nsediment.out\n"))
            with open(os.path.join(work, "dis.dat"), "w") as f:
                f.write("XXXX\n0.5\nthree discharges\n2026\n2\n"
                        "152.375 500\n152.4 300\n152.5 1000\n")
            r = run([VORNV7, "run.par", "screen.txt"], work)
            self.assertEqual(r.returncode, 0, r.stderr)
            r = run([VORN2NC, work], work)
            self.assertEqual(r.returncode, 0, r.stderr)
            nc = os.path.join(work, "run.nc")
            with xr.open_dataset(nc, group="sediment", decode_times=False) as d:
                start = (152.0 + 9 / 24.0) * DAY
                self.assertEqual(d.time.values[0], start + 450.0)  # middle of the first step after 9:00
                self.assertEqual(d.ktotal.values[0], 500)
                self.assertEqual(d.ktotal.values[-1], 1800)
            with xr.open_dataset(nc, group="packets", decode_times=False) as p:
                self.assertEqual(p.time.values[0], (152.0 + 10 / 24.0) * DAY)
                self.assertEqual(p.sizes["trajectory"], 1800)
        finally:
            shutil.rmtree(work)


@unittest.skipIf(os.environ.get("VORN2NC_SMALL_RUNS_ONLY"),
                 "the sanitizer build converts the small runs only")
class BundledExample(unittest.TestCase):
    def test_the_example_opens_with_xarray_and_gives_a_track_in_one_selection(self):
        work = tempfile.mkdtemp(prefix="vorn2nc-example-")
        try:
            example = os.path.join(SOURCE, "examples", "aldmouth-bank")
            for name in os.listdir(example):
                if name.endswith(".dat") or name == "run.par":
                    shutil.copy(os.path.join(example, name), work)
            r = run([VORNV7, "run.par", "screen.txt"], work)
            self.assertEqual(r.returncode, 0, r.stderr)
            r = run([VORN2NC, work], work)
            self.assertEqual(r.returncode, 0, r.stderr)
            nc = os.path.join(work, "run.nc")
            for g in GROUPS:
                with xr.open_dataset(nc, group=g) as d:
                    self.assertTrue(d.data_vars, g)
            with xr.open_dataset(nc, group="packets") as p:
                track = p.sel(trajectory=500)
                self.assertEqual(track.x.dims, ("time",))
                # Packet 500 of every frame, as the text file has it.
                ls = lines(os.path.join(work, "packets.out"))
                rows, k = [], 1
                while k < len(ls):
                    n = int(plot_run.free_numbers(ls[k].replace("ktotal, time", ""), "")[0])
                    rows.append(plot_run.fields(ls[k + 500], [16, 16, 11], "packets.out"))
                    k += n + 1
                close_to_text(self, track.x.values, [r[0] for r in rows], "track x")
                close_to_text(self, track.z.values, [r[2] for r in rows], "track z")
                self.assertEqual(str(track.time.values[0])[:19], "2026-06-06T12:00:00")
        finally:
            shutil.rmtree(work)


if __name__ == "__main__":
    unittest.main(verbosity=2)
