#!/usr/bin/python3
"""vornimport on invented field data: a mooring's CSV with a jittering
clock, a gap and a year end goes to a run folder that vorncheck passes and
vornv7 runs, whose velocity profiles at each meter's height are the CSV's
values on the run's clock; the same data as CF-NetCDF, and as speed and
direction in both conventions, give the same files; each bad input gives
its message with its file and row.

    /usr/bin/python3 tests/vornimport/test_vornimport.py VORNV7 VORNCHECK VORN2NC SOURCE_DIR

Exits 77 (skipped) without numpy, xarray and netCDF4.
"""
import datetime
import math
import os
import random
import shutil
import subprocess
import sys
import tempfile
import unittest

try:
    import numpy as np
    import xarray as xr
    import netCDF4  # noqa: F401
except ImportError as e:
    print("vornimport tests skipped: %s" % e)
    sys.exit(77)

VORNV7, VORNCHECK, VORN2NC, SOURCE = (os.path.abspath(a) for a in sys.argv[1:5])
del sys.argv[1:5]
sys.dont_write_bytecode = True
sys.path.insert(0, os.path.join(SOURCE, "tools"))
import plot_run  # noqa: E402  (the reference reader of the text files)

HEIGHTS = (1.0, 3.0, 6.0, 11.0)
T0 = datetime.datetime(2026, 12, 30, 12, 0, tzinfo=datetime.timezone.utc)


def current(z, hours):
    """East and north (m/s) of the invented tide at height z."""
    f = math.log(z / 0.003495) / math.log(11 / 0.003495)
    return (0.6 * f * math.cos(2 * math.pi * hours / 12.42) + 0.05,
            0.25 * f * math.sin(2 * math.pi * hours / 12.42) + 0.03)


def mooring(records=216, gap=(100, 102), seed=5):
    """The records: (time, height, east, north), 20 minutes apart with up
    to 40 s of clock jitter, two missing (a 1-hour gap), over the year end."""
    rng = random.Random(seed)
    out = []
    for k in range(records):
        if gap[0] <= k < gap[1]:
            continue
        t = T0 + datetime.timedelta(seconds=k * 1200 + rng.uniform(-40, 40))
        t = t.replace(microsecond=0)
        for z in HEIGHTS:
            e, n = current(z, k / 3.0)
            out.append((t, z, round(e, 5), round(n, 5)))
    return out


def write_csv(path, rows, form="east_north"):
    with open(path, "w") as f:
        if form == "east_north":
            f.write("time_utc,height (m),u [cm/s],v [cm/s]\n")
            for t, z, e, n in rows:
                f.write("%s,%.1f,%.3f,%.3f\n" % (t.strftime("%Y-%m-%dT%H:%M:%SZ"), z, e * 100, n * 100))
        else:  # speed, direction the water goes towards (or comes from)
            f.write("time,depth,speed,direction\n")
            for t, z, e, n in rows:
                d = math.degrees(math.atan2(e, n)) + (180.0 if form == "from" else 0.0)
                f.write("%s+01:00,%.1f,%r,%r\n" % ((t + datetime.timedelta(hours=1)).strftime(
                    "%Y-%m-%dT%H:%M:%S"), 20.0 - z, math.hypot(e, n), d % 360.0))


def vornimport(*args, cwd=None):
    return subprocess.run(["/usr/bin/python3", os.path.join(SOURCE, "tools", "vornimport")]
                          + list(args), capture_output=True, text=True, cwd=cwd)


def files_of(folder):
    out = {}
    for n in sorted(os.listdir(folder)):
        if n.endswith((".dat", ".par")):
            with open(os.path.join(folder, n), "rb") as f:
                out[n] = f.read()
    return out


class Import(unittest.TestCase):
    def setUp(self):
        self.dir = tempfile.mkdtemp(prefix="vornimport-test-")
        self.addCleanup(shutil.rmtree, self.dir)

    def path(self, *names):
        return os.path.join(self.dir, *names)

    def test_a_mooring_becomes_a_checked_run_with_its_currents_on_the_runs_clock(self):
        rows = mooring()
        write_csv(self.path("mooring.csv"), rows)
        # A dredger's log in tonnes, across the year end, one dump given
        # with a zone: packets of 100 kg, on the day count of 2026.
        with open(self.path("dumps.csv"), "w") as f:
            f.write("time,load (t)\n2026-12-31T02:10:00Z,150\n2027-01-01T06:30:00+01:00,80.04\n")
        r = vornimport(self.path("mooring.csv"), "-o", self.path("run"), "--lon", "2.3", "--lat", "54.85",
                       "--dumps", self.path("dumps.csv"))
        self.assertEqual(r.returncode, 0, r.stdout + r.stderr)
        with open(self.path("run", "dumps.dat")) as f:
            self.assertEqual(f.read().splitlines()[-2:], ["365.0902777778 1500", "366.2291666667 800"])
        self.assertIn("mooring.csv:", r.stdout)
        self.assertIn("interpolated across it", r.stdout)
        self.assertIn("largest clock shift 40 s", r.stdout)
        run = self.path("run")
        c = subprocess.run([VORNCHECK, "run.par", "screen.txt"], cwd=run, capture_output=True,
                           text=True)
        self.assertEqual(c.returncode, 0, c.stdout)
        # From the clock time before the first dump, over the year end in 2026's days.
        self.assertIn("day 365.0833 to day 367.4722", c.stdout)
        self.assertIn("site: site.toml", c.stdout)
        p = subprocess.run([VORNV7, "run.par", "screen.txt"], cwd=run, capture_output=True, text=True)
        self.assertEqual(p.returncode, 0, p.stderr)
        # The CSV's values on the run's clock (20 min from 12:00), as the run
        # interpolates them in time to the middle of each step; the profiles'
        # exact times from the converter (the text file writes 5 digits).
        r = subprocess.run([VORN2NC, "."], cwd=run, capture_output=True, text=True)
        self.assertEqual(r.returncode, 0, r.stderr)
        prof = xr.open_dataset(os.path.join(run, "run.nc"), group="velocity_profile",
                               decode_times=False)
        times = prof.time.values / 86400.0  # days since the day before day 1.0 of 2026
        origin = datetime.datetime(2026, 1, 1, tzinfo=datetime.timezone.utc)
        days = lambda t: (t - origin).total_seconds() / 86400.0 + 1.0
        clock = np.array([364.5 + k * 1200 / 86400.0 for k in range(215)])  # the CSV's span
        heights = prof.height.values
        checked = 0
        for z in HEIGHTS:
            mine = [(days(t), e, n) for t, zz, e, n in rows if zz == z]
            td, te, tn = (np.array(v) for v in zip(*mine))
            on_clock_e, on_clock_n = np.interp(clock, td, te), np.interp(clock, td, tn)
            node = int(np.argmin(np.abs(heights - z)))
            self.assertAlmostEqual(float(heights[node]), z, places=3)
            want_e = np.interp(times, clock, on_clock_e)
            want_n = np.interp(times, clock, on_clock_n)
            # The file's fields hold 4 significant digits.
            got_e, got_n = prof.u.values[:, node], prof.v.values[:, node]
            # Half a unit in the fourth digit, and the profile times' own
            # rounding to 1e-5 day (under half a second of a tide).
            for got, want in ((got_e, want_e), (got_n, want_n)):
                err = np.abs(got - want) - (5e-4 * np.abs(want) + 1e-4)
                self.assertLessEqual(float(np.max(err)), 0.0, (z, float(np.max(np.abs(got - want)))))
            checked += len(times)
        prof.close()
        self.assertGreater(checked, 600)

    def test_the_same_data_as_netcdf_and_as_speed_and_direction_give_the_same_files(self):
        rows = mooring()
        write_csv(self.path("a.csv"), rows)
        self.assertEqual(vornimport(self.path("a.csv"), "-o", self.path("csv")).returncode, 0)
        want = files_of(self.path("csv"))
        # CF-NetCDF, timeSeriesProfile, written by xarray: times on the
        # nominal clock of the CSV's rows, one profile per time.
        times = sorted({t for t, *_ in rows})
        u = np.full((len(times), len(HEIGHTS)), np.nan)
        v = np.full_like(u, np.nan)
        for t, z, e, n in rows:
            u[times.index(t), HEIGHTS.index(z)] = e
            v[times.index(t), HEIGHTS.index(z)] = n
        ds = xr.Dataset(
            {"u": (("time", "z"), u, {"standard_name": "eastward_sea_water_velocity", "units": "m s-1"}),
             "v": (("time", "z"), v, {"standard_name": "northward_sea_water_velocity", "units": "m s-1"})},
            coords={"time": [t.replace(tzinfo=None) for t in times],
                    "z": ("z", list(HEIGHTS), {"standard_name": "height_above_sea_floor",
                                               "positive": "up", "units": "m"})},
            attrs={"featureType": "timeSeriesProfile", "Conventions": "CF-1.8"})
        ds.to_netcdf(self.path("a.nc"), encoding={"time": {"units": "seconds since 2026-12-30",
                                                           "dtype": "f8"}})
        r = vornimport(self.path("a.nc"), "-o", self.path("nc"))
        self.assertEqual(r.returncode, 0, r.stdout + r.stderr)
        self.assertEqual(files_of(self.path("nc")), want)
        # Speed and direction, towards and from, with depths below the
        # surface and times an hour ahead of UTC.
        got = []
        for convention in ("towards", "from"):
            write_csv(self.path(convention + ".csv"), rows, convention)
            with open(self.path(convention + ".toml"), "w") as f:
                f.write("[currents]\ndirection_convention = \"%s\"\nwater_depth = 20.0\n"
                        "units = \"m/s\"\n" % convention)
            r = vornimport(self.path(convention + ".csv"), "--config", self.path(convention + ".toml"),
                           "-o", self.path(convention))
            self.assertEqual(r.returncode, 0, r.stdout + r.stderr)
            got.append(files_of(self.path(convention)))
        # The same files, the series to the rounding of their last digit.
        for other in got:
            self.assertEqual(sorted(other), sorted(want))
            for name, data in want.items():
                if name.startswith(("vel_", "stress")):
                    skip = 8 if name.startswith("vel_") else 6
                    a = np.loadtxt(data.decode().splitlines()[skip:])
                    b = np.loadtxt(other[name].decode().splitlines()[skip:])
                    self.assertTrue(np.allclose(a, b, rtol=0, atol=2e-6), name)
                else:
                    self.assertEqual(other[name], data, name)

    def test_each_bad_input_names_its_file_and_row(self):
        good = mooring(records=12, gap=(0, 0))
        lines = ["time_utc,height (m),u [cm/s],v [cm/s]"] + [
            "%s,%.1f,%.3f,%.3f" % (t.strftime("%Y-%m-%dT%H:%M:%SZ"), z, e * 100, n * 100)
            for t, z, e, n in good]

        def case(edit, says, header=None, config=None):
            text = list(lines)
            if header:
                text[0] = header
            edit(text)
            with open(self.path("bad.csv"), "w") as f:
                f.write("\n".join(text) + "\n")
            args = [self.path("bad.csv"), "-o", self.path("out"), "--force"]
            if config:
                with open(self.path("bad.toml"), "w") as f:
                    f.write(config)
                args += ["--config", self.path("bad.toml")]
            r = vornimport(*args)
            self.assertEqual(r.returncode, 1, says + ": " + r.stdout)
            self.assertIn(says, r.stderr)

        def set_row(k, value):
            return lambda t: t.__setitem__(k, value)
        case(set_row(5, "2026-13-30T13:00:00Z,3.0,1,1"),
             "bad.csv:6: error: cannot read the time '2026-13-30T13:00:00Z'")
        case(set_row(9, lines[1].replace("1.0,", "3.0,", 1)),
             "bad.csv:10: error: the time goes back at the meter at 3 m")
        case(set_row(6, lines[2]), "bad.csv:7: error: the meter at 3 m has the time")
        case(lambda t: None, "bad.csv:1: error: unknown units of velocity 'knots'",
             header="time_utc,height (m),u [knots],v [knots]")
        case(lambda t: None, "bad.csv:1: error: no east and north columns, nor speed and direction",
             header="time_utc,height (m),x,y")
        # A run of fill values is a long gap.
        def fills(t):
            for k in range(9, 37):
                t[k] = ",".join(t[k].split(",")[:2] + ["-999.0", "-999.0"])
        case(fills, "bad.csv:6: error: the meter at 1.00 m has no record for 2.66 h after",
             config="[currents]\nfill = -999.0\n")


if __name__ == "__main__":
    unittest.main(verbosity=2)
