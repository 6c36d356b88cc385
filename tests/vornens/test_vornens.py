#!/usr/bin/python3
"""vornens: the plan's edits, the members on GNU parallel, the summary.

    /usr/bin/python3 tests/vornens/test_vornens.py VORNV7 VORN2NC VORNCHECK SOURCE_DIR

Edits of random parameter files by random record maps keep every other
line; the members of a TOML file are every combination of its factors;
plans of both bundled examples change, by the checker's own record map of
each member, only the records named; plans the checker or the tool must
refuse are refused, leaving nothing; a four-member ensemble of a tiny site
runs on GNU parallel with one member killed, is resumed (that member only)
and summarised, its statistics against those computed from the members'
files. Exits 77 (skipped) without xarray and netCDF4.
"""
import csv
import json
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
    print("vornens tests skipped: %s (apt-get install python3-xarray python3-netcdf4)" % e)
    sys.exit(77)

VORNV7, VORN2NC, VORNCHECK, SOURCE = (os.path.abspath(a) for a in sys.argv[1:5])
del sys.argv[1:5]
sys.dont_write_bytecode = True
sys.path.insert(0, os.path.join(SOURCE, "tools"))
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import ensembletest as et  # noqa: E402
from vornens import ensemble, records  # noqa: E402
from vornens.plan import member_values  # noqa: E402


def read(path, mode="r"):
    with open(path, mode) as f:
        return f.read()


def scratch(test):
    d = tempfile.mkdtemp(prefix="vornens-test-")
    test.addCleanup(shutil.rmtree, d, True)
    return d


def record_map_of(folder, par="run.par"):
    r = subprocess.run([VORNCHECK, "--records", par], cwd=folder, capture_output=True, text=True)
    return records.parse_record_map(r.stdout, os.path.join(folder, par))


def same_value(a, b):
    """Equal as read: exactly, or as the single-precision values a float
    field holds."""
    if a == b:
        return True
    return (isinstance(a, (int, float)) and isinstance(b, (int, float))
            and np.float32(a) == np.float32(b))


class Edits(unittest.TestCase):
    def test_random_edits_keep_every_other_line_and_its_end(self):
        rng = random.Random(19)
        for trial in range(300):
            n = rng.randint(3, 30)
            lines = [bytes(rng.choice(b"abc 0123.,") for _ in range(rng.randint(0, 12)))
                     + rng.choice([b"\n", b"\r\n"]) for _ in range(n)]
            if rng.random() < 0.3 and lines[-1].strip():
                lines[-1] = lines[-1].rstrip(b"\r\n")  # a last line without its end
            recs, k = {}, 0
            while k < n:
                span = rng.randint(1, 3)
                if rng.random() < 0.7 and k + span <= n:
                    name = "r%d" % len(recs)
                    nf = rng.randint(1, 4)
                    vals = [rng.choice([1, 2.5, None]) for _ in range(nf)]
                    recs[name] = records.Record(name, "run.par", k + 1, k + span,
                                                ["f%d" % i for i in range(nf)], vals)
                k += span
            rmap = records.RecordMap("run.par", recs)
            changes = {r.name: [rng.choice([7, -0.125, 1e-05]) for _ in r.values]
                       for r in recs.values() if rng.random() < 0.5}
            out = records.split_lines(records.edited_file(b"".join(lines), rmap, changes))
            # Walk both files: a changed record is one line in its place,
            # ending as its last line did; every other line is as it was.
            k = j = 0
            starts = {r.line: r for r in recs.values() if r.name in changes}
            while k < n:
                r = starts.get(k + 1)
                if r is None:
                    self.assertEqual(out[j], lines[k], "trial %d, line %d" % (trial, k + 1))
                    k += 1
                else:
                    end = lines[r.last_line - 1]
                    tail = end[len(end.rstrip(b"\r\n")):]
                    self.assertTrue(out[j].endswith(tail) and
                                    b"\n" not in out[j][:len(out[j]) - len(tail)])
                    self.assertEqual(out[j][:len(out[j]) - len(tail)].decode(),
                                     records.record_line(changes[r.name]))
                    k = r.last_line
                j += 1
            self.assertEqual(j, len(out))

    def test_members_are_every_combination_of_the_factors(self):
        d = scratch(self)
        rmap = records.RecordMap("run.par", {r.name: r for r in [
            records.Record("seeds", "run.par", 2, 2, ["seed1", "seed2"], [1, 2]),
            records.Record("time_steps", "run.par", 5, 5, ["dta", "dtms"], [0.25, 1.0]),
            records.Record("settling", "run.par", 9, 9, ["iniwstar", "bigwstar", "litwstar",
                                                         "breakupus"], [0.1, 0.1, 0.1, 0.0]),
            records.Record("release", "run.par", 13, 13, ["relmass", "npack", "addint",
                                                          "reldur"], [1e3, 400, 0.5, 2.0]),
            records.Record("velocity_file.1", "run.par", 16, 16, ["name"], ["vel1.dat"]),
        ]})

        def members(text):
            p = os.path.join(d, "e.toml")
            with open(p, "w") as f:
                f.write('base = "run.par"\n[summary]\nthresholds = [1.0]\n' + text)
            ens = ensemble.read_ensemble(p)
            cols, resolved = records.resolve_factors(rmap, ens.factors)
            return [c.name for c in cols], member_values(cols, resolved)

        cols, ms = members('[seeds]\ncount = 3\ndraw = 5\n[vary]\n'
                           '"time_steps.dtms" = { from = 0.1, to = 0.3, step = 0.1 }\n'
                           '"velocity_file.1" = ["a.dat", "b.dat"]\n'
                           '[[together]]\n"settling.iniwstar" = { from = 1e-4, to = 3e-4, '
                           'count = 3 }\n"settling.bigwstar" = [1, 2, 3]\n')
        self.assertEqual(cols, ["time_steps.dtms", "velocity_file.1.name", "settling.iniwstar",
                                "settling.bigwstar", "seeds.seed1", "seeds.seed2"])
        self.assertEqual(len(ms), 3 * 2 * 3 * 3)
        self.assertEqual(len({tuple(m) for m in ms}), len(ms), "every combination once")
        self.assertEqual(sorted({m[0] for m in ms}), [0.1, 0.2, 0.3], "decimal steps")
        self.assertEqual(sorted({m[2] for m in ms}), [1e-4, 2e-4, 3e-4])
        self.assertTrue(all((m[2], m[3]) in [(1e-4, 1), (2e-4, 2), (3e-4, 3)] for m in ms))
        self.assertEqual([m[0] for m in ms[:18]], [0.1] * 18, "the first factor slowest")
        seeds = [tuple(m[4:]) for m in ms[:3]]
        self.assertEqual(len(set(seeds)), 3)
        self.assertEqual([tuple(m[4:]) for m in ms[3:6]], seeds, "the seeds fastest")
        self.assertTrue(all(10**7 <= s < 10**9 for p in seeds for s in p))
        self.assertEqual(members('[seeds]\ncount = 3\ndraw = 5\n')[1], [list(s) for s in seeds],
                         "the same draw gives the same pairs")
        cols, ms = members('[vary]\nrelease = [[2e3, 800, 0.5, 2.0], [3e3, 1200, 0.5, 2.0]]\n'
                           'seeds = [[5, 6]]\n')
        self.assertEqual(ms, [[2e3, 800, 0.5, 2.0, 5, 6], [3e3, 1200, 0.5, 2.0, 5, 6]])

        for text, says in [
            ('[vary]\n"settlin.iniwstar" = [1.0]\n', "no record"),
            ('[vary]\n"settling.wstar" = [1.0]\n', "has no value wstar"),
            ('[vary]\nsettling = [[1.0, 2.0]]\n', "4 values"),
            ('[vary]\n"velocity_file.1" = [3.0]\n', "vel1.dat"),
            ('[vary]\nseeds = [[1, 2]]\n[seeds]\ncount = 2\n', "two places"),
            ('[[together]]\n"time_steps.dta" = [1.0, 2.0]\n"time_steps.dtms" = [1.0]\n',
             "different lengths"),
            ('[vary]\n"time_steps.dta" = { from = 1.0, to = 0.0, step = 0.5 }\n', "never goes"),
            ('[vary]\n"time_steps.dta" = [nan]\n', "finite"),
        ]:
            with self.assertRaises(ensemble.EnsembleError, msg=text) as cm:
                members(text)
            self.assertIn(says, str(cm.exception), text)


class PlanOnExamples(unittest.TestCase):
    """Plans of both bundled examples, each member read back by the checker."""

    def plan_example(self, name, vary, varied_records):
        d = scratch(self)
        base = os.path.join(SOURCE, "examples", name, "run.par")
        toml = os.path.join(d, "e.toml")
        with open(toml, "w") as f:
            f.write('base = "%s"\nfolder = "ens"\n[seeds]\npairs = [[11111111, 22222222], '
                    '[33333333, 44444444]]\n[vary]\n%s[summary]\nthresholds = [0.1]\n'
                    % (base, vary))
        progs = et.programs_folder(VORNV7, VORN2NC, VORNCHECK, os.path.join(d, "bin"))
        r = et.vornens(SOURCE, "plan", toml, "--programs", progs)
        self.assertEqual(r.returncode, 0, r.stdout + r.stderr)
        ens = os.path.join(d, "ens")
        plan = json.loads(read(os.path.join(ens, "ensemble.json")))
        base_map = record_map_of(os.path.dirname(base))
        base_lines = records.split_lines(read(base, "rb"))
        with open(os.path.join(ens, "members.csv")) as f:
            rows = list(csv.reader(f))
        self.assertEqual(rows[0][2:], [c["name"] for c in plan["columns"]])
        self.assertEqual(len(rows) - 1, len(plan["members"]))
        for m in plan["members"]:
            folder = os.path.join(ens, m["folder"])
            mmap = record_map_of(folder)
            self.assertEqual(list(mmap.records), list(base_map.records), m["folder"])
            want = {r.name: list(r.values) for r in base_map.records.values()}
            for c, v in zip(plan["columns"], m["values"]):
                want[c["record"]][base_map.records[c["record"]].fields.index(c["field"])] = v
            for rec in mmap.records.values():
                self.assertTrue(all(same_value(a, b) for a, b in zip(rec.values, want[rec.name])),
                                "%s %s: %s, not %s" % (m["folder"], rec.name, rec.values,
                                                       want[rec.name]))
            # The file: the base with each varied record as one line.
            lines = records.split_lines(read(os.path.join(folder, "run.par"), "rb"))
            expect = list(base_lines)
            for rname in sorted(varied_records, key=lambda n: -base_map.records[n].line):
                b, mr = base_map.records[rname], mmap.records[rname]
                self.assertEqual(mr.line, mr.last_line)
                expect[b.line - 1:b.last_line] = [lines[mr.line - 1]]
            self.assertEqual(lines, expect, m["folder"])
            for rname, fname in records.file_names(mmap, records.is_forcing).items():
                if not os.path.isabs(fname):
                    self.assertTrue(os.path.samefile(os.path.join(folder, fname),
                                                     os.path.join(os.path.dirname(base), fname)))
        return plan

    def test_only_the_named_records_change_on_both_examples(self):
        plan = self.plan_example(
            "aldmouth-bank",
            '"settling.iniwstar" = [0.001, 0.0025]\n'
            '"time_steps.dtms" = { from = 1.0, to = 2.0, step = 0.5 }\n'
            'release = [[2.5e6, 50050, 0.5, 3.0]]\n',
            ["seeds", "settling", "time_steps", "release"])
        self.assertEqual(len(plan["members"]), 2 * 3 * 2)
        d = scratch(self)
        copy = os.path.join(d, "dumps copy.dat")
        shutil.copy(os.path.join(SOURCE, "examples", "skerne-dredging", "dumps.dat"), copy)
        plan = self.plan_example(
            "skerne-dredging",
            '"run_time.ttotal" = [240, 360.0]\n'
            'release = ["dumps.dat", "%s"]\n' % copy,
            ["seeds", "run_time", "release"])
        self.assertEqual(len(plan["members"]), 2 * 2 * 2)

    def test_refused_plans_leave_nothing(self):
        d = scratch(self)
        et.write_site(os.path.join(d, "site"))
        progs = et.programs_folder(VORNV7, VORN2NC, VORNCHECK, os.path.join(d, "bin"))
        toml = et.write_toml(d, progs)
        original = read(toml)
        for extra, says in [
            ('"velocity_file.1" = ["vel1.dat", "missing.dat"]\n', "m05 (velocity_file.1"),
            ('"concentration.file" = ["../shared.out"]\n', "outside the member's folder"),
            ('"release.npack" = [400.5]\n', "run.par:13: error"),
        ]:
            with open(toml, "w") as f:
                f.write(original.replace("[vary]\n", "[vary]\n" + extra))
            r = et.vornens(SOURCE, "plan", toml)
            self.assertEqual(r.returncode, 1, r.stdout + r.stderr)
            self.assertIn(says, r.stderr)
            self.assertEqual(sorted(os.listdir(d)), ["bin", "site", "tiny.toml"])
        with open(toml, "w") as f:
            f.write(original)
        r = et.vornens(SOURCE, "plan", toml, "-o", os.path.join(d, "ens\nsleep 9"))
        self.assertEqual(r.returncode, 1, r.stdout + r.stderr)
        self.assertIn("control character", r.stderr)
        self.assertEqual(sorted(os.listdir(d)), ["bin", "site", "tiny.toml"])
        self.assertEqual(et.vornens(SOURCE, "plan", toml).returncode, 0)
        r = et.vornens(SOURCE, "plan", toml)
        self.assertEqual(r.returncode, 1)
        self.assertIn("--force", r.stderr)
        self.assertEqual(et.vornens(SOURCE, "plan", toml, "--force").returncode, 0)


    def test_a_file_name_that_is_not_utf8_is_carried_to_every_member(self):
        d = scratch(self)
        par = et.write_site(os.path.join(d, "site"))
        name = b"vel2\xff.dat"
        os.rename(os.path.join(d, "site", "vel2.dat"), os.path.join(os.fsencode(d), b"site", name))
        with open(par, "rb") as f:
            text = f.read()
        with open(par, "wb") as f:
            f.write(text.replace(b"\nvel2.dat\n", b"\n" + name + b"\n"))
        progs = et.programs_folder(VORNV7, VORN2NC, VORNCHECK, os.path.join(d, "bin"))
        r = et.vornens(SOURCE, "plan", et.write_toml(d, progs))
        self.assertEqual(r.returncode, 0, r.stdout + r.stderr)
        member = os.path.join(os.fsencode(d), b"ens", b"m01")
        self.assertTrue(os.path.exists(os.path.join(member, name)))
        with open(os.path.join(member, b"run.par"), "rb") as f:
            self.assertIn(b"\n" + name + b"\n", f.read())


class ParallelRun(unittest.TestCase):
    def test_a_killed_member_reruns_alone_and_the_summary_matches_the_members(self):
        d = scratch(self)
        ens = et.planned_tiny(self, SOURCE, (VORNV7, VORN2NC, VORNCHECK), d)
        et.run_killing(self, SOURCE, ens, "m02", "0.0002", "--engine", "parallel", "--jobs", "2")
        log = os.path.join(ens, "parallel.joblog")
        rows = [l.split("\t") for l in read(log).splitlines()[1:]]
        self.assertEqual(sorted((int(x[0]), int(x[6])) for x in rows),
                         [(1, 0), (2, 137), (3, 0), (4, 0)])

        r = et.vornens(SOURCE, "summarise", ens)
        self.assertEqual(r.returncode, 1)
        self.assertIn("1 of 4 members have no results: m02", r.stderr)
        self.assertFalse(os.path.exists(os.path.join(ens, "summary.nc")))
        r = et.vornens(SOURCE, "summarise", ens, "--allow-missing")
        self.assertEqual(r.returncode, 0, r.stderr)
        ncs = [os.path.join(ens, m, "run.nc") for m in ("m01", "m03", "m04")]
        attrs = et.check_summary(self, os.path.join(ens, "summary.nc"), ncs, [0, 1, 1])
        self.assertEqual(attrs["missing_members"], "m02")
        s = xr.open_dataset(os.path.join(ens, "summary.nc"))
        self.assertEqual(list(s.summarised.values), [1, 0, 1, 1])
        self.assertEqual(list(s.settling_iniwstar.values), [0.0002, 0.0002, 0.002, 0.002])
        self.assertEqual(list(s.scenario_members.values), [1, 2])
        s.close()

        done = et.status_times(ens, ("m01", "m03", "m04"))
        r = et.vornens(SOURCE, "run", ens, "--engine", "parallel", "--resume")
        self.assertEqual(r.returncode, 0, r.stdout + r.stderr)
        self.assertIn("running 1 member of", r.stdout)
        rows = [l.split("\t") for l in read(log).splitlines()[1:]]
        self.assertEqual([(int(x[0]), int(x[6])) for x in rows[4:]], [(2, 0)])
        self.assertEqual(done, et.status_times(ens, done), "the others did not run again")
        # A member that failed outside parallel (run again by hand, or on
        # Slurm) is rerun though the job log has it done.
        with open(os.path.join(ens, "m03", "status"), "w") as f:
            f.write("1 vornv7\n")
        r = et.vornens(SOURCE, "run", ens, "--engine", "parallel", "--resume")
        self.assertEqual(r.returncode, 0, r.stdout + r.stderr)
        self.assertIn("job log disagrees with the status of m03", r.stdout)
        rows = [l.split("\t") for l in read(log).splitlines()[1:]]
        self.assertEqual((int(rows[-1][0]), int(rows[-1][6])), (3, 0))
        self.assertEqual(sorted({int(x[0]) for x in rows}), [1, 2, 3, 4])
        ncs = et.summary_of_all(self, SOURCE, ens)
        s = xr.open_dataset(os.path.join(ens, "summary.nc"), group="concentration",
                            decode_times=False)
        member = xr.open_dataset(ncs[1], group="concentration", decode_times=False)
        self.assertTrue(np.array_equal(s.concentration.values[1], member.concentration.values))
        s.close()
        member.close()
        self.assertEqual(read(os.path.join(ens, "summary.png"), "rb")[:8], b"\x89PNG\r\n\x1a\n")
        # The ensemble's one-page report.
        r = subprocess.run(["/usr/bin/python3", os.path.join(SOURCE, "tools", "vornreport.py"), ens],
                           capture_output=True, text=True)
        self.assertEqual(r.returncode, 0, r.stderr)
        page = read(os.path.join(ens, "report", "index.html"))
        self.assertIn("Zone low or a more severe one", page)
        self.assertIn("zone_probability_2.png", page)


if __name__ == "__main__":
    unittest.main(verbosity=2)
