#!/usr/bin/python3
"""vornens on a real Slurm: a single node started in a scratch folder
(tests/vornens/localslurm.py), a four-member ensemble of a tiny site as a
job array with one member killed on purpose, a resume that submits that
member alone, and the summary against the members' files.

    /usr/bin/python3 tests/vornens/test_slurm.py VORNV7 VORN2NC VORNCHECK SOURCE_DIR

Needs root (CI runs as root). When Slurm cannot be started the test says
why and fails: it never passes without having run.
"""
import os
import shutil
import sys
import tempfile
import unittest

VORNV7, VORN2NC, VORNCHECK, SOURCE = (os.path.abspath(a) for a in sys.argv[1:5])
del sys.argv[1:5]
sys.dont_write_bytecode = True
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import localslurm  # noqa: E402

SLURM = {}


class SlurmRun(unittest.TestCase):
    def test_a_killed_member_is_submitted_again_alone_and_summarised(self):
        import ensembletest as et
        d = tempfile.mkdtemp(prefix="vornens-slurm-test-")
        self.addCleanup(shutil.rmtree, d, True)
        ens = et.planned_tiny(self, SOURCE, (VORNV7, VORN2NC, VORNCHECK), d)
        env = dict(os.environ, **SLURM)
        et.run_killing(self, SOURCE, ens, "m03", "0.002", "--engine", "slurm", env=env)
        with open(os.path.join(ens, "slurm.jobs")) as f:
            job1, tasks = f.read().split()
        self.assertEqual(tasks, "1-4")
        self.assertEqual(sorted(os.listdir(os.path.join(ens, "slurm-logs"))),
                         ["%d.%s.out" % (k, job1) for k in range(1, 5)])

        r = et.vornens(SOURCE, "summarise", ens)
        self.assertEqual(r.returncode, 1)
        self.assertIn("m03", r.stderr)

        done = et.status_times(ens, ("m01", "m02", "m04"))
        r = et.vornens(SOURCE, "run", ens, "--engine", "slurm", "--resume", env=env)
        self.assertEqual(r.returncode, 0, r.stdout + r.stderr)
        with open(os.path.join(ens, "slurm.jobs")) as f:
            jobs = [l.split() for l in f.read().splitlines()]
        self.assertEqual(len(jobs), 2)
        job2 = jobs[1][0]
        self.assertEqual(jobs[1][1], "3", "only the killed member is submitted again")
        self.assertEqual(sorted(n for n in os.listdir(os.path.join(ens, "slurm-logs"))
                                if n.endswith("." + job2 + ".out")), ["3.%s.out" % job2])
        self.assertEqual(done, et.status_times(ens, done), "the others did not run again")
        et.summary_of_all(self, SOURCE, ens)


def main():
    scratch = tempfile.mkdtemp(prefix="vornens-slurm-")
    os.chmod(scratch, 0o755)  # munged wants every folder above its socket open to all
    try:
        try:
            SLURM.update(localslurm.start(os.path.join(scratch, "slurm")))
        except localslurm.SlurmUnavailable as e:
            print("vornens Slurm test: FAILED: cannot start a scratch Slurm: %s" % e)
            return 1
        try:
            import numpy  # noqa: F401
            import xarray  # noqa: F401
            import netCDF4  # noqa: F401
        except ImportError as e:
            print("vornens Slurm test: FAILED: %s (apt-get install python3-xarray "
                  "python3-netcdf4)" % e)
            return 1
        result = unittest.main(exit=False, verbosity=2).result
        return 0 if result.wasSuccessful() else 1
    finally:
        localslurm.stop(os.path.join(scratch, "slurm"))
        shutil.rmtree(scratch, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main())
