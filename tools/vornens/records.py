"""The checker's record map of a parameter file, and a member's parameter
file made from the base by it.

`vorncheck --records RUN.PAR` walks the parameter file with the program's
own reader and prints, for every record, its name, the lines it was read
from and the values read. A member's file is the base file with the lines
of each varied record replaced by one line of the new values; every other
line stays byte for byte. Nothing here reads a parameter file itself.
"""
import json
import math
import os
import subprocess
from dataclasses import dataclass

from vornens.ensemble import EnsembleError

# Records that name forcing files read by the run (the member folders link
# to them) and records that name the files a run writes (which must stay
# inside the member's folder).
FORCING_RECORDS = ("friction", "release", "log_nodes_file", "interior_nodes_file")
FORCING_PREFIX = "velocity_file."
OUTPUT_RECORDS = ("log_file",)
OUTPUT_SUFFIX = ".file"


@dataclass
class Record:
    name: str
    file: str
    line: int        # first line, from 1
    last_line: int   # last line the read consumed
    fields: list     # the program's names of the values, in order
    values: list     # numbers, texts, or None for a value the read left unchanged


@dataclass
class RecordMap:
    parameter_file: str   # as given to the checker
    records: dict         # name -> Record, in the order of the file


def parse_record_map(text, where):
    """The JSON of `vorncheck --records`, checked for the shape it promises."""
    try:
        doc = json.loads(text)
    except ValueError as e:
        raise EnsembleError("%s: the record map is not JSON (%s)" % (where, e)) from None
    if not isinstance(doc, dict) or not isinstance(doc.get("records"), list):
        raise EnsembleError("%s: the record map has no list of records" % where)
    records = {}
    for r in doc["records"]:
        try:
            rec = Record(r["name"], r["file"], r["line"], r["last_line"], r["fields"], r["values"])
        except (KeyError, TypeError):
            raise EnsembleError("%s: a record of the map lacks name, file, line, last_line, "
                                "fields or values: %r" % (where, r)) from None
        if (not isinstance(rec.line, int) or not isinstance(rec.last_line, int)
                or not 1 <= rec.line <= rec.last_line or not isinstance(rec.fields, list)
                or not isinstance(rec.values, list) or len(rec.fields) != len(rec.values)):
            raise EnsembleError("%s: record %s of the map is malformed" % (where, rec.name))
        if rec.name in records:
            raise EnsembleError("%s: record %s appears twice in the map" % (where, rec.name))
        records[rec.name] = rec
    return RecordMap(doc.get("parameter_file", where), records)


def record_map(vorncheck, parfile):
    """Runs the checker's record walk on `parfile` in its own folder (where
    the run would be made, so that it finds the files the records name)."""
    folder, name = os.path.split(os.path.abspath(parfile))
    try:
        r = subprocess.run([vorncheck, "--records", name], cwd=folder, capture_output=True,
                           text=True)
    except OSError as e:
        raise EnsembleError("%s: %s" % (vorncheck, e.strerror)) from None
    try:
        return parse_record_map(r.stdout, parfile)
    except EnsembleError:
        raise EnsembleError("%s --records %s ended with status %d without a record map:\n%s"
                            % (vorncheck, parfile, r.returncode,
                               (r.stderr or r.stdout).rstrip())) from None


def is_forcing(name):
    return name in FORCING_RECORDS or name.startswith(FORCING_PREFIX)


def is_output(name):
    return name in OUTPUT_RECORDS or name.endswith(OUTPUT_SUFFIX)


def file_names(rmap, which, changes=None):
    """The file names of the records `which` selects, with a member's
    changes: {record name: text}. Numeric records (a drag law's coefficients,
    a steady release) name no file."""
    out = {}
    for rec in rmap.records.values():
        if not which(rec.name):
            continue
        values = (changes or {}).get(rec.name, rec.values)
        if len(values) == 1 and isinstance(values[0], str):
            out[rec.name] = values[0]
    return out


# ---------------------------------------------------------------------------
# The names of the TOML file against the map


def resolve_key(rmap, key):
    """A key of the TOML file as (record, field indices): a record's name
    for the whole record, or record.field for one value. Record names may
    hold dots themselves (velocity_file.1, map.grid), so a whole name is
    tried first."""
    if key in rmap.records:
        return rmap.records[key], list(range(len(rmap.records[key].fields)))
    rec_name, _, fld = key.rpartition(".")
    rec = rmap.records.get(rec_name)
    if rec is None:
        raise EnsembleError("%s: no record of that name in %s (its records: %s)"
                            % (key, rmap.parameter_file, ", ".join(rmap.records)))
    if fld not in rec.fields:
        raise EnsembleError("%s: record %s has no value %s (its values: %s)"
                            % (key, rec_name, fld, ", ".join(rec.fields)))
    return rec, [rec.fields.index(fld)]


def check_value(key, base, v):
    """A new value fits the value it replaces: a number for a number, a
    one-line text for a text. (The map writes a real of whole value as a
    whole number, so whether a field takes whole numbers only is left to
    the checker's reading of the member.)"""
    if isinstance(base, str) or isinstance(v, str):
        if not (isinstance(base, str) and isinstance(v, str)):
            raise EnsembleError("%s: %r where the record holds %r" % (key, v, base))
        if "\n" in v or "\r" in v or not v.strip():
            raise EnsembleError("%s: a text value must be one non-empty line" % key)
        return
    if isinstance(v, bool) or not isinstance(v, (int, float)):
        raise EnsembleError("%s: %r is not a number" % (key, v))
    if isinstance(v, float) and not math.isfinite(v):
        raise EnsembleError("%s: %r is not a finite number" % (key, v))


@dataclass
class Column:
    """One varied value: its record and field, named record.field."""
    record: str
    index: int
    name: str


def resolve_factors(rmap, factors):
    """The factors' keys checked against the map: every key names a record
    or a value of one, every value fits, no value varies twice. Returns the
    columns (one per varied value) and, per factor, its settings as lists
    of (column number, value)."""
    columns, where, resolved = [], {}, []
    for factor in factors:
        key_cols = []
        for key in factor.keys:
            rec, idx = resolve_key(rmap, key)
            if rec.file != rmap.parameter_file:
                raise EnsembleError("%s: record %s is read from %s, not from the parameter file"
                                    % (key, rec.name, rec.file))
            if any(isinstance(v, str) for v in rec.values) and len(rec.values) > 1:
                raise EnsembleError("%s: record %s mixes texts and numbers; it cannot be varied"
                                    % (key, rec.name))
            cols = []
            for i in idx:
                c = (rec.name, i)
                if c in where:
                    raise EnsembleError("%s: %s.%s varies in two places" % (key, rec.name,
                                                                           rec.fields[i]))
                where[c] = len(columns)
                columns.append(Column(rec.name, i, "%s.%s" % (rec.name, rec.fields[i])))
                cols.append(where[c])
            key_cols.append((key, rec, idx, cols))
        settings = []
        for setting in factor.settings:
            out = []
            for (key, rec, idx, cols), v in zip(key_cols, setting):
                if len(idx) == 1:
                    if isinstance(v, list) and len(v) == 1:
                        v = v[0]
                    vals = [v]
                elif isinstance(v, list) and len(v) == len(idx):
                    vals = v
                else:
                    raise EnsembleError("%s: each setting of the whole record is a list of its %d "
                                        "values (%s); got %r" % (key, len(idx),
                                                                 ", ".join(rec.fields), v))
                for i, c, x in zip(idx, cols, vals):
                    check_value(columns[c].name, rec.values[i], x)
                    out.append((c, x))
            settings.append(out)
        resolved.append(settings)
    return columns, resolved


# ---------------------------------------------------------------------------
# A member's parameter file


def number_text(v):
    """A value as the free-format reader reads it back exactly: whole
    numbers as they are, and reals of whole value too (an integer field
    and a real field both read 400; only a real field reads 400.0); other
    reals by the shortest text that gives the same double (a single-
    precision value given as a double rounds back to itself)."""
    if isinstance(v, bool):
        raise ValueError("a truth value is not a number")
    if isinstance(v, int):
        return str(v)
    if not math.isfinite(v):
        raise ValueError("%r is not a finite number" % v)
    negative_zero = v == 0 and math.copysign(1.0, v) < 0
    if v == int(v) and abs(v) < 1e15 and not negative_zero:
        return str(int(v))
    return repr(float(v))


def record_line(values):
    """One line holding a record's values in free format. A text record is
    its text. A value the base's read left unchanged stays unchanged: an
    empty place between commas, or a slash that ends the read before the
    trailing ones."""
    if len(values) == 1 and isinstance(values[0], str):
        return values[0]
    tokens = [None if v is None else number_text(v) for v in values]
    trailing = False
    while tokens and tokens[-1] is None:
        tokens.pop()
        trailing = True
    if any(t is None for t in tokens):
        text = ",".join(t or "" for t in tokens)
    else:
        text = " ".join(tokens)
    if trailing:
        text = (text + " /").lstrip()
    return text


def split_lines(data):
    """The lines of a file with their line ends (LF or CR LF); a last line
    without one is a line too."""
    parts = data.split(b"\n")
    lines = [p + b"\n" for p in parts[:-1]]
    if parts[-1]:
        lines.append(parts[-1])
    return lines


def edited_file(data, rmap, changes):
    """The base file `data` (bytes) with the records of `changes` ({record
    name: full list of values}) each replaced by one line; the new line
    ends as the record's last line did. Every other line is kept as it is."""
    lines = split_lines(data)
    spans = sorted(((rmap.records[name], values) for name, values in changes.items()),
                   key=lambda rv: rv[0].line)
    for (a, _), (b, _) in zip(spans, spans[1:]):
        if b.line <= a.last_line:
            raise EnsembleError("records %s and %s share line %d of %s"
                                % (a.name, b.name, b.line, rmap.parameter_file))
    for rec, values in reversed(spans):
        if rec.last_line > len(lines):
            raise EnsembleError("record %s ends on line %d, but %s has %d lines"
                                % (rec.name, rec.last_line, rmap.parameter_file, len(lines)))
        last = lines[rec.last_line - 1]
        end = b"\r\n" if last.endswith(b"\r\n") else b"\n" if last.endswith(b"\n") else b""
        lines[rec.line - 1:rec.last_line] = [os.fsencode(record_line(values)) + end]
    return b"".join(lines)
