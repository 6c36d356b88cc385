"""The command line of vornens: plan, run, summarise."""
import argparse
import sys

from vornens.ensemble import EnsembleError, load_planned, read_ensemble

USAGE_STATUS = 2


def parser():
    p = argparse.ArgumentParser(
        prog="vornens",
        description="Ensembles of vornv7 runs: many members of one site, planned from a TOML "
                    "file, run on GNU parallel or a Slurm job array, summarised as ensemble "
                    "means, percentiles and exceedance probabilities in one CF-NetCDF file.",
        epilog="Exit status: 0 done; 1 a plan refused, members that failed or are missing, or a "
               "summary refused; 2 a wrong command line, or a tool or engine missing or "
               "refusing. See docs/vornens.md.")
    verbs = p.add_subparsers(dest="verb", required=True, metavar="VERB")
    a = verbs.add_parser("plan", help="one folder per member, checked by vorncheck")
    a.add_argument("toml", metavar="ENSEMBLE.toml")
    a.add_argument("-o", "--folder", help="the ensemble folder (default: folder in the TOML "
                                          "file, or its name without .toml)")
    a.add_argument("--programs", metavar="DIR", help="the folder of vornv7, vorn2nc and "
                                                     "vorncheck")
    a.add_argument("--force", action="store_true", help="plan again over an ensemble folder "
                                                        "(removes its members and results)")
    a = verbs.add_parser("run", help="run the members")
    a.add_argument("folder", metavar="DIR")
    a.add_argument("--engine", required=True, choices=["parallel", "slurm"])
    a.add_argument("--jobs", type=int, metavar="N", help="members at once (parallel: default "
                   "one per processor; slurm: array tasks at once, default no limit)")
    a.add_argument("--resume", action="store_true", help="run only the members that did not "
                                                         "end with status 0")
    a = verbs.add_parser("summarise", aliases=["summarize"], help="ensemble statistics as one "
                                                                   "CF-NetCDF file and a figure")
    a.add_argument("folder", metavar="DIR")
    a.add_argument("--allow-missing", action="store_true",
                   help="summarise the members that have results and record the others")
    a.add_argument("-o", "--output", metavar="OUT.nc", help="default DIR/summary.nc")
    a.add_argument("--figure", metavar="OUT.png", help="default OUT.nc with .png")
    return p


def main(argv):
    args = parser().parse_args(argv)
    try:
        if args.verb == "plan":
            from vornens import plan
            plan.plan(read_ensemble(args.toml, args.folder), args.programs, args.force)
            return 0
        if args.verb == "run":
            if args.jobs is not None and args.jobs < 1:
                print("vornens: --jobs takes a number of 1 or more", file=sys.stderr)
                return USAGE_STATUS
            from vornens import engines
            return 1 if engines.run(load_planned(args.folder), args.engine, args.jobs,
                                    args.resume) else 0
        from vornens import summary
        summary.summarise(load_planned(args.folder), args.allow_missing, args.output,
                          args.figure)
        return 0
    except EnsembleError as e:
        sys.stdout.flush()
        print("vornens: %s" % e, file=sys.stderr)
        return e.status
    except KeyboardInterrupt:
        return 130
