"""vornens run: the members on GNU parallel or as a Slurm job array.

Both engines call member.sh with a member's folder name. It runs vornv7 in
the folder (console to screen.txt, standard error to stderr.txt), then
vorn2nc (its messages to convert.txt), and leaves a file `status`: the exit
status and the step that ended the member ("0 done", "137 vornv7",
"1 vorn2nc"). While it runs, the file `running` is there.

GNU parallel keeps a job log (parallel.joblog); --resume reruns the jobs
that did not end with status 0 and those that never ran (parallel's own
--resume-failed). On Slurm, --resume submits an array of the members whose
status is not "0 done" (failed, or never finished); the job ids submitted
are kept in slurm.jobs, and a resume waits for none of them but refuses
while any of them still has members queued or running.
"""
import fcntl
import os
import shlex
import shutil
import signal
import subprocess
import sys
import time

from vornens.ensemble import EnsembleError

MEMBER_SCRIPT = "member.sh"
SLURM_SCRIPT = "slurm.sh"
JOBLOG = "parallel.joblog"
SLURM_JOBS = "slurm.jobs"
TAIL_LINES = 5


def job_name(final):
    """The Slurm job name of an ensemble: its folder's name, with every
    character other than letters, digits, '.', '_' and '-' made '_' (it
    stands on an #SBATCH line, which no quoting protects)."""
    base = "".join(c if c.isascii() and (c.isalnum() or c in "._-") else "_"
                   for c in os.path.basename(final))
    return "vornens-" + base


def slurm_output(final):
    """The per-task log files of the job array (given to sbatch as an
    argument, never written on an #SBATCH line)."""
    return os.path.join(final, "slurm-logs", "%a.%A.out")


def write_scripts(final, folder, programs, count):
    """member.sh and slurm.sh of an ensemble planned into `folder`, to be
    renamed `final` (the scripts name the final folder)."""
    q = shlex.quote
    member = """#!/bin/sh
# Runs one member of the ensemble %(final)s in its folder:
# vornv7, then vorn2nc. Writes the file status: "0 done", or the exit status
# and the program that ended the member ("137 vornv7", "1 vorn2nc").
#   member.sh FOLDER
cd %(final)s/"$1" || exit 2
rm -f status run.nc
: > running
# The pid file names the run's process (the shell becomes vornv7).
sh -c 'echo $$ > vornv7.pid; exec "$0" --threads 1 run.par screen.txt' %(vornv7)s 2> stderr.txt
s=$?
step=vornv7
if [ "$s" -eq 0 ]; then
  %(vorn2nc)s . -o run.nc > convert.txt 2>&1
  s=$?
  step=vorn2nc
fi
if [ "$s" -eq 0 ]; then step=done; fi
echo "$s $step" > status.tmp && mv status.tmp status
rm -f running
exit "$s"
""" % {"final": q(final), "vornv7": q(programs["vornv7"]), "vorn2nc": q(programs["vorn2nc"])}
    slurm = """#!/bin/sh
#SBATCH --job-name=%(name)s
#SBATCH --ntasks=1
#SBATCH --cpus-per-task=1
# The members of the ensemble %(final)s as a Slurm job array:
# task N runs the member on line N of members.txt. To submit every member by hand:
#   sbatch --array=1-%(count)d --output=%(logs)s %(script)s
member=$(sed -n "${SLURM_ARRAY_TASK_ID:?submit with --array}p" %(final)s/members.txt)
if [ -z "$member" ]; then echo "no member $SLURM_ARRAY_TASK_ID in members.txt" >&2; exit 2; fi
exec %(final)s/member.sh "$member"
""" % {"final": q(final), "count": count, "name": job_name(final),
       "logs": q(slurm_output(final)), "script": q(os.path.join(final, SLURM_SCRIPT))}
    for name, text in ((MEMBER_SCRIPT, member), (SLURM_SCRIPT, slurm)):
        p = os.path.join(folder, name)
        with open(p, "w") as f:
            f.write(text)
        os.chmod(p, 0o755)


# ---------------------------------------------------------------------------
# The members' state, from their folders


def member_status(folder):
    """(status, step) of a member that finished, None for one that did not."""
    try:
        with open(os.path.join(folder, "status")) as f:
            s, step = f.read().split()
        return int(s), step
    except (OSError, ValueError):
        return None


def describe_status(s, step):
    if step == "done":
        return "done"
    what = {1: "an input or output error", 2: "an error the run reported"}.get(s, "")
    if s > 128:
        try:
            what = "ended by signal %d, %s" % (s - 128, signal.Signals(s - 128).name)
        except ValueError:
            what = "ended by signal %d" % (s - 128)
    return "%s exit status %d%s" % (step, s, " (%s)" % what if what else "")


def tail(path, n=TAIL_LINES):
    try:
        with open(path, "rb") as f:
            lines = f.read().decode("utf-8", "replace").replace("\r", "").splitlines()
    except OSError:
        return []
    return [l.rstrip() for l in lines if l.strip()][-n:]


def report(ensemble, say):
    """Lists every member that did not end "done", with its exit status and
    the last lines of its console; returns their number."""
    bad = 0
    for m in ensemble.members:
        st = member_status(m.path)
        if st is not None and st[1] == "done":
            continue
        bad += 1
        values = ", ".join("%s=%s" % (c, v) for c, v in zip(ensemble.column_names, m.values))
        if st is None:
            say("  %s (%s): did not finish (no status)" % (m.folder, values))
            continue
        say("  %s (%s): %s" % (m.folder, values, describe_status(*st)))
        files = ["convert.txt"] if st[1] == "vorn2nc" else ["screen.txt", "stderr.txt"]
        for name in files:
            lines = tail(os.path.join(m.path, name))
            if lines:
                say("    last lines of %s:" % os.path.join(m.folder, name))
                for l in lines:
                    say("      " + l)
    return bad


# ---------------------------------------------------------------------------
# The progress line


def duration(seconds):
    s = max(0, int(round(seconds)))
    h, m, r = s // 3600, s // 60 % 60, s % 60
    return "%d:%02d:%02d" % (h, m, r) if h else "%d:%02d" % (m, r)


class Progress:
    """done, failed, running and time left, redrawn on standard error when
    it is a terminal (and not in the background of a shell), at most four
    times a second; the count comes from the members' status files."""

    def __init__(self, members, stream=sys.stderr):
        self.members = members
        self.start = time.time()
        self.stream = stream
        self.on = stream.isatty()
        self.drawn = False

    def counts(self):
        done = failed = running = finished_now = 0
        for m in self.members:
            st = member_status(m.path)
            if st is None:
                running += os.path.exists(os.path.join(m.path, "running"))
                continue
            try:
                now = os.path.getmtime(os.path.join(m.path, "status")) >= self.start - 1
            except OSError:  # gone since: the member started again
                continue
            finished_now += now
            if st[1] == "done":
                done += 1
            elif now:
                failed += 1
        return done, failed, running, finished_now

    def text(self, todo):
        done, failed, running, finished = self.counts()
        elapsed = time.time() - self.start
        left = duration(elapsed * (todo - finished) / finished) if finished else "-:--"
        return "%d of %d done  %d failed  %d running  elapsed %s  left %s" % (
            done, len(self.members), failed, running, duration(elapsed), left)

    def show(self, todo):
        if not self.on:
            return
        width = 79
        try:
            if os.tcgetpgrp(self.stream.fileno()) != os.getpgrp():
                return
            columns = os.get_terminal_size(self.stream.fileno()).columns
            if columns > 1:
                width = columns - 1  # the cursor never wraps onto a new row
        except OSError:
            pass
        self.stream.write("\r" + ("vornens: " + self.text(todo))[:width] + "\x1b[K")
        self.stream.flush()
        self.drawn = True

    def close(self):
        if self.drawn:
            self.stream.write("\r\x1b[K")
            self.stream.flush()


# ---------------------------------------------------------------------------
# The engines


def gnu_parallel():
    exe = shutil.which("parallel")
    if exe is None:
        raise EnsembleError("GNU parallel is not installed (Debian: apt-get install parallel)",
                            2)
    r = subprocess.run([exe, "--version"], capture_output=True, text=True)
    if not r.stdout.startswith("GNU parallel"):
        raise EnsembleError("%s is not GNU parallel (Debian: apt-get install parallel)" % exe, 2)
    return exe


def hold_lock(ensemble):
    """One `vornens run` at a time in an ensemble folder (the lock goes with
    the process)."""
    f = open(os.path.join(ensemble.folder, ".run.lock"), "w")
    try:
        fcntl.flock(f, fcntl.LOCK_EX | fcntl.LOCK_NB)
    except OSError:
        raise EnsembleError("another vornens run is running the members of %s"
                            % ensemble.folder, 2) from None
    return f


def reconcile_joblog(ensemble, say):
    """Before a resume on GNU parallel: the job log must say what the
    members' status files say, or parallel would rerun members that are
    done, or pass over failed ones (after a run on Slurm, or a member run
    again by hand). Where they differ, a done member gets a row with status
    0 and the rows of a member not done are dropped (parallel runs a job
    without a row); rows that agree stay as parallel wrote them."""
    log = os.path.join(ensemble.folder, JOBLOG)
    header, rows = "Seq\tHost\tStarttime\tJobRuntime\tSend\tReceive\tExitval\tSignal\tCommand", []
    try:
        with open(log) as f:
            lines = f.read().splitlines()
        header, rows = lines[0], [l.split("\t") for l in lines[1:] if l.strip()]
    except (OSError, IndexError):
        pass
    ok = {}
    for r in rows:
        try:
            ok[int(r[0])] = int(r[6]) == 0 and int(r[7]) == 0
        except (ValueError, IndexError):
            continue
    done = {m.number: (member_status(m.path) or (None, None))[1] == "done"
            for m in ensemble.members}
    differ = [m for m in ensemble.members if ok.get(m.number, False) != done[m.number]]
    if not differ:
        return
    say("vornens: the job log disagrees with the status of %s; brought in line with the "
        "members" % " ".join(m.folder for m in differ))
    out = [header] + ["\t".join(r) for r in rows
                      if r and r[0].isdigit() and int(r[0]) in done
                      and done[int(r[0])] and ok.get(int(r[0]))]
    script = os.path.join(ensemble.folder, MEMBER_SCRIPT)
    out += ["%d\t:\t0\t0\t0\t0\t0\t0\t%s %s" % (m.number, script, m.folder)
            for m in differ if done[m.number]]
    with open(log + ".tmp", "w") as f:
        f.write("\n".join(out) + "\n")
    os.replace(log + ".tmp", log)


def run_parallel(ensemble, jobs, resume, todo, progress):
    exe = shutil.which("parallel")
    log = os.path.join(ensemble.folder, JOBLOG)
    # --quote: parallel runs the command's words as they are, never as
    # shell text (the folder's path may hold blanks, quotes or $(...)).
    cmd = [exe, "--quote", "--jobs", str(jobs) if jobs else "100%", "--joblog", log]
    if resume:
        cmd.append("--resume-failed")
    cmd += ["--arg-file", os.path.join(ensemble.folder, "members.txt"),
            os.path.join(ensemble.folder, MEMBER_SCRIPT), "{}"]
    with open(os.path.join(ensemble.folder, "parallel.out"), "w") as out:
        p = subprocess.Popen(cmd, stdin=subprocess.DEVNULL, stdout=out, stderr=subprocess.STDOUT)
        try:
            while p.poll() is None:
                progress.show(todo)
                time.sleep(0.25)
        except KeyboardInterrupt:
            p.send_signal(signal.SIGINT)
            p.wait()
            raise
    return p.returncode


def slurm_alive(folder):
    """The job ids of slurm.jobs that Slurm still has members of, queued or running."""
    try:
        with open(os.path.join(folder, SLURM_JOBS)) as f:
            ids = [l.split()[0] for l in f if l.strip()]
    except OSError:
        return []
    if not ids:
        return []
    r = subprocess.run(["squeue", "-h", "-o", "%F", "-j", ",".join(ids)],
                       capture_output=True, text=True)
    if r.returncode != 0:
        if "Invalid job id" in r.stderr:
            return []
        raise EnsembleError("squeue: %s" % r.stderr.strip(), 2)
    return sorted(set(r.stdout.split()))


def array_text(numbers):
    """1,2,3,5,7,8 as 1-3,5,7-8."""
    out, run = [], []
    for n in sorted(numbers):
        if run and n == run[-1] + 1:
            run.append(n)
            continue
        if run:
            out.append(str(run[0]) if len(run) == 1 else "%d-%d" % (run[0], run[-1]))
        run = [n]
    if run:
        out.append(str(run[0]) if len(run) == 1 else "%d-%d" % (run[0], run[-1]))
    return ",".join(out)


def check_engine(ensemble, engine):
    """The engine is there, and no Slurm job submitted earlier still has
    members queued or running (two runs of one member would write the same
    files). Checked before anything in the members' folders changes."""
    if engine == "parallel":
        gnu_parallel()
    else:
        for tool in ("sbatch", "squeue"):
            if shutil.which(tool) is None:
                raise EnsembleError("%s is not installed: no Slurm here (Debian: apt-get "
                                    "install slurm-client)" % tool, 2)
    if os.path.exists(os.path.join(ensemble.folder, SLURM_JOBS)) and shutil.which("squeue"):
        alive = slurm_alive(ensemble.folder)
        if alive:
            raise EnsembleError("Slurm job %s still has members of %s queued or running; wait "
                                "for it or cancel it (scancel %s)"
                                % (" ".join(alive), ensemble.folder, " ".join(alive)), 2)


def run_slurm(ensemble, jobs, todo_members, progress, say):
    tasks = array_text(m.number for m in todo_members)
    array = tasks + ("%%%d" % jobs if jobs else "")
    r = subprocess.run(["sbatch", "--parsable", "--array=" + array,
                        "--output=" + slurm_output(ensemble.folder),
                        os.path.join(ensemble.folder, SLURM_SCRIPT)],
                       capture_output=True, text=True)
    if r.returncode != 0:
        raise EnsembleError("sbatch refused the job array: %s" % r.stderr.strip(), 2)
    job = r.stdout.strip().split(";")[0]
    with open(os.path.join(ensemble.folder, SLURM_JOBS), "a") as f:
        f.write("%s %s\n" % (job, tasks))
    say("vornens: Slurm job %s, array tasks %s" % (job, tasks))
    try:
        while True:
            q = subprocess.run(["squeue", "-h", "-o", "%T", "-j", job],
                               capture_output=True, text=True)
            if q.returncode != 0 and "Invalid job id" not in q.stderr:
                raise EnsembleError("squeue: %s" % q.stderr.strip(), 2)
            if q.returncode != 0 or not q.stdout.strip():
                break
            progress.show(len(todo_members))
            time.sleep(1.0)
    except KeyboardInterrupt:
        progress.close()
        say("vornens: the members go on running in Slurm job %s; after it, rerun those that "
            "did not end with: vornens run %s --engine slurm --resume" % (job, ensemble.folder))
        raise
    return 0


def run(ensemble, engine, jobs=None, resume=False, say=print):
    """Runs the members (all, or with `resume` those not done); reports
    those that did not end "done" and returns their number."""
    lock = hold_lock(ensemble)
    check_engine(ensemble, engine)
    if resume:
        todo = [m for m in ensemble.members
                if (member_status(m.path) or (None, None))[1] != "done"]
        if engine == "parallel" and todo:
            reconcile_joblog(ensemble, say)
    else:
        todo = list(ensemble.members)
    # A member's old status would count it before it runs again.
    for m in todo:
        for name in ("status", "running"):
            if os.path.lexists(os.path.join(m.path, name)):
                os.remove(os.path.join(m.path, name))
    if not todo:
        say("vornens: every member of %s is done already" % ensemble.folder)
        return 0
    say("vornens: running %d member%s of %s on %s" % (
        len(todo), "" if len(todo) == 1 else "s", ensemble.folder,
        "GNU parallel" if engine == "parallel" else "Slurm"))
    progress = Progress(todo)
    try:
        if engine == "parallel":
            run_parallel(ensemble, jobs, resume, len(todo), progress)
        else:
            run_slurm(ensemble, jobs, todo, progress, say)
    finally:
        progress.close()
        lock.close()
    done = sum(1 for m in ensemble.members if (member_status(m.path) or (0, ""))[1] == "done")
    say("vornens: %d of %d members done" % (done, len(ensemble.members)))
    bad = report(ensemble, say)
    if bad:
        say("Run them again with: vornens run %s --engine %s --resume"
            % (ensemble.folder, engine))
    return bad
