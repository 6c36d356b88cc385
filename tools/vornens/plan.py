"""vornens plan: one folder per member, each with its parameter file and
links to the forcing files, checked by vorncheck.

The ensemble folder holds:
  m01/ ... mNN/    the members: run.par, links to the forcing files
  members.txt      the member folders, one a line (line N is Slurm array task N)
  members.csv      each member's varied values
  ensemble.json    the plan: base file, programs, varied values (read by run and summarise)
  ensemble.toml    a copy of the TOML file (summarise reads its thresholds)
  member.sh        runs one member: vornv7, then vorn2nc (both engines call it)
  slurm.sh         the Slurm job array script (sbatch --array=1-NN slurm.sh)
  slurm-logs/      the array tasks' logs
The folder is built under a temporary name and renamed when every member
has passed the checker, so a refused plan leaves nothing behind.
"""
import concurrent.futures
import csv
import io
import itertools
import json
import os
import tomllib
import shutil
import subprocess

from vornens import engines
from vornens.ensemble import PLAN_FILE, EnsembleError
from vornens.programs import find_programs
from vornens.records import (edited_file, file_names, is_forcing, is_output, number_text,
                             record_map, resolve_factors)

MEMBER_PAR = "run.par"


def member_values(columns, resolved):
    """Every combination of the factors' settings, the first factor slowest:
    per member, one value per column."""
    members = []
    for combo in itertools.product(*resolved):
        vals = [None] * len(columns)
        for setting in combo:
            for c, v in setting:
                vals[c] = v
        members.append(vals)
    return members


def inside(name):
    """A relative file name that stays inside the folder it is taken from."""
    n = os.path.normpath(name)
    return not os.path.isabs(name) and n != ".." and not n.startswith(".." + os.sep)


def check_outputs(names, member):
    for rec, name in names.items():
        if not inside(name):
            raise EnsembleError("%s: record %s names %s, which lies outside the member's folder; "
                                "every member would write the same file. Give the base file "
                                "plain output names." % (member, rec, name))


def link_forcing(folder, ensemble_dir, base_dir, names):
    """Links in a member's folder to the forcing files its records name,
    under the same relative names (absolute names need none). A name that
    leads up out of the member folder gets its link there, shared by the
    members, as long as it stays inside the ensemble folder."""
    for rec, name in names.items():
        if os.path.isabs(name):
            continue
        where = os.path.normpath(os.path.join(folder, name))
        if os.path.commonpath([where, ensemble_dir]) != ensemble_dir or where == ensemble_dir:
            raise EnsembleError("record %s names %s, which leads out of the ensemble folder; give "
                                "it as an absolute name in the base file" % (rec, name))
        if os.path.lexists(where):
            continue
        os.makedirs(os.path.dirname(where), exist_ok=True)
        os.symlink(os.path.realpath(os.path.join(base_dir, name)), where)


def site_files(base_dir):
    """The site file beside the base parameter file, and the layer files it
    names, as {what: name relative to the base's folder}; empty without one.
    Each member gets links to them, so that its conversion places it on
    Earth and assesses it as a single run would."""
    path = os.path.join(base_dir, "site.toml")
    if not os.path.isfile(path):
        return {}
    try:
        with open(path, "rb") as f:
            site = tomllib.load(f)
    except (OSError, tomllib.TOMLDecodeError) as e:
        raise EnsembleError("%s: %s" % (path, e)) from None
    files = {"site": "site.toml"}
    for layer in site.get("layers", []) if isinstance(site.get("layers"), list) else []:
        if isinstance(layer, dict) and isinstance(layer.get("file"), str):
            files["site layer %s" % layer.get("name", "?")] = layer["file"]
    return files


def check_member(vorncheck, folder):
    r = subprocess.run([vorncheck, MEMBER_PAR], cwd=folder, capture_output=True, text=True)
    return r.returncode, (r.stdout + r.stderr).rstrip()


def describe(ens, columns, resolved):
    parts = []
    for f, settings in zip(ens.factors, resolved):
        if f.keys == ["seeds"]:
            parts.append("%d seed pairs" % len(settings))
        else:
            parts.append("%d value%s of %s" % (len(settings), "" if len(settings) == 1 else "s",
                                               " and ".join(f.keys)))
    return " x ".join(parts)


def plan(ens, programs=None, force=False, say=print):
    """Plans the ensemble `ens` (ensemble.read_ensemble); returns the
    number of members. Raises EnsembleError when it refuses."""
    progs = find_programs(programs or ens.programs)
    if not os.path.isfile(ens.base):
        raise EnsembleError("%s: no such parameter file (base in %s)" % (ens.base, ens.path))
    rmap = record_map(progs["vorncheck"], ens.base)
    columns, resolved = resolve_factors(rmap, ens.factors)
    members = member_values(columns, resolved)
    width = max(2, len(str(len(members))))
    names = ["m%0*d" % (width, k + 1) for k in range(len(members))]

    final = ens.folder
    # Paths go into member.sh and slurm.sh, quoted: a control character (a
    # newline above all) would still end a comment line and start a live one.
    for what, path in [("the ensemble folder", final)] + [
            ("the program " + k, v) for k, v in sorted(progs.items())]:
        bad = [c for c in path if ord(c) < 32 or ord(c) == 127]
        if bad:
            raise EnsembleError("%s %r holds a control character (%r); choose a name without "
                                "one" % (what, path, bad[0]))
    if os.path.lexists(final):
        if not force:
            raise EnsembleError("%s exists; give --force to plan it again (its members and "
                                "results are removed)" % final)
        if not os.path.isfile(os.path.join(final, PLAN_FILE)):
            raise EnsembleError("%s exists and is not an ensemble folder; not removed" % final)
    tmp = final + ".planning"
    if os.path.lexists(tmp):
        shutil.rmtree(tmp)
    try:
        write_plan(ens, progs, rmap, columns, members, names, tmp, final)
        say("vornens: %d members (%s) in %s; checking them with vorncheck"
            % (len(members), describe(ens, columns, resolved), final))
        check_all(progs["vorncheck"], tmp, names, columns, members, say)
        if os.path.lexists(final):
            shutil.rmtree(final)
        os.rename(tmp, final)
    finally:
        if os.path.lexists(tmp):
            shutil.rmtree(tmp)
    say("vornens: planned; run the members with\n  vornens run %s --engine parallel" % final)
    return len(members)


def write_plan(ens, progs, rmap, columns, members, names, tmp, final):
    base_dir = os.path.dirname(ens.base)
    with open(ens.base, "rb") as f:
        data = f.read()
    os.makedirs(os.path.join(tmp, "slurm-logs"))
    for name, vals in zip(names, members):
        changes = {}
        for col, v in zip(columns, vals):
            changes.setdefault(col.record, list(rmap.records[col.record].values))[col.index] = v
        texts = {r: v[0] for r, v in changes.items() if len(v) == 1 and isinstance(v[0], str)}
        folder = os.path.join(tmp, name)
        os.makedirs(folder)
        with open(os.path.join(folder, MEMBER_PAR), "wb") as f:
            f.write(edited_file(data, rmap, changes))
        outputs = file_names(rmap, is_output, {r: [t] for r, t in texts.items()})
        check_outputs(outputs, name)
        for out in outputs.values():
            os.makedirs(os.path.dirname(os.path.join(folder, out)), exist_ok=True)
        link_forcing(folder, tmp, base_dir, file_names(rmap, is_forcing,
                                                       {r: [t] for r, t in texts.items()}))
        link_forcing(folder, tmp, base_dir, site_files(base_dir))

    with open(os.path.join(tmp, "members.txt"), "w") as f:
        f.write("".join(n + "\n" for n in names))
    buf = io.StringIO()
    w = csv.writer(buf, lineterminator="\n")
    w.writerow(["member", "folder"] + [c.name for c in columns])
    for k, (name, vals) in enumerate(zip(names, members), 1):
        w.writerow([k, name] + [v if isinstance(v, str) else number_text(v) for v in vals])
    with open(os.path.join(tmp, "members.csv"), "w") as f:
        f.write(buf.getvalue())
    with open(ens.path, "rb") as f:
        toml = f.read()
    with open(os.path.join(tmp, "ensemble.toml"), "wb") as f:
        f.write(b"# Copied by vornens plan from " + os.fsencode(ens.path) + b"; vornens summarise"
                b" reads the thresholds of [summary] here.\n" + toml)
    doc = {
        "base": ens.base,
        "programs": progs,
        "columns": [{"name": c.name, "record": c.record,
                     "field": rmap.records[c.record].fields[c.index]} for c in columns],
        "members": [{"folder": n, "values": v} for n, v in zip(names, members)],
    }
    with open(os.path.join(tmp, PLAN_FILE), "w") as f:
        json.dump(doc, f, indent=1)
        f.write("\n")
    engines.write_scripts(final, tmp, progs, len(names))


def check_all(vorncheck, tmp, names, columns, members, say):
    """vorncheck on every member; refuses the plan when any has an error
    (status 1), shows the warnings of the first member that has any."""
    folders = [os.path.join(tmp, n) for n in names]
    with concurrent.futures.ThreadPoolExecutor(max_workers=min(4, os.cpu_count() or 1)) as pool:
        results = list(pool.map(lambda d: check_member(vorncheck, d), folders))
    bad = [(n, v, text) for n, v, (s, text) in zip(names, members, results) if s not in (0, 2)]
    warned = [(n, text) for n, (s, text) in zip(names, results) if s == 2]
    if bad:
        lines = ["vorncheck finds errors in %d of %d members; the plan is refused."
                 % (len(bad), len(names))]
        for n, v, text in bad[:3]:
            lines.append("%s (%s):" % (n, ", ".join("%s=%s" % (c.name, x)
                                                    for c, x in zip(columns, v))))
            lines.extend("  " + t for t in text.splitlines())
        if len(bad) > 3:
            lines.append("and %s" % " ".join(n for n, _, _ in bad[3:]))
        raise EnsembleError("\n".join(lines))
    if warned:
        say("vornens: vorncheck warns on %d of %d members; on %s:" % (len(warned), len(names),
                                                                      warned[0][0]))
        for t in warned[0][1].splitlines():
            say("  " + t)
    else:
        say("vornens: vorncheck finds nothing to report in the %d members" % len(names))
