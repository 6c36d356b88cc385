#!/usr/bin/python3
"""A single-node Slurm in a scratch folder, from Debian's packages (munge,
slurmctld, slurmd, slurm-client), for the tests and for trying vornens on
Slurm by hand. Needs root; writes no file under /etc: munged runs on its
own socket and key, and SLURM_CONF names a slurm.conf generated in the
folder, with state, spool, pid and log files beside it.

    /usr/bin/python3 tests/vornens/localslurm.py start DIR
    export SLURM_CONF=DIR/slurm.conf     # as start prints it
    /usr/bin/python3 tests/vornens/localslurm.py stop DIR
"""
import os
import shutil
import signal
import socket
import subprocess
import sys
import time

SBIN = os.pathsep.join([os.environ.get("PATH", ""), "/usr/sbin", "/sbin"])
DAEMONS = [("slurmd", "slurmd.pid"), ("slurmctld", "slurmctld.pid"),
           ("munged", os.path.join("munge", "munged.pid"))]


class SlurmUnavailable(Exception):
    pass


def program(name):
    p = shutil.which(name, path=SBIN)
    if p is None:
        raise SlurmUnavailable("%s is not installed (Debian: apt-get install munge slurmctld "
                               "slurmd slurm-client; tools/deps.sh does it as root)" % name)
    return p


def free_ports(n):
    socks = [socket.socket() for _ in range(n)]
    try:
        for s in socks:
            s.bind(("127.0.0.1", 0))
        return [s.getsockname()[1] for s in socks]
    finally:
        for s in socks:
            s.close()


def config(folder, host, ports):
    f = folder
    return "\n".join([
        "ClusterName=vornens",
        "SlurmctldHost=%s" % host,
        "SlurmUser=root",
        "SlurmdUser=root",
        "SlurmctldPort=%d" % ports[0],
        "SlurmdPort=%d" % ports[1],
        "AuthType=auth/munge",
        "CredType=cred/munge",
        "AuthInfo=socket=%s/munge/munge.socket.2" % f,
        "StateSaveLocation=%s/state" % f,
        "SlurmdSpoolDir=%s/spool" % f,
        "SlurmctldPidFile=%s/slurmctld.pid" % f,
        "SlurmdPidFile=%s/slurmd.pid" % f,
        "SlurmctldLogFile=%s/slurmctld.log" % f,
        "SlurmdLogFile=%s/slurmd.log" % f,
        "ProctrackType=proctrack/linuxproc",
        "TaskPlugin=task/none",
        "JobAcctGatherType=jobacct_gather/none",
        "AccountingStorageType=accounting_storage/none",
        "JobCompType=jobcomp/none",
        "SchedulerType=sched/builtin",
        "SelectType=select/cons_tres",
        "SelectTypeParameters=CR_Core",
        "MpiDefault=none",
        "ReturnToService=2",
        "NodeName=%s CPUs=%d State=UNKNOWN" % (host, os.cpu_count() or 1),
        "PartitionName=main Nodes=%s Default=YES MaxTime=INFINITE State=UP" % host,
        ""])


def tail(path, n=10):
    try:
        with open(path, errors="replace") as f:
            return "".join(f.readlines()[-n:])
    except OSError:
        return ""


def start(folder, timeout=30.0):
    """Starts munged, slurmctld and slurmd; returns the environment for the
    clients (SLURM_CONF). Raises SlurmUnavailable with the reason when it
    cannot."""
    if os.geteuid() != 0:
        raise SlurmUnavailable("a scratch Slurm runs its daemons as root, and this user is not "
                               "root")
    munged, ctld, slurmd = program("munged"), program("slurmctld"), program("slurmd")
    program("sbatch")
    folder = os.path.abspath(folder)
    os.makedirs(folder, exist_ok=True)
    os.chmod(folder, 0o755)
    m = os.path.join(folder, "munge")
    for d in (m, os.path.join(folder, "state"), os.path.join(folder, "spool")):
        os.makedirs(d, exist_ok=True)
    os.chmod(m, 0o755)  # munged checks that its socket's folder is not writable by others
    key = os.path.join(m, "munge.key")
    fd = os.open(key, os.O_WRONLY | os.O_CREAT | os.O_TRUNC, 0o600)
    os.write(fd, os.urandom(1024))
    os.close(fd)
    host = subprocess.run(["hostname", "-s"], capture_output=True, text=True).stdout.strip()
    conf = os.path.join(folder, "slurm.conf")
    with open(conf, "w") as f:
        f.write(config(folder, host, free_ports(2)))
    env = dict(os.environ, SLURM_CONF=conf)
    steps = [
        [munged, "--socket=" + os.path.join(m, "munge.socket.2"), "--key-file=" + key,
         "--pid-file=" + os.path.join(m, "munged.pid"),
         "--log-file=" + os.path.join(m, "munged.log"),
         "--seed-file=" + os.path.join(m, "munged.seed")],
        [ctld, "-c"],
        [slurmd],
    ]
    for cmd in steps:
        r = subprocess.run(cmd, env=env, capture_output=True, text=True)
        if r.returncode != 0:
            stop(folder)
            raise SlurmUnavailable("%s failed (%d): %s%s" % (os.path.basename(cmd[0]),
                                                            r.returncode, r.stderr,
                                                            tail(os.path.join(folder,
                                                                              "slurmctld.log"))))
    end = time.monotonic() + timeout
    state = ""
    while time.monotonic() < end:
        r = subprocess.run(["sinfo", "-h", "-o", "%T"], env=env, capture_output=True, text=True)
        state = r.stdout.strip()
        if state == "idle":
            return {"SLURM_CONF": conf}
        time.sleep(0.2)
    stop(folder)
    raise SlurmUnavailable("the node did not come up (state %r); slurmd.log:\n%s"
                           % (state, tail(os.path.join(folder, "slurmd.log"))))


def alive(pid, name):
    try:
        with open("/proc/%d/stat" % pid) as f:
            stat = f.read()
    except OSError:
        return False
    comm = stat[stat.index("(") + 1:stat.rindex(")")]
    return comm.startswith(name[:15]) and stat[stat.rindex(")") + 2] != "Z"


def stop(folder):
    """Stops the daemons by their pid files (each only if the pid is still
    that daemon), slurmd first."""
    for name, pidfile in DAEMONS:
        try:
            with open(os.path.join(folder, pidfile)) as f:
                pid = int(f.read().split()[0])
        except (OSError, ValueError, IndexError):
            continue
        if not alive(pid, name):
            continue
        os.kill(pid, signal.SIGTERM)
        end = time.monotonic() + 10
        while alive(pid, name) and time.monotonic() < end:
            time.sleep(0.1)
        if alive(pid, name):
            os.kill(pid, signal.SIGKILL)


if __name__ == "__main__":
    if len(sys.argv) != 3 or sys.argv[1] not in ("start", "stop"):
        print(__doc__.strip().split("\n\n")[-1], file=sys.stderr)
        sys.exit(2)
    if sys.argv[1] == "stop":
        stop(os.path.abspath(sys.argv[2]))
        sys.exit(0)
    try:
        env = start(sys.argv[2])
    except SlurmUnavailable as e:
        print("localslurm: %s" % e, file=sys.stderr)
        sys.exit(1)
    print("export SLURM_CONF=%s" % env["SLURM_CONF"])
