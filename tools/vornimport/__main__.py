"""vornimport: a ready run folder from field data (current-meter records,
a dredger's log).

    /usr/bin/python3 tools/vornimport CURRENTS.csv|.nc [--config IMPORT.toml] [-o FOLDER]
                     [--dumps LOG.csv] [--dtvu SECONDS] [--lon LON --lat LAT] [--force]

Installed, the same as the command `vornimport`. See docs/vornimport.md.
"""
import os
import sys

if __name__ == "__main__":
    sys.dont_write_bytecode = True
    sys.path.insert(0, os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
    from vornimport import cli
    sys.exit(cli.main(sys.argv[1:]))
