#!/usr/bin/python3
"""The plume assessment end to end on the bundled Aldmouth Bank example:
vornv7, vorn2nc (with the site's [assessment]), vorngis and vornreport;
the animation by ffprobe, the report in a real headless browser (Debian's
Chromium driven by playwright-core from the npm registry), the report's
numbers against the NetCDF file's, and assessments without habitats or
without points.

    /usr/bin/python3 tests/report/test_report.py VORNV7 VORN2NC VORNGIS SOURCE_DIR WORK_DIR

WORK_DIR keeps playwright-core and the screenshot (report-screenshot.png).
Exits 77 (skipped) without the Python packages; fails without Chromium.
"""
import json
import os
import re
import shutil
import subprocess
import sys
import tempfile
import unittest

try:
    import numpy as np
    import netCDF4
    from osgeo import gdal  # noqa: F401
    import matplotlib  # noqa: F401
except ImportError as e:
    print("report tests skipped: %s" % e)
    sys.exit(77)

VORNV7, VORN2NC, VORNGIS, SOURCE, WORK = (os.path.abspath(a) for a in sys.argv[1:6])
del sys.argv[1:6]
REPORT = os.path.join(SOURCE, "tools", "vornreport.py")


def run(args, cwd):
    return subprocess.run(args, cwd=cwd, capture_output=True, text=True)


def example_run(folder, change=None):
    """The example run in `folder`, converted, laid out and reported;
    `change(folder)` edits its files first."""
    example = os.path.join(SOURCE, "examples", "aldmouth-bank")
    for name in os.listdir(example):
        if name.endswith((".dat", ".par", ".toml", ".geojson")):
            shutil.copy(os.path.join(example, name), folder)
    if change:
        change(folder)
    for args in ([VORNV7, "run.par", "screen.txt"], [VORN2NC, "."], [VORNGIS, "run.nc"],
                 ["/usr/bin/python3", REPORT, "."]):
        r = run(args, folder)
        assert r.returncode == 0, "%s: %s %s" % (args[0], r.stdout, r.stderr)
    return r.stdout.strip()


def playwright():
    """The folder where playwright-core is installed (from the npm registry)."""
    prefix = os.path.join(WORK, "node")
    if not os.path.isdir(os.path.join(prefix, "node_modules", "playwright-core")):
        r = subprocess.run(["npm", "install", "--prefix", prefix, "--no-audit", "--no-fund",
                            "--silent", "playwright-core@1.49"], capture_output=True, text=True)
        if r.returncode != 0:
            raise RuntimeError("npm could not install playwright-core: " + r.stderr)
    return prefix


def ffprobe(path):
    r = subprocess.run(["ffprobe", "-v", "error", "-count_frames", "-select_streams", "v:0",
                        "-show_entries", "stream=nb_read_frames,width,height", "-of", "json", path],
                       capture_output=True, text=True)
    s = json.loads(r.stdout)["streams"][0]
    return int(s["nb_read_frames"]), s["width"], s["height"]


class Report(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.dir = tempfile.mkdtemp(prefix="vornreport-test-")
        cls.page = example_run(cls.dir)
        cls.report = os.path.dirname(cls.page)

    @classmethod
    def tearDownClass(cls):
        shutil.rmtree(cls.dir)

    def test_the_animation_has_a_frame_per_map_frame_at_one_size(self):
        with netCDF4.Dataset(os.path.join(self.dir, "run.nc")) as d:
            frames = len(d["map"]["time"])
        sizes = set()
        for name in ("animation.mp4", "animation.webm", "animation.gif"):
            n, w, h = ffprobe(os.path.join(self.report, name))
            self.assertEqual(n, frames, name)
            sizes.add((w, h))
        self.assertEqual(len(sizes), 1, sizes)
        w, h = sizes.pop()
        self.assertTrue(w >= 400 and h >= 300 and w % 2 == 0 and h % 2 == 0, (w, h))

    def test_the_page_loads_from_the_disk_with_every_image_and_the_video(self):
        if not os.path.exists("/usr/bin/chromium"):
            self.fail("Chromium is missing (apt-get install chromium): the page cannot be checked")
        prefix = playwright()
        script = os.path.join(SOURCE, "tests", "report", "check_page.mjs")
        shot = os.path.join(WORK, "report-screenshot.png")
        env = dict(os.environ, NODE_PATH=os.path.join(prefix, "node_modules"))
        # An ES module finds its packages from its own folder: run a copy beside them.
        local = os.path.join(prefix, "check_page.mjs")
        shutil.copy(script, local)
        r = subprocess.run(["node", local, self.page, shot], capture_output=True, text=True,
                           env=env, timeout=300)
        self.assertEqual(r.returncode, 0, r.stdout + r.stderr)
        result = json.loads(r.stdout.strip().splitlines()[-1])
        self.assertGreaterEqual(result["images"], 8)
        self.assertEqual(result["videos"], 1)
        self.assertGreater(os.path.getsize(shot), 10000)

    def test_the_reports_numbers_are_the_netcdf_files(self):
        with open(self.page) as f:
            page = f.read()
        with netCDF4.Dataset(os.path.join(self.dir, "run.nc")) as d:
            a = d["assessment"]
            cells = []
            for i in range(len(a.dimensions["station"])):
                cells += ["%.4g" % a["point_percentile"][k, i] for k in range(len(a["percentile"]))]
                cells += ["%.4g" % a["point_max"][i], "%.4g" % a["point_mean"][i]]
            areas = ["%.6g" % v for v in np.ravel(a["habitat_zone_area"][:])]
        # Every value, in the table's order.
        tables = re.findall(r"<table>.*?</table>", page, re.S)
        receptors = next(t for t in tables if "<th>p50</th>" in t)
        values = re.findall(r"<td>([^<]*)</td>", receptors)
        for v in cells:
            self.assertIn(v, values)
        habitats = next(t for t in tables if "area (ha)" in t)
        for v in areas:
            self.assertIn(v, re.findall(r"<td>([^<]*)</td>", habitats))
        self.assertNotIn("http://", page.replace("http://www.w3.org", ""))
        self.assertNotIn("https://", page)

    def test_an_assessment_without_habitats_or_without_points_works(self):
        def no_habitats(folder):
            site = os.path.join(folder, "site.toml")
            with open(site) as f:
                text = f.read()
            with open(site, "w") as f:
                f.write(re.sub(r"\nhabitats = .*\n", "\n", text))

        def no_points(folder):
            par = os.path.join(folder, "run.par")
            with open(par) as f:
                lines = f.read().split("\n")
            # Records 29-35: the concentration output and its points; 39-41 the
            # biology at points, which needs them.
            lines[28] = "0"
            del lines[29:35]
            lines[32] = "0"
            del lines[33:35]
            with open(par, "w") as f:
                f.write("\n".join(lines))
        for change, says in [(no_habitats, "No habitat layer in the assessment."),
                             (no_points, "No sampling points.")]:
            folder = tempfile.mkdtemp(prefix="vornreport-variant-")
            try:
                page = example_run(folder, change)
                with open(page) as f:
                    self.assertIn(says, f.read())
            finally:
                shutil.rmtree(folder)


if __name__ == "__main__":
    unittest.main(verbosity=2)
