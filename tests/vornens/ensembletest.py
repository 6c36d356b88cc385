"""What the vornens tests share: a tiny site and its ensemble, the
programs, a member held at its start so that it can be killed on purpose,
and the ensemble statistics computed directly from the members' files.
"""
import math
import os
import stat
import subprocess
import threading
import time

import numpy as np

DAY = 86400.0


def programs_folder(vornv7, vorn2nc, vorncheck, folder):
    """A folder with the three programs under their names (the build puts
    them where CMake says)."""
    os.makedirs(folder, exist_ok=True)
    for p in (vornv7, vorn2nc, vorncheck):
        link = os.path.join(folder, os.path.basename(p))
        if not os.path.lexists(link):
            os.symlink(os.path.abspath(p), link)
    return folder


THRESHOLDS = [5.0e-6, 1.0e-5]


def write_site(folder):
    """A log layer of three nodes below two current meters, hourly records
    from day 152; a 6 h run of 400 packets released over 2 h, with the
    statistics, three points every 30 min and a 20 x 10 map every hour."""
    os.makedirs(folder, exist_ok=True)

    def put(name, text):
        with open(os.path.join(folder, name), "w") as f:
            f.write(text)

    def tide(h):
        return 0.1 + 0.3 * math.cos(2 * math.pi * h / 12.42)
    put("lognodes.dat", "log layer\nXXXX\n3\n0.05 0.2 1.0\n")
    put("intnodes.dat", "current meters\nXXXX\n2\n0.0\n5.0\n")
    for name in ("vel1.dat", "vel2.dat"):
        rows = "".join("%.17g %.9g %.9g\n" % (152 + k / 24.0, tide(k), 0.5 * tide(k))
                       for k in range(24))
        put(name, "tripod\nXXXX\ncurrent meter\nsynthetic tide\n2026\n3\n" + rows)
    put("run.par", "\n".join([
        "tiny.log", "1234567 7654321", "6 152.3", "1", "0.25 1", "3", "1", "0.0001",
        "0.0002 0.0002 0.0002 0", "0.4 0.05", "0", "1", "1000 400 0.5 2",
        "lognodes.dat", "intnodes.dat", "vel1.dat", "vel2.dat",
        "0", "0", "1", "stats.out", "0.05 6.0 4000", "0",
        "0.5", "conc.out", "3", "0 0 3000 0.05 2.0", "2000 1000 2000 0.05 2.0",
        "-3000 -1000 2000 0.05 1.0",
        "1", "map.out", "20 -6000 6000 10 -4000 4000 0.05 2.0", "0", "0", ""]))
    # A site with a plume assessment (no layers): each member is assessed as
    # a single run would be, and the summary takes the zones over the members.
    put("site.toml", "[origin]\nlon = 2.3\nlat = 54.85\n[assessment]\nthresholds = [%r]\n"
        "zones = [{ name = \"high\", threshold = %r, percent_of_time = 10 },\n"
        "         { name = \"low\", threshold = %r, percent_of_time = 0 }]\n"
        % (THRESHOLDS[0], THRESHOLDS[1], THRESHOLDS[0]))
    return os.path.join(folder, "run.par")


def write_toml(folder, programs):
    """Four members: two settling velocities (two scenarios) by two seed pairs."""
    path = os.path.join(folder, "tiny.toml")
    with open(path, "w") as f:
        f.write('base = "site/run.par"\nfolder = "ens"\nprograms = "%s"\n'
                '[seeds]\ncount = 2\ndraw = 7\n'
                '[vary]\n"settling.iniwstar" = [0.0002, 0.002]\n'
                '[summary]\nthresholds = [1.0e-5, 5.0e-6]\n' % programs)
    return path


def vornens(source, *args, **kw):
    return subprocess.run(["/usr/bin/python3", os.path.join(source, "tools", "vornens")]
                          + list(args), capture_output=True, text=True, **kw)


class HeldMember:
    """Holds a member at its start: its run.par becomes a named pipe, so
    vornv7 waits on opening it; the member is then killed by the pid its
    script leaves, and its parameter file put back. The kill cannot miss a
    member that has already ended."""

    def __init__(self, member_folder):
        self.folder = member_folder
        self.par = os.path.join(member_folder, "run.par")
        with open(self.par, "rb") as f:
            self.text = f.read()
        os.remove(self.par)
        os.mkfifo(self.par)
        for name in ("vornv7.pid", "status"):
            if os.path.exists(os.path.join(member_folder, name)):
                os.remove(os.path.join(member_folder, name))
        self.killed = None
        self.thread = threading.Thread(target=self._kill, daemon=True)
        self.thread.start()

    def _kill(self, timeout=120.0):
        pidfile = os.path.join(self.folder, "vornv7.pid")
        end = time.monotonic() + timeout
        while time.monotonic() < end:
            try:
                with open(pidfile) as f:
                    pid = int(f.read())
            except (OSError, ValueError):
                time.sleep(0.02)
                continue
            os.kill(pid, 9)
            self.killed = pid
            return

    def restore(self):
        self.thread.join(1.0)
        if stat.S_ISFIFO(os.stat(self.par).st_mode):
            os.remove(self.par)
        with open(self.par, "wb") as f:
            f.write(self.text)


def direct_statistics(values, thresholds):
    """Mean, 5th/50th/95th percentiles and exceedance probabilities over the
    first axis, the plain way: the percentile at rank p/100 * (n - 1) of the
    sorted values, between two ranks in proportion; exceedance is the count
    strictly above over n."""
    v = np.sort(np.asarray(values, dtype=np.float64), axis=0)
    n = v.shape[0]
    mean = v.sum(axis=0) / n
    pct = []
    for p in (5.0, 50.0, 95.0):
        r = p / 100.0 * (n - 1)
        lo = int(math.floor(r))
        hi = min(lo + 1, n - 1)
        pct.append(v[lo] + (v[hi] - v[lo]) * (r - lo))
    exc = [np.count_nonzero(v > t, axis=0) / n for t in thresholds]
    return mean, np.array(pct), np.array(exc)


def check_summary(test, summary_nc, member_ncs, scenario_of=None, thresholds=THRESHOLDS):
    """The summary's statistics against those computed from the members'
    files; with `scenario_of` (member index -> scenario index) also per
    scenario. Returns the summary's global attributes."""
    import xarray as xr
    attrs = xr.open_dataset(summary_nc).attrs
    for group, var in (("concentration", "concentration"), ("map", "layer_concentration")):
        s = xr.open_dataset(summary_nc, group=group, decode_times=False)
        members = [xr.open_dataset(p, group=group, decode_times=False) for p in member_ncs]
        values = np.stack([m[var].values for m in members])
        test.assertTrue(np.array_equal(s.time.values, members[0].time.values), group)
        test.assertEqual(list(s.threshold.values), sorted(thresholds))
        cases = [("", values, ())]
        if scenario_of is not None:
            for k in sorted(set(scenario_of)):
                idx = [i for i, sc in enumerate(scenario_of) if sc == k]
                cases.append(("_by_scenario", values[idx], (k,)))
        for suffix, vals, at in cases:
            mean, pct, exc = direct_statistics(vals, sorted(thresholds))
            for name, want in ((var + "_mean", mean), (var + "_percentile", pct),
                               ("exceedance_probability", exc)):
                got = s[name + suffix].values[at]
                test.assertEqual(got.shape, want.shape, name)
                test.assertTrue(np.allclose(got, want.astype(np.float32), rtol=2.5e-7, atol=0),
                                "%s%s%s: %s against %s" % (group, name, suffix, got.ravel()[:5],
                                                           want.ravel()[:5]))
            if not suffix:
                test.assertTrue(0 < exc.mean() < 1, "thresholds that some members exceed")
        for m in members:
            m.close()
        s.close()
    # The zones over the members: the fraction of members in each zone or a
    # more severe one, cell by cell.
    s = xr.open_dataset(summary_nc, group="assessment")
    zones = np.stack([xr.open_dataset(p, group="assessment").concentration_zone.values
                      for p in member_ncs]).astype(int)
    want = np.stack([((zones >= 1) & (zones <= k + 1)).mean(axis=0) for k in range(2)])
    test.assertTrue(np.allclose(s.zone_probability.values, want), "zone probabilities")
    test.assertTrue(0 < want[1].mean() < 1, "zones that some members reach")
    s.close()
    return attrs


def status_times(ens, members):
    """When each member's status was written: a member run again changes it."""
    return {m: os.stat(os.path.join(ens, m, "status")).st_mtime_ns for m in members}


def summary_of_all(test, source, ens):
    """The summary of the four members of the tiny ensemble (two scenarios
    of two seed pairs), checked against their files; returns the files."""
    r = vornens(source, "summarise", ens)
    test.assertEqual(r.returncode, 0, r.stderr)
    ncs = [os.path.join(ens, m, "run.nc") for m in ("m01", "m02", "m03", "m04")]
    attrs = check_summary(test, os.path.join(ens, "summary.nc"), ncs, [0, 0, 1, 1])
    test.assertEqual(attrs["missing_members"], "none")
    return ncs


# The ensemble folder's name: blanks, quotes, a command substitution,
# backticks and a semicolon, none of which may ever run as shell text.
HOSTILE_NAME = """ens $(touch touched) "q" 'a' `touch touched` ;b"""


def planned_tiny(test, source, programs, folder):
    """The tiny ensemble planned in `folder`, in a folder with a hostile
    name; returns the ensemble folder. `programs` are the paths of vornv7,
    vorn2nc and vorncheck."""
    write_site(os.path.join(folder, "site"))
    bins = programs_folder(*programs, os.path.join(folder, "bin"))
    ens = os.path.join(folder, HOSTILE_NAME)
    if os.path.exists("touched"):  # left by an earlier run of the tests
        os.remove("touched")
    r = vornens(source, "plan", write_toml(folder, bins), "-o", ens)
    test.assertEqual(r.returncode, 0, r.stdout + r.stderr)
    return ens


def run_killing(test, source, ens, member, iniwstar, *args, **kw):
    """vornens run with `member` killed on purpose: reported with its
    values, exit status and signal, the others done."""
    held = HeldMember(os.path.join(ens, member))
    r = vornens(source, "run", ens, *args, **kw)
    held.restore()
    test.assertFalse(os.path.exists("touched"), "the folder's name ran as a command")
    test.assertIsNotNone(held.killed)
    test.assertEqual(r.returncode, 1, r.stdout + r.stderr)
    test.assertIn("3 of 4 members done", r.stdout)
    test.assertIn("%s (settling.iniwstar=%s, seeds.seed1=" % (member, iniwstar), r.stdout)
    test.assertIn("vornv7 exit status 137 (ended by signal 9, SIGKILL)", r.stdout)
    return r
