"""vornens: ensembles of vornv7 runs, planned from a TOML file, run on GNU
parallel or a Slurm job array, summarised as one CF-NetCDF file.

    /usr/bin/python3 tools/vornens plan ENSEMBLE.toml
    /usr/bin/python3 tools/vornens run DIR --engine parallel|slurm [--jobs N] [--resume]
    /usr/bin/python3 tools/vornens summarise DIR [--allow-missing]

Installed, the same as the command `vornens`.
"""
import os
import sys

if __name__ == "__main__":
    sys.dont_write_bytecode = True
    sys.path.insert(0, os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
    from vornens import cli
    sys.exit(cli.main(sys.argv[1:]))
