"""The ensemble file (TOML): which parameter file the members start from,
what varies between them, and the thresholds of the summary.

    base = "../examples/aldmouth-bank/run.par"
    folder = "aldmouth-ens"          # optional
    [seeds]
    count = 20                       # or pairs = [[20260601, 31415926], ...]
    [vary]
    "settling.iniwstar" = [0.0005, 0.0015, 0.003]
    "time_steps.dtms" = { from = 1.0, to = 3.0, step = 0.5 }
    [[together]]
    "settling.iniwstar" = [0.001, 0.002]
    "settling.bigwstar" = [0.001, 0.002]
    [summary]
    thresholds = [0.05, 0.2]

Every key of [vary], and every [[together]] table, is one factor; the
seeds are one more; the members are every combination of the factors (the
first factor varies slowest, the seeds fastest). Names are those of the
checker's record map; which names exist is known only once the map is read
(records.py), so this module keeps the keys as written.
"""
import decimal
import json
import math
import os
import random
import tomllib
from dataclasses import dataclass, field

SEED1_MAX = 2147483562  # the two components of the generator take seeds below their moduli
SEED2_MAX = 2147483398
MAX_MEMBERS = 100000


class EnsembleError(Exception):
    """A fault in what the user gave (the TOML file, the ensemble folder,
    a member), with the message to print; `status` is the exit status: 1
    for a fault of the ensemble, 2 for a tool or engine that is missing or
    refuses."""

    def __init__(self, message, status=1):
        super().__init__(message)
        self.status = status


@dataclass
class Factor:
    """One factor of the product: one or more keys whose value lists have
    the same length and go together (a [vary] key alone, a [[together]]
    table, or the seeds)."""
    keys: list                                  # names as written ("settling.iniwstar", "seeds")
    settings: list = field(default_factory=list)  # per setting, one value per key


@dataclass
class Ensemble:
    path: str          # the TOML file, absolute
    base: str          # the base parameter file, absolute
    folder: str        # the ensemble folder, absolute
    programs: str      # folder of vornv7, vorn2nc and vorncheck, or None
    factors: list
    thresholds: list   # g/m3, ascending


def _is_number(v):
    return isinstance(v, (int, float)) and not isinstance(v, bool)


def _decimal(v):
    return decimal.Decimal(repr(v)) if isinstance(v, float) else decimal.Decimal(v)


def expand_range(key, bounds):
    """The values of a range table: {from, to, step} (to included when the
    steps land on it) or {from, to, count} (evenly spaced, both ends
    included). Computed in decimal from the numbers as written, so 0.1 +
    2 * 0.1 is 0.3, not 0.30000000000000004."""
    kinds = ({"from", "to", "step"}, {"from", "to", "count"})
    if set(bounds) not in kinds:
        raise EnsembleError("%s: a range is { from, to, step } or { from, to, count }, not { %s }"
                            % (key, ", ".join(sorted(bounds))))
    a, b = bounds["from"], bounds["to"]
    if not (_is_number(a) and _is_number(b)) or not all(math.isfinite(x) for x in (a, b)):
        raise EnsembleError("%s: from and to of a range must be numbers" % key)
    whole = isinstance(a, int) and isinstance(b, int)
    if "step" in bounds:
        s = bounds["step"]
        if not _is_number(s) or not math.isfinite(s) or s == 0:
            raise EnsembleError("%s: the step of a range must be a number other than 0" % key)
        da, db, ds = _decimal(a), _decimal(b), _decimal(s)
        n = (db - da) / ds
        if n < 0:
            raise EnsembleError("%s: a step of %s never goes from %s to %s" % (key, s, a, b))
        n = int(n.to_integral_value(rounding=decimal.ROUND_FLOOR))
        if n + 1 > MAX_MEMBERS:
            raise EnsembleError("%s: the range has more than %d values" % (key, MAX_MEMBERS))
        if whole and isinstance(s, int):
            return [a + k * s for k in range(n + 1)]
        return [float(da + k * ds) for k in range(n + 1)]
    count = bounds["count"]
    if not isinstance(count, int) or isinstance(count, bool) or count < 1 or count > MAX_MEMBERS:
        raise EnsembleError("%s: the count of a range must be a whole number from 1 to %d"
                            % (key, MAX_MEMBERS))
    if count == 1:
        if a != b:
            raise EnsembleError("%s: a range of one value must have from = to" % key)
        return [a]
    with decimal.localcontext() as ctx:
        ctx.prec = 40
        da, db = _decimal(a), _decimal(b)
        values = [float(da + (db - da) * k / (count - 1)) for k in range(count)]
    if whole and all(v == int(v) for v in values):
        return [int(v) for v in values]
    return values


def value_list(key, raw):
    """The settings of one key: a list as written, a range table expanded,
    or one value (the same for every member)."""
    if isinstance(raw, dict):
        return expand_range(key, raw)
    if isinstance(raw, list):
        if not raw:
            raise EnsembleError("%s: an empty list of values" % key)
        return raw
    return [raw]


def draw_seed_pairs(count, draw):
    """`count` distinct pairs of 8- or 9-digit seeds, drawn by Python's
    random generator seeded with `draw`: the same numbers give the same
    pairs on every machine."""
    rng = random.Random(draw)
    pairs, seen = [], set()
    while len(pairs) < count:
        p = (rng.randrange(10_000_000, 1_000_000_000), rng.randrange(10_000_000, 1_000_000_000))
        if p not in seen:
            seen.add(p)
            pairs.append(list(p))
    return pairs


def seed_factor(table):
    allowed = {"count", "draw", "pairs"}
    extra = set(table) - allowed
    if extra:
        raise EnsembleError("[seeds]: unknown key %s (the keys are count, draw, pairs)"
                            % ", ".join(sorted(extra)))
    if "pairs" in table:
        if "count" in table or "draw" in table:
            raise EnsembleError("[seeds]: give either pairs, or count (and draw), not both")
        pairs = table["pairs"]
        if not isinstance(pairs, list) or not pairs:
            raise EnsembleError("[seeds]: pairs must be a list of [seed1, seed2] pairs")
        for p in pairs:
            if (not isinstance(p, list) or len(p) != 2
                    or not all(isinstance(s, int) and not isinstance(s, bool) for s in p)):
                raise EnsembleError("[seeds]: %r is not a pair of whole numbers" % (p,))
            if not (1 <= p[0] <= SEED1_MAX and 1 <= p[1] <= SEED2_MAX):
                raise EnsembleError("[seeds]: the pair %r is out of range (seed1 1..%d, "
                                    "seed2 1..%d)" % (p, SEED1_MAX, SEED2_MAX))
        if len({tuple(p) for p in pairs}) != len(pairs):
            raise EnsembleError("[seeds]: a pair is given twice")
        return Factor(["seeds"], [[p] for p in pairs])
    count, draw = table.get("count"), table.get("draw", 1)
    if not isinstance(count, int) or isinstance(count, bool) or not 1 <= count <= MAX_MEMBERS:
        raise EnsembleError("[seeds]: count must be a whole number from 1 to %d" % MAX_MEMBERS)
    if not isinstance(draw, int) or isinstance(draw, bool):
        raise EnsembleError("[seeds]: draw must be a whole number")
    return Factor(["seeds"], [[p] for p in draw_seed_pairs(count, draw)])


def together_factor(n, table):
    if not isinstance(table, dict) or not table:
        raise EnsembleError("[[together]] table %d: give two or more keys with lists of values" % n)
    keys = list(table)
    lists = [value_list(k, table[k]) for k in keys]
    if len({len(v) for v in lists}) != 1:
        raise EnsembleError("[[together]] table %d: the lists have different lengths (%s)"
                            % (n, ", ".join("%s: %d" % (k, len(v)) for k, v in zip(keys, lists))))
    return Factor(keys, [list(s) for s in zip(*lists)])


def read_ensemble(path, folder=None):
    """Reads and checks the TOML file; `folder` (from the command line)
    overrides its folder key. Paths in the file are relative to the file."""
    path = os.path.abspath(path)
    try:
        with open(path, "rb") as f:
            doc = tomllib.load(f)
    except OSError as e:
        raise EnsembleError("%s: %s" % (path, e.strerror)) from None
    except tomllib.TOMLDecodeError as e:
        raise EnsembleError("%s: %s" % (path, e)) from None
    here = os.path.dirname(path)
    known = {"base", "folder", "programs", "seeds", "vary", "together", "summary"}
    extra = set(doc) - known
    if extra:
        raise EnsembleError("%s: unknown key %s (the keys are %s)"
                            % (path, ", ".join(sorted(extra)), ", ".join(sorted(known))))
    if not isinstance(doc.get("base"), str):
        raise EnsembleError("%s: base must name the parameter file the members start from" % path)
    base = os.path.normpath(os.path.join(here, doc["base"]))
    if folder is None:
        folder = doc.get("folder", os.path.splitext(os.path.basename(path))[0])
        if not isinstance(folder, str) or not folder:
            raise EnsembleError("%s: folder must be a folder name" % path)
        folder = os.path.join(here, folder)
    programs = doc.get("programs")
    if programs is not None:
        if not isinstance(programs, str):
            raise EnsembleError("%s: programs must name the folder of vornv7 and vorn2nc" % path)
        programs = os.path.normpath(os.path.join(here, programs))

    factors = []
    vary = doc.get("vary", {})
    if not isinstance(vary, dict):
        raise EnsembleError("%s: [vary] must be a table of names and values" % path)
    for key, raw in vary.items():
        factors.append(Factor([key], [[v] for v in value_list(key, raw)]))
    together = doc.get("together", [])
    if not isinstance(together, list):
        raise EnsembleError("%s: together must be written [[together]] (a list of tables)" % path)
    for n, table in enumerate(together, 1):
        factors.append(together_factor(n, table))
    if "seeds" in doc:
        if not isinstance(doc["seeds"], dict):
            raise EnsembleError("%s: [seeds] must be a table" % path)
        factors.append(seed_factor(doc["seeds"]))
    if not factors:
        raise EnsembleError("%s: nothing varies: give [seeds] or [vary]" % path)
    size = math.prod(len(f.settings) for f in factors)
    if size > MAX_MEMBERS:
        raise EnsembleError("%s: %d members; at most %d" % (path, size, MAX_MEMBERS))

    summary = doc.get("summary", {})
    if not isinstance(summary, dict) or set(summary) - {"thresholds"}:
        raise EnsembleError("%s: [summary] holds thresholds only" % path)
    thresholds = summary.get("thresholds")
    if (not isinstance(thresholds, list) or not thresholds
            or not all(_is_number(t) and math.isfinite(t) and t >= 0 for t in thresholds)):
        raise EnsembleError("%s: [summary] thresholds must list the concentrations (g/m3, 0 or "
                            "more) whose exceedance the summary counts" % path)
    thresholds = sorted(float(t) for t in thresholds)
    if len(set(thresholds)) != len(thresholds):
        raise EnsembleError("%s: a threshold is given twice" % path)
    return Ensemble(path, base, os.path.abspath(folder), programs, factors, thresholds)


# ---------------------------------------------------------------------------
# A planned ensemble, as its folder holds it (ensemble.json, written by plan)

PLAN_FILE = "ensemble.json"


@dataclass
class Member:
    number: int    # from 1: the line of members.txt, the Slurm array task
    folder: str    # its folder's name (m01)
    path: str      # its folder, absolute
    values: list   # one per column


@dataclass
class Planned:
    folder: str
    base: str
    programs: dict
    columns: list  # {"name", "record", "field"} per varied value
    members: list

    @property
    def column_names(self):
        return [c["name"] for c in self.columns]


def load_planned(folder):
    folder = os.path.abspath(folder)
    try:
        with open(os.path.join(folder, PLAN_FILE)) as f:
            doc = json.load(f)
        members = [Member(k, m["folder"], os.path.join(folder, m["folder"]), m["values"])
                   for k, m in enumerate(doc["members"], 1)]
        return Planned(folder, doc["base"], doc["programs"], doc["columns"], members)
    except OSError as e:
        raise EnsembleError("%s is not a planned ensemble (%s: %s); plan it with vornens plan"
                            % (folder, PLAN_FILE, e.strerror)) from None
    except (ValueError, KeyError, TypeError) as e:
        raise EnsembleError("%s: %s is damaged (%s)" % (folder, PLAN_FILE, e)) from None
