"""Where the project's programs are: vornv7, vorn2nc and vorncheck.

Looked for, in this order, in the folder given on the command line or in
the TOML file, in $VORN_PROGRAMS (the installed `vornens` command sets it
to its own folder), in the build folder of the source tree this tool lives
in, and on the PATH. The ensemble folder records the paths found, so that
its runs use the programs its plan was checked with.
"""
import os
import shutil

from vornens.ensemble import EnsembleError

NAMES = ("vornv7", "vorn2nc", "vorncheck")


def find_programs(folder=None):
    here = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
    places = []
    if folder:
        places.append(folder)
    elif os.environ.get("VORN_PROGRAMS"):
        places.append(os.environ["VORN_PROGRAMS"])
    else:
        places.append(os.path.join(here, "build"))
    found = {}
    for name in NAMES:
        for place in places:
            p = os.path.join(place, name)
            if os.path.isfile(p) and os.access(p, os.X_OK):
                found[name] = os.path.abspath(p)
                break
        else:
            p = None if folder else shutil.which(name)
            if p is None:
                where = folder or " or ".join(places + ["the PATH"])
                raise EnsembleError("%s not found in %s (build it with make, or give the folder "
                                    "of the programs with --programs)" % (name, where))
            found[name] = os.path.abspath(p)
    return found
