#!/usr/bin/python3
"""Seed corpora for the fuzz targets, made from the bundled example and the
test data: make_seeds.py OUTDIR writes OUTDIR/listread, OUTDIR/layout and
OUTDIR/startup (the input formats are described in fuzz/*_target.cpp)."""
import hashlib
import pathlib
import struct
import sys

ROOT = pathlib.Path(__file__).resolve().parent.parent
EXAMPLE = ROOT / "examples" / "aldmouth-bank"
DATA = ROOT / "tests" / "data"

KIND = {"i4": 0, "r4": 1, "r8": 2}


def save(folder, blob):
    folder.mkdir(parents=True, exist_ok=True)
    (folder / hashlib.sha1(blob).hexdigest()).write_bytes(blob)


def unescape(s):
    return s.replace("\\n", "\n").replace("\\t", "\t").replace("\\r", "\r").encode("latin-1")


def rows(tsv):
    lines = tsv.read_text(encoding="latin-1").splitlines()
    for line in lines[1:]:
        yield line.split("\t")


def listread(out):
    # The read rules of the test vectors: records and the variables read.
    for cols in rows(DATA / "list-read-vectors.tsv"):
        kinds = cols[1].split()[:8]
        head = bytes([len(kinds) - 1]) + bytes(KIND.get(k, 3 + 4 * 39) for k in kinds)
        save(out, head + unescape(cols[0]))
    # The example's files read as the program reads them.
    for f in sorted(EXAMPLE.iterdir()):
        if f.suffix in (".dat", ".par"):
            save(out, bytes([2, 1, 1, 3 + 4 * 63]) + f.read_bytes()[:4000])


def layout(out):
    # A few rows of every layout of the test vectors: the layout, then the
    # values as the target takes them.
    per_layout = {}
    for cols in rows(DATA / "layout-vectors.tsv"):
        text, kinds, values = cols[0], cols[1].split(), cols[2].split()
        if per_layout.get(text, 0) >= 12 or len(kinds) != len(values):
            continue
        per_layout[text] = per_layout.get(text, 0) + 1
        blob = text.encode() + b"\n"
        for k, v in zip(kinds, values):
            if k == "i4":
                blob += struct.pack("<i", int(v))
            elif k == "r4":
                blob += b"\x00" + struct.pack("<I", int(v, 16))
            elif k == "r8":
                blob += b"\x01" + struct.pack("<Q", int(v, 16))
            else:
                t = v[2:].encode() if v.startswith("s:") else v.encode()
                blob += bytes([len(t)]) + t
        save(out, blob)
    for text in ["2(I3,/),A", "1X,(2X,I2)", "/,1X,(/,2X,I2)", "E12.4,3(1X,F6.2),A5"]:
        save(out, text.encode() + b"\n" + bytes(range(64)))


def site(files):
    """One start-up input: run.par first, then the other files."""
    blob = files["run.par"]
    for name, data in files.items():
        if name != "run.par":
            blob += b"\n@@@ " + name.encode() + b"\n" + data
    return blob


def startup(out):
    example = {f.name: f.read_bytes() for f in sorted(EXAMPLE.iterdir())
               if f.suffix in (".dat", ".par")}
    save(out, site(example))
    # The small site of the tests: a log layer of three nodes, one current
    # meter, rows every 3 hours; steady release; no outputs, then every output.
    vel = b"XXXX\ncurrent meter at 1 m\nsynthetic\n1998\n3\n" + b"".join(
        b"%r 0.2 0.1\n" % (k * 0.125) for k in range(25))
    small = {
        "lognodes.dat": b"log layer\nXXXX\n3\n0.05 0.2 1.0\n",
        "intnodes.dat": b"current meters\nXXXX\n1\n0.0\n",
        "vel1.dat": vel,
    }
    params = (b"vorn.log\n1234567 7654321\n2 0\n1\n0.5 1\n2\n1\n0.0001\n0.001 0.001 0.001 0\n"
              b"0.4 0.05\n0\n1\n1000 100 1 0\nlognodes.dat\nintnodes.dat\nvel1.dat\n")
    save(out, site({"run.par": params + b"0\n0\n0\n0\n0\n0\n0\n0\n", **small}))
    outputs = (b"1\nsed.out\n1\nvel.out\n1\nstats.out\n0.05 1.0 1000\n1\npack.out\n"
               b"1\nconc.out\n2\n0 0 100 0.05 1.0\n10 10 50 0.1 0.5\n"
               b"1\nmap.out\n5 -100 100 5 -100 100 0.05 1.0\n"
               b"1\nbio.out\n0 1e-5\n1\nbiomap.out\n0 1e-5\n")
    save(out, site({"run.par": params + outputs, **small}))
    # A stress series (nfricp 0) and a discharge release (btype 0).
    stress = b"XXXX\nstress\nu*cw\n1998\n2\n" + b"".join(
        b"%r 0.01\n" % (k * 0.125) for k in range(25))
    dis = b"XXXX\n10.0\nreleases\n1998\n2\n0.0 5\n0.125 5\n0.25 5\n"
    params0 = (b"vorn.log\n1234567 7654321\n2 0\n1\n0.5 1\n2\n0\nstress.dat\n"
               b"0.001 0.001 0.001 0\n0.4 0.05\n0\n0\nrel.dis\nlognodes.dat\nintnodes.dat\n"
               b"vel1.dat\n0\n0\n0\n0\n0\n0\n0\n0\n")
    save(out, site({"run.par": params0, "stress.dat": stress, "rel.dis": dis, **small}))


def main():
    out = pathlib.Path(sys.argv[1])
    listread(out / "listread")
    layout(out / "layout")
    startup(out / "startup")


if __name__ == "__main__":
    main()
